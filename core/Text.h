#pragma once
// Small text rules the whole launcher shares: ";"-separated lists and letter case of the
// ASCII range (Windows paths and option names compare letters A-Z without regard to case;
// nothing else is folded, so no locale can change a comparison).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vkr {

template <class Char>
constexpr Char lowerAscii(Char c) noexcept {
    return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

template <class Char>
constexpr Char upperAscii(Char c) noexcept {
    return c >= Char('a') && c <= Char('z') ? static_cast<Char>(c - Char('a') + Char('A')) : c;
}

template <class Char>
void lowerAsciiInPlace(std::basic_string<Char>& text) noexcept {
    for (Char& c : text) c = lowerAscii(c);
}

template <class Char>
std::basic_string<Char> upperAsciiCopy(std::basic_string_view<Char> text) {
    std::basic_string<Char> out(text);
    for (Char& c : out) c = upperAscii(c);
    return out;
}

template <class Char>
constexpr bool startsWithIgnoringAsciiCase(std::basic_string_view<Char> text,
                                           std::basic_string_view<Char> prefix) noexcept {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (lowerAscii(text[i]) != lowerAscii(prefix[i])) return false;
    return true;
}

template <class Char>
constexpr bool endsWithIgnoringAsciiCase(std::basic_string_view<Char> text,
                                         std::basic_string_view<Char> suffix) noexcept {
    return text.size() >= suffix.size() &&
           startsWithIgnoringAsciiCase(text.substr(text.size() - suffix.size()), suffix);
}

// The pieces of a list separated by one character, empty pieces skipped.
template <class Char>
std::vector<std::basic_string<Char>> splitList(std::basic_string_view<Char> text, Char separator = Char(';')) {
    std::vector<std::basic_string<Char>> items;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::basic_string_view<Char>::npos) end = text.size();
        if (end > start) items.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

inline std::vector<std::string> splitList(std::string_view text, char separator = ';') {
    return splitList<char>(text, separator);
}
inline std::vector<std::wstring> splitList(std::wstring_view text, wchar_t separator = L';') {
    return splitList<wchar_t>(text, separator);
}

// One code point (at most U+10FFFF) appended as UTF-8.
void appendUtf8(std::string& out, char32_t c);

// 8-bit text to UTF-16 byte by byte: each byte becomes the code unit of the same value
// (configured texts are ISO-8859-1 where they are needed as UTF-16).
std::wstring widenBytes(std::string_view text);

// The launcher's reading of a text as a number: leading white space, an optional sign, digits
// up to the first other character, clamped to the 32-bit range; 0 without digits.
std::int32_t parseConfigInt(std::string_view text) noexcept;

// ASCII text to any character type (literals of the format rules).
template <class S>
S fromAscii(std::string_view text) {
    return S(text.begin(), text.end());
}

} // namespace vkr
