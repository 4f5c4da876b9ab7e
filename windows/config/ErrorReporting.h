#pragma once
// The one path for user-visible failures: a localized message N with an optional argument
// for its first "{0}", shown in a message box or on the console, and for fatal failures the
// end of the process after the extraction directory has been removed.
#include "util/ProcessState.h"

#include <string>
#include <string_view>

namespace vkr {

void setErrorOutput(ErrorOutput mode) noexcept;
ErrorOutput errorOutput() noexcept;

// The message text with only the first "{0}" replaced; an argument of nullptr replaces nothing.
std::wstring substituteArgument(std::wstring_view text, const wchar_t* argument);

void showMessage(int number, const wchar_t* argument = nullptr);
void showMessage8(int number, const char* argument);
void showErrorText(std::wstring_view text);
[[noreturn]] void fatalText(std::wstring_view text);
[[noreturn]] void fatalMessage(int number, const wchar_t* argument = nullptr);
[[noreturn]] void fatalMessage8(int number, const char* argument);

// Removes the extraction directory (if any) and ends the process with the code: the one way
// a launcher process ends, on failures and after a normal run alike.
[[noreturn]] void terminateLauncher(int exitCode);
// Subdirectories: emptied and removed one level deep, or only removed when already empty.
enum class Subdirectories { Emptied, Removed };
void removeDirectoryContents(const char* path, Subdirectories subdirectories);

// Test seam: called by terminateLauncher instead of ExitProcess after the clean-up. It must
// not return (a test hook throws).
using TerminateHook = void (*)(int exitCode);
void setTerminateHookForTest(TerminateHook hook) noexcept;

} // namespace vkr
