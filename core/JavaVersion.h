#pragma once
// Java version texts as integer lists, the configured range, pre-release filtering, and the
// major version.
#include <cstdint>
#include <string_view>
#include <vector>

namespace vkr {

using VersionComponents = std::vector<std::int32_t>;

enum class Bound { Minimum, Maximum };
// Strict: a version shorter than the bound compares its missing parts as 0. Covering: a
// shorter version (a registry key named "11") is taken to cover the longer bound.
enum class ShortVersion { Strict, Covering };
enum class Prerelease { Refused, Allowed };

// The numbers between ".", "_", "-" and "+"; a piece that does not start with a digit is 0.
VersionComponents parseVersion(std::string_view text);
bool checkBound(const VersionComponents& bound, const VersionComponents& version, Bound kind, ShortVersion rule);
// "beta", "ea" or "rc" anywhere in the text.
bool isPrerelease(std::string_view text) noexcept;
bool versionMatches(std::string_view text, const VersionComponents& minimum, const VersionComponents& maximum,
                    Prerelease prerelease);
bool versionNameMatches(std::string_view text, const VersionComponents& minimum, const VersionComponents& maximum);
bool isNewerVersion(std::string_view a, std::string_view b);
int majorVersion(std::string_view text);

} // namespace vkr
