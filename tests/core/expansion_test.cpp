#include "core/Expansion.h"

#include "core/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vkr {
namespace {

BuiltInValueTable<char> testValues() {
    BuiltInValueTable<char> values;
    values[static_cast<size_t>(BuiltInValue::ExecutableDirectory)] = {"C:\\svc\\", true};
    values[static_cast<size_t>(BuiltInValue::ExtractionDirectory)] = {"", true};
    values[static_cast<size_t>(BuiltInValue::Separator)] = {";", true};
    values[static_cast<size_t>(BuiltInValue::JvmHome)] = {"C:\\jre\\bin\\..", true};
    values[static_cast<size_t>(BuiltInValue::TempDirectory)] = {"C:\\t8\\", true};
    return values;
}

BuiltInValueTable<wchar_t> widened(const BuiltInValueTable<char>& values) {
    BuiltInValueTable<wchar_t> wide;
    for (size_t i = 0; i < values.size(); ++i) wide[i] = {widenBytes(values[i].text), values[i].narrow};
    return wide;
}

std::vector<EnvironmentEntry<wchar_t>> widened(const std::vector<EnvironmentEntry<char>>& environment) {
    std::vector<EnvironmentEntry<wchar_t>> wide;
    for (const auto& e : environment) wide.push_back({widenBytes(e.name), widenBytes(e.value)});
    return wide;
}

// Both variants follow the same rules; every case runs through both.
void expectExpansion(const std::string& text, const std::vector<EnvironmentEntry<char>>& environment,
                     size_t capacity, bool fits, const std::string& expected) {
    SCOPED_TRACE(text + " capacity " + std::to_string(capacity));
    std::string narrow = text;
    EXPECT_EQ(expandReferences(narrow, testValues(), environment, capacity), fits);
    EXPECT_EQ(narrow, expected);
    std::wstring wide = widenBytes(text);
    EXPECT_EQ(expandReferences(wide, widened(testValues()), widened(environment), capacity), fits);
    EXPECT_EQ(wide, widenBytes(expected));
}

TEST(Expansion, ReferencesExpandByTheirExactSpelling) {
    const std::vector<EnvironmentEntry<char>> environment = {{"VkrMixed", "mixed"}, {"JAVA_HOME", "C:\\jdk"}};
    struct Case {
        std::string text;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"${launcher:sys.launcherDirectory}lib\\a.jar", "C:\\svc\\lib\\a.jar"},
        {"${launcher:sys.launcherDirectory}\\lib\\a.jar", "C:\\svc\\\\lib\\a.jar"},
        {"%QUENTA_EXEDIR%|%VELKOR_EXEDIR%|${QUENTA_EXEDIR}|${VELKOR_EXEDIR}", "C:\\svc\\|C:\\svc\\|C:\\svc\\|C:\\svc\\"},
        {"${VkrMixed}|${VKRMIXED}|${vkrmixed}", "mixed|mixed|${vkrmixed}"},
        {"%JAVA_HOME%;${JAVA_HOME}", "%JAVA_HOME%;C:\\jdk"},
        {"${NO_SUCH_VARIABLE}", "${NO_SUCH_VARIABLE}"},
        {"${JAVA_HOME}\\bin;${JAVA_HOME}\\lib", "C:\\jdk\\bin;C:\\jdk\\lib"},
        {"a${launcher:sys.pathlistSeparator}b%VELKOR_PATHLIST_SEPARATOR%c${QUENTA_PATHLIST_SEPARATOR}d", "a;b;c;d"},
        {"[${launcher:sys.launcherTempDirectory}][%QUENTA_TEMPDIR%][${VELKOR_TEMPDIR}]", "[][][]"},
        {"[${launcher:sys.jvmHome}][%VELKOR_JVM_HOME%][${QUENTA_JVM_HOME}]",
         "[C:\\jre\\bin\\..][C:\\jre\\bin\\..][C:\\jre\\bin\\..]"},
        {"${launcher:sys.tempDir}", "C:\\t8\\"},
        {"${launcher:sys.launcherdirectory}", "${launcher:sys.launcherdirectory}"},
        {"${launcher:sys.launcherDirectory", "${launcher:sys.launcherDirectory"},
        {"", ""},
    };
    for (const Case& c : cases) expectExpansion(c.text, environment, 6000, true, c.expected);
}

// Passes run in sequence: a value is searched only by the passes after its own.
TEST(Expansion, InsertedTextIsSearchedOnlyByLaterPasses) {
    struct Case {
        std::vector<EnvironmentEntry<char>> environment;
        std::string text;
        std::string expected;
    };
    const std::vector<Case> cases = {
        // Every built-in pass has run before the environment's.
        {{{"VKR_BUILTIN", "${launcher:sys.jvmHome}%QUENTA_EXEDIR%"}},
         "${VKR_BUILTIN}",
         "${launcher:sys.jvmHome}%QUENTA_EXEDIR%"},
        // A built-in value is searched by the later built-in passes and the environment's.
        {{{"X", "x"}}, "%QUENTA_JVM_HOME%", "C:\\jre\\bin\\.."},
        {{{"A", "a(${B})"}, {"B", "b(${A})"}}, "${A}", "a(b(${A}))"},
        {{{"A", "a(${B})"}, {"B", "b(${A})"}}, "${B}", "b(${A})"},
        // A value holding its own reference is not searched again: the expansion ends.
        {{{"VkrLoop", "[${VkrLoop}]"}}, "${VkrLoop}${VkrLoop}", "[${VkrLoop}][${VkrLoop}]"},
        // The upper-cased name's pass comes after the stored name's and searches its value.
        {{{"lower", "[${LOWER}]"}}, "${lower}", "[[${LOWER}]]"},
    };
    for (const Case& c : cases) expectExpansion(c.text, c.environment, 6000, true, c.expected);
}

// A result that would outgrow the caller's buffer is neither cut nor written past its end:
// the text stays as it was and the caller learns of it. Intermediate texts count too, as the
// expansion works in the caller's buffer.
TEST(Expansion, AResultBeyondTheCapacityLeavesTheTextUnexpanded) {
    const std::vector<EnvironmentEntry<char>> environment = {{"JAVA_HOME", "0123456789ABCDEF"}};
    const std::string text = "x${JAVA_HOME}y${JAVA_HOME}z"; // 27 characters, expanded 35
    const std::string expanded = "x0123456789ABCDEFy0123456789ABCDEFz";
    for (size_t capacity : {36u, 35u, 30u, 1u, 0u})
        expectExpansion(text, environment, capacity, capacity >= 36, capacity >= 36 ? expanded : text);

    // "${LONG}" grows to 40 characters before "${S}" shrinks the result to 1.
    const std::vector<EnvironmentEntry<char>> shrinking = {{"LONG", "${S}" + std::string(36, 'x')}, {"S", ""}};
    for (size_t capacity : {41u, 40u})
        expectExpansion("${LONG}", shrinking, capacity, capacity >= 41, capacity >= 41 ? std::string(36, 'x') : "${LONG}");
}

TEST(Expansion, EveryReplacementIsLoggedWithTheWholeText) {
    struct Recorder final : ReplacementLog<char> {
        std::vector<std::string> lines;
        void replaced(std::string_view reference, const ExpansionValue<char>& value, std::string_view text) override {
            lines.push_back(std::string(reference) + " " + value.text + " " + std::string(text));
        }
    } recorder;
    std::string text = "${launcher:sys.pathlistSeparator}${A}";
    EXPECT_TRUE(expandReferences(text, testValues(), {{"A", "a"}}, 6000, &recorder));
    EXPECT_EQ(recorder.lines,
              (std::vector<std::string>{"${launcher:sys.pathlistSeparator} ; ;${A}", "${A} a ;a"}));
}

TEST(Expansion, EnvironmentBlockEntriesSplitAtTheirFirstEqualsSignBehindTheName) {
    const char block[] = "=C:=C:\\dir\0PATH=a=b\0NOEQUALS\0=\0EMPTY=\0";
    const std::vector<EnvironmentEntry<char>> entries = environmentEntries(block);
    ASSERT_EQ(entries.size(), 3u);
    const std::vector<std::pair<std::string, std::string>> expected = {{"=C:", "C:\\dir"}, {"PATH", "a=b"}, {"EMPTY", ""}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(entries[i].name, expected[i].first);
        EXPECT_EQ(entries[i].value, expected[i].second);
    }
    EXPECT_TRUE(environmentEntries<char>(nullptr).empty());
    const wchar_t wideBlock[] = L"Path=x\0\0";
    const auto wide = environmentEntries(wideBlock);
    ASSERT_EQ(wide.size(), 1u);
    EXPECT_EQ(wide[0].name, L"Path");
    // The per-drive entry's name cannot be referenced as "${}".
    std::string text = "${}";
    EXPECT_TRUE(expandReferences(text, testValues(), entries, 6000));
    EXPECT_EQ(text, "${}");
}

} // namespace
} // namespace vkr
