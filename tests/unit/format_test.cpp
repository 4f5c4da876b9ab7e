#include "util/Format.h"

#include <gtest/gtest.h>

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

TEST(FormatTest, BytesWidenToTheSameCodeUnit) {
    EXPECT_EQ(formatW(L"[%S]", "caf\xe9"), L"[caf\u00e9]");
}

TEST(FormatTest, NarrowOutputNarrowsWideArguments) {
    EXPECT_EQ(format8("Installed service '%S'.\n", L"My Service"), "Installed service 'My Service'.\n");
    EXPECT_EQ(format8("%s.\n", "Auto-start"), "Auto-start.\n");
    EXPECT_EQ(format8("Could not get config (%d, %d).\n", 122, 6100), "Could not get config (122, 6100).\n");
    EXPECT_EQ(format8("%.*s|", 3, "abcdef"), "abc|");
}

TEST(FormatTest, MissingArgumentsAndUnknownConversionsStayLiteral) {
    EXPECT_EQ(formatW(L"a %d b"), L"a %d b");
    EXPECT_EQ(formatW(L"a %q b", 1), L"a %q b");
    EXPECT_EQ(formatW(L"%d %d", 1), L"1 %d");
    EXPECT_EQ(formatW(L"trailing %"), L"trailing %");
}

} // namespace
} // namespace vkr
