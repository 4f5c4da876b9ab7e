#include "config/ConfigStore.h"

#include "config/ErrorReporting.h"
#include "config/Locale.h"
#include "config_test_support.h"
#include "test_files.h"
#include "util/Paths.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

using namespace vkr;
using vkr::test::CapturedStandardError;
using vkr::test::Terminated;

namespace {

// A PE-shaped file: DOS header with e_lfanew, a COFF header, an optional header of
// kOptionalSize bytes and kSections section headers; the last section's raw data ends at
// kBlockStart, where the block follows.
constexpr std::int32_t kPeHeader = 0x80;
constexpr std::int32_t kOptionalSize = 0xF0;
constexpr int kSections = 3;
constexpr std::int32_t kLastRawOffset = 0x400;
constexpr std::int32_t kLastRawSize = 0x200;
constexpr std::int32_t kBlockStart = kLastRawOffset + kLastRawSize;
constexpr std::int32_t kLastSectionHeader = kPeHeader + 24 + kOptionalSize + 40 * (kSections - 1);

void put32(std::string& b, size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}
void put16(std::string& b, size_t at, std::uint16_t v) {
    b[at] = static_cast<char>(v);
    b[at + 1] = static_cast<char>(v >> 8);
}

std::string peImage() {
    std::string b(kBlockStart, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    put32(b, 60, kPeHeader);
    b.replace(kPeHeader, 4, std::string("PE\0\0", 4));
    put16(b, kPeHeader + 6, kSections);
    put16(b, kPeHeader + 20, kOptionalSize);
    for (int i = 0; i < kSections; ++i) {
        size_t h = kPeHeader + 24 + kOptionalSize + 40 * i;
        // Earlier sections lie before the last one; only the last header decides.
        put32(b, h + 16, i + 1 == kSections ? kLastRawSize : 0x100);
        put32(b, h + 20, i + 1 == kSections ? kLastRawOffset : 0x200 + 0x100 * i);
    }
    return b;
}

struct Group {
    std::string prefix;
    std::vector<std::pair<int, std::wstring>> messages;
};

class BlockWriter {
public:
    BlockWriter& i32(std::int32_t v) {
        std::string b(4, '\0');
        put32(b, 0, static_cast<std::uint32_t>(v));
        bytes += b;
        return *this;
    }
    BlockWriter& str(const std::string& s) {
        i32(static_cast<std::int32_t>(s.size()));
        bytes += s;
        return *this;
    }
    BlockWriter& wstr(const std::wstring& s) {
        i32(static_cast<std::int32_t>(2 * s.size()));
        for (wchar_t c : s) {
            bytes.push_back(static_cast<char>(c & 0xFF));
            bytes.push_back(static_cast<char>(c >> 8));
        }
        return *this;
    }
    BlockWriter& header() {
        i32(static_cast<std::int32_t>(kBlockMagic)).i32(0).i32(0);
        return i32(0).i32(0);  // the u64 length, not interpreted
    }
    std::string bytes;
};

struct Block {
    std::vector<std::pair<int, std::string>> texts;
    std::vector<std::pair<int, std::wstring>> messages;
    std::vector<Group> groups;

    std::string bytes() const {
        BlockWriter w;
        w.header().i32(static_cast<std::int32_t>(texts.size()));
        for (auto& [k, v] : texts) w.i32(k).str(v);
        w.i32(static_cast<std::int32_t>(messages.size()));
        for (auto& [k, v] : messages) w.i32(k).wstr(v);
        w.i32(static_cast<std::int32_t>(groups.size()));
        for (auto& g : groups) {
            w.str(g.prefix).i32(static_cast<std::int32_t>(g.messages.size()));
            for (auto& [k, v] : g.messages) w.i32(k).wstr(v);
        }
        return w.bytes;
    }
};

class ConfigStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        clearConfigStoreForTest();
        setErrorOutput(ErrorOutput::Console);
        setTerminateHookForTest(&vkr::test::throwingTerminateHook);
        dir_ = vkr::test::freshTempDirectory(L"cfgstore");
    }
    void TearDown() override {
        setTerminateHookForTest(nullptr);
        clearConfigStoreForTest();
        DeleteFileW(path().c_str());
        RemoveDirectoryW(dir_.c_str());
    }
    std::wstring path() const { return dir_ + L"launcher.exe"; }

    void writeFile(const std::string& contents) {
        HANDLE h = CreateFileW(path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(h, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
        CloseHandle(h);
        ASSERT_EQ(written, contents.size());
    }

    // Loads the file; returns "" when loading succeeded, else the fatal text shown (and
    // checks the exit code 1).
    std::string load(const std::string& contents) {
        writeFile(contents);
        LauncherFile file;
        EXPECT_TRUE(file.open(path()));
        CapturedStandardError captured;
        try {
            loadConfigurationFrom(file);
        } catch (const Terminated& t) {
            EXPECT_EQ(t.exitCode, 1);
            std::string text = captured.text();
            return text.empty() ? "<no text>" : text;
        }
        return "";
    }

    std::wstring dir_;
};

TEST_F(ConfigStoreTest, LoadsTextsMessagesAndRecordsTheBlockEnd) {
    Block block;
    block.texts = {{101, "Service"}, {2001, "i"}, {107, "4"}, {121, ""}, {-5, "neg\xE9"}, {101, "Second"}};
    block.messages = {{1000, L"Error"}, {1009, L"An internal error occurred (error code: {0})"}, {20017, L""}};
    std::string image = peImage() + block.bytes();
    std::string trailer("\xE8\xE4\x13\xD5", 4);
    ASSERT_EQ(load(image + trailer + std::string(64, '\0')), "");

    EXPECT_EQ(configTextCopy(2001), "i");
    // A key that occurs twice keeps the second value.
    EXPECT_EQ(configTextCopy(101), "Second");
    // Bytes are kept as stored and widen to the code unit of the same value.
    EXPECT_EQ(configTextCopy(-5), "neg\xE9");
    EXPECT_EQ(configWideText(-5), L"neg\u00E9");
    EXPECT_EQ(messageText(1009), L"An internal error occurred (error code: {0})");
    EXPECT_EQ(configInt(107), 4);
    EXPECT_EQ(includedFilesPosition(), static_cast<std::int32_t>(image.size()));
    EXPECT_EQ(errorOutput(), ErrorOutput::Console);
}

TEST_F(ConfigStoreTest, ExecutableKindDecidesTheErrorOutput) {
    struct Case {
        const char* kind;
        ErrorOutput expected;
    } cases[] = {{"1", ErrorOutput::MessageBox}, {"5", ErrorOutput::MessageBox}, {"4", ErrorOutput::Console},
                 {"0", ErrorOutput::Console},    {nullptr, ErrorOutput::Console}};
    for (const Case& c : cases) {
        clearConfigStoreForTest();
        setErrorOutput(ErrorOutput::MessageBox);
        Block block;
        if (c.kind) block.texts = {{107, c.kind}};
        EXPECT_EQ(load(peImage() + block.bytes()), "") << (c.kind ? c.kind : "absent");
        EXPECT_EQ(errorOutput(), c.expected) << (c.kind ? c.kind : "absent");
    }
}

TEST_F(ConfigStoreTest, LocaleGroupRules) {
    struct Case {
        const char* locale;
        const char* prefix;
        bool applies;
    } cases[] = {
        {"de_DE", "", true},         {"de_DE", "de", true},       {"de_CH", "de", true},
        {"de", "de_CH", false},      {"de_DE", "de_CH", false},   {"de_DE", "en", false},
        {"de_DE", "DE", false},      {"no_NO_NY", "no_NO", true}, {"en", "en_US", false},
        {"en_US", "en_US", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(localeGroupApplies(c.locale, c.prefix), c.applies) << c.locale << " / " << c.prefix;
    }
}

TEST_F(ConfigStoreTest, AppliesMatchingGroupsInFileOrderAndSkipsOthers) {
    Block block;
    block.messages = {{1000, L"Error"}, {1010, L"Couldn't load main class."}};
    // The groups are written before the locale is known; the selected locale is the same in
    // every load of this process, so the test reads it after a first load.
    ASSERT_EQ(load(peImage() + block.bytes()), "");
    std::string locale = selectedLocale();
    ASSERT_FALSE(locale.empty());

    clearConfigStoreForTest();
    block.groups = {
        {"", {{1000, L"all"}}},
        {"zz", {{1010, L"skipped"}, {1011, L"skipped too"}}},
        {locale.substr(0, 2), {{1000, L"language"}, {1011, L"added"}}},
        {locale + "_XX", {{1000, L"longer prefix"}}},
        {locale, {{1000, L"exact"}}},
    };
    ASSERT_EQ(load(peImage() + block.bytes()), "");
    EXPECT_EQ(rawMessageText(1000), L"exact");
    EXPECT_EQ(rawMessageText(1010), L"Couldn't load main class.");
    EXPECT_EQ(rawMessageText(1011), L"added");
}

// A damaged block ends with the fatal text of the primitive that met the damage, exit code 1,
// before anything is allocated for a length the file cannot hold.
TEST_F(ConfigStoreTest, DamagedBlocksEndWithThePrimitivesText) {
    const std::string pe = peImage();
    auto withTexts = [&](auto&& build) {
        BlockWriter w;
        w.header();
        build(w);
        return pe + w.bytes;
    };
    std::string badLfanew = pe;
    put32(badLfanew, 60, 0x7FFFFF00);
    std::string negativeLfanew = pe;
    put32(negativeLfanew, 60, 0xFFFFFF00);
    std::string noSections = pe;
    put16(noSections, kPeHeader + 6, 0);
    std::string tableOutside = pe;
    put16(tableOutside, kPeHeader + 6, 0x7FFF);
    std::string rawOutside = pe;
    put32(rawOutside, kLastSectionHeader + 20, 0x7FFFFFF0);
    std::string wrongMagic = pe + BlockWriter().i32(0x12345678).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).bytes;

    struct Case {
        const char* name;
        std::string file;
        const char* text;
    } cases[] = {
        {"nothing appended", pe, "Internal Error: readInt"},
        {"wrong magic", wrongMagic, "Internal Error: magic"},
        {"e_lfanew past the end", badLfanew, "Internal Error: readShort"},
        {"negative e_lfanew", negativeLfanew, "Internal Error: readShort"},
        {"zero sections", noSections, "Internal Error: readShort"},
        {"section table outside the file", tableOutside, "Internal Error: readInt"},
        {"raw data outside the file", rawOutside, "Internal Error: readInt"},
        {"file shorter than a DOS header", std::string(40, 'M'), "Internal Error: readInt"},
        {"cut in the u64", pe + BlockWriter().header().bytes.substr(0, 16), "Internal Error: readLong"},
        {"negative text count", withTexts([](BlockWriter& w) { w.i32(-1); }), "Internal Error: readInt"},
        {"huge text count", withTexts([](BlockWriter& w) { w.i32(INT_MAX).i32(1).str("x"); }), "Internal Error: readInt"},
        {"negative string length", withTexts([](BlockWriter& w) { w.i32(1).i32(101).i32(-2); }),
         "Internal Error: readString"},
        {"string length past the end", withTexts([](BlockWriter& w) { w.i32(1).i32(101).i32(0x7FFFFFF0).i32(0).i32(0); }),
         "Internal Error: readString"},
        {"negative message count", withTexts([](BlockWriter& w) { w.i32(0).i32(INT_MIN); }), "Internal Error: readInt"},
        {"negative wide length", withTexts([](BlockWriter& w) { w.i32(0).i32(1).i32(1000).i32(-4).i32(0); }),
         "Internal Error: readWString"},
        {"wide length past the end", withTexts([](BlockWriter& w) { w.i32(0).i32(1).i32(1000).i32(0x40000000).i32(0); }),
         "Internal Error: readWString"},
        {"odd wide length", withTexts([](BlockWriter& w) { w.i32(0).i32(1).i32(1000).i32(3).i32(0); }),
         "Internal Error: readWString"},
        {"huge group count", withTexts([](BlockWriter& w) { w.i32(0).i32(0).i32(0x10000000).str("de"); }),
         "Internal Error: readInt"},
        {"negative group message count", withTexts([](BlockWriter& w) { w.i32(0).i32(0).i32(1).str("").i32(-7); }),
         "Internal Error: readInt"},
        {"group cut after its prefix", withTexts([](BlockWriter& w) { w.i32(0).i32(0).i32(1).str("de"); }),
         "Internal Error: readInt"},
    };
    for (const Case& c : cases) {
        clearConfigStoreForTest();
        std::string shown = load(c.file);
        EXPECT_EQ(shown, std::string(c.text) + "\n") << c.name;
    }
}

TEST_F(ConfigStoreTest, BlockCutAtAnyByteIsFatalNeverACrash) {
    Block block;
    block.texts = {{101, "Service"}, {122, "com.example.Main"}};
    block.messages = {{1000, L"Error"}, {1016, L"No JVM {0}"}};
    block.groups = {{"", {{1000, L"Fehler"}}}, {"zz", {{1000, L"x"}}}};
    const std::string full = peImage() + block.bytes();
    ASSERT_EQ(load(full), "");
    for (size_t cut = kBlockStart; cut < full.size(); ++cut) {
        clearConfigStoreForTest();
        std::string shown = load(full.substr(0, cut));
        EXPECT_EQ(shown.rfind("Internal Error: read", 0), 0u) << "cut at " << cut << ": " << shown;
    }
}

TEST_F(ConfigStoreTest, AccessorsOfAbsentKeys) {
    wchar_t wide[8] = L"junk";
    char narrow[8] = "junk";
    EXPECT_EQ(configText(555, narrow, sizeof narrow), 0u);
    EXPECT_STREQ(narrow, "");
    EXPECT_EQ(configWideText(555, wide, 8), 0u);
    EXPECT_STREQ(wide, L"");
    EXPECT_EQ(configTextCopy(555), "");
    EXPECT_EQ(configInt(555), 0);
    EXPECT_EQ(messageText(555), L"");
    wcscpy(wide, L"junk");
    EXPECT_EQ(messageText(555, wide, 8), 0u);
    EXPECT_STREQ(wide, L"");
    wcscpy(wide, L"junk");
    rawMessageText(555, wide, 8);
    EXPECT_STREQ(wide, L"");
}

TEST_F(ConfigStoreTest, ConfigTextCutsToCapacity) {
    setConfigTextForTest(2001, "ij");
    setConfigTextForTest(2002, "i");
    char buffer[8];
    EXPECT_EQ(configText(2002, buffer, 2), 1u);
    EXPECT_STREQ(buffer, "i");
    EXPECT_EQ(configText(2001, buffer, 2), 1u);
    EXPECT_STREQ(buffer, "i");
    EXPECT_EQ(configText(2001, buffer, 3), 2u);
    EXPECT_STREQ(buffer, "ij");

    // Both copies say when they cut (the UTF-16 one once cut an argument list silently).
    vkr::test::beginTestLog();
    wchar_t wide[3];
    EXPECT_EQ(configWideText(2001, wide, 2), 1u);
    EXPECT_STREQ(wide, L"i");
    EXPECT_EQ(configText(2001, buffer, 2), 1u);
    const std::string log = vkr::test::testLogText();
    vkr::test::endTestLog();
    size_t cuts = 0;
    for (size_t at = log.find("ERROR: config string 2001 truncated (2 2)"); at != std::string::npos;
         at = log.find("ERROR: config string 2001 truncated (2 2)", at + 1))
        ++cuts;
    EXPECT_EQ(cuts, 2u) << log;
}

TEST_F(ConfigStoreTest, MessageFallsBackToTheTextOfTheSameNumber) {
    setConfigTextForTest(1005, "from the text map \xFC");
    setMessageTextForTest(1005, L"");
    setMessageTextForTest(1006, L"message wins");
    setConfigTextForTest(1006, "text loses");
    setMessageTextForTest(20017, L"");
    EXPECT_EQ(messageText(1005), L"from the text map \u00FC");
    EXPECT_EQ(messageText(1006), L"message wins");
    EXPECT_EQ(messageText(20017), L"");
    wchar_t buffer[kMaxPath];
    EXPECT_EQ(messageText(1005, buffer, kMaxPath), 19u);
    EXPECT_STREQ(buffer, L"from the text map \u00FC");
    wchar_t small[5];
    rawMessageText(1006, small, 5);
    EXPECT_STREQ(small, L"mess");
}

// The entry point loads the block of the running executable itself; a test program has no
// block, so that load ends as any launcher without a block does.
TEST_F(ConfigStoreTest, OwnExecutableWithoutBlockEndsWithReadInt) {
    CapturedStandardError captured;
    try {
        loadConfiguration();
        FAIL() << "loaded a block from the test program";
    } catch (const Terminated& t) {
        EXPECT_EQ(t.exitCode, 1);
    }
    // An unstripped test program keeps a symbol table behind its sections, where the magic
    // is then looked for; a stripped one ends right there.
    std::string shown = captured.text();
    EXPECT_TRUE(shown == "Internal Error: readInt\n" || shown == "Internal Error: magic\n") << shown;
}

} // namespace
