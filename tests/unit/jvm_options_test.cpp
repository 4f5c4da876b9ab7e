// The JVM's option list as the launcher assembles it: every row gives the configuration, the
// files, the arguments and the environment, and the exact list that comes out. The VM options
// file of this test program lies beside it (jvm_options_test.vmoptions), as a generated
// launcher's lies beside the launcher.
#include "JvmOptions.h"

#include "ClassPath.h"
#include "VmOptions.h"
#include "config/ConfigStore.h"
#include "config/ErrorReporting.h"
#include "config/IncludedFiles.h"
#include "config/Locale.h"
#include "config_test_support.h"
#include "test_files.h"
#include "util/ExecutableLocation.h"
#include "util/ProcessState.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace vkr {
namespace {

using Options = std::vector<std::string>;
using test::Terminated;

// The shipped block's keys that decide options (generator defaults), for the service child.
const std::map<int, std::string> kShipped = {
    {107, "4"},  {121, "A0.\\app.jar"}, {122, "com.example.Main"}, {125, "1"}, {166, "1"}, {2001, "i"},
    {10003, "."},
    {123, "\"-Xmx512m\" \"-Dfile.encoding=UTF-8\" \"-Dvelkor.launcherId=434\" -Dvelkor.swt=false"},
};

class JvmOptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetProcessStateForTest();
        test::beginTestLog();
        setTerminateHookForTest(&test::throwingTerminateHook);
        setErrorOutput(ErrorOutput::Console);
        setMessageTextForTest(1006, L"File or directory {0} not found or empty\n");
        setMessageTextForTest(1008, L"The environment variable {0} has to be defined");
        work_ = test::scratchPath("vkropts");
        test::createDirectories(work_);
        const std::wstring& exe = executableLongPath();
        ownFile_ = narrowText(exe.substr(0, exe.size() - 4)) + ".vmoptions";
        dir_ = executableDirectory8();
    }
    void TearDown() override {
        DeleteFileA(ownFile_.c_str());
        test::removeTree(work_);
        for (const char* name : {"VKR_CP", "VKR_EMPTY", "VKR_TWO"}) SetEnvironmentVariableA(name, nullptr);
        setTerminateHookForTest(nullptr);
        test::endTestLog();
        resetProcessStateForTest();
    }

    void configure(const std::map<int, std::string>& keys) {
        for (const auto& [key, value] : keys) setConfigTextForTest(key, value);
    }
    // A configuration with nothing but what a row sets: no flavour, no class path, no file.
    void plain(const std::map<int, std::string>& keys = {}) {
        configure({{166, "0"}});
        configure(keys);
    }
    void ownVmOptions(const std::string& text) { ASSERT_TRUE(test::writeWholeFile(ownFile_, text)); }
    std::string file(const std::string& relative, const std::string& text) {
        const std::string path = work_ + "\\" + relative;
        const size_t slash = path.find_last_of('\\');
        test::createDirectories(path.substr(0, slash));
        EXPECT_TRUE(test::writeWholeFile(path, text));
        return path;
    }
    Options assemble(const ArgumentVector& arguments = {}, const Options& properties = {}) {
        return assembleJvmOptionList(properties, arguments);
    }
    // The fatal message a failing assembly shows, "" when it went through.
    std::string failure() {
        test::CapturedStandardError captured;
        try {
            assemble();
        } catch (const Terminated& t) {
            EXPECT_EQ(t.exitCode, 1);
            return captured.text();
        }
        return "";
    }
    bool logged(const std::string& line) {
        for (const std::string& l : test::lines(test::testLogText()))
            if (l.find("] " + line) != std::string::npos) return true;
        return false;
    }

    std::string work_;
    std::string ownFile_;
    std::string dir_;
};

TEST_F(JvmOptionsTest, ShippedBlockInAServiceChild) {
    configure(kShipped);
    processState().flavourLetter = 'i';
    processState().serviceMode = true;
    ownVmOptions("-Xss2m\n");
    const Options properties = {"-Dquenta.isService=true"};
    EXPECT_EQ(assemble({L"Svc"}, properties),
              (Options{"-Dquenta.isService=true", "-Xmx512m", "-Dfile.encoding=UTF-8", "-Dvelkor.launcherId=434",
                       "-Dvelkor.swt=false", "-Xss2m",
                       "-Djava.class.path=" + dir_ + ".velkor\\vkrruntime.jar;" + dir_ + ".\\app.jar", "-Xrs"}));
    EXPECT_TRUE(logged("vmoption count 8"));
    EXPECT_TRUE(logged("vmoption 0: -Dquenta.isService=true"));
    EXPECT_TRUE(logged("vmoption 7: -Xrs"));
}

TEST_F(JvmOptionsTest, VmOptionsFileLines) {
    plain({{166, "1"}});
    ownVmOptions("# heap for the service\n"
                 "  -Xmx1g  \r\n"
                 "\t# not a comment\n"
                 "\n"
                 "   \n"
                 "-Dx=1 # two words\n"
                 "-classpath/a first.jar\n"
                 "-classpath/a second.jar\n"
                 "-Dapp.home=${launcher:sys.launcherDirectory}\n"
                 "-Dlatin=caf\xe9\n");
    EXPECT_EQ(assemble(), (Options{"-Xmx1g", "\t# not a comment", "-Dx=1 # two words", "-Dapp.home=" + dir_,
                                   "-Dlatin=caf\xe9", "-Djava.class.path=;second.jar"}));
}

TEST_F(JvmOptionsTest, IncludesResolveAgainstTheIncludingFile) {
    plain({{166, "1"}, {123, "-include-options " + work_ + "\\conf\\from123.vmoptions -Dlast"}});
    file("conf\\from123.vmoptions", "-Dfrom123\n-include-options inner\\deep.vmoptions\n");
    file("conf\\inner\\deep.vmoptions", "-Ddeep\n");
    // In the executable's own file a relative include resolves against the executable's
    // directory; the test puts its file there for the moment.
    const std::string besideExe = dir_ + "vkropts_beside.vmoptions";
    ASSERT_TRUE(test::writeWholeFile(besideExe, "-Dbeside\n"));
    ownVmOptions("-include-options vkropts_beside.vmoptions\n-include-options missing.vmoptions\n-Down\n");
    const Options options = assemble();
    DeleteFileA(besideExe.c_str());
    EXPECT_EQ(options, (Options{"-Dfrom123", "-Ddeep", "-Dlast", "-Dbeside", "-Down", "-Djava.class.path="}));
    EXPECT_TRUE(logged("adding vmoptions from (0000000000000000) <" + dir_ + "missing.vmoptions> (missing.vmoptions)"));
}

TEST_F(JvmOptionsTest, ConfiguredParametersAndTheirTokens) {
    struct Case {
        const char* parameters;
        Options expected;
    } cases[] = {
        {"-Xmx1g -include-options", {"-Xmx1g", "-include-options", "-Djava.class.path="}},
        {"'-Da=b c' \"-Dq='x'\"", {"-Da=b c", "-Dq='x'", "-Djava.class.path="}},
        {"-Xms1m --add-opens java.base/java.lang=ALL-UNNAMED",
         {"-Xms1m", "--add-opens=java.base/java.lang=ALL-UNNAMED", "-Djava.class.path="}},
        // A module option name at the end takes the next element, whatever its source.
        {"--add-exports", {"--add-exports=-Djava.class.path="}},
    };
    for (const Case& c : cases) {
        clearConfigStoreForTest();
        plain({{123, c.parameters}});
        EXPECT_EQ(assemble(), c.expected) << c.parameters;
    }
}

TEST_F(JvmOptionsTest, VersionSpecificLines) {
    struct Case {
        const char* version;
        std::map<int, std::string> lines;
        Options expected;
    } cases[] = {
        {"1.8.0_292", {{10200, "1"}, {10201, "9-11"}, {10202, "-Dnine"}}, {"-Djava.class.path="}},
        {"11.0.2", {{10200, "1"}, {10201, "9-11"}, {10202, "-Dnine -Dten"}}, {"-Dnine", "-Dten", "-Djava.class.path="}},
        {"1.8.0_292", {{10200, "1"}, {10201, "*1.8.0_*"}, {10202, "-Deight"}}, {"-Deight", "-Djava.class.path="}},
        {"11.0.2", {{10200, "1"}, {10201, "*1.8.0_*"}, {10202, "-Deight"}}, {"-Djava.class.path="}},
        {"11.0.2", {{10200, "1"}, {10201, "11"}, {10202, "-Dmalformed"}}, {"-Djava.class.path="}},
        {"17", {{10200, "1"}, {10201, "9-"}, {10202, "-Dnever"}}, {"-Djava.class.path="}},
        // Only the first matching line counts.
        {"11.0.2",
         {{10200, "2"}, {10201, "9-17"}, {10202, "-Dfirst"}, {10203, "*11*"}, {10204, "-Dsecond"}},
         {"-Dfirst", "-Djava.class.path="}},
        // Without a known JVM version no line is looked at.
        {"", {{10200, "1"}, {10201, "**"}, {10202, "-Dany"}}, {"-Djava.class.path="}},
        {"11.0.2", {{10200, "0"}, {10201, "**"}, {10202, "-Dany"}}, {"-Djava.class.path="}},
    };
    for (const Case& c : cases) {
        clearConfigStoreForTest();
        plain(c.lines);
        processState().jvmVersion = c.version;
        EXPECT_EQ(assemble(), c.expected) << c.version << " " << c.lines.at(10201);
    }
    EXPECT_TRUE(logged("ERROR: expected dash"));
    EXPECT_TRUE(logged("checking min 9 max 0 with 17"));
}

TEST_F(JvmOptionsTest, JArgumentsAndTheLocaleArgument) {
    splitLocale("de_DE");
    struct Case {
        const char* jOptions;
        ArgumentVector arguments;
        Options expected;
    } cases[] = {
        {"1", {L"app.exe", L"-J-Dx=1", L"-Jfoo", L"plain"}, {"-Dx=1", "foo", "-Djava.class.path="}},
        {"0", {L"app.exe", L"-J-Dx=1"}, {"-Djava.class.path="}},
        {"1",
         {L"-Dsun.locale.formatasdefault=true"},
         {"-Dsun.locale.formatasdefault=true", "-Djava.class.path="}},
        {"1",
         {L"app.exe", L"-Dsun.locale.formatasdefault=x", L"-Dsun.locale.formatasdefault=false"},
         {"-Dsun.locale.formatasdefault=false", "-Duser.language=de", "-Duser.country=DE", "-Djava.class.path="}},
    };
    for (const Case& c : cases) {
        clearConfigStoreForTest();
        plain({{125, c.jOptions}});
        EXPECT_EQ(assemble(c.arguments), c.expected);
    }
    clearConfigStoreForTest();
    plain();
    splitLocale("en");
    EXPECT_EQ(assemble({L"-Dsun.locale.formatasdefault=no"}),
              (Options{"-Dsun.locale.formatasdefault=no", "-Duser.language=en", "-Djava.class.path="}));
}

TEST_F(JvmOptionsTest, ClassPathEntries) {
    const std::string empty = work_ + "\\empty";
    test::createDirectories(empty);
    const std::string lib = work_ + "\\lib";
    test::createDirectories(lib);
    test::writeWholeFile(lib + "\\a.jar", "");
    test::writeWholeFile(lib + "\\b.zip", "");
    test::writeWholeFile(lib + "\\c.txt", "");
    test::writeWholeFile(work_ + "\\x.jar", "");
    SetEnvironmentVariableA("VKR_CP", ("\"" + work_ + "\\x.jar\"").c_str());
    struct Case {
        std::string classPath;
        std::string expected;
    } cases[] = {
        // An optional archive that does not exist is still put on the class path.
        {"A0missing.jar", dir_ + "missing.jar"},
        {"A1" + work_ + "\\x.jar;D0" + lib, work_ + "\\x.jar;" + lib},
        {"S1" + empty, ""},
        {"S0" + lib + ";S0" + work_ + "\\nothing", lib + "\\a.jar;" + lib + "\\b.zip"},
        {"E0VKR_CP", work_ + "\\x.jar"},
        {"E0VKR_NO_SUCH_VARIABLE;;A0${VKR_CP}", "\"" + work_ + "\\x.jar\""},
        {"Q1ignored;A0a", dir_ + "a"},
    };
    for (const Case& c : cases) {
        clearConfigStoreForTest();
        plain({{121, c.classPath}});
        EXPECT_EQ(assemble(), (Options{"-Djava.class.path=" + c.expected})) << c.classPath;
    }
}

TEST_F(JvmOptionsTest, RequiredEntriesThatAreMissingEndTheLaunch) {
    test::endTestLog(); // the messages then carry no pointer to a log
    SetEnvironmentVariableA("VKR_EMPTY", "");
    SetEnvironmentVariableA("VKR_TWO", (work_ + ";" + work_).c_str());
    struct Case {
        std::string classPath;
        std::string message;
    } cases[] = {
        {"A1missing.jar", "File or directory missing.jar not found or empty\n\n"},
        // A name that expands to two paths fails the existence test as a whole.
        {"A1${VKR_TWO}", "File or directory " + work_ + ";" + work_ + " not found or empty\n\n"},
        {"S1" + work_ + "\\nothing", "File or directory " + work_ + "\\nothing not found or empty\n\n"},
        {"E1VKR_NO_SUCH_VARIABLE", "The environment variable VKR_NO_SUCH_VARIABLE has to be defined\n"},
        {"E1VKR_EMPTY", "The environment variable VKR_EMPTY has to be defined\n"},
    };
    for (const Case& c : cases) {
        clearConfigStoreForTest();
        setMessageTextForTest(1006, L"File or directory {0} not found or empty\n");
        setMessageTextForTest(1008, L"The environment variable {0} has to be defined");
        plain({{121, c.classPath}});
        EXPECT_EQ(failure(), c.message) << c.classPath;
    }
}

TEST_F(JvmOptionsTest, OverridesRuntimeJarAndExtractedArchives) {
    const std::string extraction = work_ + "\\qnt1.tmp_dir5";
    test::createDirectories(extraction + "\\user");
    test::writeWholeFile(extraction + "\\lib.jar", "");
    test::writeWholeFile(extraction + "\\user\\mine.zip", "");
    setExtractionDirectoryName(extraction);
    const std::string runtime = dir_ + ".velkor\\vkrruntime.jar";
    struct Case {
        std::map<int, std::string> keys;
        Options expected;
    } cases[] = {
        {{{2001, "i"}, {121, "A0app.jar"}, {123, "\"-classpath/p pre.jar\" \"-classpath other.jar\" \"-classpath/a post.jar\""}},
         {"-Djava.class.path=pre.jar;" + extraction + "\\lib.jar;" + extraction + "\\user\\mine.zip;" + runtime +
          ";other.jar;post.jar"}},
        {{{2001, "e"}, {121, "A0app.jar"}},
         {"-Djava.class.path=" + extraction + "\\lib.jar;" + extraction + "\\user\\mine.zip;" + dir_ + "app.jar"}},
        // Module mode: the extracted archives and the runtime jar go on the module path.
        {{{2001, "i"}, {133, "1"}, {122, "app.mod/app.pkg.Main"}},
         {"-Djava.class.path=" + extraction + "\\user\\mine.zip", "--module-path=" + extraction + "\\lib.jar;" + runtime,
          "--add-opens=app.mod/app.pkg=com.velkor.runtime", "--add-modules=app.mod,com.velkor.runtime"}},
    };
    for (const Case& c : cases) {
        clearConfigStoreForTest();
        plain(c.keys);
        processState().flavourLetter = c.keys.at(2001)[0];
        EXPECT_EQ(assemble(), c.expected) << c.keys.at(2001);
    }
}

TEST_F(JvmOptionsTest, ModulePathCases) {
    const std::string mods = work_ + "\\mods";
    test::createDirectories(mods);
    struct Case {
        char flavour;
        std::map<int, std::string> keys;
        Options expected;
    } cases[] = {
        {'i', {{132, "S1" + mods}}, {"-Djava.class.path=", "--module-path=" + mods + ";" + dir_ + ".velkor\\vkrruntime.jar",
                                      "--add-modules=com.velkor.runtime"}},
        {'e', {{132, "A0m.jar"}, {133, "1"}, {122, "m/Main"}},
         {"-Djava.class.path=", "--module-path=" + dir_ + "m.jar", "--add-modules=m,com.quenta.runtime"}},
        // Module mode without anything on the module path adds no module option at all.
        {'e', {{133, "1"}, {122, "m/p.Main"}}, {"-Djava.class.path="}},
    };
    for (const Case& c : cases) {
        clearConfigStoreForTest();
        plain(c.keys);
        processState().flavourLetter = c.flavour;
        EXPECT_EQ(assemble(), c.expected) << c.flavour;
    }
}

TEST_F(JvmOptionsTest, XrsAndNoRedirection) {
    struct Case {
        bool service;
        bool noRedirection;
        const char* parameters;
        Options expected;
    } cases[] = {
        {true, false, "-Xrs", {"-Xrs", "-Djava.class.path="}},
        {true, false, "\"-Xrs \"", {"-Xrs ", "-Djava.class.path=", "-Xrs"}},
        {true, false, "-xrs", {"-xrs", "-Djava.class.path=", "-Xrs"}},
        {false, false, "", {"-Djava.class.path="}},                            // /run-redirect
        {false, true, "", {"-Djava.class.path=", "-Dvelkor.noRedir=true"}},    // /run
    };
    for (const Case& c : cases) {
        clearConfigStoreForTest();
        plain({{123, c.parameters}});
        processState().serviceMode = c.service;
        processState().noRedirection = c.noRedirection;
        EXPECT_EQ(assemble(), c.expected) << c.parameters;
    }
}

TEST_F(JvmOptionsTest, TheOwnFileOnlyWithKey166AndItsFirstName) {
    ownVmOptions("-Dfirst\n");
    const std::string second = narrowText(executableLongPath()) + ".vmoptions";
    ASSERT_TRUE(test::writeWholeFile(second, "-Dsecond\n"));
    plain({{166, "0"}});
    EXPECT_EQ(assemble(), (Options{"-Djava.class.path="}));
    plain({{166, "1"}});
    EXPECT_EQ(assemble(), (Options{"-Dfirst", "-Djava.class.path="}));
    DeleteFileA(ownFile_.c_str());
    EXPECT_EQ(assemble(), (Options{"-Dsecond", "-Djava.class.path="}));
    DeleteFileA(second.c_str());
}

// What the design left open, decided: include cycles end at a bounded depth, a line longer than
// a line may be is skipped whole, a UTF-8 file with its mark is read as UTF-8, a directory named
// like the file is no file.
TEST_F(JvmOptionsTest, CyclesLongLinesMarksAndDirectories) {
    plain({{166, "1"}});
    const std::string self = file("self.vmoptions", "-Dself\n-include-options self.vmoptions\n");
    ownVmOptions("-include-options " + self + "\n");
    Options options = assemble();
    Options expected(kMaxIncludeDepth, "-Dself");
    expected.push_back("-Djava.class.path=");
    EXPECT_EQ(options, expected);
    EXPECT_TRUE(logged("ERROR: " + self + " not read: -include-options nested deeper than 10 files (in " + self + ")"));

    const std::string a = file("a.vmoptions", "-Da\n-include-options b.vmoptions\n");
    file("b.vmoptions", "-Db\n-include-options a.vmoptions\n");
    ownVmOptions("-include-options " + a + "\n-Dafter\n");
    options = assemble();
    ASSERT_EQ(options.size(), 12u);
    EXPECT_EQ(options[0], "-Da");
    EXPECT_EQ(options[9], "-Db");
    EXPECT_EQ(options[10], "-Dafter") << "entries after the refused include are read";

    ownVmOptions("-Dbefore\n-Dlong=" + std::string(40000, 'x') + "\n-Dafter\n");
    EXPECT_EQ(assemble(), (Options{"-Dbefore", "-Dafter", "-Djava.class.path="}));
    EXPECT_TRUE(logged("ERROR: line 2 of the VM options file is longer than 29999 bytes and was skipped: -Dlong=xxx"));

    // The longest line read, and lines around one with a NUL byte (which once ended the line
    // early and cost the line after it).
    const std::string longest = "-Dl=" + std::string(kMaxVmOptionsLine - 4, 'y');
    ownVmOptions(longest + "\n-Dnul=a" + std::string(1, '\0') + "b\n-Xss4m\n");
    EXPECT_EQ(assemble(), (Options{longest, "-Xss4m", "-Djava.class.path="}));
    EXPECT_TRUE(logged("ERROR: line 2 of the VM options file holds a NUL byte and was skipped"));

    // A file saved as UTF-16 is said to be one, not read as a long line.
    ownVmOptions(std::string("\xFF\xFE-\0X\0m\0x\0" "1\0g\0\r\0\n\0", 18));
    EXPECT_EQ(assemble(), (Options{"-Djava.class.path="}));
    EXPECT_TRUE(logged("ERROR: the VM options file is UTF-16, which is not read: save it as UTF-8 or ANSI"));

    ownVmOptions("\xEF\xBB\xBF-Dname=Gr\xC3\xBC\xC3\x9F" "e\n-Xmx1g\n");
    EXPECT_EQ(assemble(), (Options{"-Dname=Gr\xFC\xDF" "e", "-Xmx1g", "-Djava.class.path="}));

    DeleteFileA(ownFile_.c_str());
    ASSERT_TRUE(CreateDirectoryA(ownFile_.c_str(), nullptr));
    const std::string second = narrowText(executableLongPath()) + ".vmoptions";
    ASSERT_TRUE(test::writeWholeFile(second, "-Dsecond\n"));
    options = assemble();
    RemoveDirectoryA(ownFile_.c_str());
    DeleteFileA(second.c_str());
    EXPECT_EQ(options, (Options{"-Dsecond", "-Djava.class.path="}));
}

} // namespace
} // namespace vkr
