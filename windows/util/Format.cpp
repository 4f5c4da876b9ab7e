#include "util/Format.h"

#include "util/CodePage.h"

namespace vkr {

std::string narrowForFormat(std::wstring_view text) { return narrowText(text); }

} // namespace vkr
