#pragma once
// Resolution of relative paths against the executable's directory (or another file's), and
// canonical full paths. Path values are limited to kMaxPath characters, terminator included,
// like the rest of the launcher's texts.
#include "core/Limits.h"
#include "core/PathRules.h"
#include "util/CodePage.h"
#include "util/ExecutableLocation.h"
#include "util/FileSystem.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace vkr {

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
