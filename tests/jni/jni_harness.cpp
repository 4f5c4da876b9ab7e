// The launcher's JNI steps, compiled for Linux, against a real JVM: creates the JVM from the
// options given, makes the launcher's calls and reports what happened, so that the tests can
// hold the very code the launcher runs against the JDK's libjvm.so and the real runtime jar.
//
//   jni_harness [-o OPTION]... [--splash] [--init] [--module-name PATH] CLASS [PARAMETER]...
//
// Prints (on standard error, apart from the application's output) "harness: created N" (the
// CLOCK_MONOTONIC nanoseconds when JNI_CreateJavaVM returned), the steps' log lines as
// "harness: log ..." / "harness: error ...", "harness: outcome X" and "harness: destroyed".
// Exit code: 0 main returned, 1 main failed or no JVM, 10 class missing, 11 main missing.
#include "JavaVMCalls.h"
#include "core/OptionRules.h"

#include <jni.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

void writeLine(bool isError, std::wstring_view format, vkr::FormatArgs args) {
    const std::wstring text = vkr::formatWide(format, args);
    std::string utf8;
    for (wchar_t c : text) {
        const auto code = static_cast<std::uint32_t>(c);
        if (code < 0x80) {
            utf8.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            utf8.push_back(static_cast<char>(0xC0 | (code >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            utf8.push_back(static_cast<char>(0xE0 | (code >> 12)));
            utf8.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            utf8.push_back(static_cast<char>(0xF0 | (code >> 18)));
            utf8.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    std::fprintf(stderr, "harness: %s %s\n", isError ? "error" : "log", utf8.c_str());
    std::fflush(stderr);
}

constexpr vkr::JniLog kLog{writeLine};

long long monotonicNanos() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> options;
    bool splash = false;
    bool init = false;
    std::string moduleName;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-o" && i + 1 < argc) {
            options.emplace_back(argv[++i]);
        } else if (arg == "--splash") {
            splash = true;
        } else if (arg == "--init") {
            init = true;
        } else if (arg == "--module-name" && i + 1 < argc) {
            moduleName = argv[++i];
        } else {
            break;
        }
    }
    if (i >= argc) {
        std::fprintf(stderr, "usage: jni_harness [-o OPTION]... [--splash] [--init] [--module-name PATH] CLASS "
                             "[PARAMETER]...\n");
        return 2;
    }
    const std::string launcherClass = argv[i++];
    std::vector<std::wstring> parameters;
    for (; i < argc; ++i) parameters.push_back(vkr::decodeUtf8(argv[i]));

    std::vector<JavaVMOption> entries;
    for (std::string& option : options) entries.push_back({option.data(), nullptr});
    JavaVMInitArgs init_args{};
    init_args.version = JNI_VERSION_1_2;
    init_args.nOptions = static_cast<jint>(entries.size());
    init_args.options = entries.data();
    init_args.ignoreUnrecognized = JNI_TRUE;
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (JNI_CreateJavaVM(&vm, reinterpret_cast<void**>(&env), &init_args) != JNI_OK) {
        std::fprintf(stderr, "harness: could not initialize JVM\n");
        return 1;
    }
    std::fprintf(stderr, "harness: created %lld\n", monotonicNanos());
    std::fflush(stderr);

    if (splash) {
        vkr::SplashSettings s;
        s.flag = true;
        s.statusText = "starting";
        s.statusX = 20;
        s.statusY = 21;
        s.statusColor = "0,0,0";
        s.statusFontSize = 8;
        s.statusFontWeight = 500;
        s.versionText = "version 1.3.2";
        s.versionX = 22;
        s.versionY = 40;
        s.versionColor = "1,2,3";
        s.versionFontSize = 9;
        s.versionFontWeight = 700;
        vkr::configureAwtSplash(env, s, kLog);
    }
    if (init) std::fprintf(stderr, "harness: init %d\n", vkr::callInitFromLauncher(env, true, kLog) ? 1 : 0);
    if (!moduleName.empty()) vkr::setModuleNameProperty(env, vkr::decodeUtf8(moduleName), kLog);

    const vkr::MainOutcome outcome = vkr::callMain(env, launcherClass, parameters, kLog);
    static const char* const names[] = {"returned", "class-missing", "method-missing", "failed"};
    std::fprintf(stderr, "harness: outcome %s\n", names[static_cast<int>(outcome)]);
    std::fflush(stderr);
    switch (outcome) {
    case vkr::MainOutcome::Returned:
        break;
    case vkr::MainOutcome::ClassMissing:
        return 10;
    case vkr::MainOutcome::MethodMissing:
        return 11;
    case vkr::MainOutcome::Failed:
        return 1;
    }
    vm->DestroyJavaVM();
    std::fprintf(stderr, "harness: destroyed\n");
    return 0;
}
