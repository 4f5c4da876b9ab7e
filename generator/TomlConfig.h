// The TOML form of a configuration, both ways.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/BlockFormat.h"

namespace vkr::gen {

struct ParseOptions {
  // Left-out service name and main class take the shipped launcher's values ("Service",
  // "com.example.Main") instead of being refused. For tests of the launcher itself, whose
  // configurations are about anything but those two.
  bool shippedIdentity = false;
};

// What the configuration says beyond the block: the [package] table, read by
// `vkrgen package` only.
struct PackageSettings {
  // The folder the class path's relative elements are copied from, UTF-8, relative to the
  // configuration file; empty: the configuration file's own folder.
  std::string from;
};

// Parses a configuration; configPath names the file in messages and is the base of
// relative included-file sources. Errors read "FILE:LINE: SETTING: what is wrong".
bool parseConfigurationToml(const std::string& text, const std::filesystem::path& configPath,
                            BlockContents& config, std::string& error,
                            const ParseOptions& options = {}, PackageSettings* package = nullptr);
bool loadConfigurationToml(const std::filesystem::path& configPath, BlockContents& config,
                           std::string& error, const ParseOptions& options = {},
                           PackageSettings* package = nullptr);

// Prints a block so that parsing the result gives the same block. fileSources holds one
// source path per included file; an empty one prints a placeholder and a comment.
bool formatConfigurationToml(const BlockContents& config,
                             const std::vector<std::string>& fileSources, std::string& toml,
                             std::string& error);

// The launcher writes an included file to "<extraction directory>\<name>" with the 8-bit
// file functions and creates only the first directory level, so anything but an ASCII
// "file" or "dir\file" either fails at every start, writes outside the extraction directory
// or names another file on a machine with another code page.
bool checkIncludedName(const std::string& name, std::string& error);

// Writes the included files below dir (names mapped to subdirectories) and returns
// their absolute paths as sources.
bool extractIncludedFiles(const BlockContents& config, const std::filesystem::path& dir,
                          std::vector<std::string>& sources, std::string& error);

}  // namespace vkr::gen
