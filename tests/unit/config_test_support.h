#pragma once
// Helpers for tests of the reporting path: a terminate hook that throws instead of ending the
// process, and a capture of what the console mode writes to the standard error stream.
#include "config/ErrorReporting.h"

#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <string>

namespace vkr::test {

struct Terminated {
    int exitCode;
};

inline void throwingTerminateHook(int exitCode) { throw Terminated{exitCode}; }

// While alive: standard output is no console (so the console mode takes the standard error
// path) and the standard error stream goes into a temporary file.
class CapturedStandardError {
public:
    CapturedStandardError() {
        savedOut_ = GetStdHandle(STD_OUTPUT_HANDLE);
        SetStdHandle(STD_OUTPUT_HANDLE, INVALID_HANDLE_VALUE);
        std::fflush(stderr);
        file_ = std::tmpfile();
        savedErr_ = _dup(_fileno(stderr));
        _dup2(_fileno(file_), _fileno(stderr));
    }
    ~CapturedStandardError() { restore(); }
    CapturedStandardError(const CapturedStandardError&) = delete;
    CapturedStandardError& operator=(const CapturedStandardError&) = delete;

    std::string text() {
        std::fflush(stderr);
        std::string out;
        long end = std::ftell(file_);
        std::fseek(file_, 0, SEEK_SET);
        out.resize(static_cast<size_t>(end > 0 ? end : 0));
        if (!out.empty()) out.resize(std::fread(out.data(), 1, out.size(), file_));
        std::fseek(file_, 0, SEEK_END);
        return out;
    }

private:
    void restore() {
        if (!file_) return;
        std::fflush(stderr);
        _dup2(savedErr_, _fileno(stderr));
        _close(savedErr_);
        std::fclose(file_);
        file_ = nullptr;
        SetStdHandle(STD_OUTPUT_HANDLE, savedOut_);
    }

    HANDLE savedOut_ = nullptr;
    FILE* file_ = nullptr;
    int savedErr_ = -1;
};

// A fresh directory under the temp directory, removed with its files afterwards.
inline std::wstring freshTempDirectory(const wchar_t* tag) {
    wchar_t base[MAX_PATH + 1];
    GetTempPathW(MAX_PATH, base);
    std::wstring dir = std::wstring(base) + tag + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                       std::to_wstring(GetTickCount64());
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir + L"\\";
}

} // namespace vkr::test
