#include "util/VariableExpansion.h"

#include "config/ConfigStore.h"
#include "config/IncludedFiles.h"
#include "util/Paths.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vkr;

namespace {

// Names of the process environment in the block's order.
std::vector<std::string> environmentNames() {
    std::vector<std::string> names;
    char* block = GetEnvironmentStrings();
    for (const char* entry = block; *entry; entry += std::string_view(entry).size() + 1) {
        const std::string_view text(entry);
        const size_t equals = text.find('=', 1);
        if (equals != std::string_view::npos) names.emplace_back(text.substr(0, equals));
    }
    FreeEnvironmentStringsA(block);
    return names;
}

size_t blockIndex(const std::string& name) {
    const std::vector<std::string> names = environmentNames();
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return i;
    return names.size();
}

class VariableExpansionTest : public ::testing::Test {
protected:
    void SetUp() override {
        clearConfigStoreForTest();
        setExtractionDirectoryName({});
        SetEnvironmentVariableA("VkrMixed", "mixed");
        SetEnvironmentVariableA("JAVA_HOME", "C:\\jdk");
        SetEnvironmentVariableA("VKR_NO_SUCH_VARIABLE", nullptr);
    }
    void TearDown() override {
        for (const char* name : {"VkrMixed", "JAVA_HOME", "VKR_ORDER_A", "VKR_ORDER_B", "VKR_BUILTIN", "VkrLoop"})
            SetEnvironmentVariableA(name, nullptr);
        setExtractionDirectoryName({});
    }
};

TEST_F(VariableExpansionTest, ReferencesExpandByTheirExactSpelling) {
    const std::string dir = executableDirectory8();
    ASSERT_FALSE(dir.empty());
    ASSERT_EQ(dir.back(), '\\');
    struct Case {
        std::string text;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"${launcher:sys.launcherDirectory}lib\\a.jar", dir + "lib\\a.jar"},
        {"${launcher:sys.launcherDirectory}\\lib\\a.jar", dir + "\\lib\\a.jar"},
        {"%QUENTA_EXEDIR%|%VELKOR_EXEDIR%|${QUENTA_EXEDIR}|${VELKOR_EXEDIR}", dir + "|" + dir + "|" + dir + "|" + dir},
        {"${VkrMixed}|${VKRMIXED}|${vkrmixed}", "mixed|mixed|${vkrmixed}"},
        {"%JAVA_HOME%;${JAVA_HOME}", "%JAVA_HOME%;C:\\jdk"},
        {"${VKR_NO_SUCH_VARIABLE}", "${VKR_NO_SUCH_VARIABLE}"},
        {"${JAVA_HOME}\\bin;${JAVA_HOME}\\lib", "C:\\jdk\\bin;C:\\jdk\\lib"},
        {"a${launcher:sys.pathlistSeparator}b%VELKOR_PATHLIST_SEPARATOR%c${QUENTA_PATHLIST_SEPARATOR}d", "a;b;c;d"},
        {"[${launcher:sys.launcherTempDirectory}][%QUENTA_TEMPDIR%][${VELKOR_TEMPDIR}]", "[][][]"},
        {"[${launcher:sys.jvmHome}][%VELKOR_JVM_HOME%]", "[][]"},
        {"${launcher:sys.tempDir}", tempDirectory8()},
        {"${launcher:sys.launcherdirectory}", "${launcher:sys.launcherdirectory}"},
        {"", ""},
    };
    for (const Case& c : cases) {
        std::string text = c.text;
        EXPECT_TRUE(expandVariables(text));
        EXPECT_EQ(text, c.expected) << c.text;
        std::wstring wide = widenBytes(c.text);
        EXPECT_TRUE(expandVariablesW(wide, true));
        EXPECT_EQ(wide, widenBytes(c.expected)) << c.text;
    }
}

TEST_F(VariableExpansionTest, TheWideFormsFollowAnsiSafe) {
    setExtractionDirectoryName("C:\\t\\qnt1.tmp_dir5");
    const struct {
        bool ansiSafe;
        std::wstring expected;
    } cases[] = {
        {true, executableDirectoryNarrowWidened() + L"|C:\\t\\qnt1.tmp_dir5|" + widenBytes(tempDirectory8())},
        {false, executableDirectoryLong() + L"|C:\\t\\qnt1.tmp_dir5|" + tempDirectoryWide(true)},
    };
    for (const auto& c : cases) {
        std::wstring text = L"${VELKOR_EXEDIR}|${launcher:sys.launcherTempDirectory}|${launcher:sys.tempDir}";
        EXPECT_TRUE(expandVariablesW(text, c.ansiSafe));
        EXPECT_EQ(text, c.expected) << c.ansiSafe;
    }
}

// Passes run in sequence: a value is searched only by the passes after its own.
TEST_F(VariableExpansionTest, InsertedTextIsSearchedOnlyByLaterPasses) {
    SetEnvironmentVariableA("VKR_BUILTIN", "${launcher:sys.jvmHome}%QUENTA_EXEDIR%");
    std::string text = "${VKR_BUILTIN}";
    expandVariables(text);
    EXPECT_EQ(text, "${launcher:sys.jvmHome}%QUENTA_EXEDIR%");

    SetEnvironmentVariableA("VKR_ORDER_A", "a(${VKR_ORDER_B})");
    SetEnvironmentVariableA("VKR_ORDER_B", "b(${VKR_ORDER_A})");
    ASSERT_LT(blockIndex("VKR_ORDER_A"), blockIndex("VKR_ORDER_B"));
    text = "${VKR_ORDER_A}";
    expandVariables(text);
    EXPECT_EQ(text, "a(b(${VKR_ORDER_A}))");
    text = "${VKR_ORDER_B}";
    expandVariables(text);
    EXPECT_EQ(text, "b(${VKR_ORDER_A})");

    // A value holding its own reference is not searched again: the expansion ends.
    SetEnvironmentVariableA("VkrLoop", "[${VkrLoop}]");
    std::wstring wide = L"${VkrLoop}${VkrLoop}";
    expandVariablesW(wide, false);
    EXPECT_EQ(wide, L"[${VkrLoop}][${VkrLoop}]");
}

// A result that would outgrow the caller's buffer is neither cut nor written past its end:
// the text stays as it was and the caller learns of it.
TEST_F(VariableExpansionTest, AResultBeyondTheCapacityLeavesTheTextUnexpanded) {
    SetEnvironmentVariableA("JAVA_HOME", "0123456789ABCDEF");
    const std::string text = "x${JAVA_HOME}y${JAVA_HOME}z";  // 27 characters, expanded 35
    struct Case {
        size_t capacity;
        bool fits;
    };
    for (const Case c : {Case{36, true}, Case{35, false}, Case{30, false}, Case{0, false}}) {
        SCOPED_TRACE(c.capacity);
        std::string narrow = text;
        EXPECT_EQ(expandVariables(narrow, c.capacity), c.fits);
        EXPECT_EQ(narrow, c.fits ? "x0123456789ABCDEFy0123456789ABCDEFz" : text);
        std::wstring wide = widenBytes(text);
        EXPECT_EQ(expandVariablesW(wide, false, c.capacity), c.fits);
        EXPECT_EQ(wide, widenBytes(c.fits ? "x0123456789ABCDEFy0123456789ABCDEFz" : text));
    }
}

} // namespace
