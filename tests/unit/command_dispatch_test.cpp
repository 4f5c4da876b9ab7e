#include "launcher/CommandDispatch.h"

#include <gtest/gtest.h>

namespace vkr {
namespace {

TEST(CommandNameTest, PrefixesAreEquivalentAndNamesExact) {
    struct Case {
        std::wstring_view argument;
        std::wstring_view name;
    } cases[] = {
        {L"/run", L"run"},   {L"-run", L"run"},       {L"--run", L"run"},   {L"/-run", L"run"},
        {L"/?", L"?"},       {L"-help", L"help"},     {L"--help", L"help"}, {L"/Status", L"Status"},
        {L"run", L""},       {L"", L""},              {L"/", L""},          {L"--", L""},
        {L"---x", L"-x"},    {L"/install-and-start", L"install-and-start"},
    };
    for (const auto& c : cases) EXPECT_EQ(commandName(c.argument), c.name) << std::string(c.argument.begin(), c.argument.end());
}

TEST(UsageTest, NamesTheExecutableWithoutDirectoryAndExtension) {
    EXPECT_EQ(executableBaseName(L"C:\\Program Files\\My App\\myservice.exe"), L"myservice");
    EXPECT_EQ(executableBaseName(L"Z:/x/y/app.v2.exe"), L"app.v2");
    EXPECT_EQ(executableBaseName(L"plain"), L"plain");
    EXPECT_EQ(executableBaseName(L"C:\\dir.d\\noext"), L"noext");
    EXPECT_EQ(executableBaseName(L"C:\\" + std::wstring(300, L'n') + L".exe").size(), 255u);
}

} // namespace
} // namespace vkr
