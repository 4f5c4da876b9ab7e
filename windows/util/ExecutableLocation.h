#pragma once
// The executable's own location, computed once per process: its long UTF-16 path, an 8-bit
// path that names the same file (falling back to 8.3 short names when the long path cannot
// be written in the 8-bit code page), and its directory in three forms.
#include <optional>
#include <string>

namespace vkr {

const std::wstring& executableLongPath();
const std::string& executablePath8();

// The executable's directory, each with a trailing backslash.
enum class DirectoryForm { Narrow8, NarrowWidened, LongWide };
const std::string& executableDirectory8();
const std::wstring& executableDirectoryNarrowWidened();
const std::wstring& executableDirectoryLong();

// cmd.exe's %~sI answer for a long path, or nothing.
std::optional<std::string> shortNameThroughCommandInterpreter(const std::wstring& longPath);

} // namespace vkr
