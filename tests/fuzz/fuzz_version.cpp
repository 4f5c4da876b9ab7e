// Version texts, ranges and patterns from any bytes. Input lines: three version texts a, b, c,
// a wildcard pattern, a version-specific line's pattern. The rules must agree with each other
// (a version lies in the range built from itself; "newer" is a strict order) and with plain
// readings of them (the order of integer lists; a wildcard match over the whole text).
#include "FuzzSupport.h"

#include "core/JavaVersion.h"
#include "core/OptionRules.h"

#include <algorithm>
#include <cstdint>
#include <string>

using namespace vkr;
using vkr::fuzz::expect;

namespace {

std::size_t pieceCount(std::string_view text) {
    std::size_t pieces = 0;
    bool inPiece = false;
    for (char c : text) {
        const bool separator = c == '.' || c == '_' || c == '-' || c == '+';
        if (!separator && !inPiece) ++pieces;
        inPiece = !separator;
    }
    return pieces;
}

// Whole-text wildcard matching by the table of which pattern prefix matches which text prefix.
bool referenceMatch(std::string_view pattern, std::string_view text) {
    std::vector<char> row(text.size() + 1, 0);
    row[0] = 1;
    for (char p : pattern) {
        std::vector<char> next(text.size() + 1, 0);
        if (p == '*') {
            char any = 0;
            for (std::size_t j = 0; j <= text.size(); ++j) next[j] = any = static_cast<char>(any | row[j]);
        } else {
            for (std::size_t j = 1; j <= text.size(); ++j) next[j] = row[j - 1] && (p == '?' || p == text[j - 1]);
        }
        row = std::move(next);
    }
    return row[text.size()] != 0;
}

void expectVersionRules(std::string_view a, std::string_view b, std::string_view c) {
    const VersionComponents va = parseVersion(a);
    const VersionComponents vb = parseVersion(b);
    const VersionComponents vc = parseVersion(c);
    expect(va.size() == pieceCount(a), "one component per piece between separators");
    expect(parseVersion(a) == va, "parsing is deterministic");

    expect(versionMatches(a, va, va, Prerelease::Allowed), "a version lies in the strict range built from itself");
    expect(versionNameMatches(a, va, va), "a version name lies in the lenient range built from itself");
    expect(checkBound(va, va, Bound::Minimum, ShortVersion::Strict) &&
               checkBound(va, va, Bound::Maximum, ShortVersion::Strict),
           "a version meets itself as either bound");

    const bool strict = versionMatches(a, vb, vc, Prerelease::Allowed);
    expect(versionMatches(a, vb, vc, Prerelease::Refused) == (strict && !isPrerelease(a)),
           "refusing pre-releases removes exactly the pre-releases");
    expect(!strict || versionNameMatches(a, vb, vc), "the lenient range holds everything the strict one holds");

    const bool aOverB = isNewerVersion(a, b);
    expect(aOverB == std::lexicographical_compare(vb.begin(), vb.end(), va.begin(), va.end()),
           "newer is the order of the integer lists");
    expect(!isNewerVersion(a, a), "no version is newer than itself");
    expect(!(aOverB && isNewerVersion(b, a)), "of two versions at most one is newer");
    expect(!(aOverB && isNewerVersion(b, c)) || isNewerVersion(a, c), "newer is transitive");
    expect(!aOverB || checkBound(vb, va, Bound::Minimum, ShortVersion::Strict),
           "a newer version meets the older one as its minimum");
}

void expectPatternRules(std::string_view version, std::string_view pattern, std::string_view linePattern) {
    const bool matches = matchesPattern(pattern, version);
    expect(matches == referenceMatch(pattern, version), "a wildcard pattern matches the whole text");
    expect(matchesPattern(version, version), "a text read as a pattern matches itself");
    expect(matchesPattern("*", version), "a lone star matches everything");

    const int major = majorVersion(version);
    const VersionLineMatch wildcard = matchVersionLine("*" + std::string(pattern), version, major);
    expect(wildcard.form == VersionLineMatch::Form::Wildcard && wildcard.matches == matches,
           "a version line with a star is its wildcard pattern");
    if (major >= 0) {
        const std::string own = std::to_string(major) + "-" + std::to_string(major);
        expect(matchVersionLine(own, version, major).matches, "a major range built from the version holds it");
    }

    const VersionLineMatch line = matchVersionLine(linePattern, version, major);
    if (!linePattern.empty() && linePattern.front() == '*')
        expect(line.form == VersionLineMatch::Form::Wildcard, "a pattern with a star in front is a wildcard");
    else if (linePattern.find('-') != std::string_view::npos)
        expect(line.form == VersionLineMatch::Form::MajorRange &&
                   line.matches == (line.minimum <= major && major <= line.maximum),
               "a pattern with a dash bounds the major version");
    else
        expect(line.form == VersionLineMatch::Form::Malformed && !line.matches, "anything else never matches");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const vkr::fuzz::Lines lines(vkr::fuzz::bytesOf(data, size));
    expectVersionRules(lines[0], lines[1], lines[2]);
    expectPatternRules(lines[0], lines[3], lines[4]);
    return 0;
}
