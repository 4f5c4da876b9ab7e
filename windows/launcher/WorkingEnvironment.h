#pragma once
// What every launcher process does before it looks at its command line: load the
// configuration, note the flavour letter, optionally reduce PATH, enter the working directory.

namespace vkr {

void prepareWorkingEnvironment();
void reducePath();
// The first character of configuration key 2001, or '\0'.
char flavourLetter() noexcept;

} // namespace vkr
