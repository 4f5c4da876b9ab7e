// From a jar to the folder that ships: zip archives both ways, what a jar's manifest tells,
// `vkrgen init` and `vkrgen package`.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "Generator.h"
#include "Init.h"
#include "Jar.h"
#include "Package.h"
#include "PeFixture.h"
#include "TestFiles.h"
#include "Zip.h"
#include "core/BlockFormat.h"

namespace vkr::gen {
namespace {

namespace fs = std::filesystem;

class PackageTest : public test::ScratchDirTest {
 protected:
  // A jar as the JDK's jar tool writes one: a deflated manifest and a class whose header
  // names the class file version.
  fs::path makeJar(const std::string& name, const std::string& manifest, const std::string& mainClassEntry = "",
                   int classMajor = 55) {
    std::string header("\xCA\xFE\xBA\xBE\x00\x00\x00", 7);
    header += static_cast<char>(classMajor);
    write("jar-parts/manifest", manifest);
    write("jar-parts/class", header + std::string(100, '\0'));
    ZipWriter zip;
    std::string error;
    fs::path path = dir / name;
    fs::create_directories(path.parent_path());
    EXPECT_TRUE(zip.open(path, 0, error)) << error;
    EXPECT_TRUE(zip.addDirectory("META-INF/", error)) << error;
    EXPECT_TRUE(zip.addFile("META-INF/MANIFEST.MF", dir / "jar-parts/manifest", error)) << error;
    if (!mainClassEntry.empty()) {
      EXPECT_TRUE(zip.addFile(mainClassEntry, dir / "jar-parts/class", error)) << error;
    }
    EXPECT_TRUE(zip.finish(error)) << error;
    return path;
  }

  // Names below a folder, "/"-separated, folders with a trailing "/".
  static std::set<std::string> listing(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
      std::string name = item.path().lexically_relative(folder).generic_string();
      names.insert(item.is_directory() ? name + "/" : name);
    }
    return names;
  }

  // Whatever the parent of an output holds besides the named entries: staging leftovers.
  std::set<std::string> entries(const fs::path& folder) {
    std::set<std::string> names;
    if (!fs::exists(folder)) return names;
    for (const auto& item : fs::directory_iterator(folder)) names.insert(item.path().filename().string());
    return names;
  }

  // An application as `vkrgen package` expects it: configuration, jars, launcher, runtime jar.
  PackageRequest application(const std::string& settings) {
    write("app/build/app.jar", "app jar");
    write("app/build/lib/a.jar", "a");
    write("app/build/lib/B.JAR", "b");
    write("app/build/lib/readme.txt", "not taken");
    write("app/build/classes/x/Y.class", "class");
    PackageRequest request;
    request.config = write("app/app.toml", "[service]\nname = \"App\"\n[java]\nmain-class = \"app.Main\"\n" + settings +
                                               "\n[package]\nfrom = \"build\"\n");
    request.output = dir / "out" / "app-service";
    request.launcher = write("vkrsvc.exe", vkr::test::makePe(vkr::test::PeShape{}));
    request.runtimeJar = write("vkrruntime.jar", "runtime");
    return request;
  }

  fs::path stubRuntime(const std::string& name, const std::string& version) {
    write(name + "/bin/java.exe", "java");
    write(name + "/bin/server/jvm.dll", "jvm");
    if (!version.empty()) write(name + "/release", "IMPLEMENTOR=\"x\"\nJAVA_VERSION=\"" + version + "\"\n");
    return dir / name;
  }
};

TEST_F(PackageTest, ZipArchivesRoundTrip) {
  std::mt19937 random(7);
  std::string noise(200 * 1024, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  std::map<std::string, std::string> files = {
      {"empty", ""}, {"text.txt", std::string(100000, 'a') + "end"}, {"noise.bin", noise}, {"caf\xC3\xA9/\xC3\xBC.txt", "u"}};
  ZipWriter writer;
  std::string error;
  ASSERT_TRUE(writer.open(dir / "a.zip", 1700000000, error)) << error;
  ASSERT_TRUE(writer.addDirectory("caf\xC3\xA9/", error)) << error;
  for (const auto& [name, content] : files) ASSERT_TRUE(writer.addFile(name, write("src" + std::to_string(name.size()), content), error)) << error;
  ASSERT_TRUE(writer.finish(error)) << error;

  ZipReader reader;
  ASSERT_TRUE(reader.open(dir / "a.zip", error)) << error;
  ASSERT_EQ(reader.entries().size(), files.size() + 1);
  EXPECT_EQ(reader.entries()[0].name, "caf\xC3\xA9/");
  for (const auto& [name, content] : files) {
    const ZipEntry* entry = reader.find(name);
    ASSERT_NE(entry, nullptr) << name;
    std::string back;
    ASSERT_TRUE(reader.read(*entry, 1 << 20, back, error)) << error;
    EXPECT_TRUE(back == content) << name;
  }
  EXPECT_LT(reader.find("text.txt")->compressedSize, 1000u);  // deflated
}

// A jar is not trusted input: damage is reported, never read past or allocated for.
TEST_F(PackageTest, ZipReaderRefusesDamage) {
  write("content", std::string(5000, 'x'));
  ZipWriter writer;
  std::string error;
  ASSERT_TRUE(writer.open(dir / "good.zip", 0, error) && writer.addFile("x", dir / "content", error) && writer.finish(error));
  const std::string good = read(dir / "good.zip");
  std::string flipped = good;
  flipped[40] = static_cast<char>(flipped[40] ^ 0x55);  // inside the deflated data
  struct Case {
    const char* name;
    std::string bytes;
    uint64_t maxSize;
    const char* expected;
  } cases[] = {
      {"not a zip", "just text", 1 << 20, "not a readable zip archive (too short)"},
      {"no end record", std::string(100, 'z'), 1 << 20, "no end of central directory"},
      {"cut short", good.substr(0, good.size() - 30) + good.substr(good.size() - 22), 1 << 20, "central directory"},
      {"damaged data", flipped, 1 << 20, "x: "},
      {"too large", good, 4000, "x: larger than 4000 bytes"},
  };
  for (const auto& k : cases) {
    auto path = write(std::string(k.name) + ".zip", k.bytes);
    ZipReader reader;
    std::string why, content;
    bool ok = reader.open(path, why);
    if (ok) {
      const ZipEntry* entry = reader.find("x");
      ok = entry && reader.read(*entry, k.maxSize, content, why);
    }
    EXPECT_FALSE(ok) << k.name;
    EXPECT_NE(why.find(k.expected), std::string::npos) << k.name << ": " << why;
  }
}

TEST_F(PackageTest, ManifestAndClassFileFacts) {
  const std::string manifest =
      "Manifest-Version: 1.0\r\nmain-class: com.example.\r\n Main  \r\nClass-Path: lib/a.jar lib/with%20blank.jar\r\n"
      "  classes/\r\n\r\nName: other\r\nMain-Class: not.this.One\r\n";
  EXPECT_EQ(manifestAttribute(manifest, "Main-Class"), "com.example.Main  ");
  EXPECT_EQ(manifestClassPath(manifestAttribute(manifest, "Class-Path")),
            (std::vector<std::string>{"lib/a.jar", "lib/with blank.jar", "classes/"}));
  EXPECT_EQ(manifestAttribute("Manifest-Version: 1.0\n", "Main-Class"), "");
  const std::pair<int, const char*> versions[] = {{45, "1.1"}, {49, "1.5"}, {52, "1.8"}, {53, "9"},
                                                  {55, "11"},  {61, "17"}, {44, ""},    {101, "57"}, {256, ""}};
  for (const auto& [major, version] : versions) EXPECT_EQ(javaVersionForClassFile(major), version) << major;

  auto jar = makeJar("app.jar", manifest, "com/example/Main.class", 61);
  JarFacts facts;
  std::string error;
  ASSERT_TRUE(readJarFacts(jar, facts, error)) << error;
  EXPECT_EQ(facts.mainClass, "com.example.Main");
  EXPECT_EQ(facts.classPath.size(), 3u);
  EXPECT_EQ(facts.classFileMajor, 61);
}

TEST_F(PackageTest, InitWritesAStarterThatBuilds) {
  auto jar = makeJar("build/libs/billing-2.4.1-SNAPSHOT.jar",
                     "Main-Class: com.example.billing.Main\nClass-Path: lib/dep.jar ../shared/x.jar classes/ "
                     "lib\\..\\..\\s.jar\n",
                     "com/example/billing/Main.class", 55);
  fs::path written;
  std::string error;
  ASSERT_TRUE(writeStarterConfiguration({jar, dir / "billing.toml", ""}, written, error)) << error;
  EXPECT_EQ(written, dir / "billing.toml");
  const std::string text = read(written);
  for (const char* line :
       {"name = \"billing\"", "main-class = \"com.example.billing.Main\"",
        "class-path = [\"billing-2.4.1-SNAPSHOT.jar\", \"lib\\\\dep.jar\", { directory = \"classes\" }]",
        "# not packaged, outside the jar's folder: ../shared/x.jar",
        "# not packaged, outside the jar's folder: lib\\..\\..\\s.jar", "min-version = \"11\"", "start = \"automatic\"",
        "search = [{ bundled = \"jre\" }, \"registry\", { env = \"JAVA_HOME\" }]", "from = \"build/libs\""})
    EXPECT_NE(text.find(std::string("\n") + line + "\n"), std::string::npos) << line << "\n" << text;
  BlockContents config;
  ASSERT_TRUE(loadConfigurationToml(written, config, error)) << error;
  EXPECT_EQ(effectiveText(config, 121), "A0billing-2.4.1-SNAPSHOT.jar;A0lib\\dep.jar;D0classes");

  // The service settings it offers as comments build once the "#" is taken out.
  std::string uncommented = text;
  for (const char* setting : {"restart-delays = ", "delayed-start = ", "account = "}) {
    const size_t at = uncommented.find(std::string("\n# ") + setting);
    ASSERT_NE(at, std::string::npos) << setting << "\n" << text;
    uncommented.erase(at + 1, 2);
  }
  write("uncommented.toml", uncommented);
  ASSERT_TRUE(loadConfigurationToml(dir / "uncommented.toml", config, error)) << error;
  EXPECT_EQ(effectiveText(config, 30001), "60000,300000");
  EXPECT_EQ(effectiveText(config, 30003), "1");
  EXPECT_EQ(effectiveText(config, 30004), "3");

  // Never over an existing file, which stays as it was.
  write("billing.toml", "mine");
  EXPECT_FALSE(writeStarterConfiguration({jar, dir / "billing.toml", ""}, written, error));
  EXPECT_NE(error.find("billing.toml: already exists"), std::string::npos) << error;
  EXPECT_EQ(read(dir / "billing.toml"), "mine");
}

TEST_F(PackageTest, InitNeedsAMainClass) {
  auto library = makeJar("lib.jar", "Manifest-Version: 1.0\n");
  fs::path written;
  std::string error;
  EXPECT_FALSE(writeStarterConfiguration({library, dir / "lib.toml", ""}, written, error));
  EXPECT_EQ(error, (dir / "lib.jar").string() + ": its manifest names no Main-Class: give the main class with --main-class NAME");
  EXPECT_FALSE(fs::exists(dir / "lib.toml"));
  ASSERT_TRUE(writeStarterConfiguration({library, dir / "lib.toml", "org.lib.Tool"}, written, error)) << error;
  // No class to read the version from: the launcher's own default bound.
  EXPECT_NE(read(written).find("\nmin-version = \"1.8\"\n"), std::string::npos);
  EXPECT_EQ(read(written).find("[package]"), std::string::npos);  // the jar lies beside it
}

TEST_F(PackageTest, ServiceNamesForJars) {
  const std::pair<const char*, const char*> names[] = {
      {"billing-2.4.1-SNAPSHOT.jar", "billing"}, {"my-app-1.0.jar", "my-app"}, {"app.jar", "app"},
      {"app-v2.jar", "app-v2"},                  {"-1.0.jar", "-1.0"},        {"Tool.JAR", "Tool"},
      {"App.Jar", "App"}};
  for (const auto& [file, name] : names) EXPECT_EQ(serviceNameForJar(file), name) << file;
}

TEST_F(PackageTest, LaysOutTheFolderAndItsZip) {
  PackageRequest request = application("class-path = [\"app.jar\", \"lib\\\\*\", { directory = \"classes\" }]");
  request.jre = stubRuntime("jdk17", "17.0.2");
  request.zip = dir / "out" / "app-service.zip";
  std::vector<std::string> report;
  std::string error;
  ASSERT_TRUE(packageApplication(request, report, error)) << error;
  EXPECT_EQ(listing(request.output),
            (std::set<std::string>{"app.exe", ".velkor/", ".velkor/vkrruntime.jar", "app.jar", "lib/", "lib/a.jar",
                                   "lib/B.JAR", "classes/", "classes/x/", "classes/x/Y.class", "app.vmoptions", "jre/",
                                   "jre/bin/", "jre/bin/java.exe", "jre/bin/server/", "jre/bin/server/jvm.dll",
                                   "jre/release"}));
  EXPECT_EQ(read(request.output / ".velkor" / "vkrruntime.jar"), "runtime");
  // The launcher with the configuration's block behind its last section.
  const std::string exe = read(request.output / "app.exe");
  EXPECT_EQ(vkr::test::get32(exe, 0x500), kBlockMagic);
  // A template the launcher reads as nothing but comments.
  const std::string vmOptions = read(request.output / "app.vmoptions");
  EXPECT_NE(vmOptions.find("-Xmx1024m"), std::string::npos);
  size_t lines = 0;
  for (size_t at = 0; at < vmOptions.size(); ++lines) {
    size_t end = vmOptions.find("\r\n", at);
    ASSERT_NE(end, std::string::npos) << "lines end with CR LF";
    std::string line = vmOptions.substr(at, end - at);
    EXPECT_EQ(line.find_first_not_of(' '), line.find('#')) << line;
    at = end + 2;
  }
  EXPECT_GT(lines, 10u);
  // The zip holds the folder under its own name.
  ZipReader zip;
  ASSERT_TRUE(zip.open(request.zip, error)) << error;
  std::set<std::string> zipped;
  for (const auto& entry : zip.entries()) zipped.insert(entry.name);
  std::set<std::string> expected = {"app-service/"};
  for (const auto& name : listing(request.output)) expected.insert("app-service/" + name);
  EXPECT_EQ(zipped, expected);
  std::string content;
  ASSERT_TRUE(zip.read(*zip.find("app-service/lib/a.jar"), 100, content, error)) << error;
  EXPECT_EQ(content, "a");
  EXPECT_EQ(entries(dir / "out"), (std::set<std::string>{"app-service", "app-service.zip"}));
}

// Whatever is wrong is found before the output is touched: it stays as it was, and nothing
// is left beside it.
TEST_F(PackageTest, RefusesWithoutTouchingTheOutput) {
  struct Case {
    const char* name;
    std::string settings;
    std::string jre;          // a runtime folder to ship ("" none)
    bool runtimeJar = true;   // vkrruntime.jar where the request says
    bool occupied = false;    // the output holds a file already
    bool overwrite = false;
    bool outputHoldsConfig = false;
    const char* expected;
  } cases[] = {
      {"missing jar", "class-path = [\"missing.jar\"]", "", true, false, false, false, "missing.jar does not exist"},
      {"missing folder", "class-path = [\"plugins\\\\*\"]", "", true, false, false, false, "the folder "},
      {"outside", "class-path = [\"..\\\\x.jar\"]", "", true, false, false, false,
       "java.class-path: \"..\\x.jar\" leads out of the launcher's folder"},
      {"no runtime jar", "", "", false, false, false, false, "vkrruntime.jar not found at "},
      {"not empty", "", "", true, true, false, false, "the folder is not empty; give --overwrite"},
      {"holds the configuration", "", "", true, false, true, true, "which the package is made from"},
      {"no search folder", "search = [\"registry\"]", "jre17", true, false, false, false,
       "--jre: java.search has no folder beside the launcher"},
      {"not a Windows runtime", "", "linuxjdk", true, false, false, false, "no bin\\java.exe"},
      {"runtime too old", "min-version = \"17\"", "jre11", true, false, false, false,
       "Java 11.0.2 is outside the versions the configuration accepts (17 to any)"},
      // The copy of a folder would take the package in, until the disk is full.
      {"inside a copied folder", "class-path = [{ directory = \"classes\" }]", "", true, false, false, false,
       "which the package copies: put the package elsewhere"},
  };
  stubRuntime("jre17", "17.0.1");
  stubRuntime("jre11", "11.0.2");
  write("linuxjdk/bin/java", "elf");
  for (const auto& k : cases) {
    PackageRequest request = application(k.settings);
    if (!k.jre.empty()) request.jre = dir / k.jre;
    if (!k.runtimeJar) request.runtimeJar = dir / "nowhere" / "vkrruntime.jar";
    request.overwrite = k.overwrite;
    if (k.outputHoldsConfig) request.output = dir / "app";
    if (std::string(k.name) == "inside a copied folder") request.output = dir / "app" / "build" / "classes" / "pkg";
    fs::remove_all(dir / "out");
    if (k.occupied) write("out/app-service/old.txt", "old");
    const auto before = fs::exists(request.output) ? listing(request.output) : std::set<std::string>{};
    const auto besideBefore = entries(request.output.parent_path());
    std::vector<std::string> report;
    std::string error;
    EXPECT_FALSE(packageApplication(request, report, error)) << k.name;
    EXPECT_NE(error.find(k.expected), std::string::npos) << k.name << ": " << error;
    EXPECT_EQ(fs::exists(request.output) ? listing(request.output) : std::set<std::string>{}, before) << k.name;
    EXPECT_EQ(entries(request.output.parent_path()), besideBefore) << k.name;
  }
}

// Replacing a folder replaces all of it: a jar of an older release left in a scanned folder
// would otherwise join the class path.
TEST_F(PackageTest, OverwriteLeavesNothingOfTheOldFolder) {
  PackageRequest request = application("class-path = [\"lib\\\\*\"]");
  write("out/app-service/lib/old-1.0.jar", "stale");
  request.overwrite = true;
  std::vector<std::string> report;
  std::string error;
  ASSERT_TRUE(packageApplication(request, report, error)) << error;
  EXPECT_FALSE(fs::exists(request.output / "lib" / "old-1.0.jar"));
  EXPECT_TRUE(fs::exists(request.output / "lib" / "a.jar"));
}

// A package that cannot be finished leaves the folder it was to replace whole, and a zip
// never replaces one of the package's own inputs.
TEST_F(PackageTest, AFailedReplacementKeepsTheOldFolder) {
  struct Case {
    const char* name;
    std::string zip;  // relative to dir
    const char* expected;
  } cases[] = {
      // The zip is made before the folder is swapped: a zip that cannot be written changes nothing.
      {"zip into a file's place", "blocker/x.zip", "blocker"},
      {"zip over the configuration", "app/app.toml", "the zip would replace"},
  };
  for (const auto& k : cases) {
    PackageRequest request = application("class-path = [\"app.jar\"]");
    fs::remove_all(dir / "out");
    write("out/app-service/old.exe", "old");
    write("out/app-service/logs/x.log", "log");
    write("blocker", "a file where a folder would have to be");
    const std::string config = read(request.config);
    request.overwrite = true;
    request.zip = dir / k.zip;
    std::vector<std::string> report;
    std::string error;
    EXPECT_FALSE(packageApplication(request, report, error)) << k.name;
    EXPECT_NE(error.find(k.expected), std::string::npos) << k.name << ": " << error;
    EXPECT_EQ(listing(request.output), (std::set<std::string>{"old.exe", "logs/", "logs/x.log"})) << k.name;
    EXPECT_EQ(entries(dir / "out"), (std::set<std::string>{"app-service"})) << k.name;
    EXPECT_EQ(read(request.config), config) << k.name;
  }
}

// The output named with a trailing separator is the folder itself.
TEST_F(PackageTest, AnOutputNamedWithATrailingSeparator) {
  PackageRequest request = application("class-path = [\"app.jar\"]");
  request.output = fs::path((dir / "dist").string() + "/");
  std::vector<std::string> report;
  std::string error;
  ASSERT_TRUE(packageApplication(request, report, error)) << error;
  EXPECT_TRUE(fs::is_regular_file(dir / "dist" / "app.jar"));
  EXPECT_TRUE(fs::is_regular_file(dir / "dist" / "app.exe"));
}

// A jar with a script in front of it (java -jar runs it) is read from its archive's start.
TEST_F(PackageTest, InitReadsAJarWithDataInFront) {
  auto jar = makeJar("plain.jar", "Main-Class: app.Main\n", "app/Main.class", 61);
  write("prefixed.jar", "#!/bin/sh\nexec java -jar \"$0\" \"$@\"\n" + read(jar));
  JarFacts facts;
  std::string error;
  ASSERT_TRUE(readJarFacts(dir / "prefixed.jar", facts, error)) << error;
  EXPECT_EQ(facts.mainClass, "app.Main");
  EXPECT_EQ(facts.classFileMajor, 61);
}

// Where a configuration's paths lie as seen from the launcher, and where --jre goes.
TEST_F(PackageTest, PlansFromTheConfiguredPaths) {
  auto config = write("c/svc.toml",
                      "[service]\nname = \"S\"\n[java]\nmain-class = \"a.B\"\n"
                      "class-path = [\"${launcher:sys.launcherDirectory}app.jar\", \".\\\\lib\\\\x.jar\", \"C:\\\\opt\\\\y.jar\", "
                      "\"${CP}\", { path = \"${HOME}\\\\z.jar\" }, \"app.jar\", "
                      "\"${launcher:sys.launcherDirectory}\\\\lib\\\\w.jar\", \"%VELKOR_EXEDIR%\\\\v.jar\", \"x%20y.jar\"]\n"
                      "module-path = [\"mods\\\\*\"]\n"
                      "search = [\"registry\", { home = \"C:\\\\jdk\" }, { bundled = \"runtime\\\\jre\" }]\n"
                      "vm-options-file = false\n[advanced]\nflavour = \"e\"\n");
  BlockContents block;
  PackageSettings settings;
  std::string error;
  ASSERT_TRUE(loadConfigurationToml(config, block, error, {}, &settings)) << error;
  PackagePlan plan;
  ASSERT_TRUE(planPackage(block, config, settings, true, plan, error)) << error;
  EXPECT_EQ(plan.executable, "svc.exe");
  std::vector<std::pair<std::string, bool>> copies;
  for (const auto& copy : plan.copies) {
    copies.push_back({copy.target, copy.scan});
    EXPECT_EQ(copy.source, dir / "c" / fs::path(copy.target)) << copy.target;
  }
  // A separator behind the launcher's folder makes no path on the server of what follows, and
  // a lone "%" is a character of the name.
  EXPECT_EQ(copies, (std::vector<std::pair<std::string, bool>>{{"app.jar", false},
                                                                {"lib/x.jar", false},
                                                                {"lib/w.jar", false},
                                                                {"v.jar", false},
                                                                {"x%20y.jar", false},
                                                                {"mods", true}}));
  EXPECT_EQ(plan.runtimeJar, "");  // flavour 'e' takes no runtime jar from .velkor
  EXPECT_EQ(plan.vmOptions, "");   // the launcher reads no VM options file
  EXPECT_EQ(plan.jre, "runtime/jre");
  EXPECT_EQ(plan.notes, (std::vector<std::string>{
                            "java.class-path: \"C:\\opt\\y.jar\" is a path on the server: not packaged",
                            "java.class-path: the variable CP is read on the server: not packaged",
                            "java.class-path: \"${HOME}\\z.jar\" depends on variables of the server: not packaged",
                            "java.search tries the registry, \"C:\\jdk\" before runtime/jre: a runtime found there is "
                            "used instead of the one shipped"}));
}

}  // namespace
}  // namespace vkr::gen
