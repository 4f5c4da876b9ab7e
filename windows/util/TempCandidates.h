#pragma once
// The candidates for the launcher's temp directory, in order of preference, and the UTF-16
// selection among them (which the diagnostic log uses, so nothing here writes to the log).
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vkr {

// Whether a candidate directory is created (one level) before it is tried.
enum class TempCreate { Existing, IfMissing };
// Strict: refuse a directory whose real (long) name the 8-bit code page cannot hold.
enum class TempNames { Relaxed, Strict };
// 8-bit selection: whether a candidate is replaced by its long name (configuration 10009).
enum class LongNames { AsWritten, Long };

// What the candidates are made of; an empty value is a source that failed.
template <class S>
struct TempSources {
    S tempPath;          // GetTempPath
    S userProfile;       // USERPROFILE
    S homeDrive;         // HOMEDRIVE
    S homePath;          // HOMEPATH
    S commonAppData;     // SHGetFolderPath(CSIDL_COMMON_APPDATA)
    S windowsDirectory;  // GetWindowsDirectory
};
template <class S>
struct TempCandidate {
    int number;        // 1..12, the position in the order of preference
    S path;
    S createFirst;     // a parent created (one level) just before this candidate is checked
    TempCreate create;
    TempNames names;
    bool longNameStep; // 8-bit selection: whether the long-name setting applies here
};
// The candidates in order of preference; those whose sources failed are left out.
std::vector<TempCandidate<std::string>> tempCandidates(const TempSources<std::string>& sources);
std::vector<TempCandidate<std::wstring>> tempCandidates(const TempSources<std::wstring>& sources);

// Creates and removes a uniquely named subdirectory: the test of a usable temp directory.
bool probeDirectory(const std::string& directory);
bool probeDirectory(const std::wstring& directory);
// One UTF-16 candidate: created if asked, refused when strict and its real name holds a
// character without an 8-bit form, then probed.
bool checkTempCandidate(const std::wstring& path, TempCreate create, TempNames names);

// The sources as this system gives them, all but the shared application data folder.
template <class Char>
TempSources<std::basic_string<Char>> systemTempSources();

// The first candidate in order that passes the check (created first where it says so); the
// shared application data folder is looked up only when the candidates before it failed.
template <class Char>
std::basic_string<Char> selectTempCandidate(const std::function<bool(TempCandidate<std::basic_string<Char>>&)>& check);

// The UTF-16 selection (cached after the first success); nothing when no candidate is usable.
std::optional<std::wstring> tempDirectoryWide();

// The C runtime's pseudo-random sequence, seeded per use as the launcher does it.
unsigned nextRandom(unsigned& state) noexcept;
// Process id times the current time in seconds (32-bit product).
unsigned randomSeed() noexcept;

} // namespace vkr
