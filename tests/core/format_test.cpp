#include "core/Format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

namespace vkr {
namespace {

TEST(FormatTest, WindowsWideConventions) {
    EXPECT_EQ(formatW(L"%s and %S", L"wide", "narrow"), L"wide and narrow");
    // The argument's type decides, so a mixed-up conversion letter cannot garble a string.
    EXPECT_EQ(formatW(L"%S and %s", L"wide", "narrow"), L"wide and narrow");
    EXPECT_EQ(formatW(L"error %d %d\n", -5, 4u), L"error -5 4\n");
    EXPECT_EQ(formatW(L"(size: %I64d)", std::int64_t{6001}), L"(size: 6001)");
    EXPECT_EQ(formatW(L"ReadFile failed %d %d %I64d", 0, 38, std::int64_t{4096}), L"ReadFile failed 0 38 4096");
    EXPECT_EQ(formatW(L"type %c", 'B'), L"type B");
    EXPECT_EQ(formatW(L"100%%"), L"100%");
    EXPECT_EQ(formatW(L"%p", reinterpret_cast<const void*>(std::uintptr_t{0x4c})), L"000000000000004C");
}

TEST(FormatTest, NumbersAtTheirLimits) {
    EXPECT_EQ(formatW(L"%d|%d|%I64d", INT32_MIN, 0, std::int64_t{INT64_MIN}), L"-2147483648|0|-9223372036854775808");
    EXPECT_EQ(formatW(L"%u|%x|%X", 4294967295u, 0xabcdefu, 0xabcdefu), L"4294967295|abcdef|ABCDEF");
    EXPECT_EQ(formatW(L"%p", static_cast<const void*>(nullptr)), L"0000000000000000");
    EXPECT_EQ(formatW(L"%f|%f|%f|%f", 0.0, -1.5, 2.0000005, 1234567.125), L"0.000000|-1.500000|2.000001|1234567.125000");
}

TEST(FormatTest, BytesWidenToTheSameCodeUnit) {
    EXPECT_EQ(formatW(L"[%S]", "caf\xe9"), L"[caf\u00e9]");
}

std::string narrowUpper(std::wstring_view text) {
    std::string out;
    for (wchar_t c : text) out.push_back(static_cast<char>(c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c));
    return out;
}

TEST(FormatTest, NarrowOutputNarrowsWideArgumentsWithTheCallersConversion) {
    EXPECT_EQ(formatNarrow("Installed service '%S'.\n", {L"My Service"}, narrowUpper), "Installed service 'MY SERVICE'.\n");
    EXPECT_EQ(formatNarrow("%s|%.*s|%c", {"Auto-start", 3, "abcdef", L'x'}, narrowUpper), "Auto-start|abc|x");
    // Without a conversion of its own a caller gets ISO-8859-1, "?" for what it lacks.
    EXPECT_EQ(formatNarrow("%s", {L"\u00e9\u20ac"}, nullptr), "\xe9?");
}

std::wstring formatC(const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::wstring text = formatWideV(format, arguments);
    va_end(arguments);
    return text;
}

// What a native library's C code hands the launcher's error reporter.
TEST(FormatTest, CArgumentsFollowTheirConversions) {
    EXPECT_EQ(formatC(L"helper: refused %d natives (%s)", 3, L"stand-in"), L"helper: refused 3 natives (stand-in)");
    EXPECT_EQ(formatC(L"%S|%I64d|%u|%c|%.*s|%%|%x", "n", 1LL << 40, 7u, L'w', 2, L"abc", 255u),
              L"n|1099511627776|7|w|ab|%|ff");
    EXPECT_EQ(formatC(L"%f %ld", 0.5, 12L), L"0.500000 12");
    EXPECT_EQ(formatC(L"no arguments %q"), L"no arguments %q");
}

TEST(FormatTest, MissingArgumentsAndUnknownConversionsStayLiteral) {
    EXPECT_EQ(formatW(L"a %d b"), L"a %d b");
    EXPECT_EQ(formatW(L"a %q b", 1), L"a %q b");
    EXPECT_EQ(formatW(L"%d %d", 1), L"1 %d");
    EXPECT_EQ(formatW(L"trailing %"), L"trailing %");
}

} // namespace
} // namespace vkr
