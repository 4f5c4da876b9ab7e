#include "util/Paths.h"

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
std::basic_string<Char> fullPathAny(const std::basic_string<Char>& path) {
    std::basic_string<Char> buffer(kMaxPath, Char(0));
    const DWORD n = fullPathName(path.c_str(), static_cast<DWORD>(kMaxPath), buffer.data());
    if (n == 0 || n >= kMaxPath) return {};
    buffer.resize(n);
    return buffer;
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

std::string fullPath(const std::string& path) { return fullPathAny(path); }
std::wstring fullPath(const std::wstring& path) { return fullPathAny(path); }

std::string resolvePath(std::string_view path, const char* baseFile) {
    std::string out;
    if (isRelative(path)) out = baseFile ? directoryPart(fullPath(std::string(baseFile))) : executableDirectory8();
    out.append(path);
    collapseBackslashes(out);
    return out;
}

std::wstring resolvePath(std::wstring_view path, DirectoryForm form, const wchar_t* baseFile) {
    std::wstring out;
    if (isRelative(path)) {
        if (baseFile)
            out = directoryPart(fullPath(std::wstring(baseFile)));
        else
            out = form == DirectoryForm::LongWide ? executableDirectoryLong() : executableDirectoryNarrowWidened();
    }
    out.append(path);
    collapseBackslashes(out);
    return out;
}

std::string canonicalPath(std::string_view path, LetterCase letterCase) {
    std::string resolved = resolvePath(path);
    std::string full = fullPath(resolved);
    if (full.empty()) full = std::move(resolved);
    if (letterCase == LetterCase::Lowered) lowerCasePath(full);
    collapseBackslashes(full);
    return full;
}

std::wstring canonicalPath(std::wstring_view path, DirectoryForm form, LetterCase letterCase) {
    std::wstring resolved = resolvePath(path, form);
    std::wstring full = fullPath(resolved);
    if (full.empty()) full = std::move(resolved);
    if (letterCase == LetterCase::Lowered) lowerAsciiInPlace(full);
    collapseBackslashes(full);
    return full;
}

} // namespace vkr
