#pragma once
// The launcher's two character worlds: UTF-16 for the wide Windows functions, and 8-bit text
// in the code page of the Windows file functions for paths given to 8-bit functions and for
// everything handed to the JVM.
#include "core/Text.h"

#include <string>
#include <string_view>

namespace vkr {

// CP_ACP when the file functions use the ANSI code page, CP_OEMCP otherwise.
unsigned fileApiCodePage() noexcept;

// Whether a narrowed text lost characters the code page lacks.
enum class Narrowed { Exactly, WithReplacements };

// UTF-16 to 8-bit in the file-API code page without best-fit mapping: a character the code
// page lacks becomes "?" (and the result says so), so that a path with such a character is
// never silently turned into the name of another file. Never fails; an unconvertible text
// gives "" (and WithReplacements).
std::string narrowText(std::wstring_view text, Narrowed* how = nullptr);
// 8-bit to UTF-16 through the file-API code page (MultiByteToWideChar).
std::wstring widenCodePage(std::string_view text);

// In place, on an 8-bit path: lower-casing touches only A-Z, collapsing shrinks backslash runs
// (a leading run of two stays). Both edit the UTF-16 form and leave the text unchanged if it
// does not convert back without loss.
void lowerCasePath(std::string& path);
void collapseBackslashes(std::string& path);
void collapseBackslashes(std::wstring& path);

} // namespace vkr
