#pragma once
#include <cstddef>

namespace vkr {

// Paths, configuration texts and command lines live in buffers of this many characters,
// terminator included; a longer text is cut (and logged) or refused where it is read.
inline constexpr std::size_t kMaxPath = 6000;

} // namespace vkr
