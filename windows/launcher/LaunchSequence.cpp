#include "launcher/LaunchSequence.h"

#include "config/ConfigStore.h"
#include "config/ErrorReporting.h"
#include "config/IncludedFiles.h"
#include "jvm/JvmLoader.h"
#include "service/ServiceHost.h"
#include "util/DiagnosticLog.h"
#include "util/Paths.h"
#include "util/VariableExpansion.h"

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace vkr {

namespace {

constexpr size_t kNativeLibraryListCapacity = 6000;

std::string currentPath8() {
    const DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
    if (size == 0) return {};
    std::string value(size, '\0');
    const DWORD length = GetEnvironmentVariableA("PATH", value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
}

// Both copies of the environment must agree: the process block (SetEnvironmentVariable) is what
// child processes and LoadLibrary's search see, the runtime library's table is what getenv and
// the JVM's own lookups see.
bool setPath8(const std::string& value) {
    const bool ok = SetEnvironmentVariableA("PATH", value.c_str()) != FALSE;
    const DWORD error = GetLastError();
    std::string entry = "PATH=" + value;
    _putenv(entry.c_str());
    SetLastError(error);
    return ok;
}

// The JVM invocation is not part of this build yet; a run that reaches this point must not
// look successful.
[[noreturn]] void launchApplicationUnavailable() {
    logError(L"JVM invocation is not available in this build");
    terminate(1);
}

} // namespace

void prependNativeLibraryPath() {
    std::vector<char> buffer(kNativeLibraryListCapacity, '\0');
    configText(10004, buffer.data(), buffer.size());
    std::string list(buffer.data());
    logMessage(L"native lib dir is %S", list);
    expandVariables(list, kNativeLibraryListCapacity);

    std::string value;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        if (end > start) {
            const std::string directory = resolvePath(std::string_view(list).substr(start, end - start));
            if (!value.empty()) value += ';';
            value += directory;
            addDllSearchDirectory(directory);
        }
        start = end + 1;
    }
    if (!value.empty() && value.back() != ';') value += ';';
    value += currentPath8();

    if (setPath8(value)) {
        logMessage(L"Setting PATH (native libs) %S", value);
    } else {
        logMessage(L"Setting PATH (native libs) %S failed with error %d", value, GetLastError());
    }
}

void runLaunchSequence(LaunchMode mode, ArgumentVector& arguments) {
    (void)arguments;
    if (extractIncludedFiles(true) != 0) fatalMessage8(1009, "16");
    prependNativeLibraryPath();
    if (mode == LaunchMode::ServiceChild) {
        logMessage(L"registering ConsoleCtrlHandler");
        SetConsoleCtrlHandler(consoleControlHandler, TRUE);
    }
    if (!LoadDLL()) terminate(1);
    launchApplicationUnavailable();
}

} // namespace vkr
