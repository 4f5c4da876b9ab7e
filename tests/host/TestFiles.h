// A private scratch directory per test.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <gtest/gtest.h>

namespace vkr::gen::test {

class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    dir = std::filesystem::temp_directory_path() /
          ("vkrgen-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  std::filesystem::path write(const std::string& name, const std::string& content) {
    auto path = dir / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  static std::string read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::filesystem::path dir;
};

}  // namespace vkr::gen::test
