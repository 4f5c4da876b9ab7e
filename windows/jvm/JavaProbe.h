#pragma once
// Judging a candidate java executable: does it exist, which version does it report (from the
// per-user version cache while the executable is unchanged, else by running it with
// "-version"), and does that version lie in the configured range.
#include "core/JavaVersion.h"

#include <windows.h>

#include <string>

namespace vkr {

inline constexpr const char* kVersionCacheKey = "SOFTWARE\\morrandt\\quenta\\jvms\\";
inline constexpr const char* kFailureMarker = "1.0.0";
// How long a "java -version" child may run before it is ended.
inline constexpr DWORD kVersionQueryTimeoutMs = 60000;
// The most a cached "Version" value may hold; a longer value is a miss (probed again).
inline constexpr DWORD kMaxCachedVersionBytes = 6000;

bool locateJavaExe(const std::string& home, std::string& path);
// path is rewritten in place (canonical form, then possibly javaw.exe); version receives the
// determined version whenever one was determined.
// A pre-release runtime is refused unless the caller allows it or configuration key 130 does.
bool checkJavaExe(std::string& path, std::string& version, const VersionComponents& minimum,
                  const VersionComponents& maximum, Prerelease prerelease);
bool readCachedVersion(const std::string& path, const FILETIME& lastWrite, std::string& version);
void storeCachedVersion(const std::string& path, const FILETIME& lastWrite, const std::string& version);
bool queryJavaVersion(const std::string& path, const FILETIME& lastWrite, std::string& version);

// The version in the first line of a "-version" banner, or false when neither prefix matches.
bool parseVersionBanner(std::string_view firstLine, std::string& version);

// The cache key's name below HKEY_CURRENT_USER for an executable path.
std::string versionCacheKeyName(const std::string& path);

// Test seam: the wait for the "-version" child (kVersionQueryTimeoutMs unless set).
void setVersionQueryTimeoutForTest(DWORD milliseconds) noexcept;

} // namespace vkr
