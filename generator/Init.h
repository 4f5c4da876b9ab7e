// `vkrgen init`: a commented starter configuration from an application jar.
#pragma once

#include <filesystem>
#include <string>

#include "Jar.h"

namespace vkr::gen {

struct StarterRequest {
  std::filesystem::path jar;
  // Empty: NAME.toml in the current directory, NAME being the service's name.
  std::filesystem::path output;
  // UTF-8; when given, it replaces the manifest's Main-Class (and makes one unnecessary).
  std::string mainClass;
};

// Writes the starter and names it in written. Refuses to overwrite an existing file, and
// refuses a starter that would not build (the jar's name or its manifest's class path
// holds what the launcher cannot take): nothing is written then.
bool writeStarterConfiguration(const StarterRequest& request, std::filesystem::path& written,
                               std::string& error);

// The service's name for a jar: its file name without ".jar" and without a version behind
// a "-" ("billing-2.4.1-SNAPSHOT.jar" gives "billing"), so it stays the same across releases.
std::string serviceNameForJar(const std::string& fileName);

struct StarterFacts {
  std::string jarName;      // the jar's file name, UTF-8
  std::string serviceName;  // UTF-8
  JarFacts jar;
  std::string from;  // the jar's folder relative to the configuration, "/"-separated; "" the same
};
// The configuration text (UTF-8); false with why when the jar holds what the launcher cannot
// take (a class path element it would misread).
bool starterConfiguration(const StarterFacts& facts, std::string& text, std::string& why);

}  // namespace vkr::gen
