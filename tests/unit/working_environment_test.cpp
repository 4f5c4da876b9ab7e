#include "launcher/WorkingEnvironment.h"

#include "config/ConfigStore.h"
#include "util/Paths.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vkr;

namespace {

TEST(SystemPathEntries, KeepsTheEntriesThatBeginWithTheWindowsDirectoryInTheirOrder) {
    struct Case {
        const wchar_t* path;
        const wchar_t* windowsDirectory;
        const wchar_t* expected;
    };
    const Case cases[] = {
        // No separator is required behind the directory: C:\WindowsApps\x is kept as well.
        {L"C:\\Windows\\system32;C:\\Tools;c:\\windows;C:\\WindowsApps\\x", L"C:\\Windows",
         L"C:\\Windows\\system32;c:\\windows;C:\\WindowsApps\\x"},
        {L"C:\\Tools;D:\\bin", L"C:\\Windows", L""},
        {L";;C:\\WINDOWS\\System32;;C:\\Tools;", L"C:\\Windows", L"C:\\WINDOWS\\System32"},
        {L"C:\\Win;C:\\Windows", L"C:\\Windows", L"C:\\Windows"},
        {L"", L"C:\\Windows", L""},
        // Only A-Z fold; other letters must match exactly.
        {L"C:\\\u00c4pfel\\x;C:\\\u00e4pfel\\y", L"C:\\\u00c4pfel", L"C:\\\u00c4pfel\\x"},
    };
    for (const Case& c : cases) EXPECT_EQ(systemPathEntries(c.path, c.windowsDirectory), c.expected) << c.path;
}

std::wstring currentPath() {
    std::vector<wchar_t> buffer(32768);
    const DWORD n = GetEnvironmentVariableW(L"PATH", buffer.data(), static_cast<DWORD>(buffer.size()));
    return std::wstring(buffer.data(), n);
}

std::wstring windowsDirectory() {
    wchar_t buffer[MAX_PATH] = {};
    const UINT n = GetWindowsDirectoryW(buffer, MAX_PATH);
    return std::wstring(buffer, n);
}

class ReducePathTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = currentPath();
        clearConfigStoreForTest();
    }
    void TearDown() override { SetEnvironmentVariableW(L"PATH", saved_.c_str()); }
    std::wstring saved_;
};

TEST_F(ReducePathTest, KeyOneReducesPathToTheWindowsDirectoryEntries) {
    const std::wstring windows = windowsDirectory();
    ASSERT_FALSE(windows.empty());
    std::wstring upper = windows;
    for (wchar_t& c : upper)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    const std::wstring path = windows + L"\\system32;Z:\\tools;" + upper + L";Z:\\other;" + windows + L"Apps\\x";
    struct Case {
        const char* key;
        std::wstring path;
        std::wstring expected;
    };
    const Case cases[] = {
        {"1", path, windows + L"\\system32;" + upper + L";" + windows + L"Apps\\x"},
        // Nothing of the Windows directory in PATH: an empty PATH would break every program
        // started later, so PATH stays.
        {"1", L"Z:\\tools;Z:\\other", L"Z:\\tools;Z:\\other"},
        {"0", path, path},
        {"", path, path},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        setConfigTextForTest(10010, c.key);
        SetEnvironmentVariableW(L"PATH", c.path.c_str());
        reducePath();
        EXPECT_EQ(currentPath(), c.expected);
    }
}

class WorkingDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        clearConfigStoreForTest();
        wchar_t buffer[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, buffer);
        saved_ = buffer;
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        elsewhere_ = temp;
        ASSERT_TRUE(SetCurrentDirectoryW(elsewhere_.c_str()));
    }
    void TearDown() override { SetCurrentDirectoryW(saved_.c_str()); }

    static std::wstring current() {
        wchar_t buffer[MAX_PATH] = {};
        const DWORD n = GetCurrentDirectoryW(MAX_PATH, buffer);
        std::wstring dir(buffer, n);
        if (!dir.empty() && dir.back() != L'\\') dir += L'\\';
        return dir;
    }

    std::wstring saved_;
    std::wstring elsewhere_;
};

TEST_F(WorkingDirectoryTest, TheConfiguredDirectoryIsResolvedAgainstTheExecutableAndEntered) {
    const std::wstring exeDir = executableDirectoryLong();
    struct Case {
        const char* key;
        std::wstring expected;
    };
    const Case cases[] = {
        {".", exeDir},
        {"${launcher:sys.launcherDirectory}", exeDir},
        {"", L""},                          // unchanged
        {"no such directory here", L""},    // cannot be entered: unchanged
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        ASSERT_TRUE(SetCurrentDirectoryW(elsewhere_.c_str()));
        setConfigTextForTest(146, c.key);
        enterWorkingDirectory();
        std::wstring expected = c.expected.empty() ? elsewhere_ : c.expected;
        EXPECT_EQ(lstrcmpiW(current().c_str(), expected.c_str()), 0) << narrowText(current());
    }
}

} // namespace
