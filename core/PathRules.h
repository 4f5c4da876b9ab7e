#pragma once
// The rules of Windows path texts that need no file system: which texts are relative, which
// name a drive root, how backslash runs collapse. Both character worlds of the launcher use
// them (8-bit paths in the file-API code page, UTF-16 paths); for 8-bit paths the launcher
// applies the edits through the UTF-16 form, so that the second byte of a double-byte
// character is never taken for a backslash.
#include <string>
#include <string_view>

namespace vkr {

// A path is absolute when it starts with a drive letter, a colon and a backslash, or with two
// backslashes (UNC); a leading quotation mark is skipped first. Everything else, shorter
// texts included, is relative.
bool isRelative(std::string_view path) noexcept;
bool isRelative(std::wstring_view path) noexcept;

// "X:\", "X:\." and "X:\.\." (any first character): a drive root, taken as existing.
bool isDriveRoot(std::string_view path) noexcept;
bool isDriveRoot(std::wstring_view path) noexcept;

// Ends with ".exe" (any letter case) behind at least one character.
bool endsWithExe(std::string_view path) noexcept;

// Shrinks backslash runs to one, except a leading run of two or more, which stays two (UNC).
void collapseBackslashRuns(std::wstring& path);

// The part up to and including the last backslash; "" without one.
std::string directoryPart(std::string_view path);
std::wstring directoryPart(std::wstring_view path);

} // namespace vkr
