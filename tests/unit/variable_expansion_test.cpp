#include "util/VariableExpansion.h"

#include "config/ConfigStore.h"
#include "config/IncludedFiles.h"
#include "config/LauncherValues.h"
#include "util/Paths.h"
#include "util/ProcessState.h"

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

// The values of the layers above, as a test wants them.
struct TestValues final : BuiltInValues {
    std::string temp8 = "C:\\t8\\";
    std::wstring tempWide = L"C:\\t\u4e00\\";
    std::string extraction;
    std::string home;
    std::string tempDirectory8() const override { return temp8; }
    std::wstring tempDirectoryWide() const override { return tempWide; }
    std::string extractionDirectory() const override { return extraction; }
    std::string jvmHome() const override { return home; }
};

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
        {"${launcher:sys.tempDir}", "C:\\t8\\"},
        {"${launcher:sys.launcherdirectory}", "${launcher:sys.launcherdirectory}"},
        {"", ""},
    };
    const TestValues values;
    for (const Case& c : cases) {
        std::string text = c.text;
        EXPECT_TRUE(expandVariables(text, values));
        EXPECT_EQ(text, c.expected) << c.text;
        std::wstring wide = widenBytes(c.text);
        EXPECT_TRUE(expandVariablesW(wide, DirectoryValues::AnsiSafe, values));
        EXPECT_EQ(wide, widenBytes(c.expected)) << c.text;
    }
}

TEST_F(VariableExpansionTest, TheWideFormsFollowAnsiSafe) {
    TestValues values;
    values.extraction = "C:\\t\\qnt1.tmp_dir5";
    values.home = "C:\\jre\\bin\\..";
    const struct {
        DirectoryValues form;
        std::wstring expected;
    } cases[] = {
        {DirectoryValues::AnsiSafe,
         executableDirectoryNarrowWidened() + L"|C:\\t\\qnt1.tmp_dir5|C:\\t8\\|C:\\jre\\bin\\.."},
        {DirectoryValues::Long,
         executableDirectoryLong() + L"|C:\\t\\qnt1.tmp_dir5|C:\\t\u4e00\\|C:\\jre\\bin\\.."},
    };
    for (const auto& c : cases) {
        std::wstring text =
            L"${VELKOR_EXEDIR}|${launcher:sys.launcherTempDirectory}|${launcher:sys.tempDir}|%QUENTA_JVM_HOME%";
        EXPECT_TRUE(expandVariablesW(text, c.form, values));
        EXPECT_EQ(text, c.expected) << static_cast<int>(c.form);
    }
}

// The launcher's own values are what its process holds when an expansion asks.
TEST_F(VariableExpansionTest, LauncherValuesAreThoseOfTheProcess) {
    setExtractionDirectoryName("C:\\t\\qnt2.tmp_dir7");
    processState().jvmHome = "C:\\rt\\bin\\..";
    std::string text = "${launcher:sys.launcherTempDirectory}|${launcher:sys.jvmHome}|${launcher:sys.tempDir}";
    EXPECT_TRUE(expandVariables(text, launcherValues()));
    EXPECT_EQ(text, "C:\\t\\qnt2.tmp_dir7|C:\\rt\\bin\\..|" + requiredTempDirectory8());
    processState().jvmHome.clear();
}

// Passes run in sequence: a value is searched only by the passes after its own.
TEST_F(VariableExpansionTest, InsertedTextIsSearchedOnlyByLaterPasses) {
    SetEnvironmentVariableA("VKR_BUILTIN", "${launcher:sys.jvmHome}%QUENTA_EXEDIR%");
    const TestValues values;
    std::string text = "${VKR_BUILTIN}";
    expandVariables(text, values);
    EXPECT_EQ(text, "${launcher:sys.jvmHome}%QUENTA_EXEDIR%");

    SetEnvironmentVariableA("VKR_ORDER_A", "a(${VKR_ORDER_B})");
    SetEnvironmentVariableA("VKR_ORDER_B", "b(${VKR_ORDER_A})");
    ASSERT_LT(blockIndex("VKR_ORDER_A"), blockIndex("VKR_ORDER_B"));
    text = "${VKR_ORDER_A}";
    expandVariables(text, values);
    EXPECT_EQ(text, "a(b(${VKR_ORDER_A}))");
    text = "${VKR_ORDER_B}";
    expandVariables(text, values);
    EXPECT_EQ(text, "b(${VKR_ORDER_A})");

    // A value holding its own reference is not searched again: the expansion ends.
    SetEnvironmentVariableA("VkrLoop", "[${VkrLoop}]");
    std::wstring wide = L"${VkrLoop}${VkrLoop}";
    expandVariablesW(wide, DirectoryValues::Long, values);
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
    const TestValues values;
    for (const Case c : {Case{36, true}, Case{35, false}, Case{30, false}, Case{0, false}}) {
        SCOPED_TRACE(c.capacity);
        std::string narrow = text;
        EXPECT_EQ(expandVariables(narrow, values, c.capacity), c.fits);
        EXPECT_EQ(narrow, c.fits ? "x0123456789ABCDEFy0123456789ABCDEFz" : text);
        std::wstring wide = widenBytes(text);
        EXPECT_EQ(expandVariablesW(wide, DirectoryValues::Long, values, c.capacity), c.fits);
        EXPECT_EQ(wide, widenBytes(c.fits ? "x0123456789ABCDEFy0123456789ABCDEFz" : text));
    }
}

} // namespace
