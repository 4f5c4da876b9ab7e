#include "config/ErrorReporting.h"

#include "config/ConfigStore.h"
#include "config/IncludedFiles.h"
#include "config_test_support.h"
#include "util/DiagnosticLog.h"
#include "util/Paths.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

using namespace vkr;
using vkr::test::CapturedStandardError;
using vkr::test::Terminated;

namespace {

TEST(SubstituteArgument, Table) {
    struct Case {
        const wchar_t* text;
        const wchar_t* argument;
        const wchar_t* result;
    } cases[] = {
        {L"An internal error occurred (error code: {0})", L"16", L"An internal error occurred (error code: 16)"},
        {L"no placeholder", L"x", L"no placeholder"},
        {L"{0} and {0}", L"a", L"a and {0}"},
        {L"{0}", L"", L""},
        {L"kept {0}", nullptr, L"kept {0}"},
        {L"{0", L"x", L"{0"},
        {L"{1} {0}", L"x", L"{1} x"},
        {L"{{0}}", L"{0}", L"{{0}}"},
        {L"", L"x", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(substituteArgument(c.text, c.argument), c.result) << c.text;
}

class ErrorReportingTest : public ::testing::Test {
protected:
    void SetUp() override {
        clearConfigStoreForTest();
        setErrorOutput(ErrorOutput::Console);
        setTerminateHookForTest(&vkr::test::throwingTerminateHook);
        setMessageTextForTest(1009, L"An internal error occurred (error code: {0})");
    }
    void TearDown() override {
        setTerminateHookForTest(nullptr);
        setExtractionDirectoryName("");
        clearConfigStoreForTest();
    }
};

TEST_F(ErrorReportingTest, ConsoleModeWritesToStandardErrorWhenOutputIsNoConsole) {
    CapturedStandardError captured;
    showMessage(1009, L"16");
    EXPECT_EQ(captured.text(), "An internal error occurred (error code: 16)\n");
    showMessage8(1009, "\xE9t\xE9");
    EXPECT_EQ(captured.text(), "An internal error occurred (error code: 16)\n"
                               "An internal error occurred (error code: " + narrowText(L"\u00E9t\u00E9") + ")\n");
}

TEST_F(ErrorReportingTest, MessageFromTheTextMapAndMissingMessage) {
    setConfigTextForTest(1006, "File or directory {0} not found or empty\n");
    CapturedStandardError captured;
    showMessage8(1006, "C:\\app\\lib");
    showMessage(4242, L"arg");
    EXPECT_EQ(captured.text(), "File or directory C:\\app\\lib not found or empty\n\n\n");
}

TEST_F(ErrorReportingTest, FatalPathsEndWithExitCodeOne) {
    CapturedStandardError captured;
    int codes[3] = {};
    try { fatalText(L"Internal Error: magic"); } catch (const Terminated& t) { codes[0] = t.exitCode; }
    try { fatalMessage(1009, L"7"); } catch (const Terminated& t) { codes[1] = t.exitCode; }
    try { fatalMessage8(1009, "11"); } catch (const Terminated& t) { codes[2] = t.exitCode; }
    EXPECT_EQ(codes[0], 1);
    EXPECT_EQ(codes[1], 1);
    EXPECT_EQ(codes[2], 1);
    EXPECT_EQ(captured.text(), "Internal Error: magic\n"
                               "An internal error occurred (error code: 7)\n"
                               "An internal error occurred (error code: 11)\n");
}

TEST_F(ErrorReportingTest, LogHintNamesTheLogFile) {
    SetEnvironmentVariableW(L"VELKOR_LOG", L"yes");
    resetDiagnosticLogForTest();
    logMessage(L"start");
    const wchar_t* path = logFilePath();
    ASSERT_NE(path, nullptr);
    wchar_t longPath[MAX_PATH * 4];
    DWORD n = GetLongPathNameW(path, longPath, MAX_PATH * 4);
    std::wstring expectedPath = n ? std::wstring(longPath, n) : std::wstring(path);
    {
        CapturedStandardError captured;
        showMessage(1009, L"16");
        EXPECT_EQ(captured.text(), "An internal error occurred (error code: 16)\n\nLog: " + narrowText(expectedPath) + "\n");
    }
    std::wstring file = path;
    SetEnvironmentVariableW(L"VELKOR_LOG", nullptr);
    resetDiagnosticLogForTest();
    DeleteFileW(file.c_str());
    EXPECT_EQ(logFilePath(), nullptr);
}

// A directory tree under the temp directory, built from relative names ("a.jar",
// "lib\\b.dll", "lib\\x\\"), a trailing backslash making a directory.
class Tree {
public:
    explicit Tree(const wchar_t* tag) : root_(narrowText(vkr::test::freshTempDirectory(tag))) {
        root_.pop_back();  // without the trailing backslash, as the extraction directory is named
    }
    void add(const std::string& relative) {
        std::string full = root_ + "\\" + relative;
        if (full.back() == '\\') {
            full.pop_back();
            CreateDirectoryA(full.c_str(), nullptr);
        } else {
            HANDLE h = CreateFileA(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(h, INVALID_HANDLE_VALUE) << full;
            DWORD written = 0;
            WriteFile(h, "data", 4, &written, nullptr);
            CloseHandle(h);
        }
    }
    bool has(const std::string& relative) const {
        std::string full = relative.empty() ? root_ : root_ + "\\" + relative;
        if (full.back() == '\\') full.pop_back();
        return GetFileAttributesA(full.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    const std::string& root() const { return root_; }
    // Best-effort removal of what a test left, deepest first.
    void cleanUp(std::initializer_list<const char*> deepestFirst) {
        for (const char* r : deepestFirst) {
            std::string full = root_ + "\\" + r;
            if (full.back() == '\\') {
                full.pop_back();
                RemoveDirectoryA(full.c_str());
            } else {
                DeleteFileA(full.c_str());
            }
        }
        RemoveDirectoryA(root_.c_str());
    }

private:
    std::string root_;
};

void terminateExpectingOne() {
    try {
        terminateLauncher(1);
    } catch (const Terminated& t) {
        EXPECT_EQ(t.exitCode, 1);
        return;
    }
    ADD_FAILURE() << "terminate returned";
}

TEST_F(ErrorReportingTest, TerminateRemovesTheExtractionDirectory) {
    Tree tree(L"extract");
    tree.add("a.jar");
    tree.add("lib\\");
    tree.add("lib\\b.dll");
    tree.add("lib\\empty\\");
    setExtractionDirectoryName(tree.root());
    terminateExpectingOne();
    EXPECT_FALSE(tree.has("a.jar"));
    EXPECT_FALSE(tree.has("lib\\b.dll"));
    EXPECT_FALSE(tree.has("lib\\empty\\"));
    EXPECT_FALSE(tree.has("lib\\"));
    EXPECT_FALSE(tree.has(""));
    tree.cleanUp({"lib\\empty\\", "lib\\b.dll", "lib\\", "a.jar"});
}

TEST_F(ErrorReportingTest, RemovalReachesTwoLevelsOnly) {
    Tree tree(L"extract2");
    tree.add("a.jar");
    tree.add("lib\\");
    tree.add("lib\\b.dll");
    tree.add("lib\\x\\");
    tree.add("lib\\x\\deep.txt");
    setExtractionDirectoryName(tree.root() + "\\");  // a trailing backslash gets no second one
    terminateExpectingOne();
    EXPECT_FALSE(tree.has("a.jar"));
    EXPECT_FALSE(tree.has("lib\\b.dll"));
    EXPECT_TRUE(tree.has("lib\\x\\deep.txt"));
    EXPECT_TRUE(tree.has("lib\\x\\"));
    EXPECT_TRUE(tree.has("lib\\"));
    EXPECT_TRUE(tree.has(""));
    tree.cleanUp({"lib\\x\\deep.txt", "lib\\x\\", "lib\\b.dll", "lib\\", "a.jar"});
}

TEST_F(ErrorReportingTest, NoExtractionDirectoryAndRelativePathsRemoveNothing) {
    Tree tree(L"keep");
    tree.add("a.jar");
    terminateExpectingOne();  // no extraction directory: nothing to remove
    EXPECT_TRUE(tree.has("a.jar"));

    // Relative paths are refused, whatever they name.
    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    SetCurrentDirectoryA(tree.root().c_str());
    removeDirectoryContents(".", Subdirectories::Emptied);
    removeDirectoryContents(".\\", Subdirectories::Emptied);
    removeDirectoryContents("", Subdirectories::Emptied);
    removeDirectoryContents(nullptr, Subdirectories::Emptied);
    SetCurrentDirectoryW(saved);
    EXPECT_TRUE(tree.has("a.jar"));
    tree.cleanUp({"a.jar"});
}

// A link inside the directory is removed as a link; what it points to stays untouched.
TEST_F(ErrorReportingTest, LinkedDirectoryIsNotFollowed) {
    Tree outside(L"outside");
    outside.add("precious.txt");
    Tree tree(L"extract3");
    tree.add("a.jar");
    std::wstring link = widenCodePage(tree.root() + "\\link");
    std::wstring target = widenCodePage(outside.root());
    if (!CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY)) {
        DWORD error = GetLastError();
        outside.cleanUp({"precious.txt"});
        tree.cleanUp({"a.jar"});
        GTEST_SKIP() << "this system cannot create a directory link (error " << error << ")";
    }
    DWORD attributes = GetFileAttributesW(link.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        RemoveDirectoryW(link.c_str());
        outside.cleanUp({"precious.txt"});
        tree.cleanUp({"a.jar"});
        GTEST_SKIP() << "the created link does not show as a reparse point here";
    }
    setExtractionDirectoryName(tree.root());
    terminateExpectingOne();
    EXPECT_TRUE(outside.has("precious.txt"));
    EXPECT_FALSE(tree.has("link"));
    EXPECT_FALSE(tree.has("a.jar"));
    RemoveDirectoryW(link.c_str());
    tree.cleanUp({"a.jar"});
    outside.cleanUp({"precious.txt"});
}

} // namespace
