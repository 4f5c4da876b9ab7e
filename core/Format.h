#pragma once
// Formatting of log lines, console lines and messages.
//
// The formats follow the Windows wide-character conventions ("%s" a UTF-16 string, "%S" an
// 8-bit string, "%d", "%I64d", "%p", "%f", "%c"), but the C runtimes disagree on them:
// MinGW's standard-conforming printf reads "%s" in a wide format as an 8-bit string. So the
// launcher never hands these formats to printf. Here the argument's own type decides how a
// string is converted: an 8-bit string is widened byte by byte (each byte becomes the code
// unit of the same value) into wide output, a UTF-16 string is narrowed with the file-API
// code page into 8-bit output. "%s" and "%S" therefore behave alike and cannot be mixed up.
#include <cstdarg>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace vkr {

class FormatArg {
public:
    enum class Kind { Wide, Narrow, Signed, Unsigned, Pointer, Double, Char };

    FormatArg(const wchar_t* s) noexcept : kind_(Kind::Wide), wide_(s ? s : L"") {}
    FormatArg(const std::wstring& s) noexcept : kind_(Kind::Wide), wide_(s) {}
    FormatArg(std::wstring_view s) noexcept : kind_(Kind::Wide), wide_(s) {}
    FormatArg(wchar_t* s) noexcept : FormatArg(static_cast<const wchar_t*>(s)) {}
    FormatArg(const char* s) noexcept : kind_(Kind::Narrow), narrow_(s ? s : "") {}
    FormatArg(char* s) noexcept : FormatArg(static_cast<const char*>(s)) {}
    FormatArg(const std::string& s) noexcept : kind_(Kind::Narrow), narrow_(s) {}
    FormatArg(std::string_view s) noexcept : kind_(Kind::Narrow), narrow_(s) {}
    FormatArg(char c) noexcept : kind_(Kind::Char), signed_(static_cast<unsigned char>(c)) {}
    FormatArg(wchar_t c) noexcept : kind_(Kind::Char), signed_(c) {}
    FormatArg(bool b) noexcept : kind_(Kind::Signed), signed_(b ? 1 : 0) {}
    FormatArg(int v) noexcept : kind_(Kind::Signed), signed_(v) {}
    FormatArg(long v) noexcept : kind_(Kind::Signed), signed_(v) {}
    FormatArg(long long v) noexcept : kind_(Kind::Signed), signed_(v) {}
    FormatArg(short v) noexcept : kind_(Kind::Signed), signed_(v) {}
    FormatArg(unsigned v) noexcept : kind_(Kind::Unsigned), unsigned_(v) {}
    FormatArg(unsigned long v) noexcept : kind_(Kind::Unsigned), unsigned_(v) {}
    FormatArg(unsigned long long v) noexcept : kind_(Kind::Unsigned), unsigned_(v) {}
    FormatArg(unsigned short v) noexcept : kind_(Kind::Unsigned), unsigned_(v) {}
    FormatArg(const void* p) noexcept : kind_(Kind::Pointer), unsigned_(reinterpret_cast<std::uintptr_t>(p)) {}
    FormatArg(double d) noexcept : kind_(Kind::Double), double_(d) {}

    Kind kind() const noexcept { return kind_; }
    std::wstring_view wide() const noexcept { return wide_; }
    std::string_view narrow() const noexcept { return narrow_; }
    long long asSigned() const noexcept;
    unsigned long long asUnsigned() const noexcept;
    double asDouble() const noexcept { return kind_ == Kind::Double ? double_ : static_cast<double>(asSigned()); }

private:
    Kind kind_;
    std::wstring_view wide_;
    std::string_view narrow_;
    long long signed_ = 0;
    unsigned long long unsigned_ = 0;
    double double_ = 0;
};

using FormatArgs = std::initializer_list<FormatArg>;

// Formats into UTF-16. Supported: %s %S %d %i %u %x %X %ld %I64d %I64u %p %f %c %%, with an
// optional precision for strings ("%.*s" takes an int argument first). An unknown or
// argument-less conversion is copied literally.
std::wstring formatWide(std::wstring_view format, FormatArgs args);
// The same into 8-bit text; UTF-16 arguments are narrowed by the given conversion (the
// launcher's uses the file-API code page, putting "?" for what it lacks).
using Narrowing = std::string (*)(std::wstring_view);
std::string formatNarrow(std::string_view format, FormatArgs args, Narrowing narrow);

// The same for C callers: the format in the same conventions, the arguments as the C calling
// convention passes them ("%s" a wide string, "%S" an 8-bit one, "%d" an int, "%I64d" a 64-bit
// integer, "%p" a pointer, "%f" a double, "%c" a character promoted to int).
std::wstring formatWideV(const wchar_t* format, std::va_list arguments);

template <class... A>
std::wstring formatW(std::wstring_view format, const A&... a) { return formatWide(format, {FormatArg(a)...}); }

} // namespace vkr
