#pragma once
// The service side: the service main that the dispatcher runs, and the console control
// handler shared by the service host and the service child.
#include <windows.h>

namespace vkr {

void WINAPI serviceMain(DWORD argc, LPWSTR* argv) noexcept;
BOOL WINAPI consoleControlHandler(DWORD event) noexcept;

// Test seams: the control handler as the service manager calls it, on a host whose child
// reads its input from the other end of shutdownPipe (null: no child yet). Only the system
// sends the shutdown control, when Windows shuts down, so a test can reach it only here.
void setServiceHostForTest(HANDLE shutdownPipe, bool childStarted) noexcept;
void serviceControlForTest(DWORD control) noexcept;
SERVICE_STATUS serviceStatusForTest() noexcept;
bool serviceStopRequestedForTest() noexcept;

} // namespace vkr
