#include "jvm/JvmLoader.h"

#include "config/ConfigStore.h"
#include "config/ErrorReporting.h"
#include "jvm/JvmSearch.h"
#include "util/DiagnosticLog.h"
#include "util/EnvironmentPath.h"
#include "util/Paths.h"
#include "util/ProcessState.h"

#include <cstdlib>
#include <optional>

namespace vkr {

namespace {

constexpr size_t kVmKindCapacity = 200;

using AddDllDirectoryFunction = void*(WINAPI*)(PCWSTR);
using RemoveDllDirectoryFunction = BOOL(WINAPI*)(void*);

// Functions newer than the launcher's API level, taken from the kernel32.dll already loaded.
template <class F>
F kernel32Function(const char* name) {
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    if (!kernel32) return nullptr;
    FARPROC proc = GetProcAddress(kernel32, name);
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
}

size_t executableNameLength(std::string_view javaExe) {
    constexpr std::string_view windowed = "javaw.exe";
    if (javaExe.size() >= windowed.size()) {
        std::string tail(javaExe.substr(javaExe.size() - windowed.size()));
        lowerCasePath(tail);
        if (tail == windowed) return windowed.size();
    }
    return std::string_view("java.exe").size();
}

} // namespace

std::string binDirectoryOf(std::string_view javaExe) {
    size_t cut = executableNameLength(javaExe) + 1;
    return javaExe.size() < cut ? std::string() : std::string(javaExe.substr(0, javaExe.size() - cut));
}

std::string jvmHomeOf(std::string_view javaExe) {
    size_t cut = executableNameLength(javaExe);
    std::string home = javaExe.size() < cut ? std::string() : std::string(javaExe.substr(0, javaExe.size() - cut));
    return home + "..";
}

std::string privateRuntimeJavaExe(std::string_view javaExe) {
    size_t slash = javaExe.find_last_of('\\');
    std::string directory = slash == std::string_view::npos ? std::string() : std::string(javaExe.substr(0, slash + 1));
    return directory + "..\\jre\\bin\\java.exe";
}

std::vector<std::string> vmKindOrder(std::string_view configuredKind) {
    std::vector<std::string> kinds;
    if (!configuredKind.empty()) kinds.emplace_back(configuredKind);
    for (const char* name : {"client", "server", "j9vm", "hotspot", "jrockit"}) kinds.emplace_back(name);
    return kinds;
}

void* addDllSearchDirectory(const std::string& directory) {
    if (configInt(154) == 0) return nullptr;
    auto add = kernel32Function<AddDllDirectoryFunction>("AddDllDirectory");
    if (!add) return nullptr;
    std::wstring wide = widenCodePage(directory);
    if ((wide.empty() && !directory.empty()) || wide.size() >= kMaxPath) return nullptr;
    logMessage(L"Adding DLL directory %s", wide);
    return add(wide.c_str());
}

void removeDllSearchDirectory(void* cookie) {
    if (!cookie) return;
    auto remove = kernel32Function<RemoveDllDirectoryFunction>("RemoveDllDirectory");
    if (!remove) return;
    logMessage(L"Removing DLL directory");
    remove(cookie);
}

void preloadUcrtbase(const std::string& binDirectory) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info);
    // The manifest declares the Windows versions up to 10, so the answer is not capped: the
    // preload is for Windows 8.1 and older, whose own universal runtime may be missing.
    if (!GetVersionExA(&info)) return;
    if (info.dwMajorVersion > 6 || (info.dwMajorVersion == 6 && info.dwMinorVersion >= 4)) return;
    std::string path = binDirectory + "\\ucrtbase.dll";
    if (!exists(path)) return;
    logMessage(L"Preloading ucrtbase.dll 4");
    std::string saved(kMaxPath, '\0');
    DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(saved.size()), saved.data());
    saved.resize(length < saved.size() ? length : 0);
    SetCurrentDirectoryA(binDirectory.c_str());
    if (!LoadLibraryA("ucrtbase.dll") && !LoadLibraryA(path.c_str())) logMessage(L"Could not preload ucrtbase.dll");
    if (!saved.empty()) SetCurrentDirectoryA(saved.c_str());
}

HMODULE tryJvmDll(const std::string& binDirectory, const std::string& kindName) {
    std::string path = binDirectory + "\\" + kindName + "\\jvm.dll";
    bool present = exists(path);
    logMessage(L"Trying %S (exists %d)", path, present ? 1 : 0);
    HMODULE library = LoadLibraryA(path.c_str());
    if (!library && present) {
        DWORD error = GetLastError();
        logMessage(L"Failed with error code %d", static_cast<int>(error));
    }
    return library;
}

HMODULE loadJvmLibrary(const std::string& javaExe) {
    std::string bin = binDirectoryOf(javaExe);
    void* cookie = addDllSearchDirectory(bin);
    preloadUcrtbase(bin);

    DWORD queriedSize = 0;
    std::optional<std::string> oldPath = environmentPath(&queriedSize);
    std::string newPath = bin + ";" + oldPath.value_or(std::string());
    if (setEnvironmentPath(newPath))
        logMessage(L"Setting PATH %d %S", static_cast<int>(queriedSize), newPath);
    else
        logMessage(L"Setting PATH %S failed with error %d", newPath, static_cast<int>(GetLastError()));

    std::string configured(kVmKindCapacity, '\0');
    configured.resize(configText(152, configured.data(), configured.size()));
    HMODULE library = nullptr;
    for (const std::string& kind : vmKindOrder(configured)) {
        library = tryJvmDll(bin, kind);
        if (library) return library; // PATH and the DLL directory stay for the JVM's life
    }

    removeDllSearchDirectory(cookie);
    std::string shown = oldPath.value_or(std::string());
    if (setEnvironmentPath(oldPath))
        logMessage(L"Setting PATH %S", shown);
    else
        logMessage(L"Setting PATH %S failed with error %d", shown, static_cast<int>(GetLastError()));
    return nullptr;
}

HMODULE loadJvmFromJavaExe(const std::string& javaExe) {
    logMessage(L"Trying to load JVM-DLL from %S", javaExe);
    if (HMODULE library = loadJvmLibrary(javaExe)) return library;
    return loadJvmLibrary(privateRuntimeJavaExe(javaExe));
}

bool LoadDLL() {
    std::string javaExe;
    std::string version;
    std::string locationText;
    LocationKind kind = LocationKind::None;
    ProcessState& state = processState();
    // Nothing of an earlier call may look like a loaded JVM after this one failed.
    state.createJavaVM = nullptr;
    HMODULE library = searchJvm(loadJvmFromJavaExe, javaExe, version, kind, locationText);
    if (kind == LocationKind::None) {
        logError(L"No JVM found");
        showMessage8(1016, "64");
        return false;
    }
    state.jvmHome = jvmHomeOf(javaExe);
    state.jvmVersion = version;
    if (!library) logError(L"Could not get DLL-Handle.");
    if (library) {
        FARPROC entry = GetProcAddress(library, "JNI_CreateJavaVM");
        state.createJavaVM = reinterpret_cast<CreateJavaVMFunction>(reinterpret_cast<void (*)()>(entry));
    }
    if (!state.createJavaVM) logError(L"Could not load functions");
    if (library && state.createJavaVM) {
        logMessage(L"Loading of JVM-DLL successful");
        return true;
    }
    switch (kind) {
    case LocationKind::SearchPath:
        showMessage8(1016, "64");
        break;
    case LocationKind::Directory:
        showMessage8(1020, locationText.c_str());
        break;
    case LocationKind::Environment:
        showMessage8(1018, locationText.c_str());
        break;
    case LocationKind::Registry:
        showMessage(1005);
        break;
    case LocationKind::None:
        break;
    }
    return false;
}

const std::string& jvmHome() noexcept { return processState().jvmHome; }
const std::string& jvmVersion() noexcept { return processState().jvmVersion; }
CreateJavaVMFunction jvmCreationEntryPoint() noexcept { return processState().createJavaVM; }

} // namespace vkr
