#pragma once
// The launcher's own trace. Off unless QUENTA_LOG or VELKOR_LOG is exactly "yes"; then each
// process writes a numbered UTF-8 file ("vkr_nlog_N.log") into its temp directory, one
// time-stamped line per call, opened and closed around every line so that nothing is lost
// when the process is killed.
//
// Logging never changes the calling thread's last system error: callers log a failure
// first and report GetLastError() afterwards.
#include "core/Format.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace vkr {

void logLine(bool isError, std::wstring_view format, FormatArgs args) noexcept;

template <class... A>
void logMessage(std::wstring_view format, const A&... a) noexcept { logLine(false, format, {FormatArg(a)...}); }
template <class... A>
void logError(std::wstring_view format, const A&... a) noexcept { logLine(true, format, {FormatArg(a)...}); }

// The log file's path, or nullptr while the log is off or not decided yet. Takes no lock.
const wchar_t* logFilePath() noexcept;

// The pure pieces of the log, kept apart so that the file's bytes can be checked directly.
// Whole seconds and remaining milliseconds between two system-clock millisecond counts, from
// the signed 32-bit difference of their low 32 bits (a run past 2^31 ms shows wrapped values).
std::pair<int, int> logElapsed(std::uint64_t startMillis, std::uint64_t nowMillis) noexcept;
// UTF-16 to the file's bytes: UTF-8 (surrogate pairs joined, a lone surrogate becomes U+FFFD)
// with every line feed stored as carriage return and line feed.
std::string encodeLogText(std::wstring_view text);
// The header's 24-character local time, e.g. "Wed Jun 05 15:15:50 2019".
std::string logHeaderTime(const SYSTEMTIME& time);
// "%svkr_nlog_%d.log".
std::wstring numberedLogPath(std::wstring_view directory, int number);

// What an exclusive creation of one log file name found.
enum class LogCreation { Created, Exists, Failed };
// Creates the first free numbered log file, 1 to 1000, through `create`, which must create
// the file only when no entry of that name exists (never open, empty or follow one). The test
// of whether a name is free is the creation itself: a check first and a creation after it
// would let another process (or a user planting a link in a shared temp directory) take the
// name in between. Returns the created file's path; nothing when a creation failed for
// another reason or all 1000 names exist.
std::optional<std::wstring> createNumberedLog(std::wstring_view directory,
                                              const std::function<LogCreation(const std::wstring&)>& create);

// Test seam: forget the on/off decision so that the next call takes it again.
void resetDiagnosticLogForTest() noexcept;

} // namespace vkr
