#pragma once
// Java version texts as integer lists, the configured range, pre-release filtering, and the
// major version. Pure apart from one log line and the read of configuration key 130.
#include <cstdint>
#include <string_view>
#include <vector>

namespace vkr {

using VersionComponents = std::vector<std::int32_t>;

VersionComponents parseVersion(std::string_view text);
bool checkBound(const VersionComponents& bound, const VersionComponents& version, bool isMaximum, bool lenient);
bool versionMatches(std::string_view text, const VersionComponents& minimum, const VersionComponents& maximum,
                    bool allowPrerelease);
bool versionNameMatches(std::string_view text, const VersionComponents& minimum, const VersionComponents& maximum);
bool isNewerVersion(std::string_view a, std::string_view b);
int majorVersion(std::string_view text);

} // namespace vkr
