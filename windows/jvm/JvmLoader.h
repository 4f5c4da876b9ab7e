#pragma once
// Loading jvm.dll of the chosen runtime into the launcher's own process. The library is
// never freed.
#include "util/ProcessState.h"

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace vkr {

// Searches the runtimes and loads the first usable JVM library; on failure the search's or
// the loader's message has been shown.
bool LoadDLL();
HMODULE loadJvmFromJavaExe(const std::string& javaExe);
HMODULE loadJvmLibrary(const std::string& javaExe);
HMODULE tryJvmDll(const std::string& binDirectory, const std::string& kindName);
void preloadUcrtbase(const std::string& binDirectory);
void* addDllSearchDirectory(const std::string& directory);
void removeDllSearchDirectory(void* cookie);

// Published once a JVM library is loaded.
const std::string& jvmHome() noexcept;
const std::string& jvmVersion() noexcept;
CreateJavaVMFunction jvmCreationEntryPoint() noexcept;

// The pure rules of the loading step.
// The directory holding the java executable, without the backslash before its file name.
std::string binDirectoryOf(std::string_view javaExe);
// The executable's path up to and including that backslash, followed by "..".
std::string jvmHomeOf(std::string_view javaExe);
// The java executable of a JDK's private runtime: "..\\jre\\bin\\java.exe" behind the
// executable's directory.
std::string privateRuntimeJavaExe(std::string_view javaExe);
// The VM kind directories in the order they are tried; a configured name comes first.
std::vector<std::string> vmKindOrder(std::string_view configuredKind);

} // namespace vkr
