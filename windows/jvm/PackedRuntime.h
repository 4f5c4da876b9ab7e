#pragma once
// A runtime shipped with packed class libraries (*.jar.pack) is unpacked with its own
// bin\unpack200.exe before the search looks at it.
#include <string>

namespace vkr {

void unpackJre(const std::string& runtimeDirectory);
void unpackDirectory(const std::string& runtimeDirectory, const char* subdirectory, bool& announced);
void runUnpack200(const std::string& runtimeDirectory, const std::string& packedFile);

} // namespace vkr
