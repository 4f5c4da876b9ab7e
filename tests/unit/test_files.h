#pragma once
// File and directory helpers shared by the tests that lay out runtime trees and read what the
// stand-in programs (java.exe, unpack200.exe) leave behind. Plain Win32 calls, so that the
// tests see the file system exactly as the launcher does under the same process.
#include "util/DiagnosticLog.h"
#include "util/Paths.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace vkr::test {

// The stand-in programs' build directory as a Windows path. ctest hands the Linux path of the
// build tree; Wine maps / to Z:.
inline std::string fixturesDirectory() {
    const char* value = std::getenv("VKR_FIXTURES");
    std::string dir = value ? value : "";
    if (!dir.empty() && dir[0] == '/') {
        std::replace(dir.begin(), dir.end(), '/', '\\');
        dir = "Z:" + dir;
    }
    return dir;
}

// The whole file, or "" when it cannot be opened. Shared for deletion and writing too: the
// stand-ins may still hold their record files open when a test looks.
inline std::string readWholeFile(const std::string& name) {
    std::string text;
    HANDLE h = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    CloseHandle(h);
    return text;
}

inline bool writeWholeFile(const std::string& name, const std::string& bytes) {
    HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << name;
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    CloseHandle(h);
    return ok;
}

// Every directory along the path, the last one included.
inline void createDirectories(const std::string& path) {
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    }
    CreateDirectoryA(path.c_str(), nullptr);
}

inline void removeTree(const std::string& dir) {
    WIN32_FIND_DATAA match;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &match);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = match.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = dir + "\\" + name;
            if ((match.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(match.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                removeTree(path);
            } else if (match.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveDirectoryA(path.c_str());
            } else {
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &match));
        FindClose(search);
    }
    RemoveDirectoryA(dir.c_str());
}

// Lines without their CR LF or LF ends; a last line without an end counts too.
inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(std::move(line));
        start = end + 1;
    }
    return out;
}

// A path for a test's own directory under the temp directory, canonical as the launcher
// would make it; unique within the run (process id and a counter).
inline std::string scratchPath(const char* tag) {
    char base[MAX_PATH + 1];
    GetTempPathA(MAX_PATH, base);
    static int counter = 0;
    return canonicalPath(std::string(base) + tag + "_" + std::to_string(GetCurrentProcessId()) + "_" +
                             std::to_string(++counter),
                         LetterCase::Lowered);
}

// The diagnostic log for one test: switched on before, and its file removed after, so that
// every test reads only its own lines.
inline void beginTestLog() {
    SetEnvironmentVariableA("QUENTA_LOG", "yes");
    resetDiagnosticLogForTest();
}

inline void endTestLog() {
    const wchar_t* log = logFilePath();
    const std::wstring path = log ? log : L"";
    SetEnvironmentVariableA("QUENTA_LOG", nullptr);
    resetDiagnosticLogForTest();
    if (!path.empty()) DeleteFileW(path.c_str());
}

inline std::string testLogText() {
    const wchar_t* path = logFilePath();
    if (!path) return {};
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    CloseHandle(h);
    return text;
}

} // namespace vkr::test
