#include "config/IncludedFiles.h"

#include "config/ConfigStore.h"
#include "config/ErrorReporting.h"
#include "config/LauncherValues.h"
#include "config_test_support.h"
#include "test_files.h"
#include "util/Paths.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

using namespace vkr;
using vkr::test::CapturedStandardError;
using vkr::test::Terminated;
using vkr::test::writeWholeFile;

namespace {

constexpr unsigned char kMask = 0xA7;

struct Record {
    std::int64_t size;    // as stored in the size field
    std::string content;  // plain bytes; stored masked, possibly fewer than size
};

std::string storedRecords(const std::vector<Record>& records) {
    std::string out;
    for (const Record& r : records) {
        for (int i = 0; i < 8; ++i) out += static_cast<char>(static_cast<std::uint64_t>(r.size) >> (8 * i));
        for (char c : r.content) out += static_cast<char>(static_cast<unsigned char>(c) ^ kMask);
    }
    return out;
}

std::string patternBytes(size_t count, unsigned seed) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(seed >> 16);
    }
    return bytes;
}

// Unlike the shared reader, a missing file reads as a marker: an expected empty file must
// not pass for one that was never written.
std::string readWholeFile(const std::string& path) {
    std::string text;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    CloseHandle(h);
    return text;
}

bool isDirectory(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
bool isPresent(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// What the block reader sees: a file that holds `junk` bytes of something else first (the
// executable and its block), then the records, then more bytes that are not records.
class IncludedFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        clearConfigStoreForTest();
        setMessageTextForTest(1009, L"An internal error occurred (error code: {0})");
        setErrorOutput(ErrorOutput::Console);
        setTerminateHookForTest(&vkr::test::throwingTerminateHook);
        scratch_ = narrowText(vkr::test::freshTempDirectory(L"vkr_included"));
        setExtractionDirectoryName({});
    }
    void TearDown() override {
        file_.close();
        if (!extractionDirectoryName().empty()) {
            removeDirectoryContents(extractionDirectoryName().c_str(), Subdirectories::Emptied);
            RemoveDirectoryA(extractionDirectoryName().c_str());
        }
        setExtractionDirectoryName({});
        removeDirectoryContents(scratch_.c_str(), Subdirectories::Emptied);
        RemoveDirectoryA(scratch_.c_str());
        setTerminateHookForTest(nullptr);
    }

    // Opens a launcher-like file holding the records at kJunk; returns their position.
    std::int64_t openRecords(const std::vector<Record>& records, const std::string& trailer = "TRAILER") {
        const std::string path = scratch_ + "launcher.bin";
        EXPECT_TRUE(writeWholeFile(path, std::string(kJunk, 'J') + storedRecords(records) + trailer));
        EXPECT_TRUE(file_.open(widenCodePage(path)));
        return kJunk;
    }

    std::string outputDirectory() {
        const std::string dir = scratch_ + "out";
        CreateDirectoryA(dir.c_str(), nullptr);
        setExtractionDirectoryName(dir);
        return dir;
    }

    static constexpr std::int64_t kJunk = 1000;
    std::string scratch_;
    LauncherFile file_;
};

TEST_F(IncludedFilesTest, TwoFilesArriveWholeAndAFatalEndRemovesThemWithTheDirectory) {
    const std::string jar = patternBytes(6001, 1);  // one full chunk and one byte
    const std::string dll = patternBytes(300, 2);
    setConfigTextForTest(2002, "2");
    setConfigTextForTest(2003, "a.jar;lib\\b.dll");
    const std::int64_t position = openRecords({{6001, jar}, {300, dll}});

    const std::string tempDir = requiredTempDirectory8();
    const std::time_t before = std::time(nullptr);
    createExtractionDirectory();
    const std::time_t after = std::time(nullptr);
    const std::string dir = extractionDirectoryName();

    // "<temp>qntXXXX.tmp_dir<time>", and the empty qnt file that lent its name is gone.
    ASSERT_EQ(dir.rfind(tempDir + "qnt", 0), 0u) << dir;
    const size_t marker = dir.rfind("_dir");
    ASSERT_NE(marker, std::string::npos) << dir;
    const long long stamp = std::stoll(dir.substr(marker + 4));
    EXPECT_GE(stamp, static_cast<long long>(before));
    EXPECT_LE(stamp, static_cast<long long>(after));
    EXPECT_TRUE(isDirectory(dir));
    EXPECT_FALSE(isPresent(dir.substr(0, marker))) << "stub file left behind: " << dir.substr(0, marker);

    ASSERT_EQ(extractRecords(file_, position, 2), Extraction::Done);
    EXPECT_EQ(readWholeFile(dir + "\\a.jar"), jar);
    EXPECT_EQ(readWholeFile(dir + "\\lib\\b.dll"), dll);
    EXPECT_EQ(unextractedPosition(), position + 8 + 6001 + 8 + 300);

    CapturedStandardError captured;
    try {
        fatalMessage8(1009, "16");
        FAIL() << "fatalMessage8 returned";
    } catch (const Terminated& t) {
        EXPECT_EQ(t.exitCode, 1);
    }
    EXPECT_NE(captured.text().find("(error code: 16)"), std::string::npos);
    EXPECT_FALSE(isPresent(dir + "\\a.jar"));
    EXPECT_FALSE(isPresent(dir + "\\lib"));
    EXPECT_FALSE(isPresent(dir));
}

// The records are stored back to back: what a size field says decides where the next starts.
TEST_F(IncludedFilesTest, RecordLayoutCases) {
    struct Case {
        const char* what;
        std::string count;
        std::string names;
        std::vector<Record> records;
        std::vector<std::pair<std::string, std::string>> expectedFiles;  // name, content
        std::vector<std::string> absent;
        std::int64_t expectedEnd;  // unextractedPosition relative to the first record
    };
    const std::vector<Case> cases = {
        {"size 0 writes no file; the next record follows its size field", "2", "empty.txt;b.txt",
         {{0, ""}, {3, "bbb"}}, {{"b.txt", "bbb"}}, {"empty.txt"}, 8 + 8 + 3},
        {"a negative size counts as no content", "2", "neg.txt;b.txt",
         {{-5, ""}, {2, "bb"}}, {{"b.txt", "bb"}}, {"neg.txt"}, 8 + 8 + 2},
        {"names beyond the count are ignored", "2", "a.txt;b.txt;c.txt",
         {{1, "a"}, {1, "b"}, {1, "c"}}, {{"a.txt", "a"}, {"b.txt", "b"}}, {"c.txt"}, 2 * (8 + 1)},
        {"fewer names than the count end the loop", "3", "a.txt",
         {{2, "aa"}, {1, "b"}}, {{"a.txt", "aa"}}, {}, 8 + 2},
        {"empty pieces are skipped", "2", ";a.txt;;b.txt;",
         {{1, "a"}, {1, "b"}}, {{"a.txt", "a"}, {"b.txt", "b"}}, {}, 2 * (8 + 1)},
        {"bytes come back through the mask", "1", "m.bin",
         {{4, std::string("\x00\xA7\xFF\x58", 4)}}, {{"m.bin", std::string("\x00\xA7\xFF\x58", 4)}}, {}, 8 + 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clearConfigStoreForTest();
        setConfigTextForTest(2002, c.count);
        setConfigTextForTest(2003, c.names);
        const std::string dir = outputDirectory();
        const std::int64_t position = openRecords(c.records);
        ASSERT_EQ(extractRecords(file_, position, std::stoi(c.count)), Extraction::Done);
        for (const auto& [name, content] : c.expectedFiles) EXPECT_EQ(readWholeFile(dir + "\\" + name), content) << name;
        for (const std::string& name : c.absent) EXPECT_FALSE(isPresent(dir + "\\" + name)) << name;
        EXPECT_EQ(unextractedPosition(), position + c.expectedEnd);
        file_.close();
        removeDirectoryContents(dir.c_str(), Subdirectories::Emptied);
        RemoveDirectoryA(dir.c_str());
    }
}

TEST_F(IncludedFilesTest, OnlyTheFirstLevelDirectoryIsCreated) {
    setConfigTextForTest(2002, "1");
    setConfigTextForTest(2003, "lib\\x\\c.dll");
    const std::string dir = outputDirectory();
    // Size 0: nothing to write, so the directories are all there is to see.
    const std::int64_t position = openRecords({{0, ""}});
    EXPECT_EQ(extractRecords(file_, position, 1), Extraction::Done);
    EXPECT_TRUE(isDirectory(dir + "\\lib"));
    EXPECT_FALSE(isPresent(dir + "\\lib\\x"));
}

TEST_F(IncludedFilesTest, AnOutputThatCannotBeCreatedEndsWithInternalError11) {
    setConfigTextForTest(2002, "1");
    setConfigTextForTest(2003, "lib\\x\\c.dll");
    const std::string dir = outputDirectory();
    const std::int64_t position = openRecords({{3, "ccc"}});
    CapturedStandardError captured;
    try {
        extractRecords(file_, position, 1);
        FAIL() << "extraction went on";
    } catch (const Terminated& t) {
        EXPECT_EQ(t.exitCode, 1);
    }
    EXPECT_EQ(captured.text(), "An internal error occurred (error code: 11)\n");
    // The fatal end removed lib and the directory.
    EXPECT_FALSE(isPresent(dir));
}

TEST_F(IncludedFilesTest, ContentEndingEarlyIsAReadFailure) {
    setConfigTextForTest(2002, "2");
    setConfigTextForTest(2003, "a.txt;b.txt");
    const std::string dir = outputDirectory();
    // The second record promises 100 bytes, the file ends after 40.
    const std::int64_t position = openRecords({{2, "aa"}, {100, std::string(40, 'b')}}, "");
    EXPECT_EQ(extractRecords(file_, position, 2), Extraction::ReadFailed);
    EXPECT_EQ(readWholeFile(dir + "\\a.txt"), "aa");
    EXPECT_EQ(unextractedPosition(), 0) << "a failed extraction must not publish a position";
}

TEST_F(IncludedFilesTest, ASizeFieldCutShortEndsWithTheReaderMessage) {
    setConfigTextForTest(2002, "1");
    setConfigTextForTest(2003, "a.txt");
    outputDirectory();
    const std::int64_t position = openRecords({}, "abc");
    CapturedStandardError captured;
    EXPECT_THROW(extractRecords(file_, position, 1), Terminated);
    EXPECT_NE(captured.text().find("Internal Error: readLong"), std::string::npos);
}

TEST_F(IncludedFilesTest, NoIncludedFilesCreateNothing) {
    for (const char* count : {"", "0", "-3"}) {
        SCOPED_TRACE(count);
        setConfigTextForTest(2002, count);
        setConfigTextForTest(2003, "a.jar");
        setExtractionDirectoryName("left over");
        EXPECT_EQ(extractIncludedFiles(ExtractionDirectory::Create), Extraction::Done);
        EXPECT_EQ(extractionDirectoryName(), "");
        EXPECT_EQ(unextractedPosition(), 0);
    }
}

struct AccessList {
    bool isProtected = false;
    std::vector<std::string> trustees;  // in order; every entry must be an allow entry
    std::vector<BYTE> flags;            // the entries' inheritance flags
};

AccessList accessListOf(PSECURITY_DESCRIPTOR descriptor) {
    AccessList list;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    list.isProtected = (control & SE_DACL_PROTECTED) != 0;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) {
        list.trustees.push_back("<no access list: everybody>");
        return list;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) {
            list.trustees.push_back("<not an allow entry>");
            continue;
        }
        char* sid = nullptr;
        ConvertSidToStringSidA(&ace->SidStart, &sid);
        list.trustees.emplace_back(sid ? sid : "?");
        list.flags.push_back(ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE));
        LocalFree(sid);
    }
    return list;
}

AccessList accessListOfPath(const std::string& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                              nullptr, &descriptor) != ERROR_SUCCESS)
        return {};
    AccessList list = accessListOf(descriptor);
    LocalFree(descriptor);
    return list;
}

std::string processUserSid() {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    std::vector<unsigned char> user(512);
    DWORD needed = 0;
    GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &needed);
    CloseHandle(token);
    char* sid = nullptr;
    ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid);
    const std::string text = sid ? sid : "";
    LocalFree(sid);
    return text;
}

// The directory lies in the Windows temp directory when the launcher is a service: ordinary
// users may create entries there, so it must not take their grants, and its jars must not
// be replaceable by them.
TEST_F(IncludedFilesTest, TheExtractionDirectoryIsWritableOnlyByItsUserSystemAndAdministrators) {
    const std::string user = processUserSid();
    ASSERT_FALSE(user.empty());
    const std::vector<std::string> expected{"S-1-5-18", "S-1-5-32-544", user};
    const BYTE inherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(extractionDirectorySddl(user).c_str(),
                                                                     SDDL_REVISION_1, &descriptor, nullptr));
    const AccessList built = accessListOf(descriptor);
    LocalFree(descriptor);
    EXPECT_TRUE(built.isProtected) << "would take the temp directory's grants";
    EXPECT_EQ(built.trustees, expected);
    EXPECT_EQ(built.flags, std::vector<BYTE>(3, inherited)) << "files inside must get the same list";

    createExtractionDirectory();
    const std::string dir = extractionDirectoryName();
    ASSERT_TRUE(isDirectory(dir));

    // Whether the system keeps a directory's own access list at all (Wine needs extended
    // attributes for it): a directory made with a list of one entry shows it.
    const std::string probe = scratch_ + "acl_probe";
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;OICI;FA;;;BA)", SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    ASSERT_TRUE(CreateDirectoryA(probe.c_str(), &attributes));
    LocalFree(descriptor);
    const AccessList kept = accessListOfPath(probe);
    RemoveDirectoryA(probe.c_str());
    if (kept.trustees != std::vector<std::string>{"S-1-5-32-544"})
        GTEST_SKIP() << "this system does not keep access lists given at creation";

    const AccessList onDisk = accessListOfPath(dir);
    EXPECT_TRUE(onDisk.isProtected);
    EXPECT_EQ(onDisk.trustees, expected);
}

} // namespace
