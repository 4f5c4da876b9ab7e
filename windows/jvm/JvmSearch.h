#pragma once
// The walk over every place a Java runtime may be; the first candidate that passes its test
// and whose JVM library loads ends it.
#include "core/JavaVersion.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vkr {

enum class LocationKind { None = 0, SearchPath = 1, Directory = 2, Environment = 3, Registry = 4 };

// Tries the JVM library of a candidate that passed its test; nullptr when none loads.
using JvmLibraryLoader = std::function<HMODULE(const std::string& javaExe)>;

// The whole search: every candidate that passes its test is handed to `load` at once; the
// first library that loads ends the search. kind and locationText tell where the last passed
// candidate came from (kind None: nothing passed).
HMODULE searchJvm(const JvmLibraryLoader& load, std::string& javaExe, std::string& version, LocationKind& kind,
                  std::string& locationText);

// The range every candidate of one search is probed with, parsed once at its start.
struct VersionBounds {
    VersionComponents minimum;
    VersionComponents maximum;
};

// What a candidate test leaves behind: the java executable it probed (rewritten by the
// probe) and the version it determined.
struct JvmCandidate {
    std::string javaExe;
    std::string version;
};

inline constexpr const char* kLocatedJvmsKey = "SOFTWARE\\morrandt\\quenta\\locatedjvms\\";
inline constexpr const char* kInstallationsKey = "SOFTWARE\\morrandt\\velkor\\installations";
inline constexpr const wchar_t* kPreferredLocationFile = L"\\.velkor\\pref_jre.cfg";
inline constexpr const wchar_t* kInstallerLocationFile = L"\\.velkor\\inst_jre.cfg";

// Candidate tests. Each returns true when its candidate passed; out holds what was probed.
// Always: the fallback pass takes a home whatever its probe said; the library decides.
enum class Acceptance { IfPassed, Always };
bool checkHomeDirectory(std::string_view location, Prerelease prerelease, Acceptance acceptance,
                        const VersionBounds& bounds, JvmCandidate& out);
bool checkEnvironmentHome(const char* name, const VersionBounds& bounds, JvmCandidate& out);
bool checkSearchPath(const VersionBounds& bounds, JvmCandidate& out);
bool checkPreviousInstallations(HKEY hive, const VersionBounds& bounds, JvmCandidate& out);
bool searchRegistry(const VersionBounds& bounds, JvmCandidate& out);
bool searchJavaSoft(const VersionBounds& bounds, JvmCandidate& out);
bool checkCurrentVersion(const char* jdkKey, const char* jreKey, const VersionBounds& bounds, JvmCandidate& out);
bool checkVersionSubkeys(const char* key, const VersionBounds& bounds, JvmCandidate& out);
// Own: only runtimes whose path holds "vkr_jres" (configuration key 165).
enum class LocatedJvms { All, Own };
bool searchLocatedJvms(LocatedJvms which, const VersionBounds& bounds, JvmCandidate& out);
// The first line of a location file in the application directory, without its line end.
std::optional<std::string> readLocationFile(const wchar_t* fileName);

// The pure rules of the search.
// Two characters at least, and a drive colon second or a leading double backslash.
bool isAbsoluteLocation(std::string_view location) noexcept;
// Whether the fallback pass tests an entry (letter included): B always, A and R when relative.
bool fallbackPassTakes(std::string_view entry) noexcept;
// The subkey names in range, in ascending byte order; the walk goes from the last one.
std::vector<std::string> sortedVersionNames(std::vector<std::string> names, const VersionBounds& bounds);
// A located-JVM subkey name as the executable path it stands for.
std::string locatedJvmPath(std::string_view subkeyName);
// Of two searches' results the challenger wins only when strictly newer; a tie goes to the
// incumbent. A side that found nothing is passed as nullptr.
const JvmCandidate* pickNewer(const JvmCandidate* challenger, const JvmCandidate* incumbent);

} // namespace vkr
