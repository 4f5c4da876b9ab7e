// `vkrgen package`: the folder that ships, laid out from a configuration.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "TomlConfig.h"

namespace vkr::gen {

struct PackageRequest {
  std::filesystem::path config;
  std::filesystem::path output;      // the folder to lay out
  std::filesystem::path launcher;    // the generic vkrsvc.exe
  std::filesystem::path runtimeJar;  // vkrruntime.jar; needed for flavour 'i'
  std::filesystem::path jre;         // a Windows Java runtime to ship; empty: none
  std::filesystem::path zip;         // also write the folder as this zip; empty: no zip
  bool overwrite = false;            // replace what a non-empty output folder holds
};

// What goes where. Targets are "/"-separated and relative to the output folder.
struct PackagePlan {
  struct Copy {
    std::filesystem::path source;
    std::string target;
    bool scan = false;  // a folder whose .jar and .zip files are taken
  };
  std::string executable;      // the generated launcher's file name
  std::vector<Copy> copies;    // the application's files the class path and module path name
  std::string runtimeJar;      // ".velkor/vkrruntime.jar" in the application directory; "" if not needed
  std::string vmOptions;       // NAME.vmoptions; "" when the launcher reads no VM options file
  std::string jre;             // where the search looks first; "" without a runtime to ship
  std::vector<std::string> notes;  // what the folder leaves to the server
};

// The plan for a configuration, without touching the output: fails for what cannot be laid
// out (an element that leads out of the folder, no folder in the search for --jre).
bool planPackage(const BlockContents& config, const std::filesystem::path& configPath,
                 const PackageSettings& package, bool withJre, PackagePlan& plan, std::string& error);

// The commented VM options file of a package: every line a comment, so nothing changes
// until someone removes a "#".
std::string vmOptionsTemplate(const std::string& executable);

// Lays out the folder (and the zip). Everything is checked and written beside the output
// first: a failure leaves the output as it was. report lists what was written, for the user.
bool packageApplication(const PackageRequest& request, std::vector<std::string>& report, std::string& error);

}  // namespace vkr::gen
