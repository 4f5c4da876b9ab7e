#pragma once
// A runtime shipped with packed class libraries (*.jar.pack) is unpacked with its own
// bin\unpack200.exe before the search looks at it.
#include <string>

namespace vkr {

// Unpacks lib and lib\ext; a tool that cannot be started ends the launcher (message 1009,
// "20"): the runtime would be found incomplete and fail later in a way nobody could explain.
void unpackJre(const std::string& runtimeDirectory);

// Whether "Preparing JRE ..." has been printed for this runtime.
enum class Announcement { Pending, Done };
// False when a tool could not be started.
bool unpackDirectory(const std::string& runtimeDirectory, const char* subdirectory, Announcement& announcement);
bool runUnpack200(const std::string& runtimeDirectory, const std::string& packedFile);

} // namespace vkr
