#include "core/Format.h"

#include <vector>

namespace vkr {

long long FormatArg::asSigned() const noexcept {
    switch (kind_) {
    case Kind::Signed:
    case Kind::Char:
        return signed_;
    case Kind::Unsigned:
    case Kind::Pointer:
        return static_cast<long long>(unsigned_);
    case Kind::Double:
        return static_cast<long long>(double_);
    case Kind::Wide:
    case Kind::Narrow:
        return 0;
    }
    return 0;
}

unsigned long long FormatArg::asUnsigned() const noexcept {
    return kind_ == Kind::Unsigned || kind_ == Kind::Pointer ? unsigned_ : static_cast<unsigned long long>(asSigned());
}

namespace {

void appendAscii(std::wstring& out, const char* s) {
    for (; *s; ++s) out.push_back(static_cast<unsigned char>(*s));
}
void appendAscii(std::string& out, const char* s) { out.append(s); }

// Without a conversion of its own a caller gets ISO-8859-1, and "?" for what it lacks.
std::string narrowed(std::wstring_view text, Narrowing narrow) {
    if (narrow) return narrow(text);
    std::string out;
    for (wchar_t c : text) out.push_back(static_cast<unsigned>(c) < 0x100 ? static_cast<char>(c) : '?');
    return out;
}

void appendString(std::wstring& out, const FormatArg& a, long precision, Narrowing) {
    if (a.kind() == FormatArg::Kind::Wide) {
        std::wstring_view w = a.wide();
        out.append(precision >= 0 && static_cast<size_t>(precision) < w.size() ? w.substr(0, precision) : w);
    } else if (a.kind() == FormatArg::Kind::Narrow) {
        std::string_view n = a.narrow();
        if (precision >= 0 && static_cast<size_t>(precision) < n.size()) n = n.substr(0, precision);
        for (char c : n) out.push_back(static_cast<unsigned char>(c));
    }
}

void appendString(std::string& out, const FormatArg& a, long precision, Narrowing narrow) {
    if (a.kind() == FormatArg::Kind::Narrow) {
        std::string_view n = a.narrow();
        out.append(precision >= 0 && static_cast<size_t>(precision) < n.size() ? n.substr(0, precision) : n);
    } else if (a.kind() == FormatArg::Kind::Wide) {
        std::wstring w(a.wide());
        if (precision >= 0 && static_cast<size_t>(precision) < w.size()) w.resize(precision);
        out.append(narrowed(w, narrow));
    }
}

void appendChar(std::wstring& out, const FormatArg& a, Narrowing) { out.push_back(static_cast<wchar_t>(a.asSigned())); }
void appendChar(std::string& out, const FormatArg& a, Narrowing narrow) {
    long long c = a.asSigned();
    if (c < 0x100) {
        out.push_back(static_cast<char>(c));
    } else {
        const wchar_t w = static_cast<wchar_t>(c);
        out.append(narrowed(std::wstring_view(&w, 1), narrow));
    }
}

// Numbers are written here rather than by the C runtime's printf family, whose formatting
// machinery would weigh more than the whole of this formatter.
std::string digits(unsigned long long value, unsigned base, bool upper, size_t minimumDigits) {
    const char* symbols = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    do {
        text.insert(text.begin(), symbols[value % base]);
        value /= base;
    } while (value != 0);
    if (text.size() < minimumDigits) text.insert(0, minimumDigits - text.size(), '0');
    return text;
}

std::string signedDecimal(long long value) {
    // The magnitude of the most negative value does not fit a long long: taken unsigned.
    const unsigned long long magnitude =
        value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    std::string text = digits(magnitude, 10, false, 1);
    if (value < 0) text.insert(text.begin(), '-');
    return text;
}

// printf's "%f": six decimals, rounded half away from zero.
std::string fixedSix(double value) {
    if (value != value) return "nan";
    const bool negative = value < 0;
    double magnitude = negative ? -value : value;
    if (magnitude >= 1e18) return negative ? "-inf" : "inf";
    auto millionths = static_cast<unsigned long long>(magnitude * 1e6 + 0.5);
    std::string text = digits(millionths / 1000000, 10, false, 1);
    text.push_back('.');
    text.append(digits(millionths % 1000000, 10, false, 6));
    if (negative && millionths != 0) text.insert(text.begin(), '-');
    return text;
}

template <class Char>
std::basic_string<Char> formatAny(std::basic_string_view<Char> format, const FormatArg* first, const FormatArg* last,
                                  Narrowing narrow) {
    std::basic_string<Char> out;
    out.reserve(format.size() + 32);
    auto next = first;
    size_t i = 0;
    while (i < format.size()) {
        Char c = format[i];
        if (c != '%') {
            out.push_back(c);
            ++i;
            continue;
        }
        size_t start = i++;
        if (i < format.size() && format[i] == '%') {
            out.push_back('%');
            ++i;
            continue;
        }
        long precision = -1;
        if (i + 1 < format.size() && format[i] == '.' && format[i + 1] == '*') {
            i += 2;
            if (next != last) precision = static_cast<long>((next++)->asSigned());
        }
        // Length modifiers change nothing here: every integer argument carries its full value.
        if (i + 2 < format.size() && format[i] == 'I' && format[i + 1] == '6' && format[i + 2] == '4') {
            i += 3;
        } else {
            while (i < format.size() && (format[i] == 'l' || format[i] == 'h')) ++i;
        }
        if (i >= format.size() || next == last) {
            out.append(format.substr(start, i - start));
            continue;
        }
        const FormatArg& a = *next;
        switch (format[i]) {
        case 's':
        case 'S':
            appendString(out, a, precision, narrow);
            break;
        case 'd':
        case 'i':
            appendAscii(out, signedDecimal(a.asSigned()).c_str());
            break;
        case 'u':
            appendAscii(out, digits(a.asUnsigned(), 10, false, 1).c_str());
            break;
        case 'x':
        case 'X':
            appendAscii(out, digits(a.asUnsigned(), 16, format[i] == 'X', 1).c_str());
            break;
        case 'p':
            // The Windows runtimes print a pointer as all its hex digits, upper case.
            appendAscii(out, digits(a.asUnsigned(), 16, true, 2 * sizeof(void*)).c_str());
            break;
        case 'f':
            appendAscii(out, fixedSix(a.asDouble()).c_str());
            break;
        case 'c':
            appendChar(out, a, narrow);
            break;
        default:
            out.append(format.substr(start, i + 1 - start));
            ++i;
            continue;
        }
        ++next;
        ++i;
    }
    return out;
}

} // namespace

std::wstring formatWide(std::wstring_view format, FormatArgs args) {
    return formatAny<wchar_t>(format, args.begin(), args.end(), nullptr);
}
std::string formatNarrow(std::string_view format, FormatArgs args, Narrowing narrow) {
    return formatAny<char>(format, args.begin(), args.end(), narrow);
}

std::wstring formatWideV(const wchar_t* format, std::va_list arguments) {
    if (!format) return {};
    const std::wstring_view text(format);
    std::vector<FormatArg> args;
    // Each conversion takes its arguments in order, by the type its letter says.
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%') continue;
        if (++i < text.size() && text[i] == L'%') continue;
        if (i + 1 < text.size() && text[i] == L'.' && text[i + 1] == L'*') {
            args.emplace_back(va_arg(arguments, int));
            i += 2;
        }
        bool wide64 = false;
        bool isLong = false;
        if (i + 2 < text.size() && text.substr(i, 3) == L"I64") {
            wide64 = true;
            i += 3;
        } else {
            while (i < text.size() && (text[i] == L'l' || text[i] == L'h')) isLong = isLong || text[i++] == L'l';
        }
        if (i >= text.size()) break;
        switch (text[i]) {
        case L's':
            args.emplace_back(va_arg(arguments, const wchar_t*));
            break;
        case L'S':
            args.emplace_back(va_arg(arguments, const char*));
            break;
        case L'd':
        case L'i':
            if (wide64)
                args.emplace_back(va_arg(arguments, long long));
            else if (isLong)
                args.emplace_back(va_arg(arguments, long));
            else
                args.emplace_back(va_arg(arguments, int));
            break;
        case L'u':
        case L'x':
        case L'X':
            if (wide64)
                args.emplace_back(va_arg(arguments, unsigned long long));
            else if (isLong)
                args.emplace_back(va_arg(arguments, unsigned long));
            else
                args.emplace_back(va_arg(arguments, unsigned));
            break;
        case L'p':
            args.emplace_back(static_cast<const void*>(va_arg(arguments, void*)));
            break;
        case L'f':
            args.emplace_back(va_arg(arguments, double));
            break;
        case L'c':
            args.emplace_back(static_cast<wchar_t>(va_arg(arguments, int)));
            break;
        default:
            break; // copied literally, takes no argument
        }
    }
    return formatAny<wchar_t>(text, args.data(), args.data() + args.size(), nullptr);
}

} // namespace vkr
