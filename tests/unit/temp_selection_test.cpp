// The temp directory selection against the real file system, steered through this
// process's own TMP, TEMP and USERPROFILE.
#include "config/ConfigStore.h"
#include "config/LauncherValues.h"
#include "util/ProcessState.h"
#include "util/TempDirectory.h"
#include "util/Paths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vkr {
namespace {

std::wstring environment(const wchar_t* name) {
    std::wstring value(kMaxPath, L'\0');
    DWORD n = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(kMaxPath));
    value.resize(n < kMaxPath ? n : 0);
    return value;
}

std::vector<std::wstring> entries(const std::wstring& directory) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW((directory + L"\\*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(h, &data));
    FindClose(h);
    return names;
}

void removeTree(const std::wstring& path) {
    for (const std::wstring& name : entries(path)) {
        std::wstring child = path + L"\\" + name;
        if (GetFileAttributesW(child.c_str()) & FILE_ATTRIBUTE_DIRECTORY)
            removeTree(child);
        else
            DeleteFileW(child.c_str());
    }
    RemoveDirectoryW(path.c_str());
}

std::wstring shortForm(const std::wstring& path) {
    std::wstring out(kMaxPath, L'\0');
    DWORD n = GetShortPathNameW(path.c_str(), out.data(), static_cast<DWORD>(kMaxPath));
    out.resize(n < kMaxPath ? n : 0);
    return out;
}

bool isDirectory(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Every case gets a fresh tree under the prefix's real temp directory and its own
// environment; the selection's caches are dropped before and after.
class TempSelection : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* name : kSaved) saved_.push_back(environment(name));
        base_ = saved_[0].empty() ? std::wstring(L"C:\\windows\\temp") : saved_[0];
        if (base_.back() == L'\\') base_.pop_back();
        base_ += L"\\vkr_temp_selection_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                 widenBytes(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_TRUE(CreateDirectoryW(base_.c_str(), nullptr));
        profileTemp_ = base_ + L"\\profile\\AppData\\Local\\Temp";
        for (const wchar_t* part : {L"\\profile", L"\\profile\\AppData", L"\\profile\\AppData\\Local",
                                    L"\\profile\\AppData\\Local\\Temp"})
            CreateDirectoryW((base_ + part).c_str(), nullptr);
        SetEnvironmentVariableW(L"USERPROFILE", (base_ + L"\\profile").c_str());
        clearConfigStoreForTest();
        resetProcessStateForTest();
    }
    void TearDown() override {
        for (size_t i = 0; i < saved_.size(); ++i)
            SetEnvironmentVariableW(kSaved[i], saved_[i].empty() ? nullptr : saved_[i].c_str());
        resetProcessStateForTest();
        clearConfigStoreForTest();
        removeTree(base_);
    }
    void useTmp(const std::wstring& value) {
        SetEnvironmentVariableW(L"TMP", value.c_str());
        SetEnvironmentVariableW(L"TEMP", value.c_str());
    }

    static constexpr const wchar_t* kSaved[] = {L"TMP", L"TEMP", L"USERPROFILE"};
    std::vector<std::wstring> saved_;
    std::wstring base_;
    std::wstring profileTemp_;
};

TEST_F(TempSelection, MissingTmpIsCreatedAndChosen) {
    const std::wstring tmp = base_ + L"\\missing";
    useTmp(tmp);
    EXPECT_EQ(tempDirectoryWide().value_or(L""), tmp + L"\\");
    EXPECT_TRUE(isDirectory(tmp));
    EXPECT_EQ(requiredTempDirectory8(), narrowText(tmp + L"\\"));
    EXPECT_TRUE(entries(tmp).empty()) << "the probes left something behind";

    // Chosen once per process: a later change of TMP does not move it.
    useTmp(base_);
    EXPECT_EQ(tempDirectoryWide().value_or(L""), tmp + L"\\");
    EXPECT_EQ(requiredTempDirectory8(), narrowText(tmp + L"\\"));
}

TEST_F(TempSelection, TmpThatCannotBeCreatedFallsToTheProfileTemp) {
    // Creation is one level only: with the parent missing, candidate 1 is unusable.
    useTmp(base_ + L"\\no\\such");
    EXPECT_EQ(tempDirectoryWide().value_or(L""), profileTemp_);
    EXPECT_EQ(requiredTempDirectory8(), narrowText(profileTemp_));
    EXPECT_FALSE(isDirectory(base_ + L"\\no"));
}

TEST_F(TempSelection, TmpOutsideTheCodePageIsKeptOutOfTheEightBitSelection) {
    const std::wstring tmp = base_ + L"\\t\u4e00mp";
    ASSERT_TRUE(CreateDirectoryW(tmp.c_str(), nullptr));
    useTmp(tmp);
    // An 8-bit name with "?" would name another directory, or none; the wide world can
    // use the directory as it is.
    EXPECT_EQ(requiredTempDirectory8(), narrowText(profileTemp_));
    EXPECT_EQ(tempDirectoryWide().value_or(L""), tmp + L"\\");
    EXPECT_TRUE(entries(tmp).empty());
}

TEST_F(TempSelection, ShortFormOfANameOutsideTheCodePage) {
    const std::wstring dir = base_ + L"\\a long \u4e00 directory";
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    const std::wstring shortDir = shortForm(dir);
    if (shortDir.empty() || shortDir == dir) GTEST_SKIP() << "no 8.3 names on this file system";
    Narrowed how = Narrowed::WithReplacements;
    const std::string short8 = narrowText(shortDir, &how);
    ASSERT_EQ(how, Narrowed::Exactly) << short8;

    // Strict candidates (1 to 4) refuse it because its real name has no 8-bit form; the
    // relaxed ones take it in its short form, even when asked for the long name.
    std::string path = short8;
    EXPECT_FALSE(checkTempCandidate(path, TempCreate::Existing, TempNames::Strict, LongNames::AsWritten));
    EXPECT_TRUE(checkTempCandidate(path, TempCreate::Existing, TempNames::Relaxed, LongNames::AsWritten));
    EXPECT_TRUE(checkTempCandidate(path, TempCreate::Existing, TempNames::Relaxed, LongNames::Long));
    EXPECT_EQ(path, short8);
    EXPECT_TRUE(checkTempCandidate(dir, TempCreate::Existing, TempNames::Strict));
    EXPECT_TRUE(entries(dir).empty());
}

TEST_F(TempSelection, LongNameSettingReplacesAShortCandidate) {
    const std::wstring dir = base_ + L"\\a rather long directory name";
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    const std::wstring shortDir = shortForm(dir);
    if (shortDir.empty() || shortDir == dir) GTEST_SKIP() << "no 8.3 names on this file system";
    const std::string short8 = narrowText(shortDir);
    const std::string long8 = narrowText(dir);

    std::string path = short8;
    EXPECT_TRUE(checkTempCandidate(path, TempCreate::Existing, TempNames::Strict, LongNames::AsWritten));
    EXPECT_EQ(path, short8);
    EXPECT_TRUE(checkTempCandidate(path, TempCreate::Existing, TempNames::Relaxed, LongNames::Long));
    EXPECT_EQ(path, long8);

    useTmp(shortDir);
    EXPECT_EQ(requiredTempDirectory8(), short8 + "\\");
    resetProcessStateForTest();
    setConfigTextForTest(10009, "1");
    EXPECT_EQ(requiredTempDirectory8(), long8 + "\\");
    // The wide selection never swaps in the long name.
    EXPECT_EQ(tempDirectoryWide().value_or(L""), shortDir + L"\\");
}

TEST_F(TempSelection, ProbeLeavesNothingBehind) {
    const std::wstring dir = base_ + L"\\probe";
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    EXPECT_TRUE(probeDirectory(dir));
    EXPECT_TRUE(probeDirectory(narrowText(dir)));
    EXPECT_TRUE(entries(dir).empty());

    EXPECT_FALSE(probeDirectory(base_ + L"\\absent"));
    EXPECT_FALSE(probeDirectory(narrowText(base_ + L"\\absent")));
    const std::wstring file = base_ + L"\\plain.txt";
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_FALSE(probeDirectory(file));
    EXPECT_FALSE(checkTempCandidate(std::wstring(), TempCreate::IfMissing, TempNames::Relaxed));
    std::string empty;
    EXPECT_FALSE(checkTempCandidate(empty, TempCreate::IfMissing, TempNames::Strict, LongNames::Long));
    EXPECT_EQ(entries(base_), (std::vector<std::wstring>{L"plain.txt", L"probe", L"profile"}));
}

TEST_F(TempSelection, TempFileNamesAreFreshEmptyFiles) {
    const std::wstring tmp = base_ + L"\\files";
    useTmp(tmp);
    const std::string directory = narrowText(tmp + L"\\");
    const std::string first = tempFileName(requiredTempDirectory8());
    const std::string second = tempFileName(requiredTempDirectory8());
    EXPECT_NE(first, second);
    for (const std::string& name : {first, second}) {
        EXPECT_EQ(name.rfind(directory + "qnt", 0), 0u) << name;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        ASSERT_TRUE(GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data)) << name;
        EXPECT_EQ(data.nFileSizeLow, 0u);
    }
}

TEST_F(TempSelection, TempFileNameFallsBackWhenTheDirectoryIsGone) {
    const std::wstring tmp = base_ + L"\\vanishing";
    useTmp(tmp);
    const std::string directory = requiredTempDirectory8();
    ASSERT_TRUE(RemoveDirectoryW(tmp.c_str()));
    const std::string name = tempFileName(requiredTempDirectory8());
    ASSERT_EQ(name.rfind(directory + "qnt", 0), 0u) << name;
    const std::string number = name.substr(directory.size() + 3);
    ASSERT_FALSE(number.empty());
    EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << name;
    EXPECT_LE(std::stoul(number), 32767u);
    EXPECT_FALSE(isDirectory(tmp));
}

}  // namespace
}  // namespace vkr
