#include "core/Tokenizer.h"

#include <gtest/gtest.h>

namespace vkr {
namespace {

struct TokenizerCase {
    const char* name;
    std::wstring text;
    ArgumentVector expected;
};

class TokenizerTest : public ::testing::TestWithParam<TokenizerCase> {};

TEST_P(TokenizerTest, SplitsLikeTheLauncher) {
    ArgumentVector tokens;
    EXPECT_EQ(tokenizeCommandLine(GetParam().text, tokens), 0u);
    EXPECT_EQ(tokens, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TokenizerTest,
    ::testing::Values(
        TokenizerCase{"QuotedPathWithBlank", L"\"C:\\Program Files\\app.exe\" /install",
                      {L"C:\\Program Files\\app.exe", L"/install"}},
        TokenizerCase{"DoubleBlank", L"a  b", {L"a", L"b"}},
        TokenizerCase{"TrailingBlank", L"a b ", {L"a", L"b"}},
        TokenizerCase{"LeadingBlank", L" a", {L"a"}},
        TokenizerCase{"TabIsOrdinary", L"a\tb", {L"a\tb"}},
        TokenizerCase{"QuoteInsideWord", L"ab\"c d\"e", {L"abc d", L"e"}},
        TokenizerCase{"TextAfterClosingQuoteStartsToken", L"\"abc\"def ghi", {L"abc", L"def", L"ghi"}},
        TokenizerCase{"EmptyQuotes", L"a \"\" b", {L"a", L"", L"b"}},
        TokenizerCase{"UnclosedQuoteTakesRest", L"a \"b c", {L"a", L"b c"}},
        TokenizerCase{"SingleQuoteInWord", L"it's x", {L"its x"}},
        TokenizerCase{"SingleQuotesHoldDoubleQuotes", L"'say \"hi\"' x", {L"say \"hi\"", L"x"}},
        TokenizerCase{"DoubleQuotesHoldSingleQuotes", L"\"it's\" x", {L"it's", L"x"}},
        TokenizerCase{"BackslashDoesNotEscape", L"\"C:\\dir\\\" next", {L"C:\\dir\\", L"next"}},
        TokenizerCase{"ShippedVmParameters",
                      L"\"-Xmx512m\" \"-Dfile.encoding=UTF-8\" \"-Dvelkor.launcherId=434\" -Dvelkor.swt=false",
                      {L"-Xmx512m", L"-Dfile.encoding=UTF-8", L"-Dvelkor.launcherId=434", L"-Dvelkor.swt=false"}},
        TokenizerCase{"Empty", L"", {}},
        TokenizerCase{"OnlyBlanks", L"   ", {}},
        TokenizerCase{"QuoteAtEnd", L"abc\"", {L"abc"}},
        TokenizerCase{"RestartMarkerLast", L"app.exe Svc x __vkr_restart", {L"app.exe", L"Svc", L"x", L"__vkr_restart"}}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(TokenizerTest, AppendsToExistingList) {
    ArgumentVector tokens{L"first"};
    tokenizeCommandLine(L"second third", tokens);
    EXPECT_EQ(tokens, (ArgumentVector{L"first", L"second", L"third"}));
}

} // namespace
} // namespace vkr
