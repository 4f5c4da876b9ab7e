#pragma once
// Paths in the launcher's two character worlds: UTF-16 for the wide Windows functions and
// 8-bit text in the file-API code page for everything handed to 8-bit functions and to the
// JVM. Path values are limited to kMaxPath characters (terminator included), like the rest
// of the launcher's texts.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vkr {

inline constexpr size_t kMaxPath = 6000;

// CP_ACP when the file functions use the ANSI code page, CP_OEMCP otherwise.
unsigned fileApiCodePage() noexcept;

// UTF-16 to 8-bit in the file-API code page without best-fit mapping: a character the code
// page lacks becomes "?" and sets *usedDefault, so that a path with such a character is never
// silently turned into the name of another file. Never fails; an unconvertible text gives "".
std::string narrowText(std::wstring_view text, bool* usedDefault = nullptr);
// 8-bit to UTF-16, byte by byte (each byte becomes the code unit of the same value).
std::wstring widenBytes(std::string_view text);
// 8-bit to UTF-16 through the file-API code page (MultiByteToWideChar).
std::wstring widenCodePage(std::string_view text);

// In place. Lower-casing touches only A-Z; collapsing shrinks backslash runs to one, except a
// leading run of two or more, which stays two (UNC prefix). The 8-bit forms round-trip through
// UTF-16 and leave the text unchanged if it does not convert back without loss.
void lowerCasePath(std::string& path);
void collapseBackslashes(std::wstring& path);
void collapseBackslashes(std::string& path);

bool endsWithExe(std::string_view path) noexcept;
bool isRelative(std::string_view path) noexcept;
bool isRelative(std::wstring_view path) noexcept;

// PATH in both views of the environment: the process's block, which LoadLibrary and child
// processes see, and the C runtime's table, which getenv (and so a JVM's own start-up code)
// reads. Nothing when PATH is unset; queriedSize receives what the size query answered.
std::optional<std::string> environmentPath(DWORD* queriedSize = nullptr);
// Sets (or, with nothing, removes) PATH in both views; an empty value stays set and empty. On
// failure GetLastError holds SetEnvironmentVariableA's error.
bool setEnvironmentPath(const std::optional<std::string>& value);

// The entries of a ";"-separated list, empty ones skipped.
std::vector<std::string> splitList(std::string_view text);

// Drive roots ("C:\") count as existing without a disk access; anything else is decided by
// FindFirstFile (so wildcards match). lastWrite receives the first match's last-write time.
bool exists(const std::string& path, FILETIME* lastWrite = nullptr);
bool exists(const std::wstring& path, FILETIME* lastWrite = nullptr);

// The executable's location, computed once per process.
const std::wstring& executableLongPath();
const std::string& executablePath8();
// cmd.exe's %~sI answer for a long path, or nothing.
std::optional<std::string> shortNameThroughCommandInterpreter(const std::wstring& longPath);

// The executable's directory, each with a trailing backslash.
enum class DirectoryForm { Narrow8, NarrowWidened, LongWide };
const std::string& executableDirectory8();
const std::wstring& executableDirectoryNarrowWidened();
const std::wstring& executableDirectoryLong();

// A relative path is put behind the base file's directory, or the executable's directory in
// the requested form; an absolute one stays. Backslash runs are collapsed. "" gives the
// directory itself.
std::string resolvePath(std::string_view path, const char* baseFile = nullptr);
std::wstring resolvePath(std::wstring_view path, DirectoryForm form, const wchar_t* baseFile = nullptr);
// resolvePath, then GetFullPathName, lower-cased unless keepCase, collapsed.
std::string canonicalPath(std::string_view path, bool keepCase);
std::wstring canonicalPath(std::wstring_view path, DirectoryForm form, bool keepCase);

// Temp directories.
bool probeDirectory(const std::string& directory);
bool probeDirectory(const std::wstring& directory);
bool checkTempCandidate(std::string& path, bool create, bool strict, bool useLongName);
bool checkTempCandidate(const std::wstring& path, bool create, bool strict);
// The 8-bit selection ends the process with message 1015 when nothing is usable.
const std::string& tempDirectory8();
// The wide selection gives "" when nothing is usable, or ends like the 8-bit one if failHard.
std::wstring tempDirectoryWide(bool failHard);
// A fresh "qnt" name in the 8-bit temp directory (GetTempFileNameA creates the empty file).
std::string tempFileName();

// The C runtime's pseudo-random sequence, seeded per use as the launcher does it.
unsigned nextRandom(unsigned& state) noexcept;
// Process id times the current time in seconds (32-bit product).
unsigned randomSeed() noexcept;

// Pure parts of the above, free of system calls.

// "X:\", "X:\." and "X:\.\." (any first character): a drive root, taken as existing.
bool isDriveRoot(std::string_view path) noexcept;
bool isDriveRoot(std::wstring_view path) noexcept;

// What the temp-directory candidates are made of; an empty value is a source that failed.
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
    bool create;
    bool strict;
    bool longNameStep; // 8-bit selection: whether the use-long-name setting applies
};
// The candidates in order of preference; those whose sources failed are left out.
std::vector<TempCandidate<std::string>> tempCandidates(const TempSources<std::string>& sources);
std::vector<TempCandidate<std::wstring>> tempCandidates(const TempSources<std::wstring>& sources);

// The name used when GetTempFileNameA fails: directory, a separator unless it ends with
// one, "qnt" and the number.
std::string fallbackTempFileName(std::string_view directory, unsigned number);

// Test seam: forget the selected temp directories so that the next getter selects again.
void clearTempDirectoriesForTest() noexcept;

} // namespace vkr
