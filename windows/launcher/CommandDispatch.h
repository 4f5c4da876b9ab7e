#pragma once
// The entry point's work: command table, usage text, restart marker, service dispatcher.
#include "core/Tokenizer.h"

#include <string_view>

namespace vkr {

inline constexpr std::wstring_view kRestartMarker = L"__vkr_restart";

// The command name of a first argument, or "" when it is not a command ("/run", "-run",
// "--run" and "/-run" all give "run").
std::wstring_view commandName(std::wstring_view argument) noexcept;
// The executable's file name without directory and extension, at most 255 characters.
std::wstring executableBaseName(std::wstring_view modulePath);
std::wstring usageText(std::wstring_view baseName);

// The whole entry point; returns the process exit code.
int runEntryPoint();

} // namespace vkr
