#pragma once
// References in configured texts to places known only at run time: the built-in variables
// ("%QUENTA_EXEDIR%", "${launcher:sys.jvmHome}", ...) and every environment variable as
// "${NAME}", replaced in place, pass after pass, in a fixed order.
#include <string>

namespace vkr {

// capacity: the caller's limit in characters, terminator included (the launcher's texts
// live in 6000-character buffers). A result that would not fit is not cut: the text is left
// as it was before the expansion and false is returned (and logged).
bool expandVariables(std::string& text, size_t capacity = 6000);
bool expandVariablesW(std::wstring& text, bool ansiSafe, size_t capacity = 6000);

} // namespace vkr
