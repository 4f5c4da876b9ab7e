// Loading jvm.dll from stand-in runtimes laid out in a temp directory: the VM kind order, the
// 32-bit library that a 64-bit process cannot load, the retry through a JDK's private runtime,
// PATH in both environment views, the DLL search directories, the ucrtbase.dll preload and the
// messages LoadDLL shows when nothing usable loads.
#include "jvm/JvmLoader.h"

#include "config/ConfigStore.h"
#include "config/ErrorReporting.h"
#include "config_test_support.h"
#include "test_files.h"
#include "jvm/JavaProbe.h"
#include "jvm/JvmSearch.h"
#include "util/DiagnosticLog.h"
#include "util/EnvironmentPath.h"
#include "util/Paths.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vkr {
namespace {

using test::CapturedStandardError;
using test::createDirectories;
using test::fixturesDirectory;
using test::removeTree;
using test::Terminated;
using test::writeWholeFile;

// --- pure rules -------------------------------------------------------------------------

TEST(JvmLoaderRules, BinDirectoryAndHomeOfAnExecutable) {
    struct Case {
        const char* javaExe;
        const char* bin;
        const char* home;
    };
    const std::vector<Case> cases = {
        {"c:\\program files\\app\\jre\\bin\\java.exe", "c:\\program files\\app\\jre\\bin",
         "c:\\program files\\app\\jre\\bin\\.."},
        {"c:\\app\\jre\\bin\\javaw.exe", "c:\\app\\jre\\bin", "c:\\app\\jre\\bin\\.."},
        // The windowed name is recognised whatever its case.
        {"C:\\APP\\BIN\\JAVAW.EXE", "C:\\APP\\BIN", "C:\\APP\\BIN\\.."},
        // Any other name counts as long as "java.exe".
        {"c:\\jdk\\bin\\kava.exe", "c:\\jdk\\bin", "c:\\jdk\\bin\\.."},
        {"c:\\jdk\\bin\\..\\jre\\bin\\java.exe", "c:\\jdk\\bin\\..\\jre\\bin", "c:\\jdk\\bin\\..\\jre\\bin\\.."},
        {"\\\\server\\share\\jre\\bin\\java.exe", "\\\\server\\share\\jre\\bin", "\\\\server\\share\\jre\\bin\\.."},
        // Shorter than a name and its backslash: nothing is left of the directory.
        {"java.exe", "", ".."},
        {"", "", ".."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(binDirectoryOf(c.javaExe), c.bin) << c.javaExe;
        EXPECT_EQ(jvmHomeOf(c.javaExe), c.home) << c.javaExe;
    }
}

TEST(JvmLoaderRules, PrivateRuntimeExecutableBesideTheJdkBin) {
    struct Case {
        const char* javaExe;
        const char* privateExe;
    };
    const std::vector<Case> cases = {
        {"c:\\jdk1.6\\bin\\java.exe", "c:\\jdk1.6\\bin\\..\\jre\\bin\\java.exe"},
        {"c:\\jdk1.6\\bin\\javaw.exe", "c:\\jdk1.6\\bin\\..\\jre\\bin\\java.exe"},
        {"java.exe", "..\\jre\\bin\\java.exe"},
    };
    for (const Case& c : cases) EXPECT_EQ(privateRuntimeJavaExe(c.javaExe), c.privateExe) << c.javaExe;
}

TEST(JvmLoaderRules, VmKindOrder) {
    struct Case {
        const char* configured;
        std::vector<std::string> order;
    };
    const std::vector<Case> cases = {
        {"", {"client", "server", "j9vm", "hotspot", "jrockit"}},
        // A configured fixed name is tried twice: first, and again in its own place.
        {"server", {"server", "client", "server", "j9vm", "hotspot", "jrockit"}},
        {"jrockit", {"jrockit", "client", "server", "j9vm", "hotspot", "jrockit"}},
        {"minimal", {"minimal", "client", "server", "j9vm", "hotspot", "jrockit"}},
    };
    for (const Case& c : cases) EXPECT_EQ(vmKindOrder(c.configured), c.order) << c.configured;
}

// --- helpers for the runtime trees ------------------------------------------------------

// PATH as the process block, the C runtime's 8-bit table and its wide table hold it.
struct PathViews {
    std::optional<std::string> process;
    std::optional<std::string> crt;
    std::optional<std::wstring> crtWide;
    bool operator==(const PathViews&) const = default;
};

PathViews currentPathViews() {
    PathViews views;
    SetLastError(ERROR_SUCCESS);
    DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
    if (size != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND) {
        std::string value(size + 1, '\0');
        value.resize(GetEnvironmentVariableA("PATH", value.data(), static_cast<DWORD>(value.size())));
        views.process = value;
    }
    if (const char* crt = std::getenv("PATH")) views.crt = crt;
    if (const wchar_t* wide = _wgetenv(L"PATH")) views.crtWide = wide;
    return views;
}

std::ostream& operator<<(std::ostream& out, const PathViews& v) {
    auto show = [&](const char* name, const std::optional<std::string>& s) {
        out << name << "=" << (s ? "\"" + *s + "\"" : std::string("<unset>")) << " ";
    };
    show("process", v.process);
    show("crt", v.crt);
    show("crtWide", v.crtWide ? std::optional<std::string>(narrowText(*v.crtWide)) : std::nullopt);
    return out;
}

// Sets both views the way a user's environment has them: the C runtime's table first, since
// it cannot hold an empty value and would remove the variable from the process block too.
void setPathViews(const std::optional<std::string>& value) {
    std::string entry = "PATH=" + value.value_or(std::string());
    _putenv(entry.c_str());
    SetEnvironmentVariableA("PATH", value ? value->c_str() : nullptr);
}

// The diagnostic log's lines without their time prefix.
std::vector<std::string> logLines() {
    const wchar_t* path = logFilePath();
    if (!path) return {};
    std::vector<std::string> out = test::lines(test::readWholeFile(narrowText(path)));
    for (std::string& line : out) {
        size_t close = line.rfind('[', 0) == 0 ? line.find("] ") : std::string::npos;
        if (close != std::string::npos) line.erase(0, close + 2);
    }
    return out;
}

bool hasLine(const std::vector<std::string>& lines, const std::string& line) {
    for (const std::string& l : lines)
        if (l == line) return true;
    return false;
}

std::vector<std::string> linesStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& l : lines)
        if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
}

// The message texts of the shipped block.
constexpr const wchar_t* kMessage1005 = L"The JVM could not be started. The maximum heap size (-Xmx) might be too large "
                                        L"or an antivirus or firewall tool could block the execution.";
constexpr const wchar_t* kMessage1016 = L"No JVM could be found on your system.\nPlease define QUENTA_JAVA_HOME\nto point "
                                        L"to an installed {0}-bit JDK or JRE or download a JRE from adoptium.net.";
constexpr const wchar_t* kMessage1018 = L"The {0} environment variable does not\npoint to a working 64-bit JDK or JRE.";
constexpr const wchar_t* kMessage1020 = L"The JVM found at {0} is damaged.\nPlease reinstall or define "
                                        L"QUENTA_JAVA_HOME\nto point to an installed 64-bit JDK or JRE.";

constexpr const char* kBanner17 = "banner=openjdk version \"17.0.1\" 2021-10-19\n";

void setShippedMessages() {
    setMessageTextForTest(1005, kMessage1005);
    setMessageTextForTest(1016, kMessage1016);
    setMessageTextForTest(1018, kMessage1018);
    setMessageTextForTest(1020, kMessage1020);
}

class JvmLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedPath_ = currentPathViews();
        clearConfigStoreForTest();
        setShippedMessages();
        setErrorOutput(ErrorOutput::Console);
        setTerminateHookForTest(&test::throwingTerminateHook);
        for (const char* name : {"QUENTA_JAVA_HOME", "VELKOR_JAVA_HOME", "VKR_LOADER_HOME"})
            SetEnvironmentVariableA(name, nullptr);
        test::beginTestLog();
        root_ = test::scratchPath("vkrloader");
        CreateDirectoryA(root_.c_str(), nullptr);
    }

    void TearDown() override {
        // Loaded stand-ins would keep their files; the launcher never frees a JVM, a test may.
        for (const std::string& dll : libraries_)
            for (int i = 0; i < 8; ++i) {
                HMODULE module = GetModuleHandleA(dll.c_str());
                if (!module) break;
                FreeLibrary(module);
            }
        for (const std::string& exe : probed_) RegDeleteTreeA(HKEY_CURRENT_USER, versionCacheKeyName(exe).c_str());
        for (const auto& undo : registryUndo_) undo();
        removeTree(root_);
        setPathViews(savedPath_.process);
        setTerminateHookForTest(nullptr);
        clearConfigStoreForTest();
        test::endTestLog();
    }

    // root\relativeHome\bin with the stand-in java.exe (reporting 17.0.1) unless withJava is
    // false, and for each (kind, flavour) pair bin\kind\jvm.dll copied from the x64, noexport
    // or x86 stand-in. Returns the bin directory.
    std::string layOutRuntime(const std::string& relativeBin, std::vector<std::pair<std::string, std::string>> dlls,
                              bool withJava = true) {
        const std::string bin = root_ + "\\" + relativeBin;
        createDirectories(bin);
        if (withJava) {
            const std::string stub = fixturesDirectory() + "\\javastub\\java.exe";
            EXPECT_TRUE(CopyFileA(stub.c_str(), (bin + "\\java.exe").c_str(), FALSE)) << stub;
            writeWholeFile(bin + "\\java.cfg", kBanner17);
            probed_.push_back(bin + "\\java.exe");
            probed_.push_back(bin + "\\javaw.exe");
        }
        for (const auto& [kind, flavour] : dlls) putLibrary(bin + "\\" + kind, flavour, "jvm.dll");
        return bin;
    }

    void putLibrary(const std::string& directory, const std::string& flavour, const std::string& name) {
        createDirectories(directory);
        const std::string source = fixturesDirectory() + "\\jvmdll\\" + flavour + "\\jvm.dll";
        const std::string target = directory + "\\" + name;
        EXPECT_TRUE(CopyFileA(source.c_str(), target.c_str(), FALSE)) << source;
        libraries_.push_back(target);
    }

    // A registry key or value the test writes under HKCU, removed afterwards.
    void setUserValue(const std::string& key, const std::string& name, const std::string& data) {
        HKEY opened = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened,
                                  nullptr),
                  ERROR_SUCCESS)
            << key;
        if (!name.empty() || !data.empty())
            RegSetValueExA(opened, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>(data.size() + 1));
        RegCloseKey(opened);
        if (name.empty()) {
            registryUndo_.push_back([key] { RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str()); });
        } else {
            registryUndo_.push_back([key, name] { RegDeleteKeyValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str()); });
        }
    }

    std::string root_;
    PathViews savedPath_;
    std::vector<std::string> probed_;
    std::vector<std::string> libraries_;
    std::vector<std::function<void()>> registryUndo_;
};

// The order of the tries is what the log shows; the first library that loads ends them.
TEST_F(JvmLoaderTest, ConfiguredKindFirstThenTheFixedNamesUntilOneLoads) {
    const std::string bin = layOutRuntime("jre\\bin", {{"hotspot", "x64"}});
    setConfigTextForTest(152, "server");
    HMODULE library = loadJvmLibrary(bin + "\\java.exe");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library, GetModuleHandleA((bin + "\\hotspot\\jvm.dll").c_str()));
    const std::vector<std::string> expected = {
        "Trying " + bin + "\\server\\jvm.dll (exists 0)", "Trying " + bin + "\\client\\jvm.dll (exists 0)",
        "Trying " + bin + "\\server\\jvm.dll (exists 0)", "Trying " + bin + "\\j9vm\\jvm.dll (exists 0)",
        "Trying " + bin + "\\hotspot\\jvm.dll (exists 1)",
    };
    const std::vector<std::string> lines = logLines();
    EXPECT_EQ(linesStartingWith(lines, "Trying "), expected);
    EXPECT_TRUE(linesStartingWith(lines, "Failed with error code").empty()) << "a missing file is no failure";

    // Loaded: PATH starts with the bin directory in both views and stays so.
    const PathViews now = currentPathViews();
    const std::string prefix = bin + ";";
    ASSERT_TRUE(now.process && now.crt && now.crtWide) << now;
    EXPECT_EQ(*now.process, prefix + savedPath_.process.value_or(""));
    EXPECT_EQ(*now.crt, *now.process);
    EXPECT_EQ(*now.crtWide, widenCodePage(*now.process));
    EXPECT_TRUE(hasLine(lines, "Setting PATH " + std::to_string(savedPath_.process ? savedPath_.process->size() + 1 : 0) +
                                   " " + *now.process));
}

TEST_F(JvmLoaderTest, ConfiguredKindIsCutToItsLimit) {
    const std::string longKind(250, 'k');
    setConfigTextForTest(152, longKind);
    const std::string bin = layOutRuntime("jre\\bin", {{longKind.substr(0, 199), "x64"}});
    EXPECT_NE(loadJvmLibrary(bin + "\\java.exe"), nullptr);
    const std::vector<std::string> tries = linesStartingWith(logLines(), "Trying ");
    ASSERT_EQ(tries.size(), 1u);
    EXPECT_EQ(tries[0], "Trying " + bin + "\\" + longKind.substr(0, 199) + "\\jvm.dll (exists 1)");
}

// A 32-bit jvm.dll exists but cannot be loaded into a 64-bit process: the failure is logged
// and PATH goes back to exactly what it was, whatever it was, in every view.
TEST_F(JvmLoaderTest, ThirtyTwoBitLibraryFailsWith193AndLeavesPathAsItWas) {
    const std::string bin = layOutRuntime("x86\\bin", {{"server", "x86"}});
    struct Case {
        std::optional<std::string> path;
        const char* addDllDirectory;
    };
    const std::string original = savedPath_.process.value_or("C:\\windows\\system32;C:\\windows");
    const std::vector<Case> cases = {
        {original, ""},
        {original, "1"},
        {std::nullopt, ""},
        {std::string(), ""},
        // Longer than the 24006 characters the design's buffer would hold.
        {original + ";" + std::string(30000, 'p'), ""},
    };
    for (const Case& c : cases) {
        const std::string label = (c.path ? std::to_string(c.path->size()) : std::string("unset")) + " key154=" +
                                  c.addDllDirectory;
        setConfigTextForTest(154, c.addDllDirectory);
        setPathViews(c.path);
        const PathViews before = currentPathViews();
        const size_t logged = logLines().size();

        EXPECT_EQ(loadJvmLibrary(bin + "\\java.exe"), nullptr) << label;

        EXPECT_EQ(currentPathViews(), before) << label;
        std::vector<std::string> lines = logLines();
        lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(logged));
        const std::vector<std::string> tries = linesStartingWith(lines, "Trying ");
        ASSERT_EQ(tries.size(), 5u) << label;
        EXPECT_EQ(tries[1], "Trying " + bin + "\\server\\jvm.dll (exists 1)") << label;
        EXPECT_EQ(linesStartingWith(lines, "Failed with error code "),
                  std::vector<std::string>{"Failed with error code 193"})
            << label;
        EXPECT_TRUE(hasLine(lines, "Setting PATH " + c.path.value_or(""))) << label;
        const bool added = c.addDllDirectory[0] != '\0';
        EXPECT_EQ(hasLine(lines, "Adding DLL directory " + bin), added) << label;
        EXPECT_EQ(hasLine(lines, "Removing DLL directory"), added) << label;
    }
}

// An old JDK: no VM kind directory in its own bin, one in jre\bin. The first attempt undoes
// its PATH change before the private runtime's attempt makes its own.
TEST_F(JvmLoaderTest, OldJdkLoadsThroughItsPrivateRuntime) {
    const std::string jdkBin = layOutRuntime("jdk\\bin", {});
    putLibrary(root_ + "\\jdk\\jre\\bin\\server", "x64", "jvm.dll");
    const std::string privateBin = jdkBin + "\\..\\jre\\bin";

    HMODULE library = loadJvmFromJavaExe(jdkBin + "\\java.exe");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library, GetModuleHandleA((root_ + "\\jdk\\jre\\bin\\server\\jvm.dll").c_str()));

    const std::vector<std::string> lines = logLines();
    EXPECT_TRUE(hasLine(lines, "Trying to load JVM-DLL from " + jdkBin + "\\java.exe"));
    const std::vector<std::string> tries = linesStartingWith(lines, "Trying " + privateBin);
    ASSERT_EQ(tries.size(), 2u);
    EXPECT_EQ(tries[1], "Trying " + privateBin + "\\server\\jvm.dll (exists 1)");
    EXPECT_EQ(linesStartingWith(lines, "Trying " + jdkBin + "\\").size(), 5u + tries.size());
    EXPECT_TRUE(hasLine(lines, "Setting PATH " + savedPath_.process.value_or("")));

    const PathViews now = currentPathViews();
    ASSERT_TRUE(now.process && now.crt) << now;
    EXPECT_EQ(*now.process, privateBin + ";" + savedPath_.process.value_or(""));
    EXPECT_EQ(*now.crt, *now.process);
}

TEST_F(JvmLoaderTest, RuntimeWithItsOwnLibraryNeedsNoRetryAndOneWithoutAnyLoadsNothing) {
    const std::string jre = layOutRuntime("jre\\bin", {{"client", "x64"}});
    EXPECT_NE(loadJvmFromJavaExe(jre + "\\java.exe"), nullptr);
    EXPECT_TRUE(linesStartingWith(logLines(), "Trying " + jre + "\\..").empty());
    setPathViews(savedPath_.process);

    const std::string bare = layOutRuntime("bare\\bin", {});
    EXPECT_EQ(loadJvmFromJavaExe(bare + "\\java.exe"), nullptr);
    EXPECT_EQ(linesStartingWith(logLines(), "Trying " + bare + "\\..\\jre\\bin\\").size(), 5u);
    EXPECT_EQ(currentPathViews(), savedPath_);
}

// --- LoadDLL ----------------------------------------------------------------------------

TEST_F(JvmLoaderTest, LoadDllPublishesHomeVersionAndEntryPoint) {
    struct Case {
        const char* kind; // configuration key 107: "1" wants javaw.exe beside java.exe
        const char* exe;
    };
    for (const Case& c : {Case{"", "java.exe"}, Case{"1", "javaw.exe"}}) {
        const std::string home = root_ + "\\ok" + c.exe;
        const std::string bin = layOutRuntime("ok" + std::string(c.exe) + "\\bin", {{"server", "x64"}});
        CopyFileA((fixturesDirectory() + "\\javastub\\javaw.exe").c_str(), (bin + "\\javaw.exe").c_str(), FALSE);
        clearConfigStoreForTest();
        setConfigTextForTest(107, c.kind);
        setConfigTextForTest(128, "B" + home);
        setPathViews(savedPath_.process);

        CapturedStandardError captured;
        ASSERT_TRUE(LoadDLL()) << c.exe;
        EXPECT_EQ(captured.text(), "") << c.exe;
        EXPECT_EQ(jvmHome(), bin + "\\..") << c.exe;
        EXPECT_EQ(jvmVersion(), "17.0.1") << c.exe;
        HMODULE library = GetModuleHandleA((bin + "\\server\\jvm.dll").c_str());
        ASSERT_NE(library, nullptr) << c.exe;
        const auto expected = reinterpret_cast<CreateJavaVMFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(library, "JNI_CreateJavaVM")));
        ASSERT_NE(jvmCreationEntryPoint(), nullptr) << c.exe;
        EXPECT_EQ(jvmCreationEntryPoint(), expected) << c.exe;
        void* vm = &vm;
        void* env = &env;
        EXPECT_EQ(jvmCreationEntryPoint()(&vm, &env, nullptr), -1) << "the stand-in's answer";
        EXPECT_EQ(vm, nullptr);
        const std::vector<std::string> lines = logLines();
        EXPECT_TRUE(hasLine(lines, "Trying to load JVM-DLL from " + bin + "\\" + c.exe)) << c.exe;
        EXPECT_TRUE(hasLine(lines, "Loading of JVM-DLL successful")) << c.exe;
        EXPECT_EQ(currentPathViews().process, bin + ";" + savedPath_.process.value_or("")) << c.exe;
    }
}

// The 32-bit runtime comes first and passes its version test; its failed load leaves no trace
// in PATH, and the next candidate's library is the one published.
TEST_F(JvmLoaderTest, SearchGoesOnPastAThirtyTwoBitRuntime) {
    layOutRuntime("x86\\bin", {{"server", "x86"}});
    const std::string bin = layOutRuntime("x64\\bin", {{"server", "x64"}});
    setConfigTextForTest(128, "B" + root_ + "\\x86;B" + root_ + "\\x64");
    const PathViews before = currentPathViews();

    CapturedStandardError captured;
    ASSERT_TRUE(LoadDLL());
    EXPECT_EQ(captured.text(), "");
    EXPECT_EQ(jvmHome(), bin + "\\..");
    EXPECT_NE(jvmCreationEntryPoint(), nullptr);
    const std::vector<std::string> lines = logLines();
    EXPECT_TRUE(hasLine(lines, "Failed with error code 193"));
    EXPECT_TRUE(hasLine(lines, "Trying to load JVM-DLL from " + bin + "\\java.exe"));

    const PathViews now = currentPathViews();
    ASSERT_TRUE(now.process && now.crt && now.crtWide) << now;
    EXPECT_EQ(*now.process, bin + ";" + before.process.value_or(""));
    EXPECT_EQ(now.crt, now.process);
    EXPECT_EQ(*now.crtWide, widenCodePage(*now.process));
}

// What LoadDLL shows when no candidate passes or none of the candidates' libraries is usable:
// the message depends on where the last candidate came from. LoadDLL never ends the process.
TEST_F(JvmLoaderTest, LoadDllFailureMessageNamesWhereTheLastCandidateCameFrom) {
    const std::string x86Bin = layOutRuntime("x86\\bin", {{"server", "x86"}});
    const std::string x86Home = root_ + "\\x86";
    layOutRuntime("noexport\\bin", {{"client", "noexport"}});
    layOutRuntime("prev\\jre\\bin", {{"server", "x86"}});
    std::string locatedName = x86Bin + "\\java.exe";
    for (char& ch : locatedName) ch = ch == '\\' ? '/' : ch;

    struct Case {
        const char* label;
        std::function<void()> arrange;
        std::wstring message;
        bool anyLibrary; // a library loaded but lacks the export
    };
    const std::vector<Case> cases = {
        {"nothing", [] { setConfigTextForTest(128, ""); }, substituteArgument(kMessage1016, L"64"), false},
        {"search path",
         [&] {
             setConfigTextForTest(128, "S");
             setPathViews(x86Bin + ";" + savedPath_.process.value_or(""));
         },
         substituteArgument(kMessage1016, L"64"), false},
        // The entry as written, not its canonical form.
        {"directory", [&] { setConfigTextForTest(128, "B" + root_ + "\\X86"); },
         substituteArgument(kMessage1020, widenCodePage(root_ + "\\X86").c_str()), false},
        {"directory without export", [&] { setConfigTextForTest(128, "A" + root_ + "\\noexport"); },
         substituteArgument(kMessage1020, widenCodePage(root_ + "\\noexport").c_str()), true},
        {"environment",
         [&] {
             setConfigTextForTest(128, "EVKR_LOADER_HOME");
             SetEnvironmentVariableA("VKR_LOADER_HOME", x86Home.c_str());
         },
         substituteArgument(kMessage1018, L"VKR_LOADER_HOME"), false},
        {"override variable", [&] { SetEnvironmentVariableA("VELKOR_JAVA_HOME", x86Home.c_str()); },
         substituteArgument(kMessage1018, L"VELKOR_JAVA_HOME"), false},
        {"located JVM",
         [&] {
             setConfigTextForTest(128, "Y");
             setUserValue(std::string(kLocatedJvmsKey) + locatedName, "", "");
         },
         kMessage1005, false},
        {"previous installation",
         [&] {
             setConfigTextForTest(160, "vkrloadertest");
             setUserValue(kInstallationsKey, "vkrloadertest", root_ + "\\prev");
         },
         kMessage1005, false},
    };
    for (const Case& c : cases) {
        clearConfigStoreForTest();
        setShippedMessages();
        setPathViews(savedPath_.process);
        c.arrange();
        const PathViews before = currentPathViews();
        const size_t logged = logLines().size();
        bool loaded = true;
        std::string shown;
        {
            CapturedStandardError captured;
            try {
                loaded = LoadDLL();
            } catch (const Terminated&) {
                ADD_FAILURE() << c.label << ": LoadDLL ended the process";
            }
            shown = captured.text();
        }
        for (const char* name : {"VKR_LOADER_HOME", "VELKOR_JAVA_HOME"}) SetEnvironmentVariableA(name, nullptr);
        for (const auto& undo : registryUndo_) undo();
        registryUndo_.clear();

        EXPECT_FALSE(loaded) << c.label;
        const std::string expected = narrowText(c.message) + "\n";
        EXPECT_EQ(shown.substr(0, expected.size()), expected) << c.label;
        EXPECT_EQ(jvmCreationEntryPoint(), nullptr) << c.label;
        std::vector<std::string> lines = logLines();
        lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(logged));
        const bool none = std::string(c.label) == "nothing";
        EXPECT_EQ(hasLine(lines, "ERROR: " "No JVM found"), none) << c.label;
        EXPECT_EQ(hasLine(lines, "ERROR: " "Could not get DLL-Handle."), !none && !c.anyLibrary) << c.label;
        EXPECT_EQ(hasLine(lines, "ERROR: " "Could not load functions"), !none) << c.label;
        EXPECT_EQ(hasLine(lines, "Failed with error code 193"), !none && !c.anyLibrary) << c.label;
        if (!c.anyLibrary) {
            EXPECT_EQ(currentPathViews(), before) << c.label;
        }
    }
}

// --- DLL search directories and the ucrtbase.dll preload --------------------------------

TEST_F(JvmLoaderTest, DllSearchDirectoryOnlyWhenConfiguredAndRemovedAgain) {
    const std::string directory = root_ + "\\natives";
    putLibrary(directory, "x64", "vkrloaderdep.dll");
    auto loadFromUserDirectories = [] {
        HMODULE m = LoadLibraryExA("vkrloaderdep.dll", nullptr, LOAD_LIBRARY_SEARCH_USER_DIRS);
        if (m) FreeLibrary(m);
        return m != nullptr;
    };

    EXPECT_EQ(addDllSearchDirectory(directory), nullptr) << "the shipped block adds none";
    removeDllSearchDirectory(nullptr);
    std::vector<std::string> lines = logLines();
    EXPECT_TRUE(linesStartingWith(lines, "Adding DLL directory").empty());
    EXPECT_FALSE(hasLine(lines, "Removing DLL directory"));

    setConfigTextForTest(154, "1");
    void* cookie = addDllSearchDirectory(directory);
    ASSERT_NE(cookie, nullptr);
    EXPECT_TRUE(hasLine(logLines(), "Adding DLL directory " + directory));
    EXPECT_TRUE(loadFromUserDirectories());
    removeDllSearchDirectory(cookie);
    EXPECT_TRUE(hasLine(logLines(), "Removing DLL directory"));
    EXPECT_FALSE(loadFromUserDirectories());
}

// What the system answers for its version decides the preload. A program without a
// compatibility manifest (this test) may be told an older version than the real one; the
// launcher's manifest lifts that cap (checked end to end with the real executable).
TEST_F(JvmLoaderTest, UcrtbasePreloadFollowsTheReportedVersionAndRestoresTheDirectory) {
    OSVERSIONINFOA reported{};
    reported.dwOSVersionInfoSize = sizeof reported;
    ASSERT_TRUE(GetVersionExA(&reported));
    RTL_OSVERSIONINFOW real{};
    real.dwOSVersionInfoSize = sizeof real;
    using RtlGetVersionFunction = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
    auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
    ASSERT_NE(rtlGetVersion, nullptr);
    rtlGetVersion(&real);
    RecordProperty("GetVersionEx", std::to_string(reported.dwMajorVersion) + "." + std::to_string(reported.dwMinorVersion));
    RecordProperty("RtlGetVersion", std::to_string(real.dwMajorVersion) + "." + std::to_string(real.dwMinorVersion));
    const bool older = reported.dwMajorVersion < 6 || (reported.dwMajorVersion == 6 && reported.dwMinorVersion < 4);

    const std::string without = layOutRuntime("plain\\bin", {}, false);
    const std::string with = layOutRuntime("ucrt\\bin", {}, false);
    putLibrary(with, "x64", "ucrtbase.dll");
    const std::string elsewhere = root_ + "\\cwd";
    CreateDirectoryA(elsewhere.c_str(), nullptr);
    char saved[MAX_PATH + 1] = {};
    GetCurrentDirectoryA(sizeof saved, saved);
    ASSERT_TRUE(SetCurrentDirectoryA(elsewhere.c_str()));

    preloadUcrtbase(without);
    EXPECT_FALSE(hasLine(logLines(), "Preloading ucrtbase.dll 4")) << "nothing to preload";
    preloadUcrtbase(with);
    std::vector<std::string> lines = logLines();
    char current[MAX_PATH + 1] = {};
    GetCurrentDirectoryA(sizeof current, current);
    SetCurrentDirectoryA(saved);

    EXPECT_EQ(hasLine(lines, "Preloading ucrtbase.dll 4"), older)
        << "GetVersionEx " << reported.dwMajorVersion << "." << reported.dwMinorVersion << ", RtlGetVersion "
        << real.dwMajorVersion << "." << real.dwMinorVersion;
    EXPECT_FALSE(hasLine(lines, "Could not preload ucrtbase.dll"));
    EXPECT_EQ(canonicalPath(current, LetterCase::Lowered), elsewhere) << "the current directory is put back";
    if (older) {
        EXPECT_NE(GetModuleHandleA("ucrtbase.dll"), nullptr) << "the preloaded module stays";
    }
}

} // namespace
} // namespace vkr
