#pragma once
// Pure rules of what an administrator sets around the service (its recovery after failures,
// its account) and of what the host keeps to tell why a service child failed.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vkr {

// Block keys of the operations settings. They sit in a range of their own, above every other
// key of the launcher, so that none can be read as another: the one open-ended run of keys,
// the version-specific options from 10201 on, is held below them by the generator.
constexpr int kRestartDelaysKey = 30001;  // text: restart delays in ms, "60000,60000,300000"; "" none
constexpr int kFailureResetKey = 30002;   // int: seconds without failure after which the count restarts
constexpr int kDelayedStartKey = 30003;   // int: 1 = automatic start delayed after boot
constexpr int kServiceAccountKey = 30004; // int: ServiceAccount

constexpr std::size_t kMaxRestartSteps = 3;
constexpr std::uint32_t kMaxRestartDelayMs = 24u * 60u * 60u * 1000u;

// The restart delays of the recovery setting: one to kMaxRestartSteps decimal numbers of
// milliseconds (at most a day each), separated by commas. Nothing for an empty text (no
// recovery) or a malformed one (nothing is set rather than something else than was asked).
std::optional<std::vector<std::uint32_t>> parseRestartDelays(std::string_view text);
// The text parseRestartDelays reads back.
std::string restartDelaysText(const std::vector<std::uint32_t>& delays);

// The period without failures after which the service manager counts failures from the
// first step again, in seconds: the stored decimal number, or a day when none is stored. With
// no period the manager would reset the count at once, so that every failure were the first
// and a service that keeps failing were restarted forever.
constexpr std::uint32_t kDefaultFailureResetSeconds = 24u * 60u * 60u;
std::uint32_t failureResetSeconds(std::string_view text);

// One step of the recovery the service manager applies after a failure of the service.
struct RecoveryStep {
    bool restart = false; // false: do nothing
    std::uint32_t delayMs = 0;
    bool operator==(const RecoveryStep&) const = default;
};
// A restart after each delay, then a step that does nothing: the manager repeats the last
// step for every later failure, and an application that keeps failing is not to be restarted
// forever before the failure count is reset.
std::vector<RecoveryStep> recoverySteps(const std::vector<std::uint32_t>& delays);

// Accounts that need no password, so that none is ever stored in the executable.
enum class ServiceAccount : std::int32_t { LocalSystem = 0, LocalService = 1, NetworkService = 2, Virtual = 3 };

// The account name the service manager is given; nothing for LocalSystem (its default) and
// for a value that names no account.
std::optional<std::wstring> serviceAccountName(std::int32_t account, std::wstring_view serviceName);

// The last bytes a service child wrote, kept by the host while it drains the child's output
// (the output itself goes nowhere): what the child said before it failed.
class OutputTail {
public:
    static constexpr std::size_t kCapacity = 4096;
    void append(const char* data, std::size_t size);
    // The kept bytes in the order written. When earlier output was dropped, the text starts
    // after the first line end, so that it does not begin in the middle of a line (unless
    // the kept part is one single line).
    std::string text() const;

private:
    std::string ring_ = std::string(kCapacity, '\0');
    std::size_t next_ = 0; // where the next byte goes
    std::size_t kept_ = 0;
    bool dropped_ = false;
};

// Whether the bytes are well-formed UTF-8 (so that the host decodes a child's output as UTF-8
// rather than in the ANSI code page).
bool isWellFormedUtf8(std::string_view bytes) noexcept;

} // namespace vkr
