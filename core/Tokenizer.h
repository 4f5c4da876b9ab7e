#pragma once
// The launcher's own argument splitting, used for its command line, the configured JVM
// options and the configured application arguments. Deliberately not the Windows
// command-line rules: only the blank separates, " and ' both quote, a backslash is literal.
#include <string>
#include <string_view>
#include <vector>

namespace vkr {

using ArgumentVector = std::vector<std::wstring>;

// Appends the tokens of text to list; returns the length left unsplit (always 0).
size_t tokenizeCommandLine(std::wstring_view text, ArgumentVector& list);

} // namespace vkr
