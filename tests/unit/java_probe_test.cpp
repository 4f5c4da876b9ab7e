// The java executable probe against stand-in runtimes laid out in a temp directory: the
// version cache in HKCU, the "-version" child and what it is given, and the home layouts.
// The stand-in java.exe records every run in java.runs beside it, so a cache hit is seen as
// a run count that does not grow.
#include "jvm/JavaProbe.h"


#include "config/ConfigStore.h"
#include "util/ChildProcess.h"
#include "util/DiagnosticLog.h"
#include "util/Paths.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace vkr {
namespace {

using test::fixturesDirectory;
using test::lines;
using test::readWholeFile;
using test::removeTree;
using test::writeWholeFile;

struct CacheEntry {
    bool present = false;
    std::vector<unsigned char> lastWrite;
    std::string version; // the stored units as they are, a NUL included if one was written
};

CacheEntry readEntry(const std::string& canonicalExe) {
    CacheEntry entry;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, versionCacheKeyName(canonicalExe).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return entry;
    }
    entry.present = true;
    DWORD size = 0;
    if (RegQueryValueExA(key, "LastWriteTime", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
        entry.lastWrite.resize(size);
        RegQueryValueExA(key, "LastWriteTime", nullptr, nullptr, entry.lastWrite.data(), &size);
    }
    // The wide query returns the stored units as they are; the 8-bit one adds a NUL of its
    // own behind a value that was stored without one.
    size = 0;
    if (RegQueryValueExW(key, L"Version", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
        std::wstring units(size / sizeof(wchar_t), L'\0');
        RegQueryValueExW(key, L"Version", nullptr, nullptr, reinterpret_cast<BYTE*>(units.data()), &size);
        for (wchar_t unit : units) entry.version.push_back(static_cast<char>(unit));
        // The launcher writes the text's length only; Wine's 8-bit RegSetValueEx stores a NUL
        // behind such a value all the same, Windows does not. Either way there is one at most.
        if (!entry.version.empty() && entry.version.back() == '\0') entry.version.pop_back();
    }
    RegCloseKey(key);
    return entry;
}

FILETIME lastWriteOf(const std::string& path) {
    FILETIME time = {};
    exists(path, &time);
    return time;
}

std::vector<unsigned char> bytesOf(const FILETIME& time) {
    const auto* p = reinterpret_cast<const unsigned char*>(&time);
    return std::vector<unsigned char>(p, p + sizeof time);
}

class JavaProbe : public ::testing::Test {
protected:
    void SetUp() override {
        clearConfigStoreForTest();
        test::beginTestLog();
        root_ = test::scratchPath("vkrprobe");
        CreateDirectoryA(root_.c_str(), nullptr);
    }
    void TearDown() override {
        for (const std::string& exe : probed_) RegDeleteTreeA(HKEY_CURRENT_USER, versionCacheKeyName(exe).c_str());
        removeTree(root_);
        setVersionQueryTimeoutForTest(kVersionQueryTimeoutMs);
        clearConfigStoreForTest();
        test::endTestLog();
    }

    // Creates home\relativeDir with the stand-in (java.exe, and javaw.exe if asked) and its
    // java.cfg; returns the directory (canonical, lower-case).
    std::string layOut(const std::string& relativeDir, const std::string& cfg, bool withJavaw = false) {
        std::string dir = root_;
        size_t start = 0;
        while (start <= relativeDir.size()) {
            size_t end = relativeDir.find('\\', start);
            if (end == std::string::npos) end = relativeDir.size();
            if (end > start) {
                dir.push_back('\\');
                dir.append(relativeDir, start, end - start);
                CreateDirectoryA(dir.c_str(), nullptr);
            }
            start = end + 1;
        }
        const std::string fixtures = fixturesDirectory() + "\\javastub\\";
        EXPECT_TRUE(CopyFileA((fixtures + "java.exe").c_str(), (dir + "\\java.exe").c_str(), FALSE)) << fixtures;
        if (withJavaw) {
            EXPECT_TRUE(CopyFileA((fixtures + "javaw.exe").c_str(), (dir + "\\javaw.exe").c_str(), FALSE));
        }
        writeWholeFile(dir + "\\java.cfg", cfg);
        probed_.push_back(dir + "\\java.exe");
        return dir;
    }

    static std::vector<std::string> runs(const std::string& dir) { return lines(readWholeFile(dir + "\\java.runs")); }

    static std::string logText() { return test::testLogText(); }

    bool probe(std::string& path, std::string& version, const char* minimum = "", const char* maximum = "") {
        return checkJavaExe(path, version, parseVersion(minimum), parseVersion(maximum), Prerelease::Refused);
    }

    std::string root_;
    std::vector<std::string> probed_;
};

// A handle any child would inherit, unless it is given only its own; the stand-in records
// whether it received it.
struct InheritableSemaphore {
    UniqueHandle handle;
    InheritableSemaphore() {
        SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
        handle.reset(CreateSemaphoreA(&inheritable, 0, 100, nullptr));
    }
    std::string configLine() const {
        return "semaphore=" + std::to_string(reinterpret_cast<INT_PTR>(handle.get())) + "\n";
    }
};

constexpr const char* kOpenJdk17 = "banner=openjdk version \"17.0.1\" 2021-10-19\n"
                                   "banner=OpenJDK Runtime Environment (build 17.0.1+12-39)\n";

TEST_F(JavaProbe, SecondProbeIsAnsweredByTheCacheWithoutARun) {
    const std::string bin = layOut("jre\\bin", kOpenJdk17);
    std::string path = root_ + "\\JRE\\\\bin\\java.exe";
    std::string version;
    ASSERT_TRUE(probe(path, version, "1.8"));
    EXPECT_EQ(path, bin + "\\java.exe") << "canonical: lower-cased, backslash runs collapsed";
    EXPECT_EQ(version, "17.0.1");
    ASSERT_EQ(runs(bin).size(), 1u);
    EXPECT_EQ(runs(bin)[0], "java.exe|args=-version|_JAVA_OPTIONS=<unset>|semaphore=-");

    const CacheEntry entry = readEntry(path);
    ASSERT_TRUE(entry.present);
    EXPECT_EQ(entry.lastWrite, bytesOf(lastWriteOf(path)));
    EXPECT_EQ(entry.version, "17.0.1");

    std::string again = path;
    version.clear();
    ASSERT_TRUE(probe(again, version, "1.8"));
    EXPECT_EQ(version, "17.0.1");
    EXPECT_EQ(runs(bin).size(), 1u) << "a cache hit starts no process";
    EXPECT_NE(logText().find("got version from registry 17.0.1"), std::string::npos);
}

TEST_F(JavaProbe, RuntimeUpdatedInPlaceIsProbedAgainAndItsEntryRewritten) {
    const std::string bin = layOut("jre\\bin", kOpenJdk17);
    std::string path = bin + "\\java.exe";
    std::string version;
    ASSERT_TRUE(probe(path, version));

    writeWholeFile(bin + "\\java.cfg", "banner=openjdk version \"17.0.2\" 2022-01-18\n");
    FILETIME newer = lastWriteOf(path);
    ULARGE_INTEGER later = {};
    later.LowPart = newer.dwLowDateTime;
    later.HighPart = newer.dwHighDateTime;
    later.QuadPart += 10'000'000ULL * 3600;
    newer.dwLowDateTime = later.LowPart;
    newer.dwHighDateTime = later.HighPart;
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &newer));
    CloseHandle(h);

    ASSERT_TRUE(probe(path, version));
    EXPECT_EQ(version, "17.0.2");
    EXPECT_EQ(runs(bin).size(), 2u);
    const CacheEntry entry = readEntry(path);
    EXPECT_EQ(entry.lastWrite, bytesOf(newer));
    EXPECT_EQ(entry.version, "17.0.2");
}

TEST_F(JavaProbe, FailureMarkerAndOldUndecidedEntriesNeverCount) {
    const std::string bin = layOut("jre\\bin", "banner=java version \"1.8.0_292\"\n");
    const std::string path = bin + "\\java.exe";
    struct Case {
        const char* cached;
        bool runs;
    };
    // "1.7.0_80" is an ordinary cached version: only the exact old texts are misses.
    const std::vector<Case> cases = {{"1.0.0", true}, {"1.5.", true}, {"1.6.", true}, {"1.7.", true}, {"1.7.0_80", false}};
    for (const Case& c : cases) {
        storeCachedVersion(path, lastWriteOf(path), c.cached);
        const size_t before = runs(bin).size();
        std::string probedPath = path;
        std::string version;
        const bool passed = probe(probedPath, version);
        EXPECT_EQ(runs(bin).size(), before + (c.runs ? 1 : 0)) << c.cached;
        EXPECT_EQ(version, c.runs ? "1.8.0_292" : c.cached) << c.cached;
        EXPECT_TRUE(passed) << c.cached;
    }
}

TEST_F(JavaProbe, NonZeroExitStoresTheFailureMarkerAndTheNextProbeRunsAgain) {
    const std::string bin = layOut("jre\\bin", "banner=java version \"1.8.0_292\"\nexit=1\n");
    std::string path = bin + "\\java.exe";
    std::string version;
    EXPECT_FALSE(probe(path, version));
    EXPECT_EQ(readEntry(path).version, kFailureMarker);
    EXPECT_FALSE(probe(path, version));
    EXPECT_EQ(runs(bin).size(), 2u);
}

TEST_F(JavaProbe, BannerPrefixesDecideTheVersionThroughARealChild) {
    struct Case {
        const char* banner;
        bool found;
        const char* version;
    };
    const std::vector<Case> cases = {
        {"banner=openjdk version \"17.0.1\" 2021-10-19\n", true, "17.0.1"},
        {"banner=java version \"1.8.0_292\"\n", true, "1.8.0_292"},
        {"banner=Picked up _JAVA_OPTIONS: -Xmx1m\nbanner=java version \"1.8.0_292\"\n", false, ""},
        {"", false, ""},
    };
    int index = 0;
    for (const Case& c : cases) {
        const std::string bin = layOut("case" + std::to_string(++index) + "\\bin", c.banner);
        std::string path = bin + "\\java.exe";
        std::string version;
        EXPECT_EQ(probe(path, version), c.found) << c.banner;
        EXPECT_EQ(version, c.version) << c.banner;
        EXPECT_EQ(readEntry(path).present, c.found) << "a banner without a version stores nothing: " << c.banner;
    }
}

TEST_F(JavaProbe, VersionOutsideTheRangeIsStillReported) {
    const std::string bin = layOut("jre\\bin", kOpenJdk17);
    std::string path = bin + "\\java.exe";
    std::string version;
    EXPECT_FALSE(probe(path, version, "18"));
    EXPECT_EQ(version, "17.0.1");
    EXPECT_FALSE(probe(path, version, "1.8", "11"));
    EXPECT_EQ(runs(bin).size(), 1u);
}

TEST_F(JavaProbe, MissingExecutableStartsNothing) {
    std::string path = root_ + "\\nothing\\bin\\java.exe";
    std::string version = "stale";
    EXPECT_FALSE(probe(path, version));
    EXPECT_NE(logText().find("file doesn't exist"), std::string::npos);
    EXPECT_NE(logText().find("checkJavaExe returning 0"), std::string::npos);
}

TEST_F(JavaProbe, WindowedKindNeedsJavawBesideJava) {
    setConfigTextForTest(107, "1");
    const std::string with = layOut("with\\bin", kOpenJdk17, true);
    std::string path = with + "\\java.exe";
    std::string version;
    EXPECT_TRUE(probe(path, version));
    EXPECT_EQ(path, with + "\\javaw.exe");
    EXPECT_EQ(runs(with)[0].rfind("java.exe|", 0), 0u) << "the console executable tells the version";

    const std::string without = layOut("without\\bin", kOpenJdk17);
    path = without + "\\java.exe";
    EXPECT_FALSE(probe(path, version));
    EXPECT_EQ(path, without + "\\javaw.exe");
}

TEST_F(JavaProbe, HomeLayoutsAndTheJdkRequirement) {
    layOut("jdk\\jre\\bin", kOpenJdk17);
    layOut("jdk\\bin", kOpenJdk17);
    const std::string jdk = root_ + "\\jdk";
    std::string path;

    // A JRE suffices: the jre folder comes first.
    EXPECT_TRUE(locateJavaExe(jdk, path));
    EXPECT_EQ(path, jdk + "\\jre\\bin\\java.exe");

    // A JDK is required: without lib\tools.jar the home is refused before any probe.
    setConfigTextForTest(131, "1");
    EXPECT_FALSE(locateJavaExe(jdk, path));
    EXPECT_EQ(path, jdk + "\\jre\\bin\\java.exe");
    CreateDirectoryA((jdk + "\\lib").c_str(), nullptr);
    writeWholeFile(jdk + "\\lib\\tools.jar", "PK");
    EXPECT_TRUE(locateJavaExe(jdk, path));
    EXPECT_EQ(path, jdk + "\\jre\\bin\\java.exe");
    std::string version;
    EXPECT_TRUE(probe(path, version));
    EXPECT_EQ(runs(jdk + "\\jre\\bin").size(), 1u);
    EXPECT_EQ(runs(jdk + "\\bin").size(), 0u);

    // A home with only bin\java.exe is probed through it.
    clearConfigStoreForTest();
    const std::string binOnly = layOut("binonly\\bin", kOpenJdk17);
    EXPECT_TRUE(locateJavaExe(root_ + "\\binonly", path));
    EXPECT_EQ(path, binOnly + "\\java.exe");
    EXPECT_TRUE(probe(path, version));
    EXPECT_EQ(runs(binOnly).size(), 1u);

    // Without either executable the locate step still succeeds; the probe decides.
    EXPECT_TRUE(locateJavaExe(root_ + "\\empty", path));
    EXPECT_EQ(path, root_ + "\\empty\\bin\\java.exe");
}

TEST_F(JavaProbe, JavaOptionsAreHiddenFromTheChildAndPutBack) {
    const std::string bin = layOut("jre\\bin", kOpenJdk17);
    ASSERT_TRUE(SetEnvironmentVariableA("_JAVA_OPTIONS", "-Xmx1m -Dx=\"a b\""));
    std::string path = bin + "\\java.exe";
    std::string version;
    EXPECT_TRUE(probe(path, version));
    char value[100] = {};
    GetEnvironmentVariableA("_JAVA_OPTIONS", value, sizeof value);
    SetEnvironmentVariableA("_JAVA_OPTIONS", nullptr);
    EXPECT_STREQ(value, "-Xmx1m -Dx=\"a b\"");
    ASSERT_EQ(runs(bin).size(), 1u);
    EXPECT_NE(runs(bin)[0].find("|_JAVA_OPTIONS=<unset>|"), std::string::npos) << runs(bin)[0];
}

TEST_F(JavaProbe, ChildInheritsOnlyItsStandardError) {
    InheritableSemaphore semaphore;
    ASSERT_TRUE(semaphore.handle);
    const std::string bin = layOut("jre\\bin", std::string(kOpenJdk17) + semaphore.configLine());
    std::string path = bin + "\\java.exe";
    std::string version;
    EXPECT_TRUE(probe(path, version));
    ASSERT_EQ(runs(bin).size(), 1u);
    EXPECT_NE(runs(bin)[0].find("semaphore=absent"), std::string::npos) << runs(bin)[0];
}

// Regression: when the list of handles to pass on could not be built, the child was started
// anyway and inherited every inheritable handle the launcher held; in a service host that
// keeps the child's pipe open for as long as the child runs. Now no child starts.
TEST_F(JavaProbe, WithoutAHandleListNoChildIsStarted) {
    InheritableSemaphore semaphore;
    ASSERT_TRUE(semaphore.handle);
    const std::string bin = layOut("jre\\bin", std::string(kOpenJdk17) + semaphore.configLine());
    std::string path = bin + "\\java.exe";
    std::string version;
    failHandleListsForTest(true);
    const bool passed = probe(path, version);
    failHandleListsForTest(false);
    EXPECT_FALSE(passed);
    EXPECT_TRUE(runs(bin).empty()) << runs(bin)[0];
    EXPECT_FALSE(readEntry(path).present) << "nothing was learned about the runtime";
    EXPECT_NE(logText().find("could not limit the handles the version query inherits"), std::string::npos);
}

// Regression: whether the child still ran was judged by an exit code of 259 (STILL_ACTIVE)
// read after a wait whose result was not looked at. A runtime that really ended with 259
// was then "terminated" as a hanging one and nothing was cached, so every start ran it again.
TEST_F(JavaProbe, AChildThatEndedWithCode259IsAFailedRunNotAHangingOne) {
    const std::string bin = layOut("jre\\bin", std::string(kOpenJdk17) + "exit=259\n");
    std::string path = bin + "\\java.exe";
    std::string version;
    EXPECT_FALSE(probe(path, version));
    EXPECT_EQ(readEntry(path).version, kFailureMarker);
    const std::string log = logText();
    EXPECT_NE(log.find("Exit Code 259"), std::string::npos);
    EXPECT_EQ(log.find("Terminating process"), std::string::npos);
}

TEST_F(JavaProbe, HangingChildIsEndedAfterTheLimitAndNothingIsCached) {
    const std::string bin = layOut("jre\\bin", std::string(kOpenJdk17) + "delay=20000\n");
    setVersionQueryTimeoutForTest(500);
    std::string path = bin + "\\java.exe";
    std::string version;
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(probe(path, version));
    EXPECT_LT(GetTickCount64() - start, 10000u);
    EXPECT_FALSE(readEntry(path).present);
    EXPECT_EQ(runs(bin).size(), 1u);
    const std::string log = logText();
    EXPECT_NE(log.find("Exit Code 259"), std::string::npos);
    EXPECT_NE(log.find("Terminating process"), std::string::npos);
    EXPECT_NE(log.find("couldn't get version"), std::string::npos);
}

TEST_F(JavaProbe, CachedVersionValuesAreReadWithinTheirLimit) {
    const std::string path = root_ + "\\cache\\java.exe";
    probed_.push_back(path);
    const FILETIME time = {0x12345678u, 0x01d00000u};
    std::string version;

    storeCachedVersion(path, time, "17.0.1");
    EXPECT_TRUE(readCachedVersion(path, time, version));
    EXPECT_EQ(version, "17.0.1");
    FILETIME other = time;
    other.dwLowDateTime += 1;
    EXPECT_FALSE(readCachedVersion(path, other, version)) << "another last-write time";

    // A value written by another tool with its NUL reads the same.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, versionCacheKeyName(path).c_str(), 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("11.0.2"), 7);
    EXPECT_TRUE(readCachedVersion(path, time, version));
    EXPECT_EQ(version, "11.0.2");

    // Just within the limit, without a NUL: all of it, nothing behind it. (Wine's 8-bit query
    // adds a NUL, so a value of exactly the limit is a miss there.)
    const std::string full(kMaxCachedVersionBytes - 1, '9');
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(full.data()),
                   static_cast<DWORD>(full.size()));
    EXPECT_TRUE(readCachedVersion(path, time, version));
    EXPECT_EQ(version.size(), full.size());
    EXPECT_TRUE(version == full);

    // Longer than the limit: a miss, not a cut version.
    const std::string longer(kMaxCachedVersionBytes + 1000, '8');
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(longer.data()),
                   static_cast<DWORD>(longer.size()));
    EXPECT_FALSE(readCachedVersion(path, time, version));

    // A last-write time of the wrong size is a miss.
    RegSetValueExA(key, "LastWriteTime", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&time), 4);
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("17"), 2);
    EXPECT_FALSE(readCachedVersion(path, time, version));
    RegCloseKey(key);

    EXPECT_EQ(versionCacheKeyName("c:\\program files\\app\\jre\\bin\\java.exe"),
              "SOFTWARE\\morrandt\\quenta\\jvms\\c:/program files/app/jre/bin/java.exe");
}

TEST(ParseVersionBanner, PrefixesQuotesAndCutLines) {
    struct Case {
        std::string line;
        bool found;
        std::string version;
    };
    const std::vector<Case> cases = {
        {"openjdk version \"17.0.1\" 2021-10-19\n", true, "17.0.1"},
        {"java version \"1.8.0_292\"\n", true, "1.8.0_292"},
        {"java version \"\"\n", true, ""},
        // No closing quote: the rest without its last two characters (a line end).
        {"java version \"1.8.0_292\r\n", true, "1.8.0_292"},
        {"openjdk version \"17.0.1x\n", true, "17.0.1"},
        // Fewer than two characters behind the prefix stay within the line.
        {"java version \"1", true, ""},
        {"java version \"", true, ""},
        {"Picked up _JAVA_OPTIONS: -Xmx1m\n", false, ""},
        {" java version \"1.8\"\n", false, ""},
        {"Java version \"1.8\"\n", false, ""},
        {"java version 1.8\n", false, ""},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        std::string version = "untouched";
        EXPECT_EQ(parseVersionBanner(c.line, version), c.found) << c.line;
        if (c.found) EXPECT_EQ(version, c.version) << c.line;
        else EXPECT_EQ(version, "untouched") << c.line;
    }
}

} // namespace
} // namespace vkr
