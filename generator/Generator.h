// Writing a generated launcher and reading its block back.
#pragma once

#include <filesystem>
#include <string>

#include "TomlConfig.h"

namespace vkr::gen {

// Copies launcher up to its block offset into output (through a temporary file beside it,
// renamed at the end) and appends the block of the configuration.
bool writeLauncher(const BlockContents& config, const std::filesystem::path& launcherPath,
                   const std::filesystem::path& outputPath, std::string& error);

// writeLauncher with the configuration read from its TOML file.
bool buildLauncher(const std::filesystem::path& configPath,
                   const std::filesystem::path& launcherPath,
                   const std::filesystem::path& outputPath, std::string& error,
                   const ParseOptions& options = {});

// The block of a generated executable in TOML form; with a non-empty extractDir the
// included files are written there and the printed sources point at them.
bool inspectExecutable(const std::filesystem::path& executable,
                       const std::filesystem::path& extractDir, std::string& toml,
                       std::string& error);

}  // namespace vkr::gen
