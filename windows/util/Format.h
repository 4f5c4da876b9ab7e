#pragma once
// The launcher's formatting: UTF-16 output as the core does it, 8-bit output with UTF-16
// arguments narrowed to the file-API code page.
#include "core/Format.h"

namespace vkr {

std::string narrowForFormat(std::wstring_view text);

template <class... A>
std::string format8(std::string_view format, const A&... a) {
    return formatNarrow(format, {FormatArg(a)...}, narrowForFormat);
}

} // namespace vkr
