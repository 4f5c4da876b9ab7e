#include "util/DiagnosticLog.h"

#include "util/Handles.h"
#include "util/Paths.h"

#include <cstring>

namespace vkr {

namespace {

// Process-wide log state. Guarded by lock() except logPath, which logFilePath reads without it
// (it is written once, when the decision is taken on the first call).
bool decided = false;
bool logPathSet = false;
std::wstring logPath;
std::uint64_t startMillis = 0;

// Initialised where it lives: a critical section must not be copied or moved once set up.
struct LogLock {
    CRITICAL_SECTION section;
    LogLock() noexcept { InitializeCriticalSection(&section); }
};

CRITICAL_SECTION& lock() noexcept {
    static LogLock instance;
    return instance.section;
}

class LockGuard {
public:
    LockGuard() noexcept { EnterCriticalSection(&lock()); }
    ~LockGuard() { LeaveCriticalSection(&lock()); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;
};

// Keeps the caller's last system error across everything the log does.
class LastErrorKeeper {
public:
    LastErrorKeeper() noexcept : error_(GetLastError()) {}
    ~LastErrorKeeper() { SetLastError(error_); }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    DWORD error_;
};

std::uint64_t systemMillis() noexcept {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER v;
    v.LowPart = ft.dwLowDateTime;
    v.HighPart = ft.dwHighDateTime;
    return v.QuadPart / 10000;
}

// The two open modes of the file: create (empties an existing file, writes the byte-order
// mark) and append.
UniqueFile openLog(const std::wstring& path, bool create) noexcept {
    HANDLE h = CreateFileW(path.c_str(), create ? GENERIC_WRITE : FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, create ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    UniqueFile file(h);
    if (file && create) {
        static const char bom[] = "\xEF\xBB\xBF";
        DWORD written = 0;
        if (!WriteFile(file.get(), bom, 3, &written, nullptr) || written != 3) file.reset();
    }
    return file;
}

void writeText(const UniqueFile& file, std::wstring_view text) {
    if (!file) return;
    std::string bytes = encodeLogText(text);
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool switchedOn(const wchar_t* name) noexcept {
    wchar_t value[8];
    DWORD n = GetEnvironmentVariableW(name, value, 8);
    return n == 3 && std::wcscmp(value, L"yes") == 0;
}

// Takes the once-per-process decision; returns the file freshly created for the log, if any.
UniqueFile decide() {
    decided = true;
    bool quenta = switchedOn(L"QUENTA_LOG");
    bool velkor = switchedOn(L"VELKOR_LOG");
    if (!quenta && !velkor) return UniqueFile();

    std::wstring directory = tempDirectoryWide(false);
    if (directory.empty()) {
        directory = L"c:\\";
    } else if (directory.back() != L'\\' && directory.back() != L'/') {
        directory.push_back(L'\\');
    }
    logPath = numberedLogPath(directory, [](const std::wstring& p) { return exists(p); });
    logPathSet = true;
    UniqueFile file = openLog(logPath, true);
    if (!file) {
        logPath = L"c:\\vkr_nlog";
        file = openLog(logPath, true);
        if (!file) return file;
    }

    std::wstring module(kMaxPath, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(kMaxPath));
    module.resize(n < kMaxPath ? n : 0);
    SYSTEMTIME now;
    GetLocalTime(&now);
    writeText(file, formatW(L"Started executable %s at %S\n", module, logHeaderTime(now) + "\n"));
    FlushFileBuffers(file.get());
    startMillis = systemMillis();
    return file;
}

} // namespace

std::pair<int, int> logElapsed(std::uint64_t start, std::uint64_t now) noexcept {
    auto diff = static_cast<std::int32_t>(static_cast<std::uint32_t>(now) - static_cast<std::uint32_t>(start));
    return {diff / 1000, diff % 1000};
}

std::string encodeLogText(std::wstring_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = static_cast<std::uint16_t>(text[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            std::uint32_t low = static_cast<std::uint16_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
        if (c == L'\n') {
            out += "\r\n";
        } else if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::string logHeaderTime(const SYSTEMTIME& t) {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const char* day = t.wDayOfWeek < 7 ? days[t.wDayOfWeek] : "???";
    const char* month = t.wMonth >= 1 && t.wMonth <= 12 ? months[t.wMonth - 1] : "???";
    auto twoDigits = [](int v) {
        std::string s(2, '0');
        s[0] = static_cast<char>('0' + v / 10 % 10);
        s[1] = static_cast<char>('0' + v % 10);
        return s;
    };
    return format8("%S %S %S %S:%S:%S %d", day, month, twoDigits(t.wDay), twoDigits(t.wHour), twoDigits(t.wMinute),
                   twoDigits(t.wSecond), static_cast<int>(t.wYear));
}

std::wstring numberedLogPath(std::wstring_view directory, const std::function<bool(const std::wstring&)>& fileExists) {
    std::wstring path;
    for (int n = 1; n <= 1000; ++n) {
        path = formatW(L"%svkr_nlog_%d.log", directory, n);
        if (n == 1000 || !fileExists(path)) break;
    }
    return path;
}

void logLine(bool isError, std::wstring_view format, FormatArgs args) noexcept {
    LastErrorKeeper keepError;
    LockGuard guard;
    try {
        UniqueFile file;
        if (logPathSet) file = openLog(logPath, false);
        if (!decided) file = decide();
        if (!file) return;
        auto [seconds, millis] = logElapsed(startMillis, systemMillis());
        std::wstring line = formatW(L"[%d:%d] ", seconds, millis);
        if (isError) line += L"ERROR: ";
        line += formatWide(format, args);
        line += L'\n';
        writeText(file, line);
    } catch (...) {
        // A line that cannot be built or written is dropped; logging never fails its caller.
    }
}

const wchar_t* logFilePath() noexcept { return logPathSet ? logPath.c_str() : nullptr; }

void resetDiagnosticLogForTest() noexcept {
    LockGuard guard;
    decided = false;
    logPathSet = false;
    logPath.clear();
    startMillis = 0;
}

} // namespace vkr
