#include "core/Text.h"

namespace vkr {

std::wstring widenBytes(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (char c : text) out.push_back(static_cast<unsigned char>(c));
    return out;
}

} // namespace vkr
