// Java version rules: how version texts become integer lists and how those are held against
// the configured range, compared with each other and reduced to a major version.
#include "core/JavaVersion.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace vkr {
namespace {

TEST(ParseVersion, SplitsAtTheFourSeparatorsAndReadsLeadingDigits) {
    struct Case {
        std::string text;
        VersionComponents expected;
    };
    const std::vector<Case> cases = {
        {"1.8.0_292-b10", {1, 8, 0, 292, 0}},
        {"11.0.2+9", {11, 0, 2, 9}},
        {"17-ea", {17, 0}},
        {"1.8", {1, 8}},
        {"9", {9}},
        {"", {}},
        // Empty pieces from leading, trailing or doubled separators yield nothing.
        {".1..8_", {1, 8}},
        {"-+._", {}},
        // Leading blanks are skipped; trailing non-digits are ignored.
        {" 12abc.3", {12, 3}},
        {"abc", {0}},
        // Values beyond 32 bits saturate instead of wrapping.
        {"99999999999.1", {INT_MAX, 1}},
        {"2147483647", {INT_MAX}},
        {"2147483648", {INT_MAX}},
    };
    for (const Case& c : cases) EXPECT_EQ(parseVersion(c.text), c.expected) << '"' << c.text << '"';
}

struct BoundCase {
    std::string bound;
    std::string version;
    bool isMaximum;
    bool strict;
    bool lenient;
};

TEST(CheckBound, MinimumAndMaximumInBothModes) {
    const std::vector<BoundCase> cases = {
        // The minimum 1.8.
        {"1.8", "1.8", false, true, true},
        {"1.8", "1.8.0_292", false, true, true},
        {"1.8", "9", false, true, true},
        {"1.8", "11.0.2", false, true, true},
        {"1.8", "1.7.0_80", false, false, false},
        // The maximum 1.8 takes every 1.8.x and below, not 9; only the bound's length counts.
        {"1.8", "1.8.0_999", true, true, true},
        {"1.8", "1.7.0_80", true, true, true},
        {"1.8", "9", true, false, false},
        {"1.8.0", "1.8.0_999", true, true, true},
        {"11", "11.0.2", true, true, true},
        {"11", "12", true, false, false},
        // The minimum 1.8.0_100: the modes differ only for a version shorter than the bound.
        {"1.8.0_100", "1.8.0_99", false, false, false},
        {"1.8.0_100", "1.8.0_100", false, true, true},
        {"1.8.0_100", "1.8.0_101", false, true, true},
        {"1.8.0_100", "1.8", false, false, true},
        // An empty bound accepts everything, also an empty version.
        {"", "", false, true, true},
        {"", "", true, true, true},
        {"", "1.7", false, true, true},
        // An empty version against a bound: strict compares zeros, lenient accepts.
        {"1.8", "", false, false, true},
        {"1.8", "", true, true, true},
    };
    for (const BoundCase& c : cases) {
        const VersionComponents bound = parseVersion(c.bound);
        const VersionComponents version = parseVersion(c.version);
        const Bound kind = c.isMaximum ? Bound::Maximum : Bound::Minimum;
        EXPECT_EQ(checkBound(bound, version, kind, ShortVersion::Strict), c.strict)
            << (c.isMaximum ? "max " : "min ") << c.bound << " version " << c.version << " strict";
        EXPECT_EQ(checkBound(bound, version, kind, ShortVersion::Covering), c.lenient)
            << (c.isMaximum ? "max " : "min ") << c.bound << " version " << c.version << " lenient";
    }
}

TEST(VersionMatching, PrereleaseFilterAppliesOnlyToTheProbeSide) {
    const VersionComponents none;
    const VersionComponents min18 = parseVersion("1.8");
    struct Case {
        std::string text;
        bool isPrerelease;
    };
    // The markers are plain substrings, not words: "search" and "idea" count too.
    const std::vector<Case> cases = {
        {"1.8.0_292-ea", true}, {"18-beta", true},      {"11.0.2-rc1", true},      {"1.8.0-search", true},
        {"1.8.0_292-b10", false}, {"17.0.1", false},  {"1.8.0_292-EA", false}, {"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isPrerelease(c.text), c.isPrerelease) << c.text;
        EXPECT_EQ(versionMatches(c.text, none, none, Prerelease::Refused), !c.isPrerelease) << c.text;
        EXPECT_TRUE(versionMatches(c.text, none, none, Prerelease::Allowed)) << c.text << " allowed";
        EXPECT_TRUE(versionNameMatches(c.text, none, none)) << c.text << " as a registry name";
    }
    // The filter does not replace the range test.
    EXPECT_FALSE(versionMatches("1.7.0_80-ea", min18, none, Prerelease::Allowed));
}

TEST(VersionMatching, ProbeIsStrictAndRegistryNamesAreLenient) {
    const VersionComponents min = parseVersion("1.8.0_100");
    const VersionComponents max = parseVersion("11");
    struct Case {
        std::string text;
        bool strict;
        bool lenient;
    };
    const std::vector<Case> cases = {
        {"1.8", false, true},  {"1.8.0_99", false, false}, {"1.8.0_100", true, true},
        {"9.0.4", true, true}, {"11.0.2", true, true},     {"12", false, false},
        {"", false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(versionMatches(c.text, min, max, Prerelease::Refused), c.strict) << c.text;
        EXPECT_EQ(versionNameMatches(c.text, min, max), c.lenient) << c.text;
    }
}

TEST(IsNewerVersion, StrictlyNewerOnlyAndPrefixesAreOlder) {
    struct Case {
        std::string a, b;
        bool newer;
    };
    const std::vector<Case> cases = {
        {"11", "1.8.0_292", true},  {"1.8.0_292", "11", false},
        {"1.8", "1.8", false},      {"1.8.0", "1.8", true},
        {"1.8", "1.8.0", false},    {"", "1.8", false},
        {"", "", false},            {"1", "", true},
        {"9.0.4", "1.8.0_292", true}, {"1.8.0_292", "1.8.0_291", true},
        {"17-ea", "17", true},      {"abc", "", true},
    };
    for (const Case& c : cases) EXPECT_EQ(isNewerVersion(c.a, c.b), c.newer) << c.a << " vs " << c.b;
}

TEST(MajorVersion, MapsOneDotXToX) {
    struct Case {
        std::string text;
        int major;
    };
    const std::vector<Case> cases = {
        {"1.8.0_292", 8}, {"11.0.2", 11}, {"1", 1}, {"17-ea", 17}, {"", -1}, {"1.7", 7}, {"9", 9}, {"...", -1},
    };
    for (const Case& c : cases) EXPECT_EQ(majorVersion(c.text), c.major) << c.text;
}

} // namespace
} // namespace vkr
