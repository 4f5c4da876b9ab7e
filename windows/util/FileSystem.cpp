#include "util/FileSystem.h"

#include "core/PathRules.h"
#include "util/Handles.h"

namespace vkr {

namespace {

DWORD fullPathName(const char* path, DWORD size, char* out) { return GetFullPathNameA(path, size, out, nullptr); }
DWORD fullPathName(const wchar_t* path, DWORD size, wchar_t* out) { return GetFullPathNameW(path, size, out, nullptr); }
HANDLE findFirst(const char* path, FILETIME* lastWrite) {
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(path, &data);
    if (h != INVALID_HANDLE_VALUE && lastWrite) *lastWrite = data.ftLastWriteTime;
    return h;
}
HANDLE findFirst(const wchar_t* path, FILETIME* lastWrite) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(path, &data);
    if (h != INVALID_HANDLE_VALUE && lastWrite) *lastWrite = data.ftLastWriteTime;
    return h;
}

template <class Char>
bool existsAny(const std::basic_string<Char>& path, FILETIME* lastWrite) {
    if (isDriveRoot(std::basic_string_view<Char>(path))) return true;
    UniqueFind found(findFirst(path.c_str(), lastWrite));
    return static_cast<bool>(found);
}

} // namespace

bool exists(const std::string& path, FILETIME* lastWrite) { return existsAny(path, lastWrite); }
bool exists(const std::wstring& path, FILETIME* lastWrite) { return existsAny(path, lastWrite); }

std::string fullPath(const std::string& path) {
    return systemText<char>([&](char* out, DWORD size) { return fullPathName(path.c_str(), size, out); });
}
std::wstring fullPath(const std::wstring& path) {
    return systemText<wchar_t>([&](wchar_t* out, DWORD size) { return fullPathName(path.c_str(), size, out); });
}

} // namespace vkr
