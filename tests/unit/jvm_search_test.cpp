// The JVM search sequence: its pure rules as tables, the registry steps against keys seeded
// in the test prefix's registry, and whole searches with the shipped search list against
// stand-in runtimes laid out on disk. A stand-in runtime is a home with bin\java.exe (the
// javastub fixture, whose banner comes from java.cfg beside it and which records every run in
// java.runs) and, unless left out, bin\server\jvm.dll (the 64-bit jvmdll fixture).
#include "jvm/JvmSearch.h"

#include "config/ConfigStore.h"
#include "jvm/JavaProbe.h"
#include "jvm/JvmLoader.h"
#include "util/DiagnosticLog.h"
#include "util/Paths.h"

#include "test_files.h"
#include "test_isolation.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace vkr {
namespace {

using test::createDirectories;
using test::fixturesDirectory;
using test::readWholeFile;
using test::removeTree;
using test::writeWholeFile;

constexpr const char* kShippedSearchList = "B.\\jre;Y;EJAVA_HOME;EJDK_HOME;";
constexpr const char* kJreKey = "SOFTWARE\\JavaSoft\\JRE";
constexpr const char* kJdkKey = "SOFTWARE\\JavaSoft\\JDK";
// Variables the search reads; the Linux side may hand some of them to Wine.
constexpr const char* kSearchVariables[] = {"JAVA_HOME", "JDK_HOME", "QUENTA_JAVA_HOME", "VELKOR_JAVA_HOME", "PATH"};

std::optional<std::string> environmentValue(const char* name) {
    DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) return std::nullopt;
    std::string value(size, '\0');
    value.resize(GetEnvironmentVariableA(name, value.data(), size));
    return value;
}

// Both views of the environment, as the library loader changes PATH in both.
void setEnvironment(const char* name, const std::optional<std::string>& value) {
    SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
    _putenv((std::string(name) + "=" + value.value_or("")).c_str());
}

VersionBounds bounds(const char* minimum, const char* maximum = "") {
    return {parseVersion(minimum), parseVersion(maximum)};
}

// A REG_SZ value written through the wide function, which stores exactly the units given:
// without its NUL when terminated is false (the 8-bit function on Wine always adds one).
void setText(HKEY key, const char* name, std::string_view text, bool terminated = true) {
    std::wstring wide = widenBytes(text);
    std::wstring wideName = widenBytes(name);
    const DWORD bytes = static_cast<DWORD>((wide.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
    ASSERT_EQ(RegSetValueExW(key, wideName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()), bytes),
              ERROR_SUCCESS)
        << name;
}

bool ntdllIsWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

FILETIME shifted(FILETIME time, ULONGLONG by) {
    ULARGE_INTEGER value = {};
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    value.QuadPart += by;
    return {value.LowPart, value.HighPart};
}

// ---------------------------------------------------------------------------------------
// The pure rules.

TEST(FallbackPass, TakesBAlwaysAndAOrROnlyWithARelativeLocation) {
    struct Case {
        const char* location;
        bool absolute;
    };
    const std::vector<Case> locations = {
        {"c:\\jre", true},  {"c:", true},       {"c:jre", true},   {"\\\\server\\share", true}, {"\\\\", true},
        {".\\jre", false},  {"\\jre", false},   {"jre", false},    {"/:", true},                {"//server/x", false},
        {"c", false},       {"", false},
    };
    for (const Case& c : locations) {
        EXPECT_EQ(isAbsoluteLocation(c.location), c.absolute) << c.location;
        EXPECT_TRUE(fallbackPassTakes(std::string("B") + c.location)) << c.location;
        EXPECT_EQ(fallbackPassTakes(std::string("A") + c.location), !c.absolute) << c.location;
        EXPECT_EQ(fallbackPassTakes(std::string("R") + c.location), !c.absolute) << c.location;
        for (const char* letter : {"E", "S", "Y", "b", "a", "X"})
            EXPECT_FALSE(fallbackPassTakes(std::string(letter) + c.location)) << letter << c.location;
    }
    EXPECT_FALSE(fallbackPassTakes(""));
}

TEST(SortedVersionNames, TextOrderOfTheNamesInRange) {
    struct Case {
        std::vector<std::string> names;
        const char* minimum;
        const char* maximum;
        std::vector<std::string> sorted;
    };
    const std::vector<Case> cases = {
        // 9.0.4 sorts last, so the walk from the end probes it first.
        {{"9.0.4", "1.8.0_292"}, "1.8", "", {"1.8.0_292", "9.0.4"}},
        {{"17.0.1", "9.0.4", "11.0.12", "1.8.0_292"}, "1.8", "", {"1.8.0_292", "11.0.12", "17.0.1", "9.0.4"}},
        // Out of range on either side: dropped. Lenient: 1.8 covers the longer minimum.
        {{"1.7.0_80", "1.8", "21", "1.6"}, "1.8.0_100", "17", {"1.8"}},
        // A prefix sorts first; bytes above 0x7f after ASCII (unsigned comparison).
        {{"1.8.0", "1.8\xe9", "1.8z", "1.8"}, "", "", {"1.8", "1.8.0", "1.8z", "1.8\xe9"}},
        {{}, "1.8", "", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sortedVersionNames(c.names, bounds(c.minimum, c.maximum)), c.sorted) << c.names.size();
}

TEST(LocatedJvmPath, EveryForwardSlashBecomesABackslash) {
    EXPECT_EQ(locatedJvmPath("c:/program files/jdk/bin/java.exe"), "c:\\program files\\jdk\\bin\\java.exe");
    EXPECT_EQ(locatedJvmPath("//server/share/bin/java.exe"), "\\\\server\\share\\bin\\java.exe");
    EXPECT_EQ(locatedJvmPath("c:\\already\\java.exe"), "c:\\already\\java.exe");
    EXPECT_EQ(locatedJvmPath(""), "");
}

TEST(PickNewer, OnlyAStrictlyNewerChallengerBeatsTheIncumbent) {
    struct Case {
        const char* challenger; // nullptr: that side found nothing
        const char* incumbent;
        int winner; // 0 challenger, 1 incumbent, -1 none
    };
    const std::vector<Case> cases = {
        {"11", "1.8.0_292", 0},
        {"1.8.0_292", "11", 1},
        {"11.0.2", "11.0.2", 1}, // equal: JavaSoft loses to located, user loses to machine
        {"1.8.0", "1.8", 0},
        {"1.8", "1.8.0", 1},
        {"", "", 1},
        {"", "1.8", 1},
        {"1.8", "", 0},
        {"11", nullptr, 0},
        {nullptr, "11", 1},
        {nullptr, nullptr, -1},
    };
    for (const Case& c : cases) {
        JvmCandidate challenger{"challenger", c.challenger ? c.challenger : ""};
        JvmCandidate incumbent{"incumbent", c.incumbent ? c.incumbent : ""};
        const JvmCandidate* won = pickNewer(c.challenger ? &challenger : nullptr, c.incumbent ? &incumbent : nullptr);
        const JvmCandidate* expected = c.winner == 0 ? &challenger : c.winner == 1 ? &incumbent : nullptr;
        EXPECT_EQ(won, expected) << (c.challenger ? c.challenger : "-") << " vs " << (c.incumbent ? c.incumbent : "-");
    }
}

// ---------------------------------------------------------------------------------------
// Steps and whole searches against the registry and stand-in runtimes.

class JvmSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        clearConfigStoreForTest();
        test::beginTestLog();
        for (const char* name : kSearchVariables) {
            savedEnvironment_.emplace_back(name, environmentValue(name));
            if (std::string_view(name) != "PATH") setEnvironment(name, std::nullopt);
        }
        root_ = test::scratchPath("vkrsearch");
        CreateDirectoryA(root_.c_str(), nullptr);
        // The folders the search looks at beside the launcher (here: beside this test program).
        ownJre_ = canonicalPath(".\\jre", LetterCase::Lowered);
        ownVelkor_ = canonicalPath(".\\.velkor", LetterCase::Lowered);
        removeTree(ownJre_); // left by a run that was killed
        removeTree(ownVelkor_);
    }

    void TearDown() override {
        for (HMODULE module : modules_) FreeLibrary(module);
        for (const auto& [name, value] : savedEnvironment_) setEnvironment(name, value);
        for (const std::string& exe : javaExes_) RegDeleteTreeA(HKEY_CURRENT_USER, versionCacheKeyName(exe).c_str());
        removeCreatedKeys();
        removeTree(root_);
        removeTree(ownJre_);
        removeTree(ownVelkor_);
        clearConfigStoreForTest();
        test::endTestLog();
    }

    // A stand-in runtime: home\bin\java.exe reporting the version, and bin\server\jvm.dll
    // unless withLibrary is false. Returns the canonical java.exe path the probe will use.
    std::string runtime(const std::string& home, const std::string& version, bool withLibrary = true) {
        createDirectories(home + "\\bin\\server");
        const std::string fixtures = fixturesDirectory();
        const std::string exe = home + "\\bin\\java.exe";
        EXPECT_TRUE(CopyFileA((fixtures + "\\javastub\\java.exe").c_str(), exe.c_str(), FALSE)) << fixtures;
        if (withLibrary) {
            EXPECT_TRUE(CopyFileA((fixtures + "\\jvmdll\\x64\\jvm.dll").c_str(), (home + "\\bin\\server\\jvm.dll").c_str(),
                                  FALSE));
        }
        writeWholeFile(home + "\\bin\\java.cfg", "banner=java version \"" + version + "\"\n");
        javaExes_.push_back(canonicalPath(exe, LetterCase::Lowered));
        return javaExes_.back();
    }

    static size_t runs(const std::string& home) {
        const std::string text = readWholeFile(home + "\\bin\\java.runs");
        size_t count = 0;
        for (char c : text) count += c == '\n' ? 1 : 0;
        return count;
    }

    // Opens (creating as needed) a key; the first level that did not exist before is
    // remembered and removed with everything below it at the end.
    UniqueKey seedKey(HKEY hive, const std::string& path, REGSAM view = 0) {
        for (size_t end = path.find('\\'); ; end = path.find('\\', end + 1)) {
            const std::string prefix = path.substr(0, end);
            UniqueKey probe;
            if (RegOpenKeyExA(hive, prefix.c_str(), 0, KEY_READ | view, probe.put()) != ERROR_SUCCESS) {
                createdKeys_.push_back({hive, prefix, view});
                break;
            }
            if (end == std::string::npos) break;
        }
        UniqueKey key;
        EXPECT_EQ(RegCreateKeyExA(hive, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | view,
                                  nullptr, key.put(), nullptr),
                  ERROR_SUCCESS)
            << path;
        return key;
    }

public:
    void removeCreatedKeys() {
        for (auto key = createdKeys_.rbegin(); key != createdKeys_.rend(); ++key) deleteKey(key->hive, key->path, key->view);
        createdKeys_.clear();
    }

protected:
    static void deleteKey(HKEY hive, const std::string& path, REGSAM view = 0) {
        const size_t slash = path.find_last_of('\\');
        UniqueKey parent;
        if (slash == std::string::npos) {
            RegDeleteTreeA(hive, path.c_str());
            return;
        }
        if (RegOpenKeyExA(hive, path.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | view, parent.put()) == ERROR_SUCCESS)
            RegDeleteTreeA(parent.get(), path.substr(slash + 1).c_str());
    }

    // A version subkey (JavaSoft layout) whose JavaHome names home.
    void javaSoftVersion(const char* key, const std::string& name, const std::string& home, bool terminated = true) {
        UniqueKey version = seedKey(HKEY_LOCAL_MACHINE, std::string(key) + "\\" + name);
        setText(version.get(), "JavaHome", home, terminated);
    }

    void locatedJvm(HKEY hive, const std::string& javaExe) {
        std::string name = javaExe;
        for (char& c : name) c = c == '\\' ? '/' : c;
        seedKey(hive, std::string(kLocatedJvmsKey) + name);
    }

    struct Outcome {
        HMODULE module = nullptr;
        std::string javaExe;
        std::string version;
        LocationKind kind = LocationKind::Registry; // searchJvm must set it
        std::string locationText = "preset";        // what the registry steps leave alone
    };

    Outcome search() {
        Outcome out;
        out.module = searchJvm(loadJvmFromJavaExe, out.javaExe, out.version, out.kind, out.locationText);
        if (out.module) modules_.push_back(out.module);
        return out;
    }

    static std::string modulePath(HMODULE module) {
        char path[MAX_PATH * 4] = {};
        GetModuleFileNameA(module, path, sizeof path);
        std::string text = path;
        lowerCasePath(text);
        return text;
    }

    static std::string logText() { return test::testLogText(); }

    static bool logged(const std::string& text) { return logText().find(text) != std::string::npos; }

    void shippedBlock() {
        setConfigTextForTest(128, kShippedSearchList);
        setConfigTextForTest(126, "1.8");
    }

    struct CreatedKey {
        HKEY hive;
        std::string path;
        REGSAM view;
    };

    std::string root_;
    std::string ownJre_;
    std::string ownVelkor_;
    std::vector<std::pair<const char*, std::optional<std::string>>> savedEnvironment_;
    std::vector<std::string> javaExes_;
    std::vector<CreatedKey> createdKeys_;
    std::vector<HMODULE> modules_;
};

TEST_F(JvmSearchTest, JavaSoftSubkeysAreProbedFromTheLastInTextOrder) {
    for (const char* name : {"1.8.0_292", "9.0.4", "11.0.12", "1.7.0_80"}) {
        runtime(root_ + "\\" + name, name);
        javaSoftVersion(kJreKey, name, root_ + "\\" + name);
    }
    JvmCandidate out;
    ASSERT_TRUE(checkVersionSubkeys(kJreKey, bounds("1.8"), out));
    EXPECT_EQ(out.version, "9.0.4") << "the first usable name in text order from the end, not the newest";
    EXPECT_EQ(out.javaExe, root_ + "\\9.0.4\\bin\\java.exe");
    for (const char* name : {"1.8.0_292", "11.0.12", "1.7.0_80"}) EXPECT_EQ(runs(root_ + "\\" + name), 0u) << name;

    // A name whose runtime is gone: the walk goes on with the next one down.
    DeleteFileA((root_ + "\\9.0.4\\bin\\java.exe").c_str());
    ASSERT_TRUE(checkVersionSubkeys(kJreKey, bounds("1.8"), out));
    EXPECT_EQ(out.version, "11.0.12");
    EXPECT_EQ(runs(root_ + "\\1.7.0_80"), 0u) << "a name out of range is never probed";

    EXPECT_FALSE(checkVersionSubkeys(kJreKey, bounds("12"), out)) << "9.0.4 gone, 11.0.12 too old";
    EXPECT_FALSE(checkVersionSubkeys("SOFTWARE\\JavaSoft\\Nothing Here", bounds(""), out));
}

TEST_F(JvmSearchTest, CurrentVersionTakesTheNewerOfJdkAndJreAndTiesGoToTheJre) {
    const struct {
        const char* key;
        const char* name;
    } installed[] = {{kJdkKey, "11"}, {kJdkKey, "1.8"}, {kJdkKey, "1.7"}, {kJreKey, "1.8"}};
    for (const auto& i : installed) {
        const std::string home = root_ + (i.key == kJdkKey ? "\\jdk" : "\\jre") + i.name;
        runtime(home, i.name);
        javaSoftVersion(i.key, i.name, home);
    }
    // A JDK with its private runtime and tools.jar, for the case that requires a JDK.
    runtime(root_ + "\\jdk1.8\\jre", "1.8");
    createDirectories(root_ + "\\jdk1.8\\lib");
    writeWholeFile(root_ + "\\jdk1.8\\lib\\tools.jar", "PK");

    struct Case {
        const char* jdk; // CurrentVersion values; nullptr: no value
        const char* jre;
        bool jdkRequired;
        const char* chosenHome; // nullptr: the step fails
    };
    const std::vector<Case> cases = {
        {"11", "1.8", false, "jdk11"},
        {"1.8", "1.8", false, "jre1.8"},
        {"1.7", "1.8", false, "jre1.8"}, // the JDK's choice is out of range
        {"11", nullptr, false, "jdk11"},
        {nullptr, "1.8", false, "jre1.8"},
        {"1.8", "1.8", true, "jdk1.8"}, // a JDK is required: the JRE key is not read
        {"9", "1.8", false, nullptr}, // the newer choice has no subkey: no second try
        {nullptr, nullptr, false, nullptr},
    };
    for (const Case& c : cases) {
        clearConfigStoreForTest();
        if (c.jdkRequired) setConfigTextForTest(131, "1");
        for (const auto& [key, value] : {std::pair{kJdkKey, c.jdk}, std::pair{kJreKey, c.jre}}) {
            UniqueKey opened = seedKey(HKEY_LOCAL_MACHINE, key);
            if (value) setText(opened.get(), "CurrentVersion", value);
            else RegDeleteValueA(opened.get(), "CurrentVersion");
        }
        JvmCandidate out;
        const std::string label = std::string(c.jdk ? c.jdk : "-") + "/" + (c.jre ? c.jre : "-");
        ASSERT_EQ(checkCurrentVersion(kJdkKey, kJreKey, bounds("1.8"), out), c.chosenHome != nullptr) << label;
        if (c.chosenHome) {
            const std::string expected = root_ + "\\" + c.chosenHome;
            EXPECT_EQ(out.javaExe.substr(0, expected.size() + 1), expected + "\\") << label;
        }
    }
}

TEST_F(JvmSearchTest, CurrentVersionAndJavaHomeWithoutTheirNulAreReadToTheirEndOnly) {
    // CurrentVersion is read with at most 100 bytes. A name of exactly 100 characters without
    // a NUL fills the buffer completely; one more is too long and counts as no value.
    const std::string jreHome = root_ + "\\jre";
    runtime(jreHome, "1.8.0_292");
    javaSoftVersion(kJreKey, "1.8", jreHome, false);
    // Windows hands back exactly the 100 stored bytes; Wine's 8-bit query insists on room for
    // a NUL of its own behind an unterminated text, so there 100 characters are too long too.
    const bool fullBufferReads = !ntdllIsWine();
    struct Case {
        size_t length;
        bool jdkChosen;
    };
    for (const Case& c : std::vector<Case>{{6, true}, {99, true}, {100, fullBufferReads}, {101, false}}) {
        const std::string name = "11.0.2" + std::string(c.length - 6, '_');
        const std::string jdkHome = root_ + "\\jdk" + std::to_string(c.length);
        runtime(jdkHome, "11.0.2");
        javaSoftVersion(kJdkKey, name, jdkHome, false);
        setText(seedKey(HKEY_LOCAL_MACHINE, kJdkKey).get(), "CurrentVersion", name, false);
        setText(seedKey(HKEY_LOCAL_MACHINE, kJreKey).get(), "CurrentVersion", "1.8", false);
        JvmCandidate out;
        ASSERT_TRUE(checkCurrentVersion(kJdkKey, kJreKey, bounds("1.8"), out)) << c.length;
        EXPECT_EQ(out.javaExe, (c.jdkChosen ? jdkHome : jreHome) + "\\bin\\java.exe") << c.length;
        EXPECT_EQ(out.version, c.jdkChosen ? "11.0.2" : "1.8.0_292") << c.length;
    }
}

TEST_F(JvmSearchTest, JavaHomeThatIsNoDirectoryIsNotProbed) {
    // The launcher's own runtime must not be reached through an empty or relative JavaHome.
    runtime(ownJre_, "11.0.2");
    const std::string home = root_ + "\\jdk";
    const std::string exe = runtime(home, "11.0.2");
    const std::string drive = executableDirectory8().substr(0, 2);
    struct Case {
        std::string javaHome;
        bool probed;
    };
    const std::vector<Case> cases = {
        {exe, false},                      // a file
        {root_ + "\\missing", false},      // nothing there
        {"", false},                       // would be the drive root or the launcher's directory
        {"jre", false},                    // relative: the launcher's own runtime
        {".\\jre", false},
        {"\\jre", false},                  // rooted on the current drive
        {drive + "jre", false},            // drive-relative
        {drive, false},
        {home + "\\", true},
        {home, true},
    };
    char savedDirectory[MAX_PATH * 4] = {};
    GetCurrentDirectoryA(sizeof savedDirectory, savedDirectory);
    SetCurrentDirectoryA(executableDirectory8().c_str()); // "jre" and "Z:jre" name a real directory
    for (const Case& c : cases) {
        javaSoftVersion(kJreKey, "11.0.2", c.javaHome);
        JvmCandidate out;
        EXPECT_EQ(checkVersionSubkeys(kJreKey, bounds("1.8"), out), c.probed) << c.javaHome;
        if (c.probed) {
            EXPECT_EQ(out.javaExe, exe) << c.javaHome;
        }
    }
    SetCurrentDirectoryA(savedDirectory);
    EXPECT_EQ(runs(ownJre_), 0u);
    EXPECT_EQ(runs(home), 1u) << "the second accepted case is a cache hit";
}

TEST_F(JvmSearchTest, LocatedJvmsTheNewerWinsAndTiesGoToTheMachine) {
    struct Case {
        const char* user; // nullptr: none in that hive
        const char* machine;
        const char* winner; // "user", "machine" or nullptr
    };
    const std::vector<Case> cases = {
        {"11.0.2", "11.0.2", "machine"},
        {"17.0.1", "11.0.2", "user"},
        {"11.0.2", "17.0.1", "machine"},
        {"18-ea", nullptr, "user"}, // pre-releases are accepted here
        {"1.7.0_80", nullptr, nullptr},
        {nullptr, nullptr, nullptr},
    };
    int index = 0;
    for (const Case& c : cases) {
        const std::string dir = root_ + "\\case" + std::to_string(++index);
        for (const auto& [side, hive, version] :
             {std::tuple{"user", HKEY_CURRENT_USER, c.user}, std::tuple{"machine", HKEY_LOCAL_MACHINE, c.machine}}) {
            if (!version) continue;
            const std::string exe = runtime(dir + "\\" + side, version);
            locatedJvm(hive, exe);
        }
        JvmCandidate out;
        ASSERT_EQ(searchLocatedJvms(LocatedJvms::All, bounds("1.8"), out), c.winner != nullptr) << index;
        if (c.winner) {
            EXPECT_EQ(out.javaExe, dir + "\\" + c.winner + "\\bin\\java.exe") << index;
        }
        // Out of the way for the next case.
        for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
            for (const char* side : {"user", "machine"}) {
                std::string name = dir + "\\" + side + "\\bin\\java.exe";
                for (char& ch : name) ch = ch == '\\' ? '/' : ch;
                RegDeleteKeyA(hive, (std::string(kLocatedJvmsKey) + name).c_str());
            }
    }
}

TEST_F(JvmSearchTest, RegistryStepPrefersLocatedOnTiesAndKey165KeepsToBundledRuntimes) {
    const std::string javaSoftHome = root_ + "\\javasoft";
    runtime(javaSoftHome, "11.0.2");
    javaSoftVersion(kJreKey, "11.0.2", javaSoftHome);
    const std::string located = runtime(root_ + "\\located", "11.0.2");
    locatedJvm(HKEY_LOCAL_MACHINE, located);

    JvmCandidate out;
    ASSERT_TRUE(searchRegistry(bounds("1.8"), out));
    EXPECT_EQ(out.javaExe, located) << "equal versions: the located runtime wins";
    EXPECT_TRUE(logged("found sun " + javaSoftHome + "\\bin\\java.exe 11.0.2"));
    EXPECT_TRUE(logged("found located " + located + " 11.0.2"));

    const std::string bundled = runtime(root_ + "\\vkr_jres\\a", "1.8.0_292");
    locatedJvm(HKEY_CURRENT_USER, bundled);
    setConfigTextForTest(165, "1");
    const size_t javaSoftRuns = runs(javaSoftHome);
    ASSERT_TRUE(searchRegistry(bounds("1.8"), out));
    EXPECT_EQ(out.javaExe, bundled) << "only paths with vkr_jres count, however new the others";
    EXPECT_EQ(out.version, "1.8.0_292");
    EXPECT_EQ(runs(javaSoftHome), javaSoftRuns);
    EXPECT_EQ(runs(root_ + "\\located"), 1u);

    clearConfigStoreForTest();
    const std::string newer = root_ + "\\javasoft17";
    runtime(newer, "17.0.1");
    javaSoftVersion(kJreKey, "17.0.1", newer);
    ASSERT_TRUE(searchRegistry(bounds("1.8"), out));
    EXPECT_EQ(out.version, "17.0.1") << "a strictly newer JavaSoft runtime wins";
}

TEST_F(JvmSearchTest, PreviousInstallationsGoOnPastADirectoryOutOfRange) {
    runtime(root_ + "\\old\\jre", "1.7.0_80");
    const std::string current = runtime(root_ + "\\new\\jre", "11.0.2");
    setConfigTextForTest(160, "MyApp");
    // Written by another tool without its NUL.
    setText(seedKey(HKEY_CURRENT_USER, kInstallationsKey).get(), "MyApp", ";" + root_ + "\\old;;" + root_ + "\\new",
            false);
    JvmCandidate out;
    ASSERT_TRUE(checkPreviousInstallations(HKEY_CURRENT_USER, bounds("1.8"), out));
    EXPECT_EQ(out.javaExe, current);
    EXPECT_EQ(out.version, "11.0.2");
    EXPECT_TRUE(logged("java version did not match in " + root_ + "\\old\\jre"));
    EXPECT_TRUE(logged("found installations: ;" + root_ + "\\old;;" + root_ + "\\new"));

    setConfigTextForTest(160, "Other");
    EXPECT_FALSE(checkPreviousInstallations(HKEY_CURRENT_USER, bounds("1.8"), out)) << "no value for this id";
    EXPECT_TRUE(logged("checking app id Other (0, "));
    EXPECT_TRUE(logged("checking app id Other (256, ")) << "the 64-bit view is tried after the default one";
    setConfigTextForTest(160, "");
    EXPECT_FALSE(checkPreviousInstallations(HKEY_CURRENT_USER, bounds("1.8"), out));
}

TEST_F(JvmSearchTest, PreviousInstallationsOfTheMachineAfterTheUsersInBothViews) {
    // The views exist only in the machine's own registry, not in this program's private one.
    test::RealMachineRegistry realMachine;
    struct RemoveKeysWhileReal {
        JvmSearchTest* test;
        ~RemoveKeysWhileReal() { test->removeCreatedKeys(); }
    } removeKeys{this};
    shippedBlock();
    setConfigTextForTest(128, "");
    setConfigTextForTest(160, "MyApp");
    runtime(root_ + "\\user\\jre", "1.7.0_80");
    const std::string machine = runtime(root_ + "\\machine\\jre", "11.0.2");
    const std::string wow32 = runtime(root_ + "\\wow32\\jre", "17.0.1");
    setText(seedKey(HKEY_CURRENT_USER, kInstallationsKey).get(), "MyApp", root_ + "\\user");
    // The 32-bit view is never read; the 64-bit view is this 64-bit process's default one.
    setText(seedKey(HKEY_LOCAL_MACHINE, kInstallationsKey, KEY_WOW64_32KEY).get(), "MyApp", root_ + "\\wow32");
    JvmCandidate unused;
    EXPECT_FALSE(checkPreviousInstallations(HKEY_LOCAL_MACHINE, bounds("1.8"), unused));
    setText(seedKey(HKEY_LOCAL_MACHINE, kInstallationsKey, KEY_WOW64_64KEY).get(), "MyApp", root_ + "\\machine");

    const Outcome found = search();
    ASSERT_NE(found.module, nullptr);
    EXPECT_EQ(found.kind, LocationKind::Registry);
    EXPECT_EQ(found.locationText, "preset") << "the registry steps leave the location text alone";
    EXPECT_EQ(found.javaExe, machine);
    EXPECT_EQ(found.version, "11.0.2");
    EXPECT_TRUE(logged("found JRE from previous installation (machine) " + machine));
    EXPECT_FALSE(logged("found JRE from previous installation (user)"));
    EXPECT_EQ(runs(root_ + "\\user\\jre"), 1u);
    EXPECT_EQ(runs(root_ + "\\wow32\\jre"), 0u);
    EXPECT_EQ(modulePath(found.module), root_ + "\\machine\\jre\\bin\\server\\jvm.dll");
}

TEST_F(JvmSearchTest, MatchingRuntimeBesideTheLauncherIsChosenWithoutTheRegistry) {
    shippedBlock();
    const std::string own = runtime(ownJre_, "11.0.2");
    // Newer runtimes the registry would offer: none of them may be probed.
    const std::string javaSoftHome = root_ + "\\javasoft";
    runtime(javaSoftHome, "17.0.1");
    javaSoftVersion(kJreKey, "17.0.1", javaSoftHome);
    setText(seedKey(HKEY_LOCAL_MACHINE, kJreKey).get(), "CurrentVersion", "17.0.1");
    locatedJvm(HKEY_CURRENT_USER, runtime(root_ + "\\located", "17.0.1"));

    const Outcome found = search();
    ASSERT_NE(found.module, nullptr);
    EXPECT_EQ(found.kind, LocationKind::Directory);
    EXPECT_EQ(found.locationText, ".\\jre");
    EXPECT_EQ(found.javaExe, own);
    EXPECT_EQ(found.version, "11.0.2");
    EXPECT_EQ(modulePath(found.module), ownJre_ + "\\bin\\server\\jvm.dll");
    EXPECT_NE(GetProcAddress(found.module, "JNI_CreateJavaVM"), nullptr);
    EXPECT_TRUE(logged("Testing location .\\jre (type B)"));
    EXPECT_FALSE(logged("(type Y)"));
    EXPECT_EQ(runs(javaSoftHome), 0u);
    EXPECT_EQ(runs(root_ + "\\located"), 0u);
}

TEST_F(JvmSearchTest, OldRuntimeBesideTheLauncherIsRejectedFirstAndUsedByTheFallbackPass) {
    shippedBlock();
    const std::string own = runtime(ownJre_, "1.7.0_80");
    const Outcome found = search();
    ASSERT_NE(found.module, nullptr);
    EXPECT_EQ(found.kind, LocationKind::Directory);
    EXPECT_EQ(found.locationText, ".\\jre") << "the raw location of the entry";
    EXPECT_EQ(found.javaExe, own);
    EXPECT_EQ(found.version, "1.7.0_80");
    const std::string log = logText();
    const size_t firstPass = log.find("Testing location .\\jre (type B)");
    const size_t registry = log.find("Testing location  (type Y)");
    const size_t fallback = log.find("Testing relative location .\\jre");
    const size_t exists = log.find(own + " exists");
    ASSERT_NE(firstPass, std::string::npos);
    ASSERT_NE(fallback, std::string::npos);
    EXPECT_LT(firstPass, registry);
    EXPECT_LT(registry, fallback);
    EXPECT_LT(fallback, exists);
    EXPECT_EQ(log.find("Search sequence finished"), std::string::npos);
    EXPECT_EQ(runs(ownJre_), 1u) << "the second look at the same runtime is a cache hit";
}

TEST_F(JvmSearchTest, RuntimeWhoseLibraryWillNotLoadLeavesTheKindOfTheLastCandidate) {
    shippedBlock();
    const std::string own = runtime(ownJre_, "11.0.2", false);
    const Outcome found = search();
    EXPECT_EQ(found.module, nullptr);
    EXPECT_EQ(found.kind, LocationKind::Directory);
    EXPECT_EQ(found.locationText, ".\\jre");
    EXPECT_EQ(found.javaExe, own);
    EXPECT_TRUE(logged("Testing relative location .\\jre")) << "the sequence resumed after the failed load";
    EXPECT_TRUE(logged("Search sequence finished"));

    removeTree(ownJre_);
    const Outcome none = search();
    EXPECT_EQ(none.module, nullptr);
    EXPECT_EQ(none.kind, LocationKind::None);
    EXPECT_EQ(none.locationText, "preset");
}

TEST_F(JvmSearchTest, FallbackPassSkipsAbsoluteAEntriesButTakesAbsoluteBEntries) {
    setConfigTextForTest(126, "1.8");
    const std::string a = root_ + "\\a";
    const std::string b = root_ + "\\b";
    runtime(a, "1.7.0_80");
    const std::string bExe = runtime(b, "1.7.0_80");
    setConfigTextForTest(128, "A" + a + ";B" + b);
    const Outcome found = search();
    ASSERT_NE(found.module, nullptr);
    EXPECT_EQ(found.kind, LocationKind::Directory);
    EXPECT_EQ(found.locationText, b);
    EXPECT_EQ(found.javaExe, bExe);
    EXPECT_FALSE(logged("Testing relative location " + a));
    EXPECT_TRUE(logged("Testing relative location " + b));
}

TEST_F(JvmSearchTest, SearchPathEntryFindsJavaThroughPath) {
    setConfigTextForTest(126, "1.8");
    setConfigTextForTest(128, "S");
    const std::string exe = runtime(root_ + "\\onpath", "11.0.2");
    setEnvironment("PATH", root_ + "\\onpath\\bin;" + environmentValue("PATH").value_or(""));
    const Outcome found = search();
    ASSERT_NE(found.module, nullptr);
    EXPECT_EQ(found.kind, LocationKind::SearchPath);
    EXPECT_EQ(found.locationText, "") << "the expanded (empty) location of the entry";
    EXPECT_EQ(found.javaExe, exe);
}

TEST_F(JvmSearchTest, EnvironmentEntriesAndTheTwoOverrideVariables) {
    shippedBlock();
    struct Case {
        const char* javaHome; // names of homes below root_, nullptr: unset
        const char* quenta;
        const char* velkor;
        const char* expectedText;
        const char* expectedHome;
    };
    const std::vector<Case> cases = {
        {nullptr, "q11", nullptr, "QUENTA_JAVA_HOME", "q11"},
        {nullptr, "q17old", "v11", "VELKOR_JAVA_HOME", "v11"},
        {nullptr, "q11", "v11", "QUENTA_JAVA_HOME", "q11"},
        {"j11", "q11", nullptr, "JAVA_HOME", "j11"}, // an E entry of the list comes first
        {nullptr, nullptr, "v/slashes", "VELKOR_JAVA_HOME", "v\\slashes"},
        {nullptr, "q17old", nullptr, nullptr, nullptr},
    };
    for (const char* home : {"q11", "v11", "j11", "v\\slashes"}) runtime(root_ + "\\" + home, "11.0.2");
    runtime(root_ + "\\q17old", "1.7.0_80");
    for (const Case& c : cases) {
        for (const auto& [name, value] :
             {std::pair{"JAVA_HOME", c.javaHome}, std::pair{"QUENTA_JAVA_HOME", c.quenta},
              std::pair{"VELKOR_JAVA_HOME", c.velkor}}) {
            std::optional<std::string> path;
            if (value) path = root_ + "\\" + value;
            setEnvironment(name, path);
        }
        const Outcome found = search();
        const std::string label = c.expectedText ? c.expectedText : "none";
        if (!c.expectedText) {
            EXPECT_EQ(found.module, nullptr);
            EXPECT_EQ(found.kind, LocationKind::None) << "the 1.7 runtime never passed its test";
            continue;
        }
        ASSERT_NE(found.module, nullptr) << label;
        EXPECT_EQ(found.kind, LocationKind::Environment) << label;
        EXPECT_EQ(found.locationText, c.expectedText) << label;
        EXPECT_EQ(found.javaExe, root_ + "\\" + c.expectedHome + "\\bin\\java.exe") << label;
    }
    EXPECT_TRUE(logged("Search sequence finished"));
}

TEST_F(JvmSearchTest, SecondSearchIsAnsweredByTheCacheAndAnUpdatedRuntimeIsProbedAgain) {
    shippedBlock();
    const std::string own = runtime(ownJre_, "11.0.2");
    ASSERT_EQ(search().version, "11.0.2");
    ASSERT_EQ(runs(ownJre_), 1u);

    Outcome again = search();
    EXPECT_EQ(again.version, "11.0.2");
    EXPECT_EQ(runs(ownJre_), 1u) << "a version cache hit starts no java process";
    EXPECT_TRUE(logged("got version from registry 11.0.2"));

    // Updated in place: another banner and a later last-write time.
    writeWholeFile(ownJre_ + "\\bin\\java.cfg", "banner=java version \"11.0.3\"\n");
    FILETIME before = {};
    ASSERT_TRUE(exists(own, &before));
    const FILETIME after = shifted(before, 10'000'000ULL * 3600);
    HANDLE h = CreateFileA(own.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &after));
    CloseHandle(h);

    again = search();
    EXPECT_EQ(again.version, "11.0.3");
    EXPECT_EQ(runs(ownJre_), 2u);
    std::string cached;
    EXPECT_TRUE(readCachedVersion(own, after, cached));
    EXPECT_EQ(cached, "11.0.3");
    EXPECT_FALSE(readCachedVersion(own, before, cached)) << "the entry holds the new time";
}

TEST_F(JvmSearchTest, CachedVersionOfAnyLengthStaysWithinItsBuffers) {
    shippedBlock();
    const std::string own = runtime(ownJre_, "11.0.2");
    FILETIME time = {};
    ASSERT_TRUE(exists(own, &time));
    struct Case {
        size_t length;
        bool hit; // false: the runtime is run again and the entry rewritten
    };
    // Within the cache's limit a long text is the version as it stands; beyond it the entry
    // is a miss. (Wine's 8-bit RegSetValueEx stores a NUL behind the text, so the longest
    // hit is one byte short of the limit.)
    for (const Case& c : std::vector<Case>{{kMaxCachedVersionBytes - 1, true}, {kMaxCachedVersionBytes + 1000, false}}) {
        const std::string stored = "11." + std::string(c.length - 3, '0');
        storeCachedVersion(own, time, stored);
        const size_t before = runs(ownJre_);
        const Outcome found = search();
        ASSERT_NE(found.module, nullptr) << c.length;
        EXPECT_EQ(found.kind, LocationKind::Directory) << c.length;
        EXPECT_EQ(runs(ownJre_), before + (c.hit ? 0 : 1)) << c.length;
        EXPECT_TRUE(found.version == (c.hit ? stored : std::string("11.0.2"))) << c.length << ": " << found.version.size();
        std::string cached;
        EXPECT_TRUE(readCachedVersion(own, time, cached)) << c.length;
        EXPECT_TRUE(cached == (c.hit ? stored : std::string("11.0.2"))) << c.length;
    }
}

TEST_F(JvmSearchTest, PreferredLocationAcceptsAPrereleaseThatTheSearchListRejects) {
    shippedBlock();
    const std::string ea = root_ + "\\ea";
    const std::string exe = runtime(ea, "18-ea");
    setConfigTextForTest(128, "A" + ea);
    const Outcome rejected = search();
    EXPECT_EQ(rejected.kind, LocationKind::None);
    EXPECT_TRUE(logged("beta vm not allowed"));

    createDirectories(ownVelkor_);
    writeWholeFile(ownVelkor_ + "\\pref_jre.cfg", ea + "\r\n" + "second line\n");
    const Outcome found = search();
    ASSERT_NE(found.module, nullptr);
    EXPECT_EQ(found.kind, LocationKind::Directory);
    EXPECT_EQ(found.locationText, ea) << "the first line without its line end";
    EXPECT_EQ(found.javaExe, exe);
    EXPECT_TRUE(logged("Has preferred location " + ea));
    EXPECT_TRUE(logged("Using preferred location"));

    // An empty first line names the launcher's own directory as the home.
    writeWholeFile(ownVelkor_ + "\\pref_jre.cfg", "\n");
    EXPECT_EQ(readLocationFile(kPreferredLocationFile), std::optional<std::string>(""));
    EXPECT_EQ(readLocationFile(kInstallerLocationFile), std::nullopt);
}

} // namespace
} // namespace vkr
