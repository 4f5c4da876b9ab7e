// The main of every unit test program. All of them run in one Wine prefix, two at a time:
// each gets a temp directory and a registry of its own here, so that what one program writes
// (version cache entries, JavaSoft keys a search would find, extraction directories, logs)
// can never be seen by another, whatever order or parallelism ctest chooses.
//
// TMP and TEMP point into a fresh directory below the real temp directory; child processes
// inherit that. HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER are remapped for this process (not for
// its children) to two fresh subkeys of the real HKEY_CURRENT_USER, removed at the end.
#include "test_isolation.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

std::wstring programName() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = path;
    name = name.substr(name.find_last_of(L"\\/") + 1);
    return name.substr(0, name.find_last_of(L'.'));
}

void removeTree(const std::wstring& dir) {
    WIN32_FIND_DATAW match;
    HANDLE search = FindFirstFileW((dir + L"\\*").c_str(), &match);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = match.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = dir + L"\\" + name;
            if ((match.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(match.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                removeTree(path);
            else if (match.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW(path.c_str());
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(search, &match));
        FindClose(search);
    }
    RemoveDirectoryW(dir.c_str());
}

class OwnTempAndRegistry : public ::testing::Environment {
public:
    void SetUp() override {
        const std::wstring pid = std::to_wstring(GetCurrentProcessId());
        wchar_t base[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, base);
        // Short: some tests lay out paths close to MAX_PATH below it.
        temp_ = std::wstring(base) + L"vt" + pid;
        ASSERT_TRUE(CreateDirectoryW(temp_.c_str(), nullptr));
        SetEnvironmentVariableW(L"TMP", temp_.c_str());
        SetEnvironmentVariableW(L"TEMP", temp_.c_str());

        registry_ = L"Software\\vkr-tests\\" + programName() + L"-" + pid;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (registry_ + L"\\HKLM").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &machine_, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (registry_ + L"\\HKCU").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &user_, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_), ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, user_), ERROR_SUCCESS);
        vkr::test::g_machineOverride = machine_;
    }

    void TearDown() override {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        if (machine_) RegCloseKey(machine_);
        if (user_) RegCloseKey(user_);
        RegDeleteTreeW(HKEY_CURRENT_USER, registry_.c_str());
        removeTree(temp_);
    }

private:
    std::wstring temp_;
    std::wstring registry_;
    HKEY machine_ = nullptr;
    HKEY user_ = nullptr;
};

} // namespace

namespace vkr::test {

HKEY g_machineOverride = nullptr;

RealMachineRegistry::RealMachineRegistry() noexcept { RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr); }
RealMachineRegistry::~RealMachineRegistry() {
    if (g_machineOverride) RegOverridePredefKey(HKEY_LOCAL_MACHINE, g_machineOverride);
}

} // namespace vkr::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new OwnTempAndRegistry);
    return RUN_ALL_TESTS();
}
