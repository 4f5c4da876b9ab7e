#pragma once
// Path functions all layers share: existence, resolution of relative paths against the
// executable's directory (or another file's), canonical full paths. Path values are limited
// to kMaxPath characters, terminator included, like the rest of the launcher's texts.
#include "core/Limits.h"
#include "core/PathRules.h"
#include "util/CodePage.h"
#include "util/ExecutableLocation.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace vkr {

// Drive roots ("C:\") count as existing without a disk access; anything else is decided by
// FindFirstFile (so wildcards match). lastWrite receives the first match's last-write time.
bool exists(const std::string& path, FILETIME* lastWrite = nullptr);
bool exists(const std::wstring& path, FILETIME* lastWrite = nullptr);

// GetFullPathName into a kMaxPath buffer; "" when it fails or does not fit.
std::string fullPath(const std::string& path);
std::wstring fullPath(const std::wstring& path);

// A relative path is put behind the base file's directory, or the executable's directory in
// the requested form; an absolute one stays. Backslash runs are collapsed. "" gives the
// directory itself.
std::string resolvePath(std::string_view path, const char* baseFile = nullptr);
std::wstring resolvePath(std::wstring_view path, DirectoryForm form, const wchar_t* baseFile = nullptr);

enum class LetterCase { Lowered, Kept };
// resolvePath, then GetFullPathName, lower-cased unless kept, collapsed.
std::string canonicalPath(std::string_view path, LetterCase letterCase);
std::wstring canonicalPath(std::wstring_view path, DirectoryForm form, LetterCase letterCase);

} // namespace vkr
