#pragma once
// The class path option "-Djava.class.path=" and, for an application of Java modules, the
// module path with "--module-path=", "--add-opens=" and "--add-modules=": built from the
// configured entries, the archives extracted with the included files, the runtime jar and the
// class path overrides of the option entries.
#include "VmOptions.h"

#include <string>
#include <string_view>
#include <vector>

namespace vkr {

// Appends the entries of configuration key 121 (class path) or 132 (module path) to a path
// text, each followed by ";". A required entry that is not found ends the launcher with
// message 1006 (1008 for an environment variable that is not defined).
void addClassPathEntries(int key, std::string& pathText);
// Appends every file of the directory with the extension (".jar" or "jar"), resolved, in the
// order the listing gives them; false when the directory does not exist.
bool addArchivesInDirectory(const std::string& directory, std::string_view extension, std::string& pathText);
std::vector<std::string> listFilesWithExtension(const std::string& directory, std::string_view extension);
// Each ";"-separated part resolved against the executable's 8-bit directory, joined again.
std::string resolvePathList(std::string_view text);
// Appends the class path option and, when there is a module path, the module options.
void buildPathOptions(std::vector<std::string>& options, const ClassPathOverrides& overrides);

} // namespace vkr
