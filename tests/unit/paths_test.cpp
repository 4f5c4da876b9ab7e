// Path rules, conversions and the executable's own location.
#include "util/ChildProcess.h"
#include "util/Paths.h"
#include "util/TempDirectory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vkr {
namespace {

// Most cases below assume the ANSI code page that Wine and a western Windows start with.
bool ansiIsWestern() { return fileApiCodePage() == CP_ACP && GetACP() == 1252; }

// The rule itself is the core's; the 8-bit form applies it through UTF-16.
TEST(CollapseBackslashes, EightBitFormFollowsTheRule) {
    for (const char* in : {"C:\\\\dir\\\\\\file.txt", "\\\\\\\\server\\share", ""}) {
        std::wstring wide = widenBytes(in);
        collapseBackslashRuns(wide);
        std::string narrow = in;
        collapseBackslashes(narrow);
        EXPECT_EQ(narrow, narrowText(wide)) << in;
    }
}

TEST(CollapseBackslashes, EightBitFormKeepsCodePageCharacters) {
    if (!ansiIsWestern()) GTEST_SKIP() << "needs code page 1252";
    std::string path = "C:\\\\caf\xe9\\\\\x80.txt";
    collapseBackslashes(path);
    EXPECT_EQ(path, "C:\\caf\xe9\\\x80.txt");
}

TEST(LowerCasePath, TouchesOnlyAsciiLetters) {
    if (!ansiIsWestern()) GTEST_SKIP() << "needs code page 1252";
    std::string path = "C:\\Program Files\\\xc9T\xc9\\App.EXE";
    lowerCasePath(path);
    EXPECT_EQ(path, "c:\\program files\\\xc9t\xc9\\app.exe");
}

TEST(Exists, DriveRootsNeedNoDiskAccess) {
    struct Case {
        const char* path;
        bool root;
    };
    // Drive Q is absent under the test prefix: only the shortcut can make these exist.
    const std::vector<Case> cases = {
        {"Q:\\", true},   {"Q:\\.", true}, {"Q:\\.\\.", true}, {"q:\\", true},
        {"Q:\\..", false}, {"Q:", false},  {"Q:\\x", false},  {":\\", false},
        {"", false},      {"QQ:\\", false}, {"Q:\\.\\", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isDriveRoot(std::string_view(c.path)), c.root) << c.path;
        EXPECT_EQ(exists(std::string(c.path)), c.root) << c.path;
        EXPECT_EQ(exists(widenBytes(c.path)), c.root) << c.path;
    }
}

TEST(Exists, FindFirstFileDecidesEverythingElse) {
    const std::wstring& self = executableLongPath();
    FILETIME lastWrite{};
    ASSERT_TRUE(exists(self, &lastWrite));
    EXPECT_TRUE(lastWrite.dwHighDateTime != 0 || lastWrite.dwLowDateTime != 0);
    FILETIME narrowWrite{};
    ASSERT_TRUE(exists(executablePath8(), &narrowWrite));
    EXPECT_EQ(CompareFileTime(&lastWrite, &narrowWrite), 0);

    // Wildcards are not special: a pattern exists when anything matches.
    EXPECT_TRUE(exists(executableDirectoryLong() + L"*.exe"));
    EXPECT_TRUE(exists(executableDirectory8() + "paths_te?t.exe"));
    EXPECT_FALSE(exists(executableDirectoryLong() + L"no such file.txt"));
    EXPECT_FALSE(exists(executableDirectory8() + "no such dir\\x"));
}

TEST(NarrowText, NeverTurnsAMissingCharacterIntoAnotherOne) {
    if (!ansiIsWestern()) GTEST_SKIP() << "needs code page 1252";
    struct Case {
        std::wstring in;
        std::string out;
        bool lost;
    };
    const std::vector<Case> cases = {
        {L"C:\\plain", "C:\\plain", false},
        {L"caf\u00e9", "caf\xe9", false},
        {L"\u20ac", "\x80", false},
        // Best-fit mapping would make these "A" and a real quotation mark: a different file
        // name, or a quote that ends an argument early.
        {L"C:\\\u0100bc", "C:\\?bc", true},
        {L"say \uff02hi\uff02", "say ?hi?", true},
        {L"\u4e00", "?", true},
        {L"", "", false},
    };
    for (const Case& c : cases) {
        Narrowed how = c.lost ? Narrowed::Exactly : Narrowed::WithReplacements;
        EXPECT_EQ(narrowText(c.in, &how), c.out);
        EXPECT_EQ(how == Narrowed::WithReplacements, c.lost) << c.out;
        EXPECT_EQ(narrowText(c.in), c.out);
    }
}

TEST(Widen, BytesKeepTheirValueCodePageTranslates) {
    if (!ansiIsWestern()) GTEST_SKIP() << "needs code page 1252";
    EXPECT_EQ(widenBytes("a\xe9\x80"), std::wstring(L"a\u00e9\u0080"));
    EXPECT_EQ(widenCodePage("a\xe9\x80"), std::wstring(L"a\u00e9\u20ac"));
    EXPECT_EQ(widenBytes(""), L"");
    EXPECT_EQ(widenCodePage(""), L"");
}

TEST(NextRandom, FollowsTheCRuntimeSequence) {
    unsigned state = 1;
    const std::vector<unsigned> expected = {41, 18467, 6334, 26500, 19169};
    for (unsigned value : expected) EXPECT_EQ(nextRandom(state), value);
    state = 0x80000000u;  // the state wraps; only bits 16..30 leave
    unsigned value = nextRandom(state);
    EXPECT_LE(value, 0x7FFFu);
    EXPECT_EQ(state, 0x80000000u * 214013u + 2531011u);
}

TEST(ExecutableLocation, BothPathsNameThisFile) {
    const std::wstring& longPath = executableLongPath();
    const std::string& path8 = executablePath8();
    ASSERT_TRUE(endsWithExe(path8)) << path8;
    EXPECT_EQ(path8.find('?'), std::string::npos) << path8;
    EXPECT_TRUE(exists(path8));
    ASSERT_FALSE(isRelative(std::wstring_view(longPath)));

    // The 8-bit path, read back through the code page, is the same file as the long path.
    std::wstring back(kMaxPath, L'\0');
    DWORD n = GetLongPathNameW(widenCodePage(path8).c_str(), back.data(), static_cast<DWORD>(kMaxPath));
    ASSERT_GT(n, 0u);
    back.resize(n);
    EXPECT_EQ(CompareStringOrdinal(back.c_str(), -1, longPath.c_str(), -1, TRUE), CSTR_EQUAL);

    // Copies of this program started from a directory outside the code page check that
    // the long path keeps the name and the 8-bit path is a short form without loss.
    wchar_t outside[8] = {};
    if (GetEnvironmentVariableW(L"VKR_PATHS_OUTSIDE_CODE_PAGE", outside, 8) > 0) {
        EXPECT_NE(longPath.find(L'\u0100'), std::wstring::npos);
        EXPECT_NE(narrowText(longPath), path8);
    }
}

TEST(ExecutableLocation, DirectoriesEndWithABackslash) {
    const std::string& dir8 = executableDirectory8();
    const std::wstring& widened = executableDirectoryNarrowWidened();
    const std::wstring& longDir = executableDirectoryLong();
    ASSERT_FALSE(dir8.empty());
    EXPECT_EQ(dir8.back(), '\\');
    EXPECT_EQ(longDir.back(), L'\\');
    EXPECT_EQ(widened, widenBytes(dir8));
    EXPECT_EQ(executablePath8().rfind(dir8, 0), 0u) << executablePath8();
    EXPECT_EQ(executableLongPath().rfind(longDir, 0), 0u);
}

TEST(ResolvePath, RelativeGoesBehindTheDirectory) {
    const std::string& dir8 = executableDirectory8();
    struct Case {
        const char* path;
        const char* base;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"", nullptr, dir8},
        {"conf\\\\app.cfg", nullptr, dir8 + "conf\\app.cfg"},
        {"C:\\\\abs\\\\x", nullptr, "C:\\abs\\x"},
        {"\\\\srv\\\\share", nullptr, "\\\\srv\\share"},
        {"lib\\a.jar", "C:\\base\\dir\\file.txt", "C:\\base\\dir\\lib\\a.jar"},
        {"", "C:\\base\\file.txt", "C:\\base\\"},
        {"D:\\x", "C:\\base\\file.txt", "D:\\x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(resolvePath(c.path, c.base), c.out) << c.path;
        const std::wstring base = c.base ? widenBytes(c.base) : L"";
        const wchar_t* wideBase = c.base ? base.c_str() : nullptr;
        EXPECT_EQ(resolvePath(widenBytes(c.path), DirectoryForm::NarrowWidened, wideBase), widenBytes(c.out))
            << c.path;
    }
    EXPECT_EQ(resolvePath(L"x\\y", DirectoryForm::LongWide), executableDirectoryLong() + L"x\\y");
}

TEST(CanonicalPath, FullPathLowerCasedUnlessAsked) {
    const std::string& dir8 = executableDirectory8();
    std::string lower = dir8 + "conf\\app.cfg";
    lowerCasePath(lower);
    EXPECT_EQ(canonicalPath("Sub\\..\\Conf\\\\.\\App.CFG", LetterCase::Lowered), lower);
    EXPECT_EQ(canonicalPath("Sub\\..\\Conf\\\\.\\App.CFG", LetterCase::Kept), dir8 + "Conf\\App.CFG");
    EXPECT_EQ(canonicalPath("C:\\A\\..\\B\\\\C", LetterCase::Lowered), "c:\\b\\c");

    std::wstring longLower = executableDirectoryLong() + L"x.txt";
    for (wchar_t& c : longLower)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    EXPECT_EQ(canonicalPath(L"Y\\..\\X.TXT", DirectoryForm::LongWide, LetterCase::Lowered), longLower);
    EXPECT_EQ(canonicalPath(L"Y\\..\\X.TXT", DirectoryForm::LongWide, LetterCase::Kept),
              executableDirectoryLong() + L"X.TXT");
}

TEST(FallbackTempFileName, SeparatorOnlyWhenMissing) {
    struct Case {
        const char* directory;
        unsigned number;
        const char* out;
    };
    const std::vector<Case> cases = {
        {"C:\\temp", 42, "C:\\temp\\qnt42"},
        {"C:\\temp\\", 0, "C:\\temp\\qnt0"},
        {"C:/temp/", 32767, "C:/temp/qnt32767"},
    };
    for (const Case& c : cases) EXPECT_EQ(fallbackTempFileName(c.directory, c.number), c.out);
}

TEST(TempCandidates, OrderFlagsAndSkippedSources) {
    TempSources<std::string> all{"T:\\tmp\\", "U:\\prof", "H:", "\\home", "P:\\data", "W:\\win"};
    struct Expected {
        int number;
        const char* path;
        bool create, strict, longNameStep;
    };
    const std::vector<Expected> expected = {
        {1, "T:\\tmp\\", true, true, true},
        {2, "U:\\prof\\AppData\\Local\\Temp", false, true, true},
        {3, "H:\\home", false, true, true},
        {4, "P:\\data\\velkor\\temp", true, true, true},
        {5, "W:\\win\\temp", false, false, false},
        {6, "c:\\temp", false, false, false},
        {7, "c:\\tmp", false, false, false},
        {8, "W:\\win", false, false, false},
        {9, "c:\\tmp", true, false, false},
        {10, "T:\\tmp\\", true, false, true},
        {11, "U:\\prof\\AppData\\Local\\Temp", false, false, true},
        {12, "H:\\home", false, false, true},
    };
    std::vector<TempCandidate<std::string>> list = tempCandidates(all);
    ASSERT_EQ(list.size(), expected.size());
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].number, expected[i].number);
        EXPECT_EQ(list[i].path, expected[i].path) << list[i].number;
        EXPECT_EQ(list[i].create == TempCreate::IfMissing, expected[i].create) << list[i].number;
        EXPECT_EQ(list[i].names == TempNames::Strict, expected[i].strict) << list[i].number;
        EXPECT_EQ(list[i].longNameStep, expected[i].longNameStep) << list[i].number;
        EXPECT_EQ(list[i].createFirst, list[i].number == 4 ? "P:\\data\\velkor" : "") << list[i].number;
    }

    // A failed source drops exactly its candidates; the home candidates need both parts.
    auto numbers = [](const TempSources<std::wstring>& s) {
        std::vector<int> out;
        for (const auto& c : tempCandidates(s)) out.push_back(c.number);
        return out;
    };
    EXPECT_EQ(numbers({L"", L"", L"", L"", L"", L""}), (std::vector<int>{6, 7, 9}));
    EXPECT_EQ(numbers({L"T:\\", L"", L"H:", L"", L"", L"W:"}), (std::vector<int>{1, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(numbers({L"", L"U:", L"", L"\\home", L"P:", L""}), (std::vector<int>{2, 4, 6, 7, 9, 11}));
    EXPECT_EQ(numbers({L"", L"", L"", L"", L"", std::wstring(kMaxPath, L'w')}), (std::vector<int>{6, 7, 9}));
}

// ---- Short names for a directory outside the code page ----

class OutsideCodePage : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ansiIsWestern()) GTEST_SKIP() << "needs code page 1252";
        directory_ = tempDirectoryWide().value_or(L"") + L"vkr paths \u0100 " + std::to_wstring(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryW(directory_.c_str(), nullptr));
        copy_ = directory_ + L"\\paths_test.exe";
        ASSERT_TRUE(CopyFileW(executableLongPath().c_str(), copy_.c_str(), FALSE));
    }
    void TearDown() override {
        if (!copy_.empty()) DeleteFileW(copy_.c_str());
        if (!directory_.empty()) RemoveDirectoryW(directory_.c_str());
    }
    std::wstring directory_;
    std::wstring copy_;
};

TEST_F(OutsideCodePage, CommandInterpreterGivesAShortName) {
    std::optional<std::string> answer = shortNameThroughCommandInterpreter(copy_);
    ASSERT_TRUE(answer.has_value());
    EXPECT_TRUE(endsWithExe(*answer)) << *answer;
    EXPECT_EQ(answer->find('?'), std::string::npos) << *answer;
    EXPECT_EQ(answer->find_first_of("\r\n"), std::string::npos);
    EXPECT_TRUE(exists(*answer)) << *answer;
}

// Regression: without a handle list cmd.exe was started anyway and inherited every inheritable
// handle of the launcher. Now there is no answer rather than a leak.
TEST_F(OutsideCodePage, WithoutAHandleListTheCommandInterpreterIsNotStarted) {
    failHandleListsForTest(true);
    const std::optional<std::string> answer = shortNameThroughCommandInterpreter(copy_);
    failHandleListsForTest(false);
    EXPECT_FALSE(answer.has_value());
}

TEST_F(OutsideCodePage, ACopyStartedThereFindsItsOwnFile) {
    ASSERT_TRUE(SetEnvironmentVariableW(L"VKR_PATHS_OUTSIDE_CODE_PAGE", L"1"));
    std::wstring commandLine = L"\"" + copy_ + L"\" --gtest_filter=ExecutableLocation.*:ResolvePath.*:Exists.*";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &startup, &process);
    SetEnvironmentVariableW(L"VKR_PATHS_OUTSIDE_CODE_PAGE", nullptr);
    ASSERT_TRUE(started);
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 120000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(exitCode, 0u);
}

}  // namespace
}  // namespace vkr
