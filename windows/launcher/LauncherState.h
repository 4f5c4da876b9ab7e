#pragma once
// Process-wide state of the launcher core, set by the entry point and read by the service
// operations and the JVM invocation.
#include <string>

namespace vkr {

inline constexpr size_t kServiceNameCapacity = 6000; // UTF-16 units, terminator included

// The service name: configuration key 101, or the first argument after a command.
const std::wstring& serviceName() noexcept;
void setServiceName(std::wstring_view name);

// Set at entry; cleared by the foreground commands. Service runs get -Xrs and quenta.isService.
bool serviceMode() noexcept;
void setServiceMode(bool on) noexcept;
// Set only by "run": the JVM gets velkor.noRedir=true.
bool noRedirection() noexcept;
void setNoRedirection(bool on) noexcept;

} // namespace vkr
