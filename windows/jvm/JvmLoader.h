#pragma once
// Loading jvm.dll of the chosen runtime into the launcher's own process. The library is
// never freed.
#include <windows.h>

#include <string>

namespace vkr {

using CreateJavaVMFunction = long(__stdcall*)(void** vm, void** env, void* args);

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

} // namespace vkr
