#pragma once
// The few user-interface calls of the launcher: the message box of the error path and the
// window functions of the single-instance guard. user32.dll is loaded only when one of them is
// made: importing it would load it, and the libraries it pulls in, into every launcher process
// (a service host, an administrator's /status), and make each a GUI process, for calls most of
// them never make.
#include <windows.h>

#include <optional>
#include <string>

namespace vkr {

// MessageBoxW; nothing when user32 cannot be loaded (the caller's text must then go elsewhere).
std::optional<int> showMessageBox(const std::wstring& text, const std::wstring& caption, UINT flags);

// Every visible top-level window of the process: restored when minimized, brought to the
// foreground, and its last active popup too. Logged as the guard's lines.
void bringWindowsToFront(DWORD processId);

} // namespace vkr
