#pragma once
// The launcher's 8-bit temp directory, chosen once per process among the candidates, and
// unique temp file names in it. Nothing here ends the process: a caller that cannot go on
// without a temp directory decides that itself.
#include "util/TempCandidates.h"

#include <optional>
#include <string>
#include <string_view>

namespace vkr {

// One 8-bit candidate: created if asked, refused when strict and its real name is not 8-bit,
// replaced by its long name when asked, then probed.
bool checkTempCandidate(std::string& path, TempCreate create, TempNames names, LongNames longNames);

// The 8-bit selection (cached after the first success); nothing when no candidate is usable.
std::optional<std::string> tempDirectory8(LongNames longNames);

// A fresh "qnt" name in the directory (GetTempFileNameA creates the empty file); when that
// fails, the fallback name without a file.
std::string tempFileName(const std::string& directory);
// The fallback: directory, a separator unless it ends with one, "qnt" and the number.
std::string fallbackTempFileName(std::string_view directory, unsigned number);

} // namespace vkr
