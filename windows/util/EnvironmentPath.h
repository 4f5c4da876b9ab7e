#pragma once
// PATH in both views of the environment: the process's block, which LoadLibrary and child
// processes see, and the C runtime's table, which getenv (and so a JVM's own start-up code)
// reads.
#include <windows.h>

#include <optional>
#include <string>

namespace vkr {

// Nothing when PATH is unset; queriedSize receives what the size query answered.
std::optional<std::string> environmentPath(DWORD* queriedSize = nullptr);
// Sets (or, with nothing, removes) PATH in both views; an empty value stays set and empty. On
// failure GetLastError holds SetEnvironmentVariableA's error.
bool setEnvironmentPath(const std::optional<std::string>& value);

} // namespace vkr
