#include "JavaVMLauncher.h"

#include "JavaVMCalls.h"
#include "JvmOptions.h"
#include "config/ConfigStore.h"
#include "config/ErrorReporting.h"
#include "config/LauncherValues.h"
#include "core/OptionRules.h"
#include "util/DiagnosticLog.h"
#include "util/ExecutableLocation.h"
#include "util/Format.h"
#include "util/Paths.h"
#include "util/ProcessState.h"
#include "util/VariableExpansion.h"

#include <windows.h>

#include <cstdarg>
#include <cstdlib>
#include <memory>

namespace vkr {

namespace {

constexpr int kErrorLogKey = 102;
constexpr int kErrorLogFileKey = 103;
constexpr int kOutputLogKey = 104;
constexpr int kOutputLogFileKey = 105;
constexpr int kFifthFlagKey = 106;
constexpr int kKindKey = 107;
constexpr int kSplashKey = 108;
constexpr int kMainClassKey = 122;
constexpr int kArgumentsKey = 124;
constexpr int kJArgumentsKey = 125;
constexpr int kModuleModeKey = 133;
constexpr int kSplashFlagKey = 163;
constexpr int kApplicationDirectoryKey = 10003;
constexpr size_t kArgumentsCapacity = 2000;
constexpr size_t kSplashTextCapacity = 2000;
constexpr size_t kHelperPathCapacity = 4000;
constexpr size_t kLibraryPathCapacity = 12000;
constexpr int kClassMissingMessage = 1010;
constexpr int kMethodMissingMessage = 1011;

// The created JVM. Created at most once per process, and never freed: the JVM and its library
// live until the process ends.
JavaVM* g_vm = nullptr;
JNIEnv* g_env = nullptr;

void jniLogLine(bool isError, std::wstring_view format, FormatArgs args) { logLine(isError, format, args); }
constexpr JniLog kLauncherLog{jniLogLine};

bool isRuntimeFlavour() noexcept { return processState().flavourLetter == 'i'; }

// PATH as the launch left it, for the JVM's native libraries; "" when unset. Read whole,
// however long: a PATH that a fixed buffer cut off would have given the JVM an empty library
// path, so that the application's native libraries (in the folders the launch put first) were
// not found on machines whose PATH has grown long.
std::string libraryPath() {
    std::string value(kLibraryPathCapacity, '\0');
    for (;;) {
        const DWORD length = GetEnvironmentVariableA("PATH", value.data(), static_cast<DWORD>(value.size()));
        if (length < value.size()) {
            value.resize(length);
            return value;
        }
        value.assign(length, '\0'); // too small: length is the size needed, terminator included
    }
}

std::string splashText(int key) {
    std::vector<char> buffer(kSplashTextCapacity);
    configText(key, buffer.data(), buffer.size());
    return buffer.data();
}

SplashSettings splashSettings() {
    SplashSettings s;
    s.flag = configInt(kSplashFlagKey) != 0;
    s.statusText = splashText(10111);
    s.statusX = configInt(10109);
    s.statusY = configInt(10110);
    s.statusColor = splashText(10114);
    s.statusFontSize = configInt(10113);
    s.statusFontWeight = configInt(10115);
    s.versionText = splashText(10118);
    s.versionX = configInt(10116);
    s.versionY = configInt(10117);
    s.versionColor = splashText(10121);
    s.versionFontSize = configInt(10120);
    s.versionFontWeight = configInt(10122);
    return s;
}

// A log file parameter: configured name expanded (long form); one still beginning with "$"
// (an undefined variable) goes as it is for the Java side to report, any other becomes its
// full path beside the executable.
std::wstring logFileParameter(int enabledKey, int nameKey) {
    if (configInt(enabledKey) == 0) return {};
    std::vector<wchar_t> buffer(kMaxPath);
    configWideText(nameKey, buffer.data(), buffer.size());
    std::wstring name(buffer.data());
    expandVariablesW(name, DirectoryValues::Long, launcherValues(), kMaxPath);
    if (!name.empty() && name.front() == L'$') return name;
    return canonicalPath(name, DirectoryForm::LongWide, LetterCase::Kept);
}

std::vector<std::wstring> mainParameterList(const ArgumentVector& arguments) {
    MainParameterSources s;
    s.windowed = configInt(kKindKey) == 1;
    std::vector<wchar_t> buffer(kMaxPath);
    configWideText(kMainClassKey, buffer.data(), buffer.size());
    s.mainClass = std::wstring(configInt(kModuleModeKey) != 0 ? L"/" : L"") + buffer.data();
    s.errorLog = logFileParameter(kErrorLogKey, kErrorLogFileKey);
    s.outputLog = logFileParameter(kOutputLogKey, kOutputLogFileKey);
    s.fifthFlag = configInt(kFifthFlagKey) != 0;
    s.arguments = arguments;
    std::vector<wchar_t> configured(kArgumentsCapacity);
    configWideText(kArgumentsKey, configured.data(), configured.size());
    std::wstring text(configured.data());
    expandVariablesW(text, DirectoryValues::Long, launcherValues(), kArgumentsCapacity);
    tokenizeCommandLine(text, s.configured);
    s.jArgumentsAreOptions = configInt(kJArgumentsKey) != 0;
    return mainParameters(s);
}

bool createJvm(const std::vector<std::string>& properties, const ArgumentVector& arguments) {
    // The options stay allocated for the life of the process, like the JVM made from them.
    static std::unique_ptr<JvmInitArguments> initArguments;
    if (g_vm) {
        logError(L"a JVM was already created in this process");
        return false;
    }
    initArguments = assembleJvmOptions(properties, arguments);
    logMessage(L"Creating JVM");
    const CreateJavaVMFunction create = processState().createJavaVM;
    void* vm = nullptr;
    void* env = nullptr;
    const long result = create ? create(&vm, &env, initArguments->record()) : JNI_ERR;
    if (result != JNI_OK) {
        logError(L"could not initialize JVM");
        return false;
    }
    g_vm = static_cast<JavaVM*>(vm);
    g_env = static_cast<JNIEnv*>(env);
    return true;
}

// The helper library's way to write error lines into the launcher's log.
void reportHelperError(const wchar_t* format, ...) noexcept {
    try {
        std::va_list arguments;
        va_start(arguments, format);
        const std::wstring text = formatWideV(format, arguments);
        va_end(arguments);
        logError(L"%s", text);
    } catch (...) {
        // A line that cannot be built is dropped, as every log line that fails.
    }
}

using RegisterNativesFunction = unsigned char (*)(JNIEnv*, HMODULE, void (*)(const wchar_t*, ...));

void loadHelperLibrary() {
    if (!isRuntimeFlavour()) return;
    logMessage(L"load helper dll");
    std::vector<wchar_t> buffer(kHelperPathCapacity);
    configWideText(kApplicationDirectoryKey, buffer.data(), buffer.size());
    std::wstring path = resolvePath(buffer.data(), DirectoryForm::LongWide);
    if (path.empty() || path.back() != L'\\') path.push_back(L'\\');
    path += L".velkor\\vkrinst.dll";
    // Never freed: the natives it registers live in it.
    HMODULE helper = LoadLibraryW(path.c_str());
    logMessage(L"helper dll %p %s", static_cast<const void*>(helper), path);
    if (!helper) return;
    auto registerNatives = reinterpret_cast<RegisterNativesFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(helper, "registerNatives")));
    if (!registerNatives) {
        logError(L"did not find register natives in helper dll");
        return;
    }
    if (!callInitFromLauncher(g_env, true, kLauncherLog)) return;
    const bool registered = registerNatives(g_env, helper, reportHelperError);
    // A native the library names but the class lacks fails with NoSuchMethodError.
    if (!checkJavaException(g_env, Describe::Yes, kLauncherLog) || !registered) {
        logError(L"registering helper dll failed");
        callInitFromLauncher(g_env, false, kLauncherLog);
    }
}

} // namespace

std::vector<std::string> launchProperties() {
    const ProcessState& state = processState();
    std::vector<std::string> properties;
    if (!state.semaphoreName.empty()) properties.push_back("-Dquenta.semaphoreName=" + state.semaphoreName);
    if (isRuntimeFlavour()) properties.push_back("-Dquenta.isVelkor=true");
    if (state.serviceMode) properties.push_back("-Dquenta.isService=true");
    properties.push_back("-Dquenta.moduleName=" + executablePath8());
    properties.push_back("-Dsun.java.command=" + executablePath8());
    properties.push_back("-Dquenta.tempDir=" + state.extractionDirectory);
    properties.push_back(format8("-Dquenta.unextractedPosition=%d", state.unextractedPosition));
    properties.push_back("-Djava.library.path=" + libraryPath());
    // The runtime's own table of the environment, as the JVM's start-up code reads it.
    if (!std::getenv("MANPATH")) properties.push_back(format8("-Dquenta.consoleCodepage=cp%d", GetConsoleOutputCP()));
    return properties;
}

bool launchApplication(const ArgumentVector& arguments) {
    logMessage(L"launching program");
    if (!createJvm(launchProperties(), arguments)) return false;
    logMessage(L"JVM created");
    if (configInt(kSplashKey) != 0) configureAwtSplash(g_env, splashSettings(), kLauncherLog);
    loadHelperLibrary();
    setModuleNameProperty(g_env, executableLongPath(), kLauncherLog);
    switch (callMain(g_env, isRuntimeFlavour() ? kVelkorWinLauncher : kQuentaWinLauncher,
                     mainParameterList(arguments), kLauncherLog)) {
    case MainOutcome::Returned:
        break;
    case MainOutcome::ClassMissing:
        fatalMessage(kClassMissingMessage);
    case MainOutcome::MethodMissing:
        fatalMessage(kMethodMissingMessage);
    case MainOutcome::Failed:
        logError(L"could not call main");
        return false;
    }
    logMessage(L"dest JVM");
    g_vm->DestroyJavaVM();
    logMessage(L"launch done");
    return true;
}

} // namespace vkr
