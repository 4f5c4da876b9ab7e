#pragma once
// The service side: the service main that the dispatcher runs, and the console control
// handler shared by the service host and the service child.
#include <windows.h>

namespace vkr {

void WINAPI serviceMain(DWORD argc, LPWSTR* argv) noexcept;
BOOL WINAPI consoleControlHandler(DWORD event) noexcept;

} // namespace vkr
