// Whether two blocks hold the same values, for the targets that read a block back.
#pragma once

#include "core/BlockFormat.h"

#include <algorithm>

namespace vkr::fuzz {

inline bool sameMessages(const std::vector<MessageEntry>& a, const std::vector<MessageEntry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const MessageEntry& x, const MessageEntry& y) { return x.key == y.key && x.text == y.text; });
}

inline bool sameContents(const BlockContents& a, const BlockContents& b) {
    return std::equal(a.texts.begin(), a.texts.end(), b.texts.begin(), b.texts.end(),
                      [](const TextEntry& x, const TextEntry& y) { return x.key == y.key && x.value == y.value; }) &&
           sameMessages(a.messages, b.messages) &&
           std::equal(a.groups.begin(), a.groups.end(), b.groups.begin(), b.groups.end(),
                      [](const LocaleGroup& x, const LocaleGroup& y) {
                          return x.prefix == y.prefix && sameMessages(x.messages, y.messages);
                      }) &&
           std::equal(a.files.begin(), a.files.end(), b.files.begin(), b.files.end(),
                      [](const IncludedFile& x, const IncludedFile& y) {
                          return x.name == y.name && x.content == y.content;
                      });
}

} // namespace vkr::fuzz
