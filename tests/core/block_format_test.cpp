#include <gtest/gtest.h>

#include "core/BlockFormat.h"

#include "PeFixture.h"

namespace vkr {
namespace {

using test::get32;
using test::makePe;
using test::PeShape;

std::string bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s += static_cast<char>(b);
  return s;
}

BlockContents smallBlockContents() {
  BlockContents c;
  c.texts = {{101, "ab"}, {-2, ""}};
  c.messages = {{1000, u"E\u00e9"}};
  c.groups = {{"de", {{1000, u"F"}}}};
  c.files = {{"a", "xy"}, {"lib\\b", ""}};
  return c;
}

TEST(BlockWriter, WritesTheExactLayout) {
  std::string expected = bytes({
      0xD5, 0x13, 0xE4, 0xE8, 0, 0, 0, 0, 0, 0, 0, 0,  // magic, two zero fields
      70, 0, 0, 0, 0, 0, 0, 0,                         // length from offset 12 to block end
      2, 0, 0, 0,                                      // N
      101, 0, 0, 0, 2, 0, 0, 0, 'a', 'b',              //
      0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0,              // key -2, empty text
      1, 0, 0, 0,                                      // W
      0xE8, 3, 0, 0, 4, 0, 0, 0, 'E', 0, 0xE9, 0,      // 1000 = "Eé" in UTF-16LE
      1, 0, 0, 0,                                      // G
      2, 0, 0, 0, 'd', 'e', 1, 0, 0, 0,                // prefix "de", M = 1
      0xE8, 3, 0, 0, 2, 0, 0, 0, 'F', 0,               //
      2, 0, 0, 0, 0, 0, 0, 0, 'x' ^ 0xA7, 'y' ^ 0xA7,  // record "a"
      0, 0, 0, 0, 0, 0, 0, 0,                          // record "lib\b", empty
      0xE8, 0xE4, 0x13, 0xD5,                          // end marker
  });
  std::string block = encodeBlock(smallBlockContents());
  ASSERT_EQ(block.size(), kPaddedBlockSize);
  EXPECT_EQ(block.substr(0, expected.size()), expected);
  EXPECT_EQ(block.find_first_not_of('\0', expected.size()), std::string::npos);
}

TEST(BlockWriter, AddsNoPaddingWhenTheBlockPassesTheFirstPage) {
  BlockContents c;
  c.files = {{"big", std::string(5000, 'z')}};
  std::string block = encodeBlock(c);
  // 32 bytes of block, an 8-byte size, the content and the end marker: nothing more.
  ASSERT_EQ(block.size(), 32u + 8u + 5000u + 4u);
  EXPECT_EQ(block.substr(block.size() - 4), bytes({0xE8, 0xE4, 0x13, 0xD5}));
}

TEST(BlockReader, ReadsBackWhatWasWritten) {
  BlockContents c = smallBlockContents();
  c.texts.push_back({kIncludedCountKey, "2"});
  c.texts.push_back({kIncludedNamesKey, "a;lib\\b"});
  std::string image = std::string(100, 'x') + encodeBlock(c);
  MemorySource source(image);
  BlockContents back;
  std::string error;
  ASSERT_TRUE(decodeBlock(source, 100, back, error)) << error;
  ASSERT_EQ(back.texts.size(), 4u);
  EXPECT_EQ(back.texts[0].value, "ab");
  EXPECT_EQ(back.messages[0].text, u"E\u00e9");
  ASSERT_EQ(back.groups.size(), 1u);
  EXPECT_EQ(back.groups[0].prefix, "de");
  ASSERT_EQ(back.files.size(), 2u);
  EXPECT_EQ(back.files[0].content, "xy");
  EXPECT_EQ(back.files[1].name, "lib\\b");
}

// The launcher splits key 2003 skipping empty pieces and stops at the count of key 2002;
// inspect must pair names and records the same way.
TEST(BlockReader, PairsIncludedFilesLikeTheLauncher) {
  BlockContents c;
  c.texts = {{kIncludedCountKey, "2"}, {kIncludedNamesKey, ";a;;b;c"}};
  c.files = {{"a", "1"}, {"b", "22"}};
  std::string image = encodeBlock(c);
  MemorySource source(image);
  BlockContents back;
  std::string error;
  ASSERT_TRUE(decodeBlock(source, 0, back, error)) << error;
  ASSERT_EQ(back.files.size(), 2u);
  EXPECT_EQ(back.files[1].name, "b");
  EXPECT_EQ(back.files[1].content, "22");
}

// A block cut at any byte must end in an error, never in a crash or a read past the end.
TEST(BlockReader, RefusesABlockCutAtAnyByte) {
  BlockContents c = smallBlockContents();
  c.texts.push_back({kIncludedCountKey, "2"});
  c.texts.push_back({kIncludedNamesKey, "a;lib\\b"});
  std::string full = encodeBlock(c);
  size_t used = 82 + 10 + 8;  // block and both records
  for (size_t cut = 0; cut < used; ++cut) {
    std::string image = full.substr(0, cut);
    MemorySource source(image);
    BlockContents back;
    std::string error;
    EXPECT_FALSE(decodeBlock(source, 0, back, error)) << "cut at " << cut;
    EXPECT_FALSE(error.empty());
  }
}

TEST(BlockReader, RefusesDamagedCountsAndLengths) {
  struct Case {
    const char* name;
    size_t at;         // offset in the block of the small configuration
    uint32_t value;
    const char* expected;
  } cases[] = {
      {"wrong magic", 0, 0x12345678, "wrong magic"},
      {"negative text count", 20, 0xFFFFFFFF, "negative"},
      {"huge text count", 20, 0x7FFFFFFF, "more than the rest of the file"},
      {"negative text length", 28, 0x80000000, "negative length"},
      {"huge text length", 28, 0x7FFFFFF0, "the file holds only"},
      {"odd message length", 50, 3, "odd byte count"},
      {"negative group count", 58, 0xFFFFFFFE, "negative"},
  };
  for (const auto& k : cases) {
    std::string image = encodeBlock(smallBlockContents());
    test::put32(image, k.at, k.value);
    MemorySource source(image);
    BlockContents back;
    std::string error;
    EXPECT_FALSE(decodeBlock(source, 0, back, error)) << k.name;
    EXPECT_NE(error.find(k.expected), std::string::npos) << k.name << ": " << error;
  }
}

TEST(PeLayout, FindsTheBlockBehindTheLastSectionHeader) {
  struct Case {
    const char* name;
    PeShape shape;
    uint64_t block;
    size_t cleared;  // header fields to clear in a rebuild
  } cases[] = {
      {"plain", PeShape{}, 0x500, 0},
      // The launcher reads the last header, not the furthest data: the block goes there.
      {"last header not the furthest", PeShape{{{0x400, 0x100}, {0x200, 0x100}}, 0, 0, 0, 0x500}, 0x300, 0},
      {"symbol table behind the sections", PeShape{{{0x200, 0x200}, {0x400, 0x100}}, 0x500, 0, 0, 0x600}, 0x500, 2},
      {"certificate behind the sections", PeShape{{{0x200, 0x200}, {0x400, 0x100}}, 0, 0x500, 0x80, 0x580}, 0x500, 1},
  };
  for (const auto& k : cases) {
    std::string image = makePe(k.shape);
    MemorySource source(image);
    PeLayout layout;
    std::string error;
    ASSERT_TRUE(locateBlock(source, layout, error)) << k.name << ": " << error;
    EXPECT_EQ(layout.blockOffset, k.block) << k.name;
    EXPECT_EQ(layout.fieldsToClear.size(), k.cleared) << k.name;
  }
}

TEST(PeLayout, RefusesWhatIsNotAUsablePe) {
  std::string good = makePe(PeShape{});
  struct Case {
    const char* name;
    std::string image;
    const char* expected;
  } cases[] = {
      {"text file", std::string("just some text, long enough to hold a DOS header ........."
                                "...................."),
       "not a PE file"},
      {"shorter than a DOS header", "MZ", "not a PE file"},
      {"e_lfanew outside", [&] { auto b = good; test::put32(b, 60, 0x10000); return b; }(), "outside the file"},
      {"negative e_lfanew", [&] { auto b = good; test::put32(b, 60, 0xFFFFFFF0); return b; }(), "outside the file"},
      {"no PE signature", [&] { auto b = good; b[test::kPeOffset] = 'X'; return b; }(), "no PE signature"},
      {"section table cut off", good.substr(0, test::kPeOffset + 24 + test::kOptionalSize + 50), "section table"},
      {"no sections", [&] { auto b = good; test::put16(b, test::kPeOffset + 6, 0); return b; }(), "no sections"},
      {"last section beyond the end", good.substr(0, 0x480), "behind the end of the file"},
      // The block would overwrite the headers, and the fields to clear lie behind it.
      {"last section ending inside the headers", makePe(PeShape{{{0x200, 0x200}, {0, 0}}, 0x80000}),
       "inside the headers"},
  };
  for (const auto& k : cases) {
    MemorySource source(k.image);
    PeLayout layout;
    std::string error;
    EXPECT_FALSE(locateBlock(source, layout, error)) << k.name;
    EXPECT_NE(error.find(k.expected), std::string::npos) << k.name << ": " << error;
  }
}

// The launcher's own reading: the lenient walk and the primitive each damage fails in, which
// decides the "Internal Error: <primitive>" text a user sees.
BlockPrimitive launcherFailure(const std::string& image) {
  MemorySource source(image);
  BlockReader reader(source, 0);
  PeWalk walk;
  BlockContents contents;
  if (walkToBlock(reader, walk) && readBlockHead(reader, contents) && readLocaleGroups(reader, contents))
    ADD_FAILURE() << "the image was read whole";
  return reader.failure().primitive;
}

TEST(LauncherReading, WalksToTheBlockAndReadsItInTwoSteps) {
  std::string image = makePe(PeShape{}) + encodeBlock(smallBlockContents());
  MemorySource source(image);
  BlockReader reader(source, 0);
  PeWalk walk;
  ASSERT_TRUE(walkToBlock(reader, walk));
  EXPECT_EQ(walk.reached, PeWalk::Stage::RawData);
  EXPECT_EQ(walk.sections, 2);
  EXPECT_EQ(walk.optionalHeaderSize, static_cast<int>(test::kOptionalSize));
  EXPECT_EQ(walk.blockOffset, 0x500);
  EXPECT_EQ(reader.position(), 0x500u);
  BlockContents head;
  ASSERT_TRUE(readBlockHead(reader, head));
  EXPECT_TRUE(head.groups.empty()) << "the locale is chosen before the groups are read";
  ASSERT_TRUE(readLocaleGroups(reader, head));
  ASSERT_EQ(head.groups.size(), 1u);
  // The included files start right behind the last group.
  std::int64_t size = 0;
  ASSERT_TRUE(readIncludedFileSize(reader, size));
  EXPECT_EQ(size, 2);
}

TEST(LauncherReading, EachDamageFailsInItsPrimitive) {
  const std::string pe = makePe(PeShape{});
  const std::string block = encodeBlock(smallBlockContents());
  auto damaged = [&](size_t at, uint32_t value) {
    std::string b = pe + block;
    test::put32(b, at, value);
    return b;
  };
  const size_t start = pe.size();
  struct Case {
    const char* name;
    std::string image;
    BlockPrimitive primitive;
  } cases[] = {
      {"nothing appended", pe, BlockPrimitive::Int},
      {"shorter than a DOS header", std::string(40, 'M'), BlockPrimitive::Int},
      {"e_lfanew past the end", damaged(60, 0x7FFFFF00), BlockPrimitive::Short},
      {"negative e_lfanew", damaged(60, 0xFFFFFF00), BlockPrimitive::Short},
      {"no sections", [&] { auto b = pe + block; test::put16(b, test::kPeOffset + 6, 0); return b; }(),
       BlockPrimitive::Short},
      {"wrong magic", damaged(start, 0x12345678), BlockPrimitive::Magic},
      {"cut in the length", (pe + block).substr(0, start + 16), BlockPrimitive::Long},
      {"negative text count", damaged(start + 20, 0xFFFFFFFF), BlockPrimitive::Int},
      {"huge text count", damaged(start + 20, 0x7FFFFFFF), BlockPrimitive::Int},
      {"negative text length", damaged(start + 28, 0x80000000), BlockPrimitive::String},
      {"odd message length", damaged(start + 50, 3), BlockPrimitive::WString},
      {"negative group count", damaged(start + 58, 0xFFFFFFFE), BlockPrimitive::Int},
  };
  for (const auto& k : cases) EXPECT_EQ(launcherFailure(k.image), k.primitive) << k.name;
}

TEST(IncludedFileNames, FollowTheCountAndSkipEmptyPieces) {
  EXPECT_EQ(includedFileNames(";a;;b;c", 2), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(includedFileNames("a;b", 5), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(includedFileNames("a;b", 0).empty());
  EXPECT_TRUE(includedFileNames("a;b", -3).empty());
}

TEST(ConfigInt, ParsesLikeTheLauncher) {
  struct Case {
      const char* text;
      std::int32_t value;
  } cases[] = {
      {"20", 20},
      {" 12x", 12},
      {"abc", 0},
      {"", 0},
      {"-17", -17},
      {"+8", 8},
      {"\t\n 42", 42},
      {"- 5", 0},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MAX},
      {"99999999999999999999", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"-2147483649", INT32_MIN},
      {"-99999999999999999999", INT32_MIN},
      {"007", 7},
      {"1 2", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(parseConfigInt(c.text), c.value) << '"' << c.text << '"';
}

}  // namespace
}  // namespace vkr
