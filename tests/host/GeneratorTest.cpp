#include <gtest/gtest.h>

#include "core/BlockFormat.h"
#include "Generator.h"
#include "PeFixture.h"
#include "TestFiles.h"

namespace vkr::gen {
namespace {

namespace fs = std::filesystem;
using vkr::test::get32;
using vkr::test::makePe;
using vkr::test::PeShape;

class GeneratorTest : public test::ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    config = write("config.toml", "[service]\nname = \"Gen\"\n[java]\nmain-class = \"gen.Main\"\n");
  }

  // Nothing but the named files may be left in the directory: no temporary output.
  void expectOnly(std::initializer_list<std::string> names) {
    std::set<std::string> expected(names), found;
    for (const auto& entry : fs::directory_iterator(dir)) found.insert(entry.path().filename().string());
    EXPECT_EQ(found, expected);
  }

  fs::path config;
};

// An earlier block, a symbol table or a signature trailing the launcher is dropped: the
// output is the launcher up to its last section's end, then the new block.
TEST_F(GeneratorTest, CutsTheLauncherAtTheEndOfItsLastSection) {
  struct Case {
    const char* name;
    PeShape shape;
    std::string trailer;
  } cases[] = {
      {"earlier block", PeShape{}, std::string("\xD5\x13\xE4\xE8 old block", 14)},
      {"symbol table", PeShape{{{0x200, 0x200}, {0x400, 0x100}}, 0x500, 0, 0, 0x500}, "symbols"},
      {"signature", PeShape{{{0x200, 0x200}, {0x400, 0x100}}, 0, 0x500, 0x40, 0x500}, std::string(0x40, 'S')},
  };
  for (const auto& k : cases) {
    std::string pe = makePe(k.shape);
    auto launcher = write("launcher.exe", pe + k.trailer);
    auto out = dir / "out.exe";
    std::string error;
    ASSERT_TRUE(buildLauncher(config, launcher, out, error)) << k.name << ": " << error;
    std::string image = read(out);
    ASSERT_GT(image.size(), 0x500u + 4096u - 1) << k.name;
    EXPECT_EQ(get32(image, 0x500), kBlockMagic) << k.name;
    std::string head = image.substr(0, 0x500);
    EXPECT_EQ(head.substr(0x200), pe.substr(0x200, 0x300)) << k.name;
    // Header fields that pointed at the dropped data no longer point into the block.
    EXPECT_EQ(get32(head, vkr::test::kPeOffset + 12), 0u) << k.name;
    EXPECT_EQ(get32(head, vkr::test::kPeOffset + 24 + 112 + 32), 0u) << k.name;
    EXPECT_EQ(get32(head, vkr::test::kPeOffset + 24 + 112 + 36), 0u) << k.name;
    std::string headerRest = head.substr(0, vkr::test::kPeOffset + 12);
    EXPECT_EQ(headerRest, pe.substr(0, vkr::test::kPeOffset + 12)) << k.name;
    // A rebuild from the generated launcher gives the same file.
    auto again = dir / "again.exe";
    ASSERT_TRUE(buildLauncher(config, out, again, error)) << error;
    EXPECT_EQ(read(again), image) << k.name;
  }
}

TEST_F(GeneratorTest, InspectPrintsWhatBuildWrote) {
  write("lib/b.dll", "dll bytes");
  auto withFile = write("files.toml", "[service]\nname = \"Files\"\n[java]\nmain-class = \"gen.Main\"\n[[files]]\nname = \"lib\\\\b.dll\"\nsource = \"lib/b.dll\"\n");
  auto launcher = write("launcher.exe", makePe(PeShape{}));
  std::string error, toml;
  ASSERT_TRUE(buildLauncher(withFile, launcher, dir / "out.exe", error)) << error;
  ASSERT_TRUE(inspectExecutable(dir / "out.exe", dir / "x", toml, error)) << error;
  EXPECT_NE(toml.find("name = \"Files\""), std::string::npos) << toml;
  EXPECT_EQ(read(dir / "x" / "lib" / "b.dll"), "dll bytes");
  auto printed = write("printed.toml", toml);
  ASSERT_TRUE(buildLauncher(printed, launcher, dir / "again.exe", error)) << error;
  EXPECT_EQ(read(dir / "again.exe"), read(dir / "out.exe"));
}

TEST_F(GeneratorTest, RefusesWithoutWritingAnything) {
  auto good = write("launcher.exe", makePe(PeShape{}));
  auto text = write("notes.txt", std::string(200, 'n'));
  auto truncated = write("truncated.exe", makePe(PeShape{}).substr(0, 0x100));
  auto bad = write("bad.toml", "[java]\nmin-version = 8\n");
  auto unnamed = write("unnamed.toml", "[service]\nname = \"Svc\"\n");
  write("out.exe", "previous output");
  struct Case {
    const char* name;
    fs::path config, launcher;
    std::vector<std::string> expected;
  } cases[] = {
      {"bad configuration", bad, good, {"bad.toml:2: java.min-version: expected a text"}},
      {"no main class", unnamed, good, {"unnamed.toml:1: java.main-class: missing"}},
      {"not a PE", config, text, {"notes.txt", "not a PE file"}},
      {"headers outside the file", config, truncated, {"truncated.exe", "section table", "outside the file"}},
      {"missing launcher", config, dir / "none.exe", {"none.exe", "cannot open"}},
  };
  for (const auto& k : cases) {
    std::string error;
    EXPECT_FALSE(buildLauncher(k.config, k.launcher, dir / "out.exe", error)) << k.name;
    for (const auto& part : k.expected)
      EXPECT_NE(error.find(part), std::string::npos) << k.name << ": " << error;
    EXPECT_EQ(read(dir / "out.exe"), "previous output") << k.name;
  }
  expectOnly({"launcher.exe", "notes.txt", "truncated.exe", "bad.toml", "unnamed.toml", "out.exe", "config.toml"});
}

// Every file position of the launcher is a signed 32-bit number.
TEST_F(GeneratorTest, RefusesALauncherThatWouldPass2GiB) {
  uint32_t end = 0x7FFFF000;
  std::string pe = makePe(PeShape{{{0x200, 0x200}, {0x400, end - 0x400}}, 0, 0, 0, 0x500});
  auto launcher = write("huge.exe", pe);
  fs::resize_file(launcher, end);  // sparse: nothing of it is read before the check
  std::string error;
  EXPECT_FALSE(buildLauncher(config, launcher, dir / "out.exe", error));
  EXPECT_NE(error.find("exceed 2 GiB"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(dir / "out.exe"));
}

TEST_F(GeneratorTest, InspectRefusesAnExecutableWithoutBlock) {
  auto plain = write("plain.exe", makePe(PeShape{}));
  std::string toml, error;
  EXPECT_FALSE(inspectExecutable(plain, {}, toml, error));
  EXPECT_NE(error.find("plain.exe: no configuration block"), std::string::npos) << error;
}

}  // namespace
}  // namespace vkr::gen
