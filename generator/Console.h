// Text out of vkrgen: UTF-8 inside, and on a Windows console the same characters through
// the console's UTF-16 interface, whatever code page the console has. Redirected output
// stays UTF-8 (inspect's TOML is a UTF-8 file).
#pragma once

#include <string_view>

namespace vkr::gen {

// False when the text could not be written (a closed pipe, a full disk).
bool writeOutput(std::string_view utf8);
bool writeError(std::string_view utf8);

}  // namespace vkr::gen
