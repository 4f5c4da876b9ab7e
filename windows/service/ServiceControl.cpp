#include "service/ServiceControl.h"

#include "config/ConfigStore.h"
#include "core/ServiceOperations.h"
#include "service/ServiceControlLogic.h"
#include "util/Format.h"
#include "util/Handles.h"
#include "util/Paths.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

namespace vkr {
namespace {

constexpr int kDependenciesKey = 149;
constexpr int kDescriptionMessage = 20017;
constexpr size_t kTextCapacity = 6000;
constexpr DWORD kConfigBufferBytes = 6000;

constexpr DWORD kManagerFullAccess = SC_MANAGER_ALL_ACCESS;       // 0xF003F
constexpr DWORD kManagerConnect = SC_MANAGER_CONNECT;             // 1
constexpr DWORD kStopAccess = SERVICE_STOP | SERVICE_QUERY_STATUS; // 0x24
constexpr DWORD kStatusAccess = SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS; // 5

// Through stdio, so that line ends get the C runtime's text-mode translation like every other
// console line of the launcher; flushed at once because the process may end right after.
template <class... A>
void print(std::string_view format, const A&... arguments) {
    std::string line = format8(format, arguments...);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

UniqueServiceHandle openManager(DWORD access) {
    return UniqueServiceHandle(OpenSCManagerA(nullptr, nullptr, access));
}

UniqueServiceHandle openService(const UniqueServiceHandle& manager, const std::wstring& name, DWORD access) {
    return UniqueServiceHandle(OpenServiceW(manager.get(), name.c_str(), access));
}

std::wstring readWideSetting(int key) {
    std::vector<wchar_t> buffer(kTextCapacity);
    size_t length = configWideText(key, buffer.data(), buffer.size());
    return std::wstring(buffer.data(), length);
}

std::wstring readDescription() {
    std::vector<wchar_t> buffer(kTextCapacity);
    rawMessageText(kDescriptionMessage, buffer.data(), buffer.size());
    return std::wstring(buffer.data());
}

using ChangeServiceConfig2Function = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPVOID);

// Looked up at run time: the launcher must also load on systems whose advapi32 lacks it.
ChangeServiceConfig2Function changeServiceConfig2() noexcept {
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    FARPROC entry = advapi ? GetProcAddress(advapi, "ChangeServiceConfig2W") : nullptr;
    return reinterpret_cast<ChangeServiceConfig2Function>(reinterpret_cast<void (*)()>(entry));
}

// An optional part of the registration; its failure is reported with the error code.
bool changeConfiguration(SC_HANDLE service, DWORD level, void* info, const char* what) {
    ChangeServiceConfig2Function change = changeServiceConfig2();
    const bool changed = change && change(service, level, info);
    if (!changed) {
        const DWORD error = change ? GetLastError() : ERROR_PROC_NOT_FOUND;
        print("Could not set the %s (error %d).\n", std::string_view(what), static_cast<int>(error));
    }
    return changed;
}

void setDescription(SC_HANDLE service) {
    std::wstring description = readDescription();
    if (description.empty()) return;
    ChangeServiceConfig2Function change = changeServiceConfig2();
    if (!change) return;
    SERVICE_DESCRIPTIONW info{};
    info.lpDescription = description.data();
    change(service, SERVICE_CONFIG_DESCRIPTION, &info); // a missing description is no failure
}

// A host whose child failed ends without reporting the service stopped, which the manager
// counts as a failure. The flag makes a stop reported with an error a failure too: a child
// that could not be started at all (the host reports 1066 with 5000) is restarted as well.
bool setRecovery(SC_HANDLE service) {
    const std::optional<std::vector<std::uint32_t>> delays = parseRestartDelays(configTextCopy(kRestartDelaysKey));
    if (!delays) return true;
    std::vector<SC_ACTION> actions;
    for (const RecoveryStep& step : recoverySteps(*delays))
        actions.push_back(SC_ACTION{step.restart ? SC_ACTION_RESTART : SC_ACTION_NONE, step.delayMs});
    SERVICE_FAILURE_ACTIONSW failure{};
    failure.dwResetPeriod = failureResetSeconds(configTextCopy(kFailureResetKey));
    failure.cActions = static_cast<DWORD>(actions.size());
    failure.lpsaActions = actions.data();
    SERVICE_FAILURE_ACTIONS_FLAG flag{TRUE};
    return changeConfiguration(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure, "recovery actions") &&
           changeConfiguration(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag, "recovery after failed starts");
}

bool setDelayedStart(SC_HANDLE service, DWORD startType) {
    if (startType != SERVICE_AUTO_START || configInt(kDelayedStartKey) != 1) return true;
    SERVICE_DELAYED_AUTO_START_INFO delayed{TRUE};
    return changeConfiguration(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed, "delayed start");
}

} // namespace

int installService(const std::wstring& name, DWORD startType) {
    uninstallService(name, Report::Quiet);
    UniqueServiceHandle manager = openManager(kManagerFullAccess);
    if (!manager) {
        print("Could not open SCManager.\n");
        return 1;
    }
    std::wstring binaryPath = formatW(L"\"%s\"", executableLongPath());
    std::optional<std::wstring> dependencies = buildDependencyList(readWideSetting(kDependenciesKey));
    // No password: only accounts that need none can be configured.
    const std::optional<std::wstring> account = serviceAccountName(configInt(kServiceAccountKey), name);
    UniqueServiceHandle service(CreateServiceW(manager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                               SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_NORMAL,
                                               binaryPath.c_str(), nullptr, nullptr,
                                               dependencies ? dependencies->c_str() : nullptr,
                                               account ? account->c_str() : nullptr, nullptr));
    if (!service) {
        print("Could not create service.\n");
        return 1;
    }
    setDescription(service.get());
    print("Installed service '%S'.\n", name);
    // The service exists either way; a part of its registration that could not be set makes
    // the command fail, so that a script does not take the service for configured.
    const bool recovery = setRecovery(service.get());
    const bool delayed = setDelayedStart(service.get(), startType);
    return recovery && delayed ? 0 : 1;
}

int uninstallService(const std::wstring& name, Report report) {
    const bool verbose = report == Report::Verbose;
    stopService(name, Report::Quiet);
    UniqueServiceHandle manager = openManager(kManagerFullAccess);
    if (!manager) {
        if (verbose) print("Could not open SCManager.\n");
        return 1;
    }
    UniqueServiceHandle service = openService(manager, name, DELETE);
    if (service && DeleteService(service.get())) {
        service.reset();
        manager.reset();
        if (verbose) print("Uninstalled service '%S'.\n", name);
        return 0;
    }
    if (verbose) print("Could not delete service.\n");
    return 1;
}

int startService(const std::wstring& name, const ArgumentVector& arguments) {
    UniqueServiceHandle manager = openManager(kManagerConnect);
    if (!manager) {
        print("Could not open SCManager.\n");
        return 1;
    }
    UniqueServiceHandle service = openService(manager, name, SERVICE_START);
    if (!service) {
        int error = static_cast<int>(GetLastError());
        print("Could not start service. Error code: %d\n", error);
        return 1;
    }
    std::vector<const wchar_t*> startArguments = startArgumentPointers(arguments);
    BOOL started = StartServiceW(service.get(), static_cast<DWORD>(startArguments.size()),
                                 startArguments.empty() ? nullptr : startArguments.data());
    DWORD error = started ? ERROR_SUCCESS : GetLastError();
    service.reset();
    manager.reset();
    if (started) {
        print("Starting service '%S'.\n", name);
        return 0;
    }
    if (error == ERROR_SERVICE_ALREADY_RUNNING) {
        print("Service is already running.\n");
        return 0;
    }
    print("Could not start service. Error code: %d\n", static_cast<int>(error));
    return 1;
}

int stopService(const std::wstring& name, Report report) {
    const bool verbose = report == Report::Verbose;
    UniqueServiceHandle manager = openManager(kManagerConnect);
    if (!manager) {
        if (verbose) print("Could not open SCManager.\n");
        return 1;
    }
    UniqueServiceHandle service = openService(manager, name, kStopAccess);
    if (!service) {
        if (verbose) print("Could not stop service.\n");
        return 1;
    }
    SERVICE_STATUS status{};
    if (ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
        print("Stopping service '%S'.\n", name);
        StopWaitProbe probe{
            [&service](SERVICE_STATUS& current) { return QueryServiceStatus(service.get(), &current) != FALSE; },
            [] { return GetTickCount(); },
            [](DWORD milliseconds) { Sleep(milliseconds); },
        };
        print(waitForServiceStop(probe) ? "Service stopped\n" : "Error while stopping service\n");
        return 0;
    }
    if (GetLastError() == ERROR_SERVICE_NOT_ACTIVE) {
        print("Service is already stopped.\n");
        return 0;
    }
    if (verbose) print("Could not stop service.\n");
    return 1;
}

int serviceStatus(const std::wstring& name) {
    UniqueServiceHandle manager = openManager(kManagerConnect);
    if (!manager) {
        print("Could not open SCManager.\n");
        return 1;
    }
    UniqueServiceHandle service = openService(manager, name, kStatusAccess);
    SERVICE_STATUS status{};
    if (!service || !QueryServiceStatus(service.get(), &status)) {
        print("Could not get status.\n");
        return 1;
    }
    int result = 3;
    if (status.dwCurrentState == SERVICE_RUNNING) {
        print("Running.\n");
        result = 0;
    } else {
        print("Not running.\n");
    }
    std::vector<BYTE> buffer(kConfigBufferBytes);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    DWORD needed = 0;
    if (!QueryServiceConfigA(service.get(), config, kConfigBufferBytes, &needed)) {
        int error = static_cast<int>(GetLastError());
        print("Could not get config (%d, %d).\n", error, static_cast<int>(needed));
        return 1;
    }
    if (config->dwStartType == SERVICE_AUTO_START) print("%s.\n", "Auto-start");
    return result;
}

} // namespace vkr
