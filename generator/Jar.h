// What `vkrgen init` learns from an application jar: the manifest's Main-Class and
// Class-Path, and the Java version the main class is compiled for.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vkr::gen {

struct JarFacts {
  std::string mainClass;               // "" when the manifest names none
  std::vector<std::string> classPath;  // the manifest's Class-Path, %-escapes decoded
  int classFileMajor = 0;              // of the main class; 0 when it cannot be read
};

bool readJarFacts(const std::filesystem::path& jar, JarFacts& facts, std::string& error);

// The main section's attributes of a manifest (names compared without regard to case,
// continuation lines joined). Exposed for its tests.
std::string manifestAttribute(const std::string& manifest, const std::string& name);
// Class-Path's space-separated relative URLs, decoded.
std::vector<std::string> manifestClassPath(const std::string& value);

// The oldest Java a class file of this major version runs on, as a version bound:
// 52 -> "1.8", 61 -> "17"; "" for what no Java release defines.
std::string javaVersionForClassFile(int major);

}  // namespace vkr::gen
