// The semaphore's name and the service child's command line, read back by the child's own
// tokenizer.
#include "core/ServiceRules.h"
#include "core/Tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vkr {
namespace {

using Texts = std::vector<std::wstring>;

TEST(SemaphoreName, NamespaceSanitizedPathAndCounter) {
    EXPECT_EQ(instanceSemaphoreName(false, "c:\\program files\\app\\app.exe"), "Local\\c:_program_files_app_app.exe");
    EXPECT_EQ(instanceSemaphoreName(true, "c:\\svc\\a b.exe"), "Global\\c:_svc_a_b.exe");
    EXPECT_EQ(instanceSemaphoreName(false, "c:\\x.exe", 0), "Local\\c:_x.exe0");
    EXPECT_EQ(instanceSemaphoreName(false, "c:\\x.exe", 100000), "Local\\c:_x.exe100000");
    EXPECT_EQ(instanceSemaphoreName(false, "\\\\server\\share\\x.exe"), "Local\\__server_share_x.exe");
    // Fault pinned: Windows refuses a name beyond MAX_PATH, and every run of an executable in a
    // deep folder believed itself the first. Such names keep within the limit, stay the same
    // for the same path and differ for paths that differ anywhere.
    const std::string deep = "c:\\" + std::string(300, 'd') + "\\app.exe";
    std::string other = deep;
    other[5] = 'e';
    for (int counter : {-1, 0, 100000}) {
        const std::string name = instanceSemaphoreName(false, deep, counter);
        EXPECT_EQ(name.size(), kMaxObjectNameLength) << counter;
        EXPECT_EQ(name.rfind("Local\\", 0), 0u);
        EXPECT_NE(name.find("_app.exe"), std::string::npos) << name;
        EXPECT_EQ(name, instanceSemaphoreName(false, deep, counter));
        EXPECT_NE(name, instanceSemaphoreName(false, other, counter));
    }
    const std::string fits = "c:\\" + std::string(kMaxObjectNameLength - 9, 'f');  // "Local\\c:_" and the rest
    EXPECT_EQ(instanceSemaphoreName(false, fits), "Local\\c:_" + std::string(kMaxObjectNameLength - 9, 'f'));
}

TEST(ChildCommandLine, TheLayoutOfTheHostsTokens) {
    const Texts host = {L"C:\\Program Files\\svc\\app.exe", L"-image", L"arg two"};
    EXPECT_EQ(childCommandLine(host, L"My Svc", {L"x y", L"z"}, L"__vkr_restart"),
              L"\"C:\\Program Files\\svc\\app.exe\" \"My Svc\" -image \"arg two\" \"x y\" z __vkr_restart");
    EXPECT_EQ(childCommandLine({L"C:\\svc\\app.exe"}, L"Svc", {}, L"__vkr_restart"),
              L"C:\\svc\\app.exe Svc __vkr_restart");
}

// Whatever the host is given, the child reads back the same executable, service name and
// arguments, in front of the restart marker.
TEST(ChildCommandLine, TheChildReadsEveryTokenBack) {
    struct Case {
        const char* name;
        Texts host;
        std::wstring service;
        Texts start;
    } cases[] = {
        {"plain", {L"C:\\svc\\app.exe"}, L"Svc", {L"a", L"b"}},
        {"blanks", {L"C:\\Program Files\\app.exe", L"image arg"}, L"My Service", {L"x y", L"z"}},
        // Each of these reached the child changed, or not at all, when only a blank quoted.
        {"empty argument", {L"C:\\svc\\app.exe"}, L"Svc", {L"", L"after"}},
        {"double quotes", {L"C:\\svc\\app.exe"}, L"Svc", {L"say \"hi\"", L"a\"b"}},
        {"single quotes", {L"C:\\O'Brien\\app.exe"}, L"Svc", {L"it's", L"'x'"}},
        {"trailing backslash", {L"C:\\svc\\app.exe"}, L"Svc", {L"C:\\dir with blank\\", L"C:\\dir\\"}},
        {"tabs", {L"C:\\svc\\app.exe"}, L"Svc", {L"a\tb"}},
        {"non-ascii", {L"C:\\Dienst \u00e9\\app.exe"}, L"Dienst \u65e5", {L"Gr\u00fc\u00dfe"}},
    };
    for (const Case& c : cases) {
        ArgumentVector tokens;
        tokenizeCommandLine(childCommandLine(c.host, c.service, c.start, L"__vkr_restart"), tokens);
        Texts expected = {c.host.front(), c.service};
        expected.insert(expected.end(), c.host.begin() + 1, c.host.end());
        expected.insert(expected.end(), c.start.begin(), c.start.end());
        expected.push_back(L"__vkr_restart");
        EXPECT_EQ(tokens, expected) << c.name;
    }
}

TEST(ChildCommandLine, ATokenWithBothQuotationMarksCannotBeWritten) {
    EXPECT_TRUE(childCanReadBack(L"say \"hi\""));
    EXPECT_TRUE(childCanReadBack(L"it's"));
    EXPECT_FALSE(childCanReadBack(L"\"it's\""));
}

} // namespace
} // namespace vkr
