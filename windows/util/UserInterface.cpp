#include "util/UserInterface.h"

#include "util/DiagnosticLog.h"

namespace vkr {

namespace {

struct User32 {
    decltype(&MessageBoxW) messageBox = nullptr;
    decltype(&EnumWindows) enumWindows = nullptr;
    decltype(&IsWindowVisible) isWindowVisible = nullptr;
    decltype(&GetWindowThreadProcessId) windowProcess = nullptr;
    decltype(&IsIconic) isIconic = nullptr;
    decltype(&ShowWindow) showWindow = nullptr;
    decltype(&SetForegroundWindow) setForeground = nullptr;
    decltype(&GetLastActivePopup) lastActivePopup = nullptr;
};

template <class F>
F lookUp(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Loaded once, by its full path in the system directory (never from the application's
// directory or the current one), and kept for the life of the process.
const User32& user32() {
    static const User32 functions = [] {
        User32 f;
        wchar_t system[MAX_PATH] = {};
        const UINT length = GetSystemDirectoryW(system, MAX_PATH);
        if (length == 0 || length >= MAX_PATH - 12) return f;
        HMODULE module = LoadLibraryW((std::wstring(system, length) + L"\\user32.dll").c_str());
        if (!module) return f;
        f.messageBox = lookUp<decltype(&MessageBoxW)>(module, "MessageBoxW");
        f.enumWindows = lookUp<decltype(&EnumWindows)>(module, "EnumWindows");
        f.isWindowVisible = lookUp<decltype(&IsWindowVisible)>(module, "IsWindowVisible");
        f.windowProcess = lookUp<decltype(&GetWindowThreadProcessId)>(module, "GetWindowThreadProcessId");
        f.isIconic = lookUp<decltype(&IsIconic)>(module, "IsIconic");
        f.showWindow = lookUp<decltype(&ShowWindow)>(module, "ShowWindow");
        f.setForeground = lookUp<decltype(&SetForegroundWindow)>(module, "SetForegroundWindow");
        f.lastActivePopup = lookUp<decltype(&GetLastActivePopup)>(module, "GetLastActivePopup");
        return f;
    }();
    return functions;
}

struct Search {
    const User32& ui;
    DWORD processId;
};

BOOL CALLBACK bringToFront(HWND window, LPARAM parameter) noexcept {
    const Search& search = *reinterpret_cast<const Search*>(parameter);
    const User32& ui = search.ui;
    DWORD owner = 0;
    if (!ui.isWindowVisible(window) || (ui.windowProcess(window, &owner), owner) != search.processId) return TRUE;
    logMessage(L"found window %p", static_cast<const void*>(window));
    if (ui.isIconic(window)) {
        logMessage(L"restore");
        ui.showWindow(window, SW_RESTORE);
    }
    logMessage(L"foreground");
    ui.setForeground(window);
    logMessage(L"popup");
    ui.setForeground(ui.lastActivePopup(window));
    logMessage(L"done");
    return TRUE; // every window of the process, not only the first
}

} // namespace

std::optional<int> showMessageBox(const std::wstring& text, const std::wstring& caption, UINT flags) {
    const User32& ui = user32();
    if (!ui.messageBox) return std::nullopt;
    return ui.messageBox(nullptr, text.c_str(), caption.c_str(), flags);
}

void bringWindowsToFront(DWORD processId) {
    const User32& ui = user32();
    if (!ui.enumWindows || !ui.isWindowVisible || !ui.windowProcess || !ui.isIconic || !ui.showWindow ||
        !ui.setForeground || !ui.lastActivePopup) {
        logMessage(L"no windows to bring to the front: user32 not available");
        return;
    }
    Search search{ui, processId};
    ui.enumWindows(bringToFront, reinterpret_cast<LPARAM>(&search));
}

} // namespace vkr
