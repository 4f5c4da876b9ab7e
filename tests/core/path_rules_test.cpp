// Path text rules, free of the file system.
#include "core/PathRules.h"

#include "core/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vkr {
namespace {

TEST(IsRelative, DriveAndUncPathsAreAbsolute) {
    struct Case {
        const char* path;
        bool relative;
    };
    const std::vector<Case> cases = {
        {"C:\\dir\\file", false},
        {"C:\\", false},
        {"\\\\server\\share\\file", false},
        {"\"C:\\dir\\file\"", false},
        {"\"\\\\server\\share\"", false},
        {"\\dir\\file", true},
        {"C:dir\\file", true},
        {"C:/dir/file", true},
        {"//server/share", true},
        {"dir\\file", true},
        {"ab", true},
        {"C:", true},
        {"", true},
        {"\"C:", true},
        {"\"C:\\", false},
        {"\"ab", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isRelative(std::string_view(c.path)), c.relative) << c.path;
        EXPECT_EQ(isRelative(std::wstring_view(widenBytes(c.path))), c.relative) << c.path;
    }
}

TEST(EndsWithExe, NeedsANameAndIgnoresCase) {
    struct Case {
        const char* path;
        bool exe;
    };
    const std::vector<Case> cases = {
        {"a.exe", true},       {"C:\\dir\\App.EXE", true}, {"x.ExE", true}, {".exe", false},
        {"a.exe ", false},     {"a.exe\"", false},          {"a.ex", false}, {"", false},
        {"C:\\dir.exe\\a", false}, {"a.com", false},
    };
    for (const Case& c : cases) EXPECT_EQ(endsWithExe(c.path), c.exe) << c.path;
}

TEST(IsDriveRoot, OnlyTheThreeShapes) {
    struct Case {
        const char* path;
        bool root;
    };
    const std::vector<Case> cases = {
        {"Q:\\", true},   {"Q:\\.", true}, {"Q:\\.\\.", true}, {"q:\\", true},
        {"Q:\\..", false}, {"Q:", false},  {"Q:\\x", false},  {":\\", false},
        {"", false},      {"QQ:\\", false}, {"Q:\\.\\", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isDriveRoot(std::string_view(c.path)), c.root) << c.path;
        EXPECT_EQ(isDriveRoot(std::wstring_view(widenBytes(c.path))), c.root) << c.path;
    }
}

TEST(CollapseBackslashRuns, ShrinksRunsButKeepsTheUncPrefix) {
    struct Case {
        std::wstring in, out;
    };
    const std::vector<Case> cases = {
        {L"C:\\\\dir\\\\\\file.txt", L"C:\\dir\\file.txt"},
        {L"\\\\server\\share\\\\file", L"\\\\server\\share\\file"},
        {L"\\\\\\\\server\\share", L"\\\\server\\share"},
        {L"\\\\\\", L"\\\\"},
        {L"\\dir\\\\x", L"\\dir\\x"},
        {L"a\\\\", L"a\\"},
        {L"", L""},
        {L"no/slashes//here", L"no/slashes//here"},
    };
    for (const Case& c : cases) {
        std::wstring path = c.in;
        collapseBackslashRuns(path);
        EXPECT_EQ(path, c.out);
    }
}

TEST(DirectoryPart, UpToTheLastBackslash) {
    EXPECT_EQ(directoryPart(std::string_view("C:\\a\\b.exe")), "C:\\a\\");
    EXPECT_EQ(directoryPart(std::wstring_view(L"\\\\s\\x")), L"\\\\s\\");
    EXPECT_EQ(directoryPart(std::string_view("name")), "");
}

} // namespace
} // namespace vkr
