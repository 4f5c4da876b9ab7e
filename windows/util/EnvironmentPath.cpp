#include "util/EnvironmentPath.h"

#include "core/Limits.h"

#include <cstdlib>

namespace vkr {

std::optional<std::string> environmentPath(DWORD* queriedSize) {
    SetLastError(ERROR_SUCCESS);
    const DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
    if (queriedSize) *queriedSize = size;
    if (size == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    // Room beyond the size asked: the variable may grow between the two calls.
    std::string value(static_cast<size_t>(size) + kMaxPath, '\0');
    const DWORD length = GetEnvironmentVariableA("PATH", value.data(), static_cast<DWORD>(value.size()));
    value.resize(length < value.size() ? length : 0);
    return value;
}

bool setEnvironmentPath(const std::optional<std::string>& value) {
    // The table goes first: it cannot hold an empty value, and _putenv removes the variable
    // from the process block as well, so an empty PATH set the other way round would end up
    // unset.
    const std::string entry = "PATH=" + value.value_or(std::string());
    _putenv(entry.c_str());
    return SetEnvironmentVariableA("PATH", value ? value->c_str() : nullptr) != FALSE;
}

} // namespace vkr
