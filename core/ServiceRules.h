#pragma once
// Pure rules of the single-instance guard and the service host: the semaphore's name, and the
// command line the host gives the service child.
#include <string>
#include <string_view>
#include <vector>

namespace vkr {

// The longest name Windows gives a semaphore (MAX_PATH without the terminator).
constexpr std::size_t kMaxObjectNameLength = 259;

// "Global\" or "Local\", the instance path with every backslash and blank made an underscore,
// and in multi-instance mode the counter; a name that would pass kMaxObjectNameLength holds a
// hash of the path and the path's end instead of the whole path.
std::string instanceSemaphoreName(bool global, std::string_view instancePath, int counter = -1);

// One token as the child's tokenizer must read it back. Bare when it can be (not empty, no
// blank, no quotation mark of either kind); otherwise enclosed in double quotation marks, or
// in single ones when it holds a double one. A token holding both kinds cannot be written for
// that tokenizer: it comes back as what its double-quoted form gives.
std::wstring quoteForChild(std::wstring_view token);
// Whether quoteForChild gives the token back unchanged to the child.
bool childCanReadBack(std::wstring_view token) noexcept;

// The service child's command line: the executable (token 0 of the host's own command line),
// the service name, the arguments of the registered image path (the host's further tokens),
// the start arguments, then the restart marker, each after a blank.
std::wstring childCommandLine(const std::vector<std::wstring>& hostTokens, std::wstring_view serviceName,
                              const std::vector<std::wstring>& startArguments, std::wstring_view restartMarker);

} // namespace vkr
