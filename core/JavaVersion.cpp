#include "core/JavaVersion.h"

#include <climits>

namespace vkr {

namespace {

bool isSeparator(char c) noexcept { return c == '.' || c == '_' || c == '-' || c == '+'; }
bool isBlank(char c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Base-10 value of the piece's leading digits, after blanks and an optional sign; saturates at
// the 32-bit limits. A piece that does not start with a digit counts as 0.
std::int32_t pieceValue(std::string_view piece) noexcept {
    size_t i = 0;
    while (i < piece.size() && isBlank(piece[i])) ++i;
    bool negative = false;
    if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) {
        negative = piece[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i) {
        value = value * 10 + (piece[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) break; // saturated either way
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<std::int32_t>(value);
}

bool withinBounds(const VersionComponents& v, const VersionComponents& minimum, const VersionComponents& maximum,
                  ShortVersion rule) {
    return checkBound(minimum, v, Bound::Minimum, rule) && checkBound(maximum, v, Bound::Maximum, rule);
}

} // namespace

bool isPrerelease(std::string_view text) noexcept {
    return text.find("beta") != std::string_view::npos || text.find("ea") != std::string_view::npos ||
           text.find("rc") != std::string_view::npos;
}

VersionComponents parseVersion(std::string_view text) {
    VersionComponents result;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = start;
        while (end < text.size() && !isSeparator(text[end])) ++end;
        if (end > start) result.push_back(pieceValue(text.substr(start, end - start)));
        start = end + 1;
    }
    return result;
}

bool checkBound(const VersionComponents& bound, const VersionComponents& version, Bound kind, ShortVersion rule) {
    for (size_t i = 0; i < bound.size(); ++i) {
        std::int32_t compared = 0;
        if (i < version.size()) {
            compared = version[i];
        } else if (rule == ShortVersion::Covering) {
            // A shorter version is taken to cover the longer bound.
            return true;
        }
        if (compared == bound[i]) continue;
        bool greater = compared > bound[i];
        return kind == Bound::Maximum ? !greater : greater;
    }
    return true;
}

bool versionMatches(std::string_view text, const VersionComponents& minimum, const VersionComponents& maximum,
                    Prerelease prerelease) {
    if (prerelease == Prerelease::Refused && isPrerelease(text)) return false;
    return withinBounds(parseVersion(text), minimum, maximum, ShortVersion::Strict);
}

bool versionNameMatches(std::string_view text, const VersionComponents& minimum, const VersionComponents& maximum) {
    return withinBounds(parseVersion(text), minimum, maximum, ShortVersion::Covering);
}

bool isNewerVersion(std::string_view a, std::string_view b) {
    const VersionComponents va = parseVersion(a);
    const VersionComponents vb = parseVersion(b);
    for (size_t i = 0; i < va.size(); ++i) {
        if (i >= vb.size() || va[i] > vb[i]) return true;
        if (va[i] < vb[i]) return false;
    }
    return false;
}

int majorVersion(std::string_view text) {
    const VersionComponents v = parseVersion(text);
    if (v.empty()) return -1;
    if (v[0] == 1 && v.size() > 1) return v[1];
    return v[0];
}

} // namespace vkr
