#include "Generator.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>

#include "core/BlockFormat.h"
#include "Text.h"
#include "TomlConfig.h"

namespace vkr::gen {
namespace fs = std::filesystem;

namespace {

class FileSource : public ByteSource {
 public:
  explicit FileSource(const fs::path& path) : in_(path, std::ios::binary) {
    std::error_code ec;
    if (in_) size_ = fs::file_size(path, ec);
    open_ = in_ && !ec;
  }
  bool open() const { return open_; }
  uint64_t size() const override { return size_; }
  size_t read(uint64_t offset, void* destination, size_t count) override {
    if (offset >= size_) return 0;
    count = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(static_cast<char*>(destination), static_cast<std::streamsize>(count));
    return static_cast<size_t>(in_.gcount());
  }

 private:
  std::ifstream in_;
  uint64_t size_ = 0;
  bool open_ = false;
};

bool openExecutable(const fs::path& path, FileSource& source, PeLayout& layout,
                    std::string& error) {
  std::string why;
  if (!source.open()) {
    error = displayPath(path) + ": cannot open the file";
    return false;
  }
  if (!locateBlock(source, layout, why)) {
    error = displayPath(path) + ": " + why;
    return false;
  }
  return true;
}

void patchU32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

bool buildLauncher(const fs::path& configPath, const fs::path& launcherPath,
                   const fs::path& outputPath, std::string& error, const ParseOptions& options) {
  BlockContents config;
  return loadConfigurationToml(configPath, config, error, options) &&
         writeLauncher(config, launcherPath, outputPath, error);
}

bool writeLauncher(const BlockContents& config, const fs::path& launcherPath, const fs::path& outputPath,
                   std::string& error) {
  FileSource launcher(launcherPath);
  PeLayout layout;
  if (!openExecutable(launcherPath, launcher, layout, error)) return false;
  std::string block = encodeBlock(config);
  if (layout.blockOffset + block.size() > kMaxExecutableSize) {
    error = displayPath(launcherPath) + ": the launcher with its configuration and included files (" +
            std::to_string(layout.blockOffset + block.size()) +
            " bytes) would exceed 2 GiB, beyond the launcher's 32-bit file positions";
    return false;
  }
  std::string image(static_cast<size_t>(layout.blockOffset), '\0');
  if (launcher.read(0, image.data(), image.size()) != image.size()) {
    error = displayPath(launcherPath) + ": cannot read the launcher";
    return false;
  }
  // What those fields described is cut off; left alone they would point into the block.
  for (const auto& [at, width] : layout.fieldsToClear)
    for (uint32_t k = 0; k < width; k += 4) patchU32(image, static_cast<size_t>(at + k), 0);

  fs::path target = fs::absolute(outputPath);
  std::random_device random;
  fs::path temporary = target;
  temporary += ".vkrgen-" + std::to_string(random()) + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out || !out.write(image.data(), static_cast<std::streamsize>(image.size())) ||
        !out.write(block.data(), static_cast<std::streamsize>(block.size())) || !out.flush()) {
      out.close();
      std::error_code ignored;
      fs::remove(temporary, ignored);
      error = displayPath(outputPath) + ": cannot write the output file";
      return false;
    }
  }
  std::error_code ec;
  fs::permissions(temporary,
                  fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                  fs::perm_options::add, ec);
  fs::rename(temporary, target, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    error = displayPath(outputPath) + ": cannot replace the output file: " + ec.message();
    return false;
  }
  return true;
}

bool inspectExecutable(const fs::path& executable, const fs::path& extractDir,
                       std::string& toml, std::string& error) {
  FileSource source(executable);
  PeLayout layout;
  if (!openExecutable(executable, source, layout, error)) return false;
  BlockContents config;
  std::string why;
  if (!decodeBlock(source, layout.blockOffset, config, why)) {
    error = displayPath(executable) + ": " + why;
    return false;
  }
  std::vector<std::string> sources;
  if (!extractDir.empty() && !extractIncludedFiles(config, extractDir, sources, error))
    return false;
  if (!formatConfigurationToml(config, sources, toml, why)) {
    error = displayPath(executable) + ": " + why;
    return false;
  }
  return true;
}

}  // namespace vkr::gen
