#pragma once
// What every launcher process does before it looks at its command line: load the
// configuration, note the flavour letter, optionally reduce PATH, enter the working directory.
#include <string>
#include <string_view>

namespace vkr {

void prepareWorkingEnvironment();
void reducePath();
// The working-directory step: configuration key 146 expanded, resolved against the
// executable's directory and entered; "" leaves the current directory.
void enterWorkingDirectory();

// The PATH entries that begin with the Windows directory (letters compared without regard to
// case, no separator required behind it), joined with ";" in their order; empty pieces are
// dropped.
std::wstring systemPathEntries(std::wstring_view path, std::wstring_view windowsDirectory);

} // namespace vkr
