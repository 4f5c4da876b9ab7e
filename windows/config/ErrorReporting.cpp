#include "config/ErrorReporting.h"

#include "config/ConfigStore.h"
#include "util/DiagnosticLog.h"
#include "util/Handles.h"
#include "util/Paths.h"
#include "util/UserInterface.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// windows.h maps MessageBox to MessageBoxA/W, which would rename the output mode here.
#ifdef MessageBox
#undef MessageBox
#endif

namespace vkr {

namespace {

TerminateHook terminateHook = nullptr;

std::wstring withLogHint(std::wstring_view text) {
    const wchar_t* log = logFilePath();
    if (!log) return std::wstring(text);
    std::wstring longPath(kMaxPath, L'\0');
    DWORD n = GetLongPathNameW(log, longPath.data(), static_cast<DWORD>(kMaxPath));
    if (n == 0 || n >= kMaxPath) {
        longPath = log;
    } else {
        longPath.resize(n);
    }
    return formatW(L"%s\n\nLog: %s", text, longPath);
}

void writeToStandardError(const std::wstring& text) {
    std::string line = narrowText(text);
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

// A path of the removal: the directory, a backslash unless it has one, and the name.
std::string childPath(const std::string& directory, const char* name) {
    std::string path = directory;
    if (path.empty() || path.back() != '\\') path.push_back('\\');
    path += name;
    return path;
}

} // namespace

void setErrorOutput(ErrorOutput mode) noexcept { processState().errorOutput = mode; }
ErrorOutput errorOutput() noexcept { return processState().errorOutput; }

std::wstring substituteArgument(std::wstring_view text, const wchar_t* argument) {
    std::wstring result(text);
    if (!argument) return result;
    size_t at = result.find(L"{0}");
    if (at != std::wstring::npos) result.replace(at, 3, argument);
    return result;
}

void showMessage(int number, const wchar_t* argument) {
    std::vector<wchar_t> buffer(kMaxPath);
    messageText(number, buffer.data(), buffer.size());
    showErrorText(substituteArgument(buffer.data(), argument));
}

void showMessage8(int number, const char* argument) {
    std::wstring wide = widenBytes(argument ? argument : "");
    if (wide.size() > kMaxPath) wide.resize(kMaxPath);
    showMessage(number, wide.c_str());
}

void showErrorText(std::wstring_view text) {
    std::wstring shown = withLogHint(text);
    // Without user32 the text goes to standard error like the console mode's: never nowhere.
    if (errorOutput() == ErrorOutput::MessageBox && showMessageBox(shown, messageText(1000), MB_ICONERROR | MB_OK))
        return;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != INVALID_HANDLE_VALUE && out != nullptr && GetFileType(out) == FILE_TYPE_CHAR) {
        DWORD written = 0;
        if (WriteConsoleW(out, shown.data(), static_cast<DWORD>(shown.size()), &written, nullptr)) {
            FlushFileBuffers(out);
            return;
        }
        // A character device that is no console (NUL, a serial line): the standard error
        // stream still takes the text.
    }
    writeToStandardError(shown);
}

void fatalText(std::wstring_view text) {
    showErrorText(text);
    terminateLauncher(1);
}

void fatalMessage(int number, const wchar_t* argument) {
    showMessage(number, argument);
    terminateLauncher(1);
}

void fatalMessage8(int number, const char* argument) {
    showMessage8(number, argument);
    terminateLauncher(1);
}

void terminateLauncher(int exitCode) {
    const std::string& directory = processState().extractionDirectory;
    if (!directory.empty()) {
        removeDirectoryContents(directory.c_str(), Subdirectories::Emptied);
        RemoveDirectoryA(directory.c_str());
    }
    std::fflush(nullptr);
    if (terminateHook) terminateHook(exitCode);
    ExitProcess(static_cast<UINT>(exitCode));
}

void removeDirectoryContents(const char* path, Subdirectories subdirectories) {
    const bool descend = subdirectories == Subdirectories::Emptied;
    // Relative paths and the current directory are never emptied.
    if (!path || path[0] == '\0' || path[0] == '.') return;
    logMessage(L"emptying %S", path);
    std::string directory = path;
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA(childPath(directory, "*.*").c_str(), &entry));
    if (!find) return;
    do {
        if (std::strcmp(entry.cFileName, ".") == 0 || std::strcmp(entry.cFileName, "..") == 0) continue;
        std::string full = childPath(directory, entry.cFileName);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            logMessage(L"attempting to remove %S (%d)", full, descend ? 1 : 0);
            // A junction or directory link is removed as the link itself: descending into it
            // would delete files that lie outside the directory being emptied.
            if (descend && !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                removeDirectoryContents(full.c_str(), Subdirectories::Removed);
            }
            RemoveDirectoryA(full.c_str());
        } else {
            logMessage(L"attempting to delete %S", full);
            DeleteFileA(full.c_str());
        }
    } while (FindNextFileA(find.get(), &entry));
}

void setTerminateHookForTest(TerminateHook hook) noexcept { terminateHook = hook; }

} // namespace vkr
