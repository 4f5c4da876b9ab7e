#pragma once
// The launcher's calls into a JVM it has created, all on the main thread: the splash settings,
// the Java side's platform class, the exact executable path as a system property, main of the
// Java-side launcher with its parameters, and what an exception that escaped it says.
//
// Everything here speaks to the JVM through the JNI function table alone and logs through
// JniLog, so that the same source runs in the launcher and, compiled for Linux, against a real
// JVM in the tests.
#include "core/Format.h"

#include <jni.h>

#include <string>
#include <string_view>
#include <vector>

namespace vkr {

// Where the calls write their diagnostic lines (the launcher's log, or a test's).
struct JniLog {
    void (*line)(bool isError, std::wstring_view format, FormatArgs args);

    template <class... A>
    void message(std::wstring_view format, const A&... a) const {
        line(false, format, {FormatArg(a)...});
    }
    template <class... A>
    void error(std::wstring_view format, const A&... a) const {
        line(true, format, {FormatArg(a)...});
    }
};

// The values of the splash configuration call, in the order of its signature from the third
// argument on (the first is always true).
struct SplashSettings {
    bool flag = false;
    std::string statusText;
    int statusX = 0, statusY = 0;
    std::string statusColor;
    int statusFontSize = 0, statusFontWeight = 0;
    std::string versionText;
    int versionX = 0, versionY = 0;
    std::string versionColor;
    int versionFontSize = 0, versionFontWeight = 0;
};

inline constexpr const char* kQuentaWinLauncher = "com/quenta/runtime/WinLauncher";
inline constexpr const char* kVelkorWinLauncher = "com/velkor/runtime/launcher/WinLauncher";
inline constexpr const char* kCommonClass = "com/velkor/runtime/installer/platform/win32/Common";

// Calls initAwtSplashConfig of com/quenta/runtime/WinLauncher; a missing class or method is
// logged and skipped.
void configureAwtSplash(JNIEnv* env, const SplashSettings& settings, const JniLog& log);
// Calls Common.initFromLauncher(flag); false when the class or the method is missing.
bool callInitFromLauncher(JNIEnv* env, bool flag, const JniLog& log);
// System.setProperty("quenta.moduleName", path) with the exact UTF-16 path.
void setModuleNameProperty(JNIEnv* env, std::wstring_view executablePath, const JniLog& log);

enum class MainOutcome { Returned, ClassMissing, MethodMissing, Failed };
// Finds the launcher class ("." or "/" separated), calls its main(String[]) with the
// parameters and reports how it went; an exception that left main is described and logged.
MainOutcome callMain(JNIEnv* env, std::string_view className, const std::vector<std::wstring>& parameters,
                     const JniLog& log);

enum class Describe { No, Yes };
// True when no exception is pending; otherwise logs it (its stack trace on standard error
// with Describe::Yes, its toString() text in the log), clears it and returns false.
bool checkJavaException(JNIEnv* env, Describe describe, const JniLog& log);

// UTF-16 for the JVM from the launcher's wide text (wchar_t is UTF-16 on Windows, UTF-32 on
// the test host), and back.
std::u16string toJavaChars(std::wstring_view text);
std::wstring fromJavaChars(const jchar* chars, jsize length);

} // namespace vkr
