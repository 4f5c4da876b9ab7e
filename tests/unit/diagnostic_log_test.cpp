#include "util/DiagnosticLog.h"

#include "util/Paths.h"
#include "util/TempDirectory.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <regex>
#include <set>
#include <string>
#include <vector>

using namespace vkr;

namespace {

TEST(LogElapsed, Table) {
    struct Case {
        std::uint64_t start;
        std::uint64_t now;
        int seconds;
        int millis;
    } cases[] = {
        {13'000'000'000'000ULL, 13'000'000'061'050ULL, 61, 50},
        {13'000'000'000'000ULL, 13'000'000'000'005ULL, 0, 5},
        {13'000'000'000'000ULL, 13'000'000'000'000ULL, 0, 0},
        {13'000'000'000'000ULL, 13'000'000'001'000ULL, 1, 0},
        // Only the low 32 bits count: a start just below a 2^32 boundary still gives 2 ms.
        {0x1FFFFFFFFULL, 0x200000001ULL, 0, 2},
        // Past 2^31 ms the signed difference wraps negative.
        {0, 0x80000000ULL, -2147483, -648},
    };
    for (const Case& c : cases) {
        auto [s, ms] = logElapsed(c.start, c.now);
        EXPECT_EQ(s, c.seconds) << c.now - c.start;
        EXPECT_EQ(ms, c.millis) << c.now - c.start;
    }
}

TEST(EncodeLogText, Table) {
    struct Case {
        std::wstring text;
        std::string bytes;
    } cases[] = {
        {L"plain", "plain"},
        {L"a\nb\n", "a\r\nb\r\n"},
        {L"\n\n", "\r\n\r\n"},
        {L"\u00E9", "\xC3\xA9"},
        {L"\u20AC", "\xE2\x82\xAC"},
        {L"\U0001F600", "\xF0\x9F\x98\x80"},
        {std::wstring(1, static_cast<wchar_t>(0xD800)) + L"x", "\xEF\xBF\xBDx"},
        {std::wstring(1, static_cast<wchar_t>(0xDC00)), "\xEF\xBF\xBD"},
        {L"\r", "\r"},
    };
    for (const Case& c : cases) EXPECT_EQ(encodeLogText(c.text), c.bytes);
}

TEST(LogHeaderTime, HasTheTwentyFourCharacterShape) {
    SYSTEMTIME t{};
    t.wYear = 2019;
    t.wMonth = 6;
    t.wDayOfWeek = 3;
    t.wDay = 5;
    t.wHour = 15;
    t.wMinute = 15;
    t.wSecond = 50;
    EXPECT_EQ(logHeaderTime(t), "Wed Jun 05 15:15:50 2019");
    t.wMonth = 12;
    t.wDayOfWeek = 0;
    t.wDay = 31;
    t.wHour = 0;
    t.wMinute = 0;
    t.wSecond = 9;
    EXPECT_EQ(logHeaderTime(t), "Sun Dec 31 00:00:09 2019");
}

// Regression: the log file was created with CREATE_ALWAYS after an existence check. In a
// service's temp directory another user could plant a file or link under the next free name
// in between, and the log would empty it or write through it. The creation itself is now the
// test: a name whose exclusive creation finds an entry is passed over, whatever a check
// before it would have said.
TEST(NumberedLog, TheExclusiveCreationDecidesWhichNumberIsFree) {
    std::set<std::wstring> present = {L"C:\\t\\vkr_nlog_1.log", L"C:\\t\\vkr_nlog_2.log"};
    std::vector<std::wstring> tried;
    auto create = [&](const std::wstring& p) {
        tried.push_back(p);
        return present.insert(p).second ? LogCreation::Created : LogCreation::Exists;
    };
    EXPECT_EQ(createNumberedLog(L"C:\\t\\", create), L"C:\\t\\vkr_nlog_3.log");
    // A second process right behind it gets the next one.
    EXPECT_EQ(createNumberedLog(L"C:\\t\\", create), L"C:\\t\\vkr_nlog_4.log");
    EXPECT_EQ(tried.size(), 7u);

    // Another failure than an existing entry ends the attempt: the caller's fallback decides.
    EXPECT_EQ(createNumberedLog(L"D:\\", [](const std::wstring&) { return LogCreation::Failed; }), std::nullopt);
    // With all 1000 names taken there is nothing to create.
    int asked = 0;
    auto taken = [&](const std::wstring&) {
        ++asked;
        return LogCreation::Exists;
    };
    EXPECT_EQ(createNumberedLog(L"C:\\t\\", taken), std::nullopt);
    EXPECT_EQ(asked, 1000);
}

std::string readFile(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<cannot open>";
    std::string data(1 << 16, '\0');
    DWORD got = 0;
    ReadFile(h, data.data(), static_cast<DWORD>(data.size()), &got, nullptr);
    CloseHandle(h);
    data.resize(got);
    return data;
}

class DiagnosticLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetEnvironmentVariableW(L"QUENTA_LOG", nullptr);
        SetEnvironmentVariableW(L"VELKOR_LOG", nullptr);
        resetDiagnosticLogForTest();
    }
    void TearDown() override {
        if (const wchar_t* path = logFilePath()) DeleteFileW(path);
        SetEnvironmentVariableW(L"QUENTA_LOG", nullptr);
        SetEnvironmentVariableW(L"VELKOR_LOG", nullptr);
        resetDiagnosticLogForTest();
    }
};

TEST_F(DiagnosticLogTest, OnlyExactlyYesSwitchesItOn) {
    struct Case {
        const wchar_t* quenta;
        const wchar_t* velkor;
        bool on;
    } cases[] = {
        {nullptr, L"Yes", false}, {nullptr, nullptr, false}, {L"YES", L"no", false}, {nullptr, L"yes ", false},
        {nullptr, L"yes", true},  {L"yes", nullptr, true},   {L"yes", L"Yes", true},
    };
    for (const Case& c : cases) {
        SetEnvironmentVariableW(L"QUENTA_LOG", c.quenta);
        SetEnvironmentVariableW(L"VELKOR_LOG", c.velkor);
        resetDiagnosticLogForTest();
        EXPECT_EQ(logFilePath(), nullptr);  // nothing decided before the first call
        logMessage(L"probe");
        EXPECT_EQ(logFilePath() != nullptr, c.on) << (c.quenta ? c.quenta : L"-") << " " << (c.velkor ? c.velkor : L"-");
        if (const wchar_t* path = logFilePath()) DeleteFileW(path);
    }
}

TEST_F(DiagnosticLogTest, FileBytesHeaderPrefixAndErrorLines) {
    SetEnvironmentVariableW(L"VELKOR_LOG", L"yes");
    SetLastError(1234);
    logMessage(L"first %s %S %d", L"w\u00E9", "n", 7);
    EXPECT_EQ(GetLastError(), 1234u);  // the logger keeps the caller's last error
    SetLastError(38);
    logError(L"ReadFile failed %d %d %I64d", 0, 38, 4096LL);
    EXPECT_EQ(GetLastError(), 38u);
    logMessage(L"ends in a line feed\n");
    logMessage(L"last");

    const wchar_t* path = logFilePath();
    ASSERT_NE(path, nullptr);
    std::wstring p = path;
    std::wstring temp = tempDirectoryWide().value_or(L"");
    if (!temp.empty() && temp.back() != L'\\') temp.push_back(L'\\');
    EXPECT_EQ(p.rfind(temp + L"vkr_nlog_", 0), 0u) << narrowText(p);
    EXPECT_EQ(p.substr(p.size() - 4), L".log");

    std::string bytes = readFile(p);
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    wchar_t module[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH * 4);
    std::string header = "Started executable " + encodeLogText(std::wstring(module, n)) + " at ";
    ASSERT_EQ(bytes.substr(3, header.size()), header);
    std::string rest = bytes.substr(3 + header.size());
    std::regex shape(
        "[A-Z][a-z]{2} [A-Z][a-z]{2} \\d{2} \\d{2}:\\d{2}:\\d{2} \\d{4}\r\n\r\n"
        "\\[0:\\d{1,3}\\] first w\xC3\xA9 n 7\r\n"
        "\\[0:\\d{1,3}\\] ERROR: ReadFile failed 0 38 4096\r\n"
        "\\[0:\\d{1,3}\\] ends in a line feed\r\n\r\n"
        "\\[0:\\d{1,3}\\] last\r\n");
    EXPECT_TRUE(std::regex_match(rest, shape)) << rest;
    // No bare line feed anywhere: every one is stored with its carriage return.
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare line feed at " << i;
        }
    }
}

TEST_F(DiagnosticLogTest, APlantedFileKeepsItsBytesAndTheLogTakesTheNextNumber) {
    std::wstring temp = tempDirectoryWide().value_or(L"");
    if (!temp.empty() && temp.back() != L'\\') temp.push_back(L'\\');
    std::wstring planted;
    for (int n = 1; n <= 1000 && planted.empty(); ++n) {
        const std::wstring candidate = numberedLogPath(temp, n);
        if (GetFileAttributesW(candidate.c_str()) == INVALID_FILE_ATTRIBUTES) planted = candidate;
    }
    ASSERT_FALSE(planted.empty());
    HANDLE h = CreateFileW(planted.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, "planted", 7, &written, nullptr);
    CloseHandle(h);

    SetEnvironmentVariableW(L"QUENTA_LOG", L"yes");
    logMessage(L"mine");
    const std::wstring mine = logFilePath();
    EXPECT_NE(mine, planted);
    EXPECT_EQ(readFile(planted), "planted");
    EXPECT_NE(readFile(mine).find("] mine\r\n"), std::string::npos);
    DeleteFileW(planted.c_str());
}

TEST_F(DiagnosticLogTest, NextProcessTakesTheNextNumber) {
    SetEnvironmentVariableW(L"QUENTA_LOG", L"yes");
    logMessage(L"one");
    std::wstring first = logFilePath();
    resetDiagnosticLogForTest();  // as a second process would start
    logMessage(L"two");
    std::wstring second = logFilePath();
    EXPECT_NE(first, second);
    EXPECT_NE(readFile(first).find("] one\r\n"), std::string::npos);
    EXPECT_NE(readFile(second).find("] two\r\n"), std::string::npos);
    DeleteFileW(first.c_str());
}

} // namespace
