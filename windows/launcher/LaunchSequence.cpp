#include "launcher/LaunchSequence.h"

#include "config/ConfigStore.h"
#include "config/ErrorReporting.h"
#include "config/IncludedFiles.h"
#include "config/LauncherValues.h"
#include "core/Text.h"
#include "JavaVMLauncher.h"
#include "instance/SingleInstance.h"
#include "jvm/JvmLoader.h"
#include "service/ServiceHost.h"
#include "util/DiagnosticLog.h"
#include "util/EnvironmentPath.h"
#include "util/Paths.h"
#include "util/VariableExpansion.h"

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace vkr {

namespace {

constexpr size_t kNativeLibraryListCapacity = 6000;

} // namespace

void prependNativeLibraryPath() {
    std::vector<char> buffer(kNativeLibraryListCapacity, '\0');
    configText(10004, buffer.data(), buffer.size());
    std::string list(buffer.data());
    logMessage(L"native lib dir is %S", list);
    expandVariables(list, launcherValues(), kNativeLibraryListCapacity);

    std::string directories;
    for (const std::string& entry : splitList(list)) {
        const std::string directory = resolvePath(entry);
        if (!directories.empty()) directories += ';';
        directories += directory;
        addDllSearchDirectory(directory);
    }
    // Without directories PATH is put back as it was: an unset PATH stays unset.
    const std::optional<std::string> oldPath = environmentPath();
    const std::optional<std::string> newPath =
        directories.empty() ? oldPath : directories + ";" + oldPath.value_or(std::string());
    const std::string value = newPath.value_or(std::string());

    if (setEnvironmentPath(newPath)) {
        logMessage(L"Setting PATH (native libs) %S", value);
    } else {
        const DWORD error = GetLastError();
        logMessage(L"Setting PATH (native libs) %S failed with error %d", value, error);
    }
}

void runLaunchSequence(LaunchMode mode, ArgumentVector& arguments) {
    if (extractIncludedFiles(ExtractionDirectory::Create) != Extraction::Done) fatalMessage8(1009, "16");
    prependNativeLibraryPath();
    if (mode == LaunchMode::ServiceChild) {
        logMessage(L"registering ConsoleCtrlHandler");
        SetConsoleCtrlHandler(consoleControlHandler, TRUE);
    }
    applySingleInstanceRule();
    // The search and the JVM invocation show their own messages (or only log): none follows here.
    if (!LoadDLL()) terminateLauncher(1);
    if (!launchApplication(arguments)) terminateLauncher(1);
}

} // namespace vkr
