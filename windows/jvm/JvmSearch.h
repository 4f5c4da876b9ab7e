#pragma once
// The walk over every place a Java runtime may be; the first candidate that passes its test
// and whose JVM library loads ends it.
#include "jvm/JavaVersion.h"

#include <windows.h>

#include <string>

namespace vkr {

enum class LocationKind { None = 0, SearchPath = 1, Directory = 2, Environment = 3, Registry = 4 };

HMODULE searchJvm(std::string& javaExe, std::string& version, LocationKind& kind, std::string& locationText);

} // namespace vkr
