// The text rules the whole launcher shares.
#include "core/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vkr {
namespace {

TEST(SplitList, ItemsInOrderWithEmptyOnesDropped) {
    struct Case {
        const char* text;
        std::vector<std::string> items;
    };
    const std::vector<Case> cases = {
        {"B.\\jre;Y;EJAVA_HOME;EJDK_HOME;", {"B.\\jre", "Y", "EJAVA_HOME", "EJDK_HOME"}},
        {";;Y;;S;", {"Y", "S"}},
        {"", {}},
        {";", {}},
        {"Ac:\\jre", {"Ac:\\jre"}},
        {" ; Y", {" ", " Y"}},
    };
    for (const Case& c : cases) EXPECT_EQ(splitList(c.text), c.items) << c.text;
}

TEST(AsciiCase, FoldsOnlyTheAsciiLetters) {
    EXPECT_TRUE(startsWithIgnoringAsciiCase<wchar_t>(L"c:\\WINDOWS\\system32", L"C:\\Windows"));
    EXPECT_FALSE(startsWithIgnoringAsciiCase<wchar_t>(L"C:\\Win", L"C:\\Windows"));
    // Letters beyond ASCII are compared as they are: no locale may change a path comparison.
    EXPECT_FALSE(startsWithIgnoringAsciiCase<wchar_t>(L"\u00c9T\u00c9", L"\u00e9t\u00e9"));
    EXPECT_TRUE(endsWithIgnoringAsciiCase<char>("App.EXE", ".exe"));
    EXPECT_EQ(upperAsciiCopy<wchar_t>(L"java_home\u00e9"), L"JAVA_HOME\u00e9");
    std::string lower = "C:\\Program Files\\\xc9";
    lowerAsciiInPlace(lower);
    EXPECT_EQ(lower, "c:\\program files\\\xc9");
}

TEST(WidenBytes, EachByteKeepsItsValue) {
    EXPECT_EQ(widenBytes("a\xe9\x80"), std::wstring(L"a\u00e9\u0080"));
    EXPECT_EQ(widenBytes(""), L"");
}

} // namespace
} // namespace vkr
