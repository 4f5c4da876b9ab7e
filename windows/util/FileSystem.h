#pragma once
// The file-system queries all layers share: existence and full path names.
#include "core/Limits.h"

#include <windows.h>

#include <string>

namespace vkr {

// A system call that fills a caller's buffer of kMaxPath characters and returns the length
// (0 on failure, the needed size when the buffer is too small); "" for both failures.
template <class Char, class Call>
std::basic_string<Char> systemText(Call call) {
    std::basic_string<Char> buffer(kMaxPath, Char(0));
    const DWORD n = call(buffer.data(), static_cast<DWORD>(kMaxPath));
    if (n == 0 || n >= kMaxPath) return {};
    buffer.resize(n);
    return buffer;
}

// Drive roots ("C:\") count as existing without a disk access; anything else is decided by
// FindFirstFile (so wildcards match). lastWrite receives the first match's last-write time.
bool exists(const std::string& path, FILETIME* lastWrite = nullptr);
bool exists(const std::wstring& path, FILETIME* lastWrite = nullptr);

// GetFullPathName; "" when it fails or does not fit kMaxPath.
std::string fullPath(const std::string& path);
std::wstring fullPath(const std::wstring& path);

} // namespace vkr
