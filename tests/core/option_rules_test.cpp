// The rules that decide which options a JVM receives, as tables.
#include "core/OptionRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vkr {
namespace {

using Options = std::vector<std::string>;
using Texts = std::vector<std::wstring>;

TEST(OptionEntry, KeywordsByPrefixInTheirOrder) {
    struct Case {
        std::wstring entry;
        OptionEntryKind kind;
        std::wstring value;
    } cases[] = {
        {L"-include-options site.vmoptions", OptionEntryKind::Include, L"site.vmoptions"},
        {L"-include-options ", OptionEntryKind::Include, L""},
        {L"-include-options", OptionEntryKind::Plain, L"-include-options"},
        {L"-classpath a.jar;b.jar", OptionEntryKind::ClassPathReplacement, L"a.jar;b.jar"},
        {L"-classpath/p first.jar", OptionEntryKind::ClassPathPrepended, L"first.jar"},
        {L"-classpath/a lib\\extra.jar", OptionEntryKind::ClassPathAppended, L"lib\\extra.jar"},
        {L"-classpath/x y", OptionEntryKind::Plain, L"-classpath/x y"},
        {L"-Classpath a", OptionEntryKind::Plain, L"-Classpath a"},
        {L"-cp a.jar", OptionEntryKind::Plain, L"-cp a.jar"},
        {L"-Xmx1g", OptionEntryKind::Plain, L"-Xmx1g"},
    };
    for (const Case& c : cases) {
        const OptionEntry e = classifyOptionEntry(c.entry);
        EXPECT_EQ(e.kind, c.kind) << std::string(c.entry.begin(), c.entry.end());
        EXPECT_EQ(e.value, c.value);
    }
}

TEST(OptionEntry, IncludeKeywordJoinsTheNextToken) {
    EXPECT_EQ(joinIncludeTokens({L"-Xmx1g", L"-include-options", L"a b.vmoptions", L"-Dx=1"}),
              (Texts{L"-Xmx1g", L"-include-options a b.vmoptions", L"-Dx=1"}));
    // A keyword at the end stands alone and reaches the JVM as a plain option.
    EXPECT_EQ(joinIncludeTokens({L"-Xmx1g", L"-include-options"}), (Texts{L"-Xmx1g", L"-include-options"}));
    EXPECT_EQ(joinIncludeTokens({L"-include-options", L"-include-options", L"x"}),
              (Texts{L"-include-options -include-options", L"x"}));
    EXPECT_TRUE(joinIncludeTokens({}).empty());
}

TEST(VmOptionsLine, BlanksCommentsAndLineEnds) {
    struct Case {
        const char* line;
        const char* text; // nullptr: skipped
    } cases[] = {
        {"  -Xmx1g  \r\n", "-Xmx1g"},
        {"-Xmx1g # heap\n", "-Xmx1g # heap"},
        {"# heap for the service\n", nullptr},
        {"   # indented comment\n", nullptr},
        // Only the space is a blank: a tab keeps the line an option, "#" and all.
        {"\t# not a comment\n", "\t# not a comment"},
        {"-Dx=1\t\n", "-Dx=1\t"},
        {"\r\n", nullptr},
        {"   \n", nullptr},
        {"", nullptr},
        {"-Da=b\r\r\n", "-Da=b"},
    };
    for (const Case& c : cases) {
        const std::optional<std::string_view> text = vmOptionsLineText(c.line);
        if (c.text)
            EXPECT_EQ(text, std::string_view(c.text)) << c.line;
        else
            EXPECT_FALSE(text.has_value()) << c.line;
    }
}

TEST(VmOptionsLine, Utf8MarkAndDecoding) {
    EXPECT_TRUE(startsWithUtf8Mark("\xEF\xBB\xBF-Xmx1g\n"));
    EXPECT_FALSE(startsWithUtf8Mark("-Xmx1g\n"));
    EXPECT_FALSE(startsWithUtf8Mark("\xEF\xBB"));
    EXPECT_EQ(decodeUtf8("-Dname=Gr\xC3\xBC\xC3\x9F" "e"), L"-Dname=Gr\u00fc\u00dfe");
    EXPECT_EQ(decodeUtf8("\xE2\x82\xAC"), L"\u20ac");
    EXPECT_EQ(decodeUtf8("\xF0\x9F\x98\x80"), L"\U0001F600");
    // Broken, overlong and surrogate sequences are replaced, one character per bad byte.
    EXPECT_EQ(decodeUtf8("a\xFF" "b"), L"a\ufffd" L"b");
    EXPECT_EQ(decodeUtf8("\xC0\xAF"), L"\ufffd\ufffd");
    EXPECT_EQ(decodeUtf8("\xED\xA0\x80"), L"\ufffd\ufffd\ufffd");
    EXPECT_EQ(decodeUtf8("\xE2\x82"), L"\ufffd\ufffd");
}

TEST(MatchesPattern, WholeTextWildcards) {
    struct Case {
        const char* pattern;
        const char* text;
        bool matches;
    } cases[] = {
        {"1.8.0_*", "1.8.0_292", true},
        {"1.8.0_*", "11.0.2", false},
        {"1.8.0_*", "1.8.0_", true},
        {"*", "", true},
        {"", "", true},
        {"", "x", false},
        {"1.?.0", "1.8.0", true},
        {"1.?.0", "1.10.0", false},
        {"11*", "11.0.2", true},
        {"*.0.2", "11.0.2", true},
        {"*.0.2", "11.0.20", false},
        {"1**8", "1.8", true},
        {"*a*b*c", "xaybzc", true},
        {"*a*b*c", "xaybzcd", false},
        {"a*b", "a", false},
        {"17*EA", "17-ea", false}, // case-sensitive
        {"1.8.0_2?2", "1.8.0_292", true},
        {"*1.8*", "openjdk 1.8.0", true},
    };
    for (const Case& c : cases) EXPECT_EQ(matchesPattern(c.pattern, c.text), c.matches) << c.pattern << " " << c.text;
}

TEST(VersionLine, WildcardOrMajorRange) {
    using Form = VersionLineMatch::Form;
    struct Case {
        const char* pattern;
        const char* version;
        int major;
        Form form;
        int minimum, maximum;
        bool matches;
    } cases[] = {
        {"9-11", "1.8.0_292", 8, Form::MajorRange, 9, 11, false},
        {"9-11", "11.0.2", 11, Form::MajorRange, 9, 11, true},
        {"9-11", "9", 9, Form::MajorRange, 9, 11, true},
        {"*1.8.0_*", "1.8.0_292", 8, Form::Wildcard, 0, 0, true},
        {"*1.8.0_*", "11.0.2", 11, Form::Wildcard, 0, 0, false},
        {"11", "11.0.2", 11, Form::Malformed, 0, 0, false},
        // The upper bound of "9-" reads as 0: the line never matches.
        {"9-", "17", 17, Form::MajorRange, 9, 0, false},
        {"-11", "8", 8, Form::MajorRange, 0, 11, true},
        {" 8 - 17x", "11", 11, Form::MajorRange, 8, 17, true},
        {"8-17-20", "17", 17, Form::MajorRange, 8, 17, true},
        {"", "11", 11, Form::Malformed, 0, 0, false},
        // The first star only marks the form: "*" alone matches an empty version text only.
        {"*", "11", 11, Form::Wildcard, 0, 0, false},
        {"**", "11", 11, Form::Wildcard, 0, 0, true},
    };
    for (const Case& c : cases) {
        const VersionLineMatch m = matchVersionLine(c.pattern, c.version, c.major);
        EXPECT_EQ(m.form, c.form) << c.pattern;
        EXPECT_EQ(m.matches, c.matches) << c.pattern << " " << c.version;
        if (m.form == Form::MajorRange) {
            EXPECT_EQ(m.minimum, c.minimum) << c.pattern;
            EXPECT_EQ(m.maximum, c.maximum) << c.pattern;
        }
    }
}

TEST(ModuleOptions, NamesJoinTheirValues) {
    struct Case {
        Options in, out;
    } cases[] = {
        {{"--add-opens", "java.base/java.lang=ALL-UNNAMED"}, {"--add-opens=java.base/java.lang=ALL-UNNAMED"}},
        {{"-Xmx1g", "--add-modules", "a", "--limit-modules", "b", "-Dx"},
         {"-Xmx1g", "--add-modules=a", "--limit-modules=b", "-Dx"}},
        // The value is whatever follows, another name included; a name at the end stays.
        {{"--add-reads", "--add-exports", "x"}, {"--add-reads=--add-exports", "x"}},
        {{"-Xrs", "--patch-module"}, {"-Xrs", "--patch-module"}},
        {{"--add-opens=a=b", "c"}, {"--add-opens=a=b", "c"}},
        {{"--upgrade-module-path", "p", "--add-exports", "q"}, {"--upgrade-module-path=p", "--add-exports=q"}},
        {{"--module-path", "x"}, {"--module-path", "x"}},
        {{}, {}},
    };
    for (Case& c : cases) {
        mergeModuleOptions(c.in);
        EXPECT_EQ(c.in, c.out);
    }
}

TEST(ModuleOptions, AddModulesAndAddOpens) {
    struct Case {
        std::optional<std::string> mainClass;
        const char* runtime;
        std::optional<std::string> addOpens;
        const char* addModules;
    } cases[] = {
        {"mod/pkg.sub.Main", "com.velkor.runtime", "--add-opens=mod/pkg.sub=com.velkor.runtime",
         "--add-modules=mod,com.velkor.runtime"},
        {"mod/Main", "com.velkor.runtime", std::nullopt, "--add-modules=mod,com.velkor.runtime"},
        // Without "/" the whole text is taken as the module's name.
        {"pkg.Main", "com.quenta.runtime", std::nullopt, "--add-modules=pkg.Main,com.quenta.runtime"},
        {std::nullopt, "com.velkor.runtime", std::nullopt, "--add-modules=com.velkor.runtime"},
        {"a.b/c.d/e.F", "r", "--add-opens=a.b/c.d/e=r", "--add-modules=a.b,r"},
    };
    for (const Case& c : cases) {
        const ModuleOptions m = moduleOptions(c.mainClass, c.runtime);
        EXPECT_EQ(m.addOpens, c.addOpens) << c.mainClass.value_or("<none>");
        EXPECT_EQ(m.addModules, c.addModules);
    }
}

TEST(MainParameters, LauncherParametersThenTheArguments) {
    MainParameterSources s;
    s.mainClass = L"com.example.Main";
    s.errorLog = L"C:\\svc\\error.log";
    s.fifthFlag = true;
    s.jArgumentsAreOptions = true;
    const Texts launcher = {L"false", L"com.example.Main", L"C:\\svc\\error.log", L"", L"true"};
    auto with = [&](Texts rest) {
        Texts all = launcher;
        all.insert(all.end(), rest.begin(), rest.end());
        return all;
    };
    struct Case {
        Texts arguments;
        Texts configured;
        bool jOptions;
        Texts expected;
    } cases[] = {
        // A service child: the service name first, then the configured tokens.
        {{L"Svc"}, {L"--port", L"80"}, true, with({L"Svc", L"--port", L"80"})},
        // /run a b: the executable as invoked first.
        {{L"app.exe", L"a", L"b"}, {}, true, with({L"app.exe", L"a", L"b"})},
        {{L"app.exe", L"-J-Xmx1g", L"x"}, {}, true, with({L"app.exe", L"x"})},
        {{L"app.exe", L"-J-Xmx1g", L"x"}, {}, false, with({L"app.exe", L"-J-Xmx1g", L"x"})},
        {{L"app.exe", L"-Dsun.locale.formatasdefault=true", L"x"}, {}, false, with({L"app.exe", L"x"})},
        // The first argument is passed as it is, whatever it looks like.
        {{L"-J-first", L"-Dsun.locale.formatasdefault=x"}, {}, true, with({L"-J-first"})},
        {{}, {L"c"}, true, with({L"c"})},
        {{L"app.exe", L"", L"\u65e5\u672c"}, {}, true, with({L"app.exe", L"", L"\u65e5\u672c"})},
    };
    for (const Case& c : cases) {
        s.arguments = c.arguments;
        s.configured = c.configured;
        s.jArgumentsAreOptions = c.jOptions;
        EXPECT_EQ(mainParameters(s), c.expected);
    }
    s = {};
    s.windowed = true;
    EXPECT_EQ(mainParameters(s), (Texts{L"true", L"", L"", L"", L"false"}));
}

} // namespace
} // namespace vkr
