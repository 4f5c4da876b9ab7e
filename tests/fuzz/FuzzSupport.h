// What the fuzz targets share: a failed expectation ends the run as a finding (libFuzzer
// keeps the input that caused it), and inputs are split into the parts a target needs.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace vkr::fuzz {

// A broken invariant is a finding like a crash: the message names the rule, libFuzzer then
// writes the input out as the reproducer.
inline void expect(bool holds, const char* rule) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", rule);
    std::abort();
}

inline std::string_view bytesOf(const unsigned char* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The input's lines (split at line feeds, which the parts never need to hold); a missing part
// reads as empty.
class Lines {
public:
    explicit Lines(std::string_view text) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = text.find('\n', start);
            if (end == std::string_view::npos) break;
            lines_.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        lines_.push_back(text.substr(start));
    }
    std::string_view operator[](std::size_t i) const { return i < lines_.size() ? lines_[i] : std::string_view(); }
    std::size_t size() const { return lines_.size(); }

private:
    std::vector<std::string_view> lines_;
};

} // namespace vkr::fuzz
