#include "util/DiagnosticLog.h"

#include "core/Limits.h"
#include "util/Handles.h"
#include "util/ProcessState.h"
#include "util/TempCandidates.h"

#include <cwchar>

namespace vkr {

namespace {

constexpr int kLastLogNumber = 1000;

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

// A new log file: created only where no entry of that name exists (CREATE_NEW never opens,
// empties or follows an existing file or link), starting with the byte-order mark.
LogCreation createLogFile(const std::wstring& path, UniqueFile& file) noexcept {
    file.reset(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? LogCreation::Exists : LogCreation::Failed;
    }
    static const char bom[] = "\xEF\xBB\xBF";
    DWORD written = 0;
    if (!WriteFile(file.get(), bom, 3, &written, nullptr) || written != 3) {
        file.reset();
        return LogCreation::Failed;
    }
    return LogCreation::Created;
}

UniqueFile openForAppend(const std::wstring& path) noexcept {
    return UniqueFile(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void writeText(const UniqueFile& file, std::wstring_view text) {
    if (!file) return;
    const std::string bytes = encodeLogText(text);
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool switchedOn(const wchar_t* name) noexcept {
    wchar_t value[8];
    const DWORD n = GetEnvironmentVariableW(name, value, 8);
    return n == 3 && std::wcscmp(value, L"yes") == 0;
}

// Takes the once-per-process decision; returns the file freshly created for the log, if any.
UniqueFile decide() {
    ProcessState& state = processState();
    state.logDecided = true;
    const bool quenta = switchedOn(L"QUENTA_LOG");
    const bool velkor = switchedOn(L"VELKOR_LOG");
    if (!quenta && !velkor) return UniqueFile();

    std::wstring directory = tempDirectoryWide().value_or(L"c:\\");
    if (directory.back() != L'\\' && directory.back() != L'/') directory.push_back(L'\\');
    UniqueFile file;
    std::optional<std::wstring> path = createNumberedLog(
        directory, [&file](const std::wstring& candidate) { return createLogFile(candidate, file); });
    if (!path) {
        path = L"c:\\vkr_nlog";
        if (createLogFile(*path, file) != LogCreation::Created) file.reset();
    }
    // The path stays recorded even when nothing could be created: each later line tries to
    // append to it again.
    state.logPath = std::move(path);
    if (!file) return file;

    std::wstring module(kMaxPath, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(kMaxPath));
    module.resize(n < kMaxPath ? n : 0);
    SYSTEMTIME now;
    GetLocalTime(&now);
    writeText(file, formatW(L"Started executable %s at %S\n", module, logHeaderTime(now) + "\n"));
    FlushFileBuffers(file.get());
    state.logStartMillis = systemMillis();
    return file;
}

} // namespace

std::pair<int, int> logElapsed(std::uint64_t start, std::uint64_t now) noexcept {
    const auto diff = static_cast<std::int32_t>(static_cast<std::uint32_t>(now) - static_cast<std::uint32_t>(start));
    return {diff / 1000, diff % 1000};
}

std::string encodeLogText(std::wstring_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = static_cast<std::uint16_t>(text[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            const std::uint32_t low = static_cast<std::uint16_t>(text[i + 1]);
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
    const std::string text = std::string(day) + " " + month + " " + twoDigits(t.wDay) + " " + twoDigits(t.wHour) +
                             ":" + twoDigits(t.wMinute) + ":" + twoDigits(t.wSecond) + " ";
    return text + std::to_string(t.wYear);
}

std::wstring numberedLogPath(std::wstring_view directory, int number) {
    return formatW(L"%svkr_nlog_%d.log", directory, number);
}

std::optional<std::wstring> createNumberedLog(std::wstring_view directory,
                                              const std::function<LogCreation(const std::wstring&)>& create) {
    for (int n = 1; n <= kLastLogNumber; ++n) {
        std::wstring path = numberedLogPath(directory, n);
        switch (create(path)) {
        case LogCreation::Created:
            return path;
        case LogCreation::Exists:
            continue;
        case LogCreation::Failed:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

void logLine(bool isError, std::wstring_view format, FormatArgs args) noexcept {
    LastErrorKeeper keepError;
    LockGuard guard;
    try {
        ProcessState& state = processState();
        UniqueFile file;
        if (state.logPath) file = openForAppend(*state.logPath);
        if (!state.logDecided) file = decide();
        if (!file) return;
        auto [seconds, millis] = logElapsed(state.logStartMillis, systemMillis());
        std::wstring line = formatW(L"[%d:%d] ", seconds, millis);
        if (isError) line += L"ERROR: ";
        line += formatWide(format, args);
        line += L'\n';
        writeText(file, line);
    } catch (...) {
        // A line that cannot be built or written is dropped; logging never fails its caller.
    }
}

const wchar_t* logFilePath() noexcept {
    const std::optional<std::wstring>& path = processState().logPath;
    return path ? path->c_str() : nullptr;
}

void resetDiagnosticLogForTest() noexcept {
    LockGuard guard;
    ProcessState& state = processState();
    state.logDecided = false;
    state.logPath.reset();
    state.logStartMillis = 0;
}

} // namespace vkr
