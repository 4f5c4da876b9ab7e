// Conversions between the TOML side (UTF-8) and what the block stores: 8-bit texts as
// ISO-8859-1 bytes (the launcher widens them byte by byte) and messages as UTF-16.
#pragma once

#include <filesystem>
#include <string>

namespace vkr::gen {

// Paths travel as UTF-8 through the generator (TOML, the command line after wmain's
// conversion, messages); these keep them exact on Windows too, where a narrow path would be
// read in the ANSI code page.
std::filesystem::path pathFromUtf8(const std::string& utf8);
// The path for a message, in UTF-8 with the platform's separators.
std::string displayPath(const std::filesystem::path& path);

// UTF-8 to ISO-8859-1. False when the text is not valid UTF-8 or holds a character above
// U+00FF; error then names the first offending character.
bool utf8ToLatin1(const std::string& utf8, std::string& latin1, std::string& error);
std::string latin1ToUtf8(const std::string& latin1);

bool utf8ToUtf16(const std::string& utf8, std::u16string& utf16, std::string& error);
// False for an unpaired surrogate, which UTF-8 (and so TOML) cannot carry.
bool utf16ToUtf8(const std::u16string& utf16, std::string& utf8, std::string& error);

// A TOML basic string literal, quotes included. Escapes everything TOML requires plus the
// C1 controls, so the printed form survives any editor.
std::string tomlQuote(const std::string& utf8);

}  // namespace vkr::gen
