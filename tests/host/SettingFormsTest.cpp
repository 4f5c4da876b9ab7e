// Settings in Java terms: each form's stored code, the way back through inspect, the
// options' trip through the launcher's own tokenizer, and the refusals with their messages.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "Settings.h"
#include "TestFiles.h"
#include "TomlConfig.h"
#include "core/BlockFormat.h"
#include "core/Text.h"
#include "core/Tokenizer.h"

namespace vkr::gen {
namespace {

namespace fs = std::filesystem;

class SettingFormsTest : public test::ScratchDirTest {
 protected:
  // The two settings every configuration must give, for cases about the others.
  static constexpr const char* kIdentity = "[service]\nname = \"Svc\"\n[java]\nmain-class = \"app.Main\"\n";

  std::map<int32_t, std::string> texts(const std::string& toml) {
    BlockContents c;
    std::string error;
    EXPECT_TRUE(parseConfigurationToml(toml, dir / "config.toml", c, error)) << error << "\n" << toml;
    std::map<int32_t, std::string> m;
    for (const auto& t : c.texts) m[t.key] = t.value;
    return m;
  }

  // What inspect prints for a configuration.
  std::string printed(const std::string& toml) {
    BlockContents c, back;
    std::string error, out;
    EXPECT_TRUE(parseConfigurationToml(toml, dir / "config.toml", c, error)) << error;
    std::string block = encodeBlock(c);
    MemorySource source(block);
    EXPECT_TRUE(decodeBlock(source, 0, back, error)) << error;
    EXPECT_TRUE(formatConfigurationToml(back, {}, out, error)) << error;
    return out;
  }

  static std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

// Each form stores the launcher's code, and inspect prints the code back in the preferred
// form, which stores the same bytes again.
TEST_F(SettingFormsTest, FormsStoreTheLauncherCodesAndPrintBack) {
  struct Case {
    const char* setting;  // "java.class-path = [...]" etc., below its section
    int32_t key;
    const char* stored;
    const char* printedBack;  // the line inspect prints
  } cases[] = {
      // class path and module path
      {"[java]\nclass-path = [\"app.jar\", \"lib\\\\*\", \"${CP}\"]", 121, "A0app.jar;S0lib;E0CP",
       "class-path = [\"app.jar\", \"lib\\\\*\", \"${CP}\"]"},
      {"[java]\nclass-path = [\"lib/*\", \"*\"]", 121, "S0lib;S0.", "class-path = [\"lib\\\\*\", \".\\\\*\"]"},
      {"[java]\nclass-path = [{ path = \"app.jar\", required = true }, { directory = \"classes\" }, "
       "{ scan = \"lib\", required = true }, { env = \"CP\", required = true }]",
       121, "A1app.jar;D0classes;S1lib;E1CP",
       "class-path = [{ path = \"app.jar\", required = true }, { directory = \"classes\" }, "
       "{ scan = \"lib\", required = true }, { env = \"CP\", required = true }]"},
      // letter codes of files written before: accepted, printed in the new forms
      {"[java]\nclass-path = [\"A0.\\\\app.jar\", \"S0lib\", \"A1x.jar\"]", 121, "A0.\\app.jar;S0lib;A1x.jar",
       "class-path = [\".\\\\app.jar\", \"lib\\\\*\", { path = \"x.jar\", required = true }]"},
      // a path that would read as a letter code, a wildcard or a variable prints as a table
      {"[java]\nclass-path = [{ path = \"A0x.jar\" }, { path = \"${CP}\" }]", 121, "A0A0x.jar;A0${CP}",
       "class-path = [{ path = \"A0x.jar\" }, { path = \"${CP}\" }]"},
      // a built-in place is a path, not an environment variable
      {"[java]\nclass-path = [\"${QUENTA_EXEDIR}\"]", 121, "A0${QUENTA_EXEDIR}",
       "class-path = [\"${QUENTA_EXEDIR}\"]"},
      {"[java]\nmodule-path = [\"mods\\\\*\"]", 132, "S0mods", "module-path = [\"mods\\\\*\"]"},
      // runtime search
      {"[java]\nsearch = [{ bundled = \".\\\\jre\" }, \"registry\", { env = \"JAVA_HOME\" }, \"path\", "
       "{ home = \"C:\\\\jdk\" }, \"\"]",
       128, "B.\\jre;Y;EJAVA_HOME;S;AC:\\jdk;",
       "search = [{ bundled = \".\\\\jre\" }, \"registry\", { env = \"JAVA_HOME\" }, \"path\", "
       "{ home = \"C:\\\\jdk\" }, \"\"]"},
      {"[java]\nsearch = [\"${JDK_HOME}\", \"Registry\", \"B.\\\\jre\", \"R.\\\\old\", \"Yignored\"]", 128,
       "EJDK_HOME;Y;B.\\jre;R.\\old;Yignored",
       "search = [{ env = \"JDK_HOME\" }, \"registry\", { bundled = \".\\\\jre\" }, \"R.\\\\old\", \"Yignored\"]"},
      // options and arguments: each element quoted whole for the launcher's tokenizer
      {"[java]\nvm-options = [\"-Xmx1g\", \"-Dx=a b\", \"-Dq=say \\\"hi\\\"\"]", 123,
       "\"-Xmx1g\" \"-Dx=a b\" '-Dq=say \"hi\"'", "vm-options = [\"-Xmx1g\", \"-Dx=a b\", \"-Dq=say \\\"hi\\\"\"]"},
      {"[java]\nvm-parameters = \"-Xmx1g -Dy=1\"", 123, "-Xmx1g -Dy=1", "vm-options = \"-Xmx1g -Dy=1\""},
      {"[java]\narguments = [\"--port\", \"8 0\"]", 124, "\"--port\" \"8 0\"", "arguments = [\"--port\", \"8 0\"]"},
      // the executable kind by what it decides
      {"[service]\nstart = \"automatic\"\n[launcher]\nerrors = \"console\"", 107, "4", "start = \"automatic\""},
      {"[service]\nstart = \"demand\"", 107, "0", "start = \"demand\""},
      {"[service]\nstart = \"demand\"\n[launcher]\nerrors = \"message-box\"", 107, "5", "errors = \"message-box\""},
      {"[service]\nstart = \"demand\"\n[launcher]\nerrors = \"message-box\"\n[advanced]\nwindowed = true", 107, "1",
       "windowed = true"},
      {"[launcher]\nkind = 2", 107, "2", "kind = 2"},
      // flags out of the way, under their older names too
      {"[advanced]\nflavour = \"e\"", 2001, "e", "flavour = \"e\""},
      {"[launcher]\nflavour = \"e\"", 2001, "e", "flavour = \"e\""},
      {"[log]\nflag = false", 106, "0", "log-flag = false"},
      {"[splash]\nflag = true", 163, "1", "splash-flag = true"},
      // how the service is run and recovered
      {"[service]\naccount = \"local-service\"", 30004, "1", "account = \"local-service\""},
      {"[service]\naccount = \"network-service\"", 30004, "2", "account = \"network-service\""},
      {"[service]\naccount = \"virtual\"", 30004, "3", "account = \"virtual\""},
      {"[service]\naccount = \"local-system\"", 30004, "0", "account = \"local-system\""},
      {"[service]\ndelayed-start = true", 30003, "1", "delayed-start = true"},
      {"[service]\nrestart-delays = [\"60s\", \"90s\", \"1h\"]", 30001, "60000,90000,3600000",
       "restart-delays = [\"1min\", \"90s\", \"1h\"]"},
      {"[service]\nrestart-delays = [\"0s\", \"1500ms\", \"1d\"]", 30001, "0,1500,86400000",
       "restart-delays = [\"0s\", \"1500ms\", \"1d\"]"},
      {"[service]\nrestart-delays = [\"2min\"]\nfailure-reset-period = \"86400s\"", 30002, "86400",
       "failure-reset-period = \"1d\""},
      {"[service]\nrestart-delays = [\"2min\"]\nfailure-reset-period = \"2147483647s\"", 30002, "2147483647",
       "failure-reset-period = \"2147483647s\""},
  };
  for (const auto& k : cases) {
    // The case's own tables first; the identity lines go where the case leaves room.
    std::string toml = std::string(k.setting) + "\n";
    if (toml.find("[service]") == std::string::npos) toml += "[service]\nname = \"Svc\"\n";
    else toml.insert(toml.find("[service]\n") + 10, "name = \"Svc\"\n");
    if (toml.find("[java]") == std::string::npos) toml += "[java]\nmain-class = \"app.Main\"\n";
    else toml.insert(toml.find("[java]\n") + 7, "main-class = \"app.Main\"\n");
    EXPECT_EQ(texts(toml)[k.key], k.stored) << toml;
    std::string out = printed(toml);
    EXPECT_NE(out.find(std::string("\n") + k.printedBack + "\n"), std::string::npos) << toml << "\n" << out;
  }
}

// Every list element reaches the JVM as one option: the stored text, split by the
// launcher's own tokenizer, gives the list back.
TEST_F(SettingFormsTest, OptionListsSurviveTheLaunchersTokenizer) {
  const std::vector<std::vector<std::string>> lists = {
      {"-Xmx512m"},
      {"-Dpath=C:\\Program Files\\app", "-Dempty.ending=C:\\dir\\"},
      {"-Dsay=it's", "-Dquote=\"quoted\"", "-Dmixed=a \"b\" c"},
      {"-Dtab=a\tb", "-Dtwo=  spaces  ", "-Dlatin=caf\xC3\xA9"},
      {"-Dhome=${launcher:sys.launcherDirectory}", "-include-options", "site.vmoptions"},
      {"-include-options site file.vmoptions"},
  };
  for (const auto& list : lists) {
    std::string toml = std::string(kIdentity) + "vm-options = [";
    for (size_t i = 0; i < list.size(); ++i) {
      toml += (i ? ", " : "") + std::string("\"");
      for (char c : list[i]) toml += c == '"' ? std::string("\\\"") : c == '\\' ? std::string("\\\\") : c == '\t' ? std::string("\\t") : std::string(1, c);
      toml += "\"";
    }
    toml += "]\n";
    std::string stored = texts(toml)[123];
    ArgumentVector tokens;
    tokenizeCommandLine(widenBytes(stored), tokens);
    ASSERT_EQ(tokens.size(), list.size()) << stored;
    for (size_t i = 0; i < list.size(); ++i) {
      std::string utf8;
      for (wchar_t unit : tokens[i]) {  // the stored bytes are ISO-8859-1
        if (unit < 0x80) utf8 += static_cast<char>(unit);
        else utf8 += {static_cast<char>(0xC0 | (unit >> 6)), static_cast<char>(0x80 | (unit & 0x3F))};
      }
      EXPECT_EQ(utf8, list[i]) << stored;
    }
  }
}

// The example in the new forms and the same configuration in the block's codes give the
// same bytes, and inspect prints the new forms.
TEST_F(SettingFormsTest, ExampleInNewFormsBuildsTheLetterCodeBlock) {
  const fs::path source = VKR_SOURCE_DIR;
  BlockContents readable, coded;
  std::string error;
  ASSERT_TRUE(loadConfigurationToml(source / "examples" / "service.toml", readable, error)) << error;
  ASSERT_TRUE(loadConfigurationToml(source / "tests" / "host" / "service-letter-codes.toml", coded, error)) << error;
  const std::string block = encodeBlock(readable);
  EXPECT_TRUE(block == encodeBlock(coded));
  std::string out;
  ASSERT_TRUE(formatConfigurationToml(readable, {}, out, error)) << error;
  for (const char* line : {"start = \"automatic\"", "errors = \"console\"", "class-path = [\".\\\\app.jar\", \"lib\\\\*\"]",
                           "vm-options = [\"-Xmx256m\", \"-Dfile.encoding=UTF-8\"]",
                           "search = [{ bundled = \".\\\\jre\" }, \"registry\", { env = \"JAVA_HOME\" }, { env = \"JDK_HOME\" }]",
                           "flavour = \"i\""})
    EXPECT_NE(out.find(std::string("\n") + line + "\n"), std::string::npos) << line << "\n" << out;
  for (const char* code : {"\nkind = ", "A0", "S0lib", "EJAVA_HOME", "vm-parameters", "\n[raw]"})
    EXPECT_EQ(out.find(code), std::string::npos) << code << "\n" << out;
  // And what inspect printed builds the same block once more.
  BlockContents again;
  ASSERT_TRUE(parseConfigurationToml(out, dir / "printed.toml", again, error)) << error;
  EXPECT_TRUE(encodeBlock(again) == block);
}

// A block another tool wrote may hold what no named setting accepts: it is printed raw, so
// inspect's output still builds the same bytes.
TEST_F(SettingFormsTest, ValuesTheRulesRefusePrintRaw) {
  struct Case {
    int32_t key;
    const char* value;
  } cases[] = {
      {101, "a\\b"}, {107, "-7"}, {121, "Q0x"}, {121, "A\xE9.jar"}, {128, "Zfoo"}, {126, "eleven"},
      {2001, "ij"}, {122, "com/example/Main"}, {123, "\"a\"'b'"},
  };
  for (const auto& k : cases) {
    BlockContents c;
    std::string error, out;
    ASSERT_TRUE(parseConfigurationToml(kIdentity, dir / "c.toml", c, error)) << error;
    c.texts.push_back({k.key, k.value});
    ASSERT_TRUE(formatConfigurationToml(c, {}, out, error)) << error;
    BlockContents again;
    ASSERT_TRUE(parseConfigurationToml(out, dir / "p.toml", again, error)) << k.key << ": " << error << "\n" << out;
    std::map<int32_t, std::string> t;
    for (const auto& e : again.texts) t[e.key] = e.value;
    EXPECT_EQ(t[k.key], k.value) << out;
    // Options that no list gives stay the tokenizer's text under their name; the rest go raw.
    if (k.key == 123) {
      EXPECT_NE(out.find("\nvm-options = \"\\\"a\\\"'b'\"\n"), std::string::npos) << out;
    } else {
      EXPECT_NE(out.find("\n\"" + std::to_string(k.key) + "\" = "), std::string::npos) << out;
    }
  }
  // Operations settings a build would refuse here (a delayed start of a service started by
  // hand, a reset period without restarts) go raw, so the printed file still builds.
  {
    BlockContents c, again;
    std::string error, out;
    ASSERT_TRUE(parseConfigurationToml("[service]\nname = \"Svc\"\nstart = \"demand\"\n[java]\nmain-class = \"a.B\"\n",
                                       dir / "c.toml", c, error))
        << error;
    c.texts.push_back({30003, "1"});
    c.texts.push_back({30002, "60"});
    ASSERT_TRUE(formatConfigurationToml(c, {}, out, error)) << error;
    EXPECT_NE(out.find("\n\"30002\" = \"60\"\n\"30003\" = \"1\"\n"), std::string::npos) << out;
    EXPECT_TRUE(parseConfigurationToml(out, dir / "p.toml", again, error)) << error << "\n" << out;
  }
  // Bounds each readable that together accept nothing: the maximum goes raw.
  BlockContents c;
  std::string error, out;
  ASSERT_TRUE(parseConfigurationToml(kIdentity, dir / "c.toml", c, error)) << error;
  c.texts.push_back({126, "11"});
  c.texts.push_back({127, "1.8"});
  ASSERT_TRUE(formatConfigurationToml(c, {}, out, error)) << error;
  EXPECT_NE(out.find("min-version = \"11\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"127\" = \"1.8\""), std::string::npos) << out;
  BlockContents again;
  EXPECT_TRUE(parseConfigurationToml(out, dir / "p.toml", again, error)) << error;
}

// What the launcher would misread or Windows refuse is refused at the file's line, with
// nothing written (GeneratorTest shows the nothing-written half for build).
TEST_F(SettingFormsTest, RefusesWithFileLineSettingAndReason) {
  struct Case {
    const char* toml;
    int line;
    const char* message;  // behind "FILE:LINE: "
  } cases[] = {
      // missing identity
      {"[java]\nmain-class = \"app.Main\"\n", 1,
       "service.name: missing: the service needs a name, such as name = \"MyService\" under [service]"},
      {"[service]\nname = \"Svc\"\n\n[java]\nmin-version = \"11\"\n", 4,
       "java.main-class: missing: the launcher needs the application's main class, such as main-class = "
       "\"com.example.Main\" under [java]"},
      {"[service]\nname = \"Svc\"\n[java]\nmain-class = \"  \"\n", 4,
       "java.main-class: the application needs a main class, such as \"com.example.Main\""},
      {"[service]\nname = \"Svc\"\n[java]\nmain-class = \"com/example/Main\"\n", 4,
       "java.main-class: \"com/example/Main\" holds \"/\": write the class name with dots, such as "
       "\"com.example.Main\" (\"module/class\" needs java.module-mode)"},
      {"[service]\nname = \"Svc\"\n[java]\nmain-class = \"Main.class\"\n", 4,
       "java.main-class: \"Main.class\" names a file: give the class name, such as \"com.example.Main\""},
      {"[service]\nname = \"Svc\"\n[java]\nmodule-mode = true\nmain-class = \"app.Main\"\n", 5,
       "java.main-class: \"app.Main\" is not of the form \"module/class\" that java.module-mode needs, such as "
       "\"com.example.app/com.example.app.Main\""},
      // versions the launcher's rules cannot read
      {"[java]\nmin-version = \"eleven\"\n", 2,
       "java.min-version: \"eleven\" is not a version the launcher can read: write numbers separated by \".\", "
       "\"_\", \"-\" or \"+\", as in \"1.8\", \"11\" or \"17.0.2\" (the launcher reads anything else as 0)"},
      {"[java]\nmax-version = \"17-ea\"\n", 2,
       "java.max-version: \"17-ea\" is not a version the launcher can read: write numbers separated by \".\", "
       "\"_\", \"-\" or \"+\", as in \"1.8\", \"11\" or \"17.0.2\" (the launcher reads anything else as 0)"},
      {"[java]\nmin-version = \"8\"\n", 2,
       "java.min-version: \"8\" would refuse Java 8 itself: Java 8 reports its version as 1.8 (as in 1.8.0_292), "
       "so write \"1.8\""},
      {"[service]\nname = \"Svc\"\n[java]\nmain-class = \"app.Main\"\nmin-version = \"17\"\nmax-version = \"11\"\n", 6,
       "java.max-version: no Java version is at least \"17\" and at most \"11\": the launcher would accept no runtime"},
      // unknown search steps and class path forms
      {"[java]\nsearch = [\"registry\", \"jre\"]\n", 2,
       "java.search[2]: unknown search step \"jre\": use { bundled = \"FOLDER\" }, { home = \"FOLDER\" }, "
       "{ env = \"NAME\" }, \"registry\" or \"path\""},
      {"[java]\nsearch = [\"Bundled\"]\n", 2,
       "java.search[1]: the step \"Bundled\" needs a value, as in { bundled = \"jre\" }"},
      {"[java]\nsearch = [{ folder = \"jre\" }]\n", 2,
       "java.search[1].folder: unknown form: use one of bundled, home, env"},
      {"[java]\nclass-path = [{ jar = \"app.jar\" }]\n", 2,
       "java.class-path[1].jar: unknown form: use one of path, directory, scan, env (and required)"},
      {"[java]\nclass-path = [{ path = \"a.jar\", scan = \"lib\" }]\n", 2,
       "java.class-path[1].scan: give one of path, directory, scan, env, not both path and scan"},
      {"[java]\nclass-path = [\"lib\\\\*.jar\"]\n", 2,
       "java.class-path[1]: \"lib\\*.jar\": the launcher expands no wildcards in a path; \"lib\\\\*\" (a folder and "
       "\"\\\\*\" at the end) takes every .jar and .zip file of the folder"},
      // kinds
      {"[launcher]\nkind = -7\n", 2,
       "launcher.kind: kind -7 is out of range (0 to 5); say it by name with service.start and launcher.errors"},
      {"[launcher]\nerrors = \"message-box\"\n", 2,
       "launcher.errors: message boxes and automatic start cannot be combined: the launcher registers an "
       "automatic-start service only for the kind that shows its errors on the console; set service.start = "
       "\"demand\" or launcher.errors = \"console\""},
      {"[advanced]\nwindowed = true\n", 2,
       "advanced.windowed: a windowed launcher shows its errors in message boxes: set launcher.errors = \"message-box\""},
      {"[service]\nstart = \"auto\"\n", 2,
       "service.start: \"auto\" is not a start type: use \"automatic\" (with Windows) or \"demand\" (by hand)"},
      {"[service]\nstart = \"demand\"\n[launcher]\nkind = 4\n", 2, "service.start: key 107 is already set by launcher.kind"},
      // ANSI paths
      {"[java]\nclass-path = [\"caf\xC3\xA9.jar\"]\n", 2,
       "java.class-path[1]: \"caf\xC3\xA9.jar\" holds the non-ASCII character U+00E9: the launcher reads this "
       "setting as a path in the ANSI code page, so on a machine with another code page the same byte names "
       "another file"},
      {"[java]\nsearch = [{ bundled = \"jr\xC3\xA9\" }]\n", 2,
       "java.search[1]: \"jr\xC3\xA9\" holds the non-ASCII character U+00E9: the launcher reads this setting as a "
       "path in the ANSI code page, so on a machine with another code page the same byte names another file"},
      {"[launcher]\nnative-library-path = [\"n\xC3\xA4tive\"]\n", 2,
       "launcher.native-library-path[1]: \"n\xC3\xA4tive\" holds the non-ASCII character U+00E4: the launcher "
       "reads this setting as a path in the ANSI code page, so on a machine with another code page the same "
       "byte names another file"},
      {"[launcher]\napplication-directory = \"\xC3\xBC\"\n", 2,
       "launcher.application-directory: \"\xC3\xBC\" holds the non-ASCII character U+00FC: the launcher reads "
       "this setting as a path in the ANSI code page, so on a machine with another code page the same byte "
       "names another file"},
      {"[[files]]\nname = \"lib\\\\caf\xC3\xA9.dll\"\nsource = \"x.dll\"\n", 2,
       "files[1].name: \"lib\\caf\xC3\xA9.dll\" holds the non-ASCII character U+00E9: the launcher reads this "
       "setting as a path in the ANSI code page, so on a machine with another code page the same byte names "
       "another file"},
      {"[java]\nclass-path = [{ env = \"F\xC3\xBC\" }]\n", 2,
       "java.class-path[1]: \"F\xC3\xBC\" holds the non-ASCII character U+00FC: the launcher looks the variable "
       "up in the ANSI code page, where that byte is another character on a machine with another code page"},
      // service names the service manager refuses
      {"[service]\nname = \"a\\\\b\"\n", 2,
       "service.name: \"a\\b\" holds \"/\" or \"\\\", which the service manager refuses in a service name"},
      {"[service]\nname = \"a/b\"\n", 2,
       "service.name: \"a/b\" holds \"/\" or \"\\\", which the service manager refuses in a service name"},
      {"[service]\nname = \"\"\n", 2, "service.name: the service needs a name"},
      // options that cannot reach the JVM as one
      {"[java]\nvm-options = [\"-Da='b'\\\"c\\\"\"]\n", 2,
       "java.vm-options[1]: \"-Da='b'\"c\"\" holds both \" and ': the launcher's tokenizer cannot read that back as "
       "one element"},
      {"[java]\nvm-options = [\"-Xmx1g\", \"\"]\n", 2,
       "java.vm-options[2]: an empty element would reach the program as an empty option"},
      // how the service is run and recovered: nothing the launcher would drop or the service
      // manager refuse at /install, and never an account that needs a password
      {"[service]\naccount = \".\\\\admin\"\n", 2,
       "service.account: \".\\admin\" is not an account the service can run as without a password: use "
       "\"local-system\", \"local-service\", \"network-service\" or \"virtual\""},
      {"[service]\nrestart-delays = [\"60\"]\n", 2,
       "service.restart-delays[1]: \"60\" is not a duration: write a whole number and a unit, as in \"30s\", "
       "\"2min\", \"1h\", \"1d\" or \"500ms\""},
      {"[service]\nrestart-delays = [\"1min\",\n  \"1.5h\"]\n", 3,
       "service.restart-delays[2]: \"1.5h\" is not a duration: write a whole number and a unit, as in \"30s\", "
       "\"2min\", \"1h\", \"1d\" or \"500ms\""},
      {"[service]\nrestart-delays = [\"25h\"]\n", 2, "service.restart-delays[1]: \"25h\": a restart waits at most a day"},
      {"[service]\nrestart-delays = [\"1s\", \"1s\", \"1s\",\n \"1s\"]\n", 3,
       "service.restart-delays[4]: give 1 to 3 delays (the service manager restarts the service after each failure, "
       "then leaves it stopped until the failures are counted from zero again)"},
      {"[service]\nrestart-delays = []\n", 2,
       "service.restart-delays: give 1 to 3 delays (the service manager restarts the service after each failure, "
       "then leaves it stopped until the failures are counted from zero again)"},
      {"[service]\nrestart-delays = \"1min\"\n", 2, "service.restart-delays: expected a list of durations, found a text"},
      {"[service]\nrestart-delays = [\"1min\"]\nfailure-reset-period = \"1500ms\"\n", 3,
       "service.failure-reset-period: \"1500ms\": the service manager counts the reset period in whole seconds, "
       "up to 2147483647s"},
      {"[service]\nrestart-delays = [\"1min\"]\nfailure-reset-period = \"24856d\"\n", 3,
       "service.failure-reset-period: \"24856d\": the service manager counts the reset period in whole seconds, "
       "up to 2147483647s"},
      {"[service]\nname = \"Svc\"\nfailure-reset-period = \"1d\"\n[java]\nmain-class = \"app.Main\"\n", 3,
       "service.failure-reset-period: the reset period counts failures for restarts: set service.restart-delays too"},
      {"[service]\nname = \"Svc\"\nstart = \"demand\"\ndelayed-start = true\n[java]\nmain-class = \"app.Main\"\n", 4,
       "service.delayed-start: a delayed start applies to a service that starts with Windows: set service.start = "
       "\"automatic\" or leave delayed-start out"},
  };
  // Most faults are found while the file is read, before the check for the service's name
  // and main class; the cases of the checks after it give both.
  for (const auto& k : cases) {
    const std::string toml = k.toml;
    BlockContents c;
    std::string error;
    EXPECT_FALSE(parseConfigurationToml(toml, dir / "config.toml", c, error)) << toml;
    EXPECT_EQ(error, (dir / "config.toml").string() + ":" + std::to_string(k.line) + ": " + k.message) << toml;
  }
  // Fault pinned: the version-specific options' keys run upward from 10201 without end, and
  // the 9901st pattern landed on key 30001, read by /install as the restart delays.
  std::string many(kIdentity);
  for (size_t i = 0; i <= kMaxVersionOptions; ++i) many += "[[java.version-options]]\npattern = \"1*\"\noptions = \"-Xss1m\"\n";
  BlockContents c;
  std::string error;
  EXPECT_FALSE(parseConfigurationToml(many, dir / "config.toml", c, error));
  EXPECT_NE(error.find("java.version-options: at most 9000 entries"), std::string::npos) << error;
}

}  // namespace
}  // namespace vkr::gen
