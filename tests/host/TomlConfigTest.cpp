#include <gtest/gtest.h>

#include <map>

#include "core/BlockFormat.h"
#include "Settings.h"
#include "TestFiles.h"
#include "TomlConfig.h"

namespace vkr::gen {
namespace {

class TomlConfigTest : public test::ScratchDirTest {
 protected:
  static size_t firstDifference(const std::string& a, const std::string& b) {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    return i;
  }

  // These cases are about everything but the service's name and main class, which every
  // real configuration must give: they take the shipped launcher's.
  static constexpr ParseOptions kShippedIdentity{true};

  BlockContents parse(const std::string& toml) {
    BlockContents c;
    std::string error;
    EXPECT_TRUE(parseConfigurationToml(toml, dir / "config.toml", c, error, kShippedIdentity)) << error;
    return c;
  }

  static std::map<int32_t, std::string> texts(const BlockContents& c) {
    std::map<int32_t, std::string> m;
    for (const auto& t : c.texts) m[t.key] = t.value;
    return m;
  }

  static std::map<int32_t, std::u16string> messages(const BlockContents& c) {
    std::map<int32_t, std::u16string> m;
    for (const auto& t : c.messages) m[t.key] = t.text;
    return m;
  }

  // build -> inspect -> build, as the command line does it, with the files extracted.
  std::string rebuilt(const std::string& block) {
    MemorySource source(block);
    BlockContents back;
    std::string error, toml;
    std::vector<std::string> sources;
    EXPECT_TRUE(decodeBlock(source, 0, back, error)) << error;
    EXPECT_TRUE(extractIncludedFiles(back, dir / "extracted", sources, error)) << error;
    EXPECT_TRUE(formatConfigurationToml(back, sources, toml, error)) << error;
    BlockContents again;
    EXPECT_TRUE(parseConfigurationToml(toml, dir / "printed.toml", again, error, kShippedIdentity))
        << error << "\n" << toml;
    return encodeBlock(again);
  }
};

TEST_F(TomlConfigTest, LeftOutSettingsTakeTheShippedValues) {
  BlockContents c = parse("");
  auto t = texts(c);
  std::map<int32_t, std::string> shipped = {
      {101, "Service"}, {102, "1"}, {103, "error.log"}, {104, "0"}, {106, "1"}, {107, "4"},
      {108, "0"}, {121, "A0.\\app.jar"},
      {123, "\"-Xmx512m\" \"-Dfile.encoding=UTF-8\" \"-Dvelkor.launcherId=434\" -Dvelkor.swt=false"},
      {125, "1"}, {126, "1.8"}, {127, ""}, {128, "B.\\jre;Y;EJAVA_HOME;EJDK_HOME;"},
      {146, "."}, {166, "1"}, {2001, "i"}, {2002, "0"}, {2003, ""}, {10003, "."},
      {10004, ".\\.;.\\lib"}, {10005, "1"}, {10008, "1"}, {10109, "20"}, {10111, ""},
      {10112, "Arial"}, {10114, "0,0,0"}, {10117, "40"}, {10118, "version 1.3.2"},
      {10122, "500"}, {10200, "0"},
  };
  for (const auto& [key, value] : shipped) EXPECT_EQ(t[key], value) << "key " << key;
  EXPECT_FALSE(t.count(10201));
  // Left out, the service's account, delayed start and recovery are not in the block at all:
  // /install then registers the service as it always has.
  for (int32_t key : {30001, 30002, 30003, 30004}) EXPECT_FALSE(t.count(key)) << "key " << key;
  auto m = messages(c);
  EXPECT_EQ(m[1000], u"Error");
  EXPECT_EQ(m[1006], u"File or directory {0} not found or empty\n");
  EXPECT_TRUE(m[1016].starts_with(u"No JVM could be found on your system.\nPlease define "));
  EXPECT_TRUE(m[1016].ends_with(u"."));
  ASSERT_TRUE(m.count(20017));
  EXPECT_EQ(m[20017], u"");
  EXPECT_EQ(m.size(), 12u);
  EXPECT_TRUE(c.groups.empty());
}

TEST_F(TomlConfigTest, MapsTypedSettingsToTheirStoredForm) {
  write("a.jar", "jar");
  write("native/b.dll", std::string("\0\xA7\xFF", 3));
  BlockContents c = parse(R"toml(
[service]
name = "Démo"
dependencies = ["Tcpip", "Afd"]
description = "Zählt €"
[launcher]
kind = 5
reduce-path = true
[java]
class-path = ["A1.\\app.jar", "S0lib"]
[[java.version-options]]
pattern = "1.8*"
options = "-Xss1m"
[[java.version-options]]
pattern = "11*"
options = "-Xss2m"
[splash]
version-x = 2147483647
[raw]
"141" = "kept"
[messages]
"1000" = "Fehler"
[[files]]
name = "a.jar"
source = "a.jar"
[[files]]
name = "lib\\b.dll"
source = "native/b.dll"
)toml");
  auto t = texts(c);
  EXPECT_EQ(t[101], "D\xE9mo");
  EXPECT_EQ(t[149], "Tcpip,Afd");
  EXPECT_EQ(t[107], "5");
  EXPECT_EQ(t[10010], "1");
  EXPECT_EQ(t[121], "A1.\\app.jar;S0lib");
  EXPECT_EQ(t[10116], "2147483647");
  EXPECT_EQ(t[10200], "2");
  EXPECT_EQ(t[10201], "1.8*");
  EXPECT_EQ(t[10202], "-Xss1m");
  EXPECT_EQ(t[10204], "-Xss2m");
  EXPECT_EQ(t[141], "kept");
  EXPECT_EQ(t[2002], "2");
  EXPECT_EQ(t[2003], "a.jar;lib\\b.dll");
  auto m = messages(c);
  EXPECT_EQ(m[20017], u"Z\u00e4hlt \u20ac");
  EXPECT_EQ(m[1000], u"Fehler");  // replaces the default
  EXPECT_EQ(m[1005].substr(0, 7), u"The JVM");
  ASSERT_EQ(c.files.size(), 2u);
  EXPECT_EQ(c.files[1].name, "lib\\b.dll");
  EXPECT_EQ(c.files[1].content, std::string("\0\xA7\xFF", 3));
  // Entries in ascending key order, so the same settings always give the same bytes.
  for (size_t i = 1; i < c.texts.size(); ++i) EXPECT_LT(c.texts[i - 1].key, c.texts[i].key);
}

// Groups apply in file order and a later group wins, so their order is part of the
// configuration.
TEST_F(TomlConfigTest, KeepsLocaleGroupsInFileOrder) {
  BlockContents c = parse(R"toml(
[[locale]]
prefix = "de_CH"
[locale.messages]
"1000" = "Fehler (CH)"
[[locale]]
prefix = "de"
[locale.messages]
"1011" = "Keine main-Methode."
"1000" = "Fehler"
[[locale]]
prefix = ""
)toml");
  ASSERT_EQ(c.groups.size(), 3u);
  EXPECT_EQ(c.groups[0].prefix, "de_CH");
  EXPECT_EQ(c.groups[1].prefix, "de");
  ASSERT_EQ(c.groups[1].messages.size(), 2u);
  EXPECT_EQ(c.groups[1].messages[0].key, 1000);
  EXPECT_EQ(c.groups[2].prefix, "");
  EXPECT_TRUE(c.groups[2].messages.empty());
}

TEST_F(TomlConfigTest, BuildInspectBuildGivesTheSameBytes) {
  write("app/a.jar", "PK\x03\x04 jar bytes");
  write("empty.bin", "");
  std::string block = encodeBlock(parse(R"toml(
[service]
name = "Tab\there \"quoted\" ÿ"
description = "😀 surrogate pair"
[launcher]
native-library-path = []
working-directory = "back\\slash"
[java]
search = ["B.\\jre", "", "Y"]
[[java.version-options]]
pattern = "17*"
options = "-XX:+UseZGC"
[raw]
"141" = "\u0001control\u0085"
"107" = "not a number"
"-5" = ""
[messages]
"1000" = "line\nbreak"
"99" = ""
[[locale]]
prefix = "fr"
[locale.messages]
"1000" = "Erreur"
[[locale]]
prefix = "de"
[locale.messages]
"20017" = "Dienst"
[[files]]
name = "lib\\a.jar"
source = "app/a.jar"
[[files]]
name = "empty.bin"
source = "empty.bin"
)toml"));
  std::string second = rebuilt(block);
  EXPECT_TRUE(second == block) << "first difference at byte " << firstDifference(second, block);
  EXPECT_TRUE(rebuilt(second) == block);
}

// Blocks not written by this generator: values a typed setting cannot show, a version
// option count without its pairs, keys given twice. Printing them raw keeps them.
TEST_F(TomlConfigTest, PrintsUntypableValuesRaw) {
  BlockContents foreign = parse("");
  foreign.texts.push_back({102, "yes"});
  foreign.texts.push_back({10109, "007"});
  foreign.texts.push_back({10200, "3"});
  foreign.texts.push_back({10201, "1.8*"});
  std::string toml, error;
  ASSERT_TRUE(formatConfigurationToml(foreign, {}, toml, error)) << error;
  EXPECT_NE(toml.find("\"102\" = \"yes\""), std::string::npos) << toml;
  EXPECT_NE(toml.find("\"10109\" = \"007\""), std::string::npos) << toml;
  EXPECT_NE(toml.find("\"10200\" = \"3\""), std::string::npos) << toml;
  BlockContents again;
  ASSERT_TRUE(parseConfigurationToml(toml, dir / "p.toml", again, error, kShippedIdentity)) << error;
  auto t = texts(again);
  EXPECT_EQ(t[102], "yes");
  EXPECT_EQ(t[10109], "007");
  EXPECT_EQ(t[10200], "3");
}

TEST_F(TomlConfigTest, InspectWithoutExtractionPrintsAPlaceholder) {
  BlockContents c = parse("");
  c.files = {{"lib\\x.dll", "abc"}};
  std::string toml, error;
  ASSERT_TRUE(formatConfigurationToml(c, {}, toml, error)) << error;
  EXPECT_NE(toml.find("name = \"lib\\\\x.dll\"\n# 3 bytes, not extracted: run inspect with "
                      "--extract-dir DIR to write them out\nsource = \"\""),
            std::string::npos)
      << toml;
}

TEST_F(TomlConfigTest, RefusesBadSettingsNamingFileLineAndSetting) {
  write("present.jar", "x");
  struct Case {
    const char* toml;
    int line;
    const char* setting;
    const char* why;
  } cases[] = {
      {"[service]\nnaem = \"x\"\n", 2, "service.naem", "unknown setting"},
      {"[server]\nname = \"x\"\n", 1, "server", "unknown setting"},
      {"\n[launcher]\nkind = \"4\"\n", 3, "launcher.kind", "expected an integer, found a text"},
      {"[log]\nerror-log = 1\n", 2, "log.error-log", "expected a boolean"},
      {"[java]\nclass-path = \"A0.\\\\a.jar\"\n", 2, "java.class-path", "expected a list of paths"},
      {"[launcher]\nkind = 2147483648\n", 2, "launcher.kind", "out of the 32-bit range"},
      {"[splash]\nstatus-x = -2147483649\n", 2, "splash.status-x", "out of the 32-bit range"},
      {"[java]\nsearch = [\"Y\",\n  \"Ba;b\"]\n", 3, "java.search[2]", "separator"},
      {"[service]\ndependencies = [\"a,b\"]\n", 2, "service.dependencies[1]", "separator"},
      {"[service]\nname = \"\xE2\x82\xAC\"\n", 2, "service.name", "U+20AC"},
      {"[[files]]\nname = \"a.jar\"\nsource = \"missing.jar\"\n", 3, "files[1].source", "not found"},
      {"[[files]]\nname = \"..\\\\evil.dll\"\nsource = \"present.jar\"\n", 2, "files[1].name", "\"..\""},
      {"[[files]]\nname = \"a\\\\b\\\\c.dll\"\nsource = \"present.jar\"\n", 2, "files[1].name", "one directory level"},
      {"[[files]]\nname = \"a;b\"\nsource = \"present.jar\"\n", 2, "files[1].name", "\";\""},
      {"[[files]]\nname = \"C:\\\\x\"\nsource = \"present.jar\"\n", 2, "files[1].name", "relative"},
      {"[[files]]\nsource = \"present.jar\"\n", 1, "files[1]", "missing name"},
      {"[[files]]\nname = \"a.jar\"\nsource = \"\"\n", 3, "files[1].source", "no source given"},
      {"[service]\nname = \"a\"\n[raw]\n\"101\" = \"b\"\n", 4, "raw.101", "already set by service.name"},
      {"[raw]\n\"2002\" = \"1\"\n", 2, "raw.2002", "derived from the [[files]] list"},
      {"[raw]\n\"0x10\" = \"1\"\n", 2, "raw.0x10", "decimal 32-bit number"},
      {"[raw]\n\"141\" = 5\n", 2, "raw.141", "expected a text"},
      {"[messages]\n\"20017\" = \"d\"\n", 2, "messages.20017", "service.description"},
      {"[[locale]]\n[locale.messages]\n\"1000\" = \"x\"\n", 1, "locale[1]", "missing prefix"},
      {"[[java.version-options]]\npattern = \"1*\"\n", 1, "java.version-options[1]", "missing options"},
  };
  for (const auto& k : cases) {
    BlockContents c;
    std::string error;
    EXPECT_FALSE(parseConfigurationToml(k.toml, dir / "config.toml", c, error)) << k.toml;
    std::string where = (dir / "config.toml").string() + ":" + std::to_string(k.line) + ": " +
                        k.setting + ": ";
    EXPECT_EQ(error.rfind(where, 0), 0u) << "expected " << where << "\n got " << error;
    EXPECT_NE(error.find(k.why), std::string::npos) << error;
  }
}

TEST_F(TomlConfigTest, RefusesMalformedTomlWithItsLine) {
  BlockContents c;
  std::string error;
  EXPECT_FALSE(parseConfigurationToml("[service]\nname = \"x\"\nname = \"y\"\n", dir / "config.toml", c, error));
  EXPECT_EQ(error.rfind((dir / "config.toml").string() + ":3: ", 0), 0u) << error;
}

}  // namespace
}  // namespace vkr::gen
