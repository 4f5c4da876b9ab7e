#pragma once
// The values a launcher process cannot run without, and what the built-in references of
// configured texts stand for. Here, above the utilities that select them, the launcher decides
// what their absence means: without a usable temp directory it ends with message 1015.
#include "util/VariableExpansion.h"

#include <string>

namespace vkr {

// The temp directory (8-bit selection, long names as configuration key 10009 says); ends the
// launcher with message 1015 when no candidate is usable.
const std::string& requiredTempDirectory8();
// The same for the UTF-16 selection.
const std::wstring& requiredTempDirectoryWide();

// The built-in values of this process: the required temp directories, the extraction
// directory and the JVM's home as they are when an expansion asks.
const BuiltInValues& launcherValues() noexcept;

} // namespace vkr
