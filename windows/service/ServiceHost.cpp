#include "service/ServiceHost.h"

#include "util/DiagnosticLog.h"

namespace vkr {

namespace {

SERVICE_STATUS_HANDLE g_statusHandle = nullptr;

DWORD WINAPI controlHandler(DWORD control, DWORD, void*, void*) noexcept {
    logMessage(L"control handler request %d", control);
    return NO_ERROR;
}

} // namespace

// The supervising host (child process, pipes, shutdown message) is not part of this build
// yet. Until it is, the service must not look as if it ran: it reports itself stopped with
// an error code at once, so the SCM and the administrator see a failed start.
void WINAPI serviceMain(DWORD argc, LPWSTR* argv) noexcept {
    logMessage(L"service main");
    const wchar_t* name = argc > 0 && argv[0] && argv[0][0] ? argv[0] : L"unknown";
    g_statusHandle = RegisterServiceCtrlHandlerExW(name, controlHandler, nullptr);
    if (!g_statusHandle) return;
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = SERVICE_STOPPED;
    status.dwWin32ExitCode = ERROR_CALL_NOT_IMPLEMENTED;
    SetServiceStatus(g_statusHandle, &status);
}

BOOL WINAPI consoleControlHandler(DWORD event) noexcept {
    (void)event;
    logMessage(L"ConsoleCtrlHandler event");
    return TRUE;
}

} // namespace vkr
