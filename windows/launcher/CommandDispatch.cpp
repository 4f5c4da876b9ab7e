#include "launcher/CommandDispatch.h"

#include "config/ConfigStore.h"
#include "launcher/LaunchSequence.h"
#include "launcher/WorkingEnvironment.h"
#include "service/ServiceControl.h"
#include "service/ServiceHost.h"
#include "util/DiagnosticLog.h"
#include "util/Format.h"
#include "util/Paths.h"
#include "util/ProcessState.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace vkr {

namespace {

constexpr size_t kModulePathCapacity = 6000;
constexpr size_t kBaseNameCapacity = 255;
// UTF-16 units, terminator included: the SCM calls and the child command line hold the name
// in a buffer of this size, so a longer name is cut here, never overrun there.
constexpr size_t kServiceNameCapacity = 6000;

void setServiceName(std::wstring_view name) {
    processState().serviceName.assign(name.substr(0, kServiceNameCapacity - 1));
}

const std::wstring& serviceName() noexcept { return processState().serviceName; }

bool isCommand(std::wstring_view argument) noexcept {
    return !argument.empty() && (argument.front() == L'/' || argument.front() == L'-');
}

void printUsage() {
    std::vector<wchar_t> module(kModulePathCapacity, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
    const std::string line = narrowText(usageText(executableBaseName(std::wstring_view(module.data(), length))));
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

DWORD configuredStartType() {
    return configInt(107) == 4 ? SERVICE_AUTO_START : SERVICE_DEMAND_START;
}

// "run" keeps the application's output on the console (the JVM gets velkor.noRedir=true);
// "run-redirect" lets it go to the configured log files.
enum class Output { Console, Redirected };

int runForeground(const std::wstring& executableToken, ArgumentVector& arguments, Output output) {
    logMessage(output == Output::Redirected ? L"running service with redirection" : L"running service");
    processState().serviceMode = false;
    if (output == Output::Console) processState().noRedirection = true;
    arguments.insert(arguments.begin(), executableToken);
    runLaunchSequence(LaunchMode::Foreground, arguments);
    return 0;
}

// A recognised command gives its exit code; an unknown one gives nothing and the entry
// point goes on to the dispatcher.
bool dispatchCommand(std::wstring_view name, const std::wstring& executableToken, ArgumentVector& arguments,
                     int& exitCode) {
    const std::wstring& service = serviceName();
    if (name == L"?" || name == L"help") {
        printUsage();
        exitCode = 0;
    } else if (name == L"install") {
        exitCode = installService(service, configuredStartType());
    } else if (name == L"install-and-start") {
        installService(service, configuredStartType()); // install printed its own failure; the start decides
        exitCode = startService(service, arguments);
    } else if (name == L"install-auto") {
        exitCode = installService(service, SERVICE_AUTO_START);
    } else if (name == L"install-demand") {
        exitCode = installService(service, SERVICE_DEMAND_START);
    } else if (name == L"uninstall") {
        exitCode = uninstallService(service, Report::Verbose);
    } else if (name == L"stop") {
        exitCode = stopService(service, Report::Verbose);
    } else if (name == L"start") {
        exitCode = startService(service, arguments);
    } else if (name == L"restart") {
        stopService(service, Report::Quiet);
        exitCode = startService(service, arguments);
    } else if (name == L"status") {
        exitCode = serviceStatus(service);
    } else if (name == L"run") {
        exitCode = runForeground(executableToken, arguments, Output::Console);
    } else if (name == L"run-redirect") {
        exitCode = runForeground(executableToken, arguments, Output::Redirected);
    } else {
        return false;
    }
    return true;
}

int runServiceDispatcher() {
    logMessage(L"calling StartServiceCtrlDispatcher");
    std::wstring name = serviceName();
    SERVICE_TABLE_ENTRYW table[] = {{name.data(), serviceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        logMessage(L"StartServiceCtrlDispatcher failed with error %d", GetLastError());
    }
    logMessage(L"StartServiceCtrlDispatcher returned");
    return 0;
}

} // namespace

std::wstring_view commandName(std::wstring_view argument) noexcept {
    if (!isCommand(argument)) return {};
    argument.remove_prefix(argument.size() > 1 && argument[1] == L'-' ? 2 : 1);
    return argument;
}

std::wstring executableBaseName(std::wstring_view modulePath) {
    const size_t slash = modulePath.find_last_of(L"\\/");
    std::wstring_view name = slash == std::wstring_view::npos ? modulePath : modulePath.substr(slash + 1);
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring_view::npos) name = name.substr(0, dot);
    return std::wstring(name.substr(0, kBaseNameCapacity));
}

std::wstring usageText(std::wstring_view baseName) {
    return formatW(L"Usage: %s.exe /install | /uninstall | /stop | /start | /status | /run | /run-redirect\n",
                   baseName);
}

int runEntryPoint() {
    processState().serviceMode = true;
    prepareWorkingEnvironment();
    setServiceName(configWideText(101));

    const wchar_t* commandLine = GetCommandLineW();
    logMessage(L"command line %s", commandLine);
    ArgumentVector arguments;
    tokenizeCommandLine(commandLine, arguments);
    std::wstring executableToken;
    if (!arguments.empty()) {
        executableToken = std::move(arguments.front());
        arguments.erase(arguments.begin());
    }

    if (!arguments.empty() && arguments.back() == kRestartMarker) {
        arguments.pop_back();
        runLaunchSequence(LaunchMode::ServiceChild, arguments);
        return 0;
    }

    if (!arguments.empty() && isCommand(arguments.front())) {
        const std::wstring name(commandName(arguments.front()));
        arguments.erase(arguments.begin());
        if (!arguments.empty()) setServiceName(arguments.front());
        int exitCode = 0;
        if (dispatchCommand(name, executableToken, arguments, exitCode)) return exitCode;
    }

    return runServiceDispatcher();
}

} // namespace vkr
