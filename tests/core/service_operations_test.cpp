#include "core/ServiceOperations.h"

#include <gtest/gtest.h>

#include <string>

namespace vkr {
namespace {

TEST(RestartDelays, ReadsOneToThreeStepsAndRefusesAnythingElse) {
    using Delays = std::vector<std::uint32_t>;
    const struct {
        const char* text;
        std::optional<Delays> expected;
    } cases[] = {
        {"60000", Delays{60000}},
        {"0,60000,300000", Delays{0, 60000, 300000}},
        {"86400000", Delays{86400000}},
        {"", std::nullopt},                 // no recovery
        {"86400001", std::nullopt},         // more than a day
        {"1,2,3,4", std::nullopt},          // a fourth step
        {"60000,", std::nullopt},           // an empty step
        {",60000", std::nullopt},
        {"60 000", std::nullopt},
        {"-1", std::nullopt},
        {"99999999999999999999", std::nullopt}, // would wrap around in 32 bits
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseRestartDelays(c.text), c.expected) << c.text;
        if (c.expected) {
            EXPECT_EQ(restartDelaysText(*c.expected), c.text);
        }
    }
}

// Fault pinned: with nothing stored the period was 0, which makes the manager reset the
// count at once, so a service that kept failing was restarted forever.
TEST(FailureReset, ADayUnlessAPeriodIsStored) {
    const struct {
        const char* text;
        std::uint32_t expected;
    } cases[] = {
        {"", 86400}, {"3600", 3600}, {"0", 0}, {"2147483647", 2147483647u},
        {"-5", 86400}, {"1h", 86400}, {"4294967295", 86400}, {"99999999999", 86400},
    };
    for (const auto& c : cases) EXPECT_EQ(failureResetSeconds(c.text), c.expected) << c.text;
}

TEST(RecoverySteps, RestartsThenNothing) {
    EXPECT_EQ(recoverySteps({60000}), (std::vector<RecoveryStep>{{true, 60000}, {false, 0}}));
    EXPECT_EQ(recoverySteps({0, 1000, 300000}),
              (std::vector<RecoveryStep>{{true, 0}, {true, 1000}, {true, 300000}, {false, 0}}));
}

TEST(ServiceAccounts, OnlyAccountsWithoutPassword) {
    EXPECT_EQ(serviceAccountName(0, L"Billing"), std::nullopt);
    EXPECT_EQ(serviceAccountName(1, L"Billing"), L"NT AUTHORITY\\LocalService");
    EXPECT_EQ(serviceAccountName(2, L"Billing"), L"NT AUTHORITY\\NetworkService");
    EXPECT_EQ(serviceAccountName(3, L"Billing Svc"), L"NT SERVICE\\Billing Svc");
    EXPECT_EQ(serviceAccountName(4, L"Billing"), std::nullopt);
    EXPECT_EQ(serviceAccountName(-1, L"Billing"), std::nullopt);
}

TEST(OutputTail, KeepsTheLastBytesAndStartsAtALine) {
    OutputTail tail;
    EXPECT_EQ(tail.text(), "");
    tail.append("first\n", 6);
    tail.append("second", 6);
    EXPECT_EQ(tail.text(), "first\nsecond") << "nothing dropped: kept whole";

    // Far more than the tail holds, in pieces of every size, the last line ending at the end.
    std::string written;
    OutputTail long_tail;
    for (int n = 0; written.size() < 3 * OutputTail::kCapacity; ++n) {
        const std::string line = "line " + std::to_string(n) + std::string(static_cast<size_t>(n % 97), '.') + "\n";
        long_tail.append(line.data(), line.size());
        written += line;
    }
    const std::string kept = long_tail.text();
    ASSERT_LE(kept.size(), OutputTail::kCapacity);
    EXPECT_EQ(written.substr(written.size() - kept.size()), kept);
    EXPECT_EQ(kept.rfind("line ", 0), 0u) << "starts at a line";
    EXPECT_GT(kept.size(), OutputTail::kCapacity - 200) << "only the cut line was dropped";
}

TEST(OutputTail, AOneLineOutputLongerThanTheTailIsKeptCut) {
    const std::string big(OutputTail::kCapacity + 10, 'x');
    OutputTail tail;
    tail.append(big.data(), big.size());
    EXPECT_EQ(tail.text(), std::string(OutputTail::kCapacity, 'x'));
    tail.append("\nend", 4);
    EXPECT_EQ(tail.text(), "end");
}

// Fault pinned: a one-line output longer than the tail, cut inside a character, was decoded
// whole in the ANSI code page.
TEST(OutputTail, ACutCharacterLeavesTheTextUtf8) {
    std::string cjk;
    while (cjk.size() <= OutputTail::kCapacity) cjk += "\xe6\x97\xa5"; // 1366 characters, 4098 bytes
    const struct {
        const char* what;
        std::string written;
    } cases[] = {
        {"one line", cjk},
        {"after a short line", "ab\n" + cjk},
        {"ending in a line end", cjk + "\n"},
    };
    for (const auto& c : cases) {
        OutputTail tail;
        tail.append(c.written.data(), c.written.size());
        const std::string text = tail.text();
        EXPECT_TRUE(isWellFormedUtf8(text)) << c.what;
        EXPECT_EQ(c.written.substr(c.written.size() - text.size()), text) << c.what;
        EXPECT_GE(text.size(), OutputTail::kCapacity - 2) << c.what;
    }
}

TEST(Utf8, WellFormedOnly) {
    EXPECT_TRUE(isWellFormedUtf8(""));
    EXPECT_TRUE(isWellFormedUtf8("plain"));
    EXPECT_TRUE(isWellFormedUtf8("\xc3\xa9t\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x98\x80"));
    EXPECT_FALSE(isWellFormedUtf8("\xe9t\xe9"));         // Latin-1
    EXPECT_FALSE(isWellFormedUtf8("\xc3"));               // cut
    EXPECT_FALSE(isWellFormedUtf8("\xc0\xaf"));           // overlong
    EXPECT_FALSE(isWellFormedUtf8("\xed\xa0\x80"));       // a surrogate
    EXPECT_FALSE(isWellFormedUtf8("\xf4\x90\x80\x80"));   // beyond U+10FFFF
}

} // namespace
} // namespace vkr
