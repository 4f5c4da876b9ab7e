#include "util/TempDirectory.h"

#include "core/Format.h"
#include "util/DiagnosticLog.h"
#include "util/Format.h"
#include "util/Paths.h"
#include "util/ProcessState.h"

#include <windows.h>
#include <shlobj.h>

#include <ctime>

namespace vkr {

namespace {

BOOL createDirectory(const char* path) { return CreateDirectoryA(path, nullptr); }
BOOL createDirectory(const wchar_t* path) { return CreateDirectoryW(path, nullptr); }
BOOL removeDirectory(const char* path) { return RemoveDirectoryA(path); }
BOOL removeDirectory(const wchar_t* path) { return RemoveDirectoryW(path); }

template <class Char, class Call>
std::basic_string<Char> fillBuffer(Call call) {
    std::basic_string<Char> buffer(kMaxPath, Char(0));
    const DWORD n = call(buffer.data(), static_cast<DWORD>(kMaxPath));
    if (n == 0 || n >= kMaxPath) return {};
    buffer.resize(n);
    return buffer;
}

using FolderPathA = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
using FolderPathW = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);

template <class Fn>
Fn lookUp(HMODULE module, const char* name) {
    FARPROC proc = module ? GetProcAddress(module, name) : nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

// shell32 is looked up at run time: linking it would load it into every launcher process.
HMODULE shell32() {
    static HMODULE module = LoadLibraryA("shell32.dll");
    return module;
}

std::string commonAppData(char) {
    auto call = lookUp<FolderPathA>(shell32(), "SHGetFolderPathA");
    if (!call) return {};
    std::string buffer(MAX_PATH + 1, '\0');
    if (call(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, buffer.data()) != S_OK) return {};
    buffer.resize(buffer.find('\0'));
    return buffer;
}
std::wstring commonAppData(wchar_t) {
    auto call = lookUp<FolderPathW>(shell32(), "SHGetFolderPathW");
    if (!call) return {};
    std::wstring buffer(MAX_PATH + 1, L'\0');
    if (call(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, buffer.data()) != S_OK) return {};
    buffer.resize(buffer.find(L'\0'));
    return buffer;
}

std::string environmentValue(const char* name) {
    return fillBuffer<char>([&](char* out, DWORD size) { return GetEnvironmentVariableA(name, out, size); });
}
std::wstring environmentValue(const wchar_t* name) {
    return fillBuffer<wchar_t>([&](wchar_t* out, DWORD size) { return GetEnvironmentVariableW(name, out, size); });
}
DWORD tempPathInto(DWORD size, char* out) { return GetTempPathA(size, out); }
DWORD tempPathInto(DWORD size, wchar_t* out) { return GetTempPathW(size, out); }
UINT windowsDirectoryInto(char* out, UINT size) { return GetWindowsDirectoryA(out, size); }
UINT windowsDirectoryInto(wchar_t* out, UINT size) { return GetWindowsDirectoryW(out, size); }

template <class Char>
TempSources<std::basic_string<Char>> gatherTempSources() {
    using S = std::basic_string<Char>;
    TempSources<S> s;
    s.tempPath = fillBuffer<Char>([](Char* out, DWORD size) { return tempPathInto(size, out); });
    s.userProfile = environmentValue(fromAscii<S>("USERPROFILE").c_str());
    s.homeDrive = environmentValue(fromAscii<S>("HOMEDRIVE").c_str());
    s.homePath = environmentValue(fromAscii<S>("HOMEPATH").c_str());
    s.commonAppData = commonAppData(Char());
    s.windowsDirectory = fillBuffer<Char>([](Char* out, DWORD size) { return windowsDirectoryInto(out, size); });
    return s;
}

template <class S>
std::vector<TempCandidate<S>> tempCandidatesAny(const TempSources<S>& s) {
    std::vector<TempCandidate<S>> list;
    auto add = [&](int number, const S& path, TempCreate create, TempNames names, S createFirst = S()) {
        if (path.empty() || path.size() >= kMaxPath) return;
        const bool longNameStep = number <= 4 || number >= 10;
        list.push_back({number, path, std::move(createFirst), create, names, longNameStep});
    };
    const S localTemp = s.userProfile.empty() ? S() : s.userProfile + fromAscii<S>("\\AppData\\Local\\Temp");
    const S home = s.homeDrive.empty() || s.homePath.empty() ? S() : s.homeDrive + s.homePath;
    const S ownAppData = s.commonAppData.empty() ? S() : s.commonAppData + fromAscii<S>("\\velkor");
    using enum TempCreate;
    using enum TempNames;
    add(1, s.tempPath, IfMissing, Strict);
    add(2, localTemp, Existing, Strict);
    add(3, home, Existing, Strict);
    add(4, ownAppData.empty() ? S() : ownAppData + fromAscii<S>("\\temp"), IfMissing, Strict, ownAppData);
    add(5, s.windowsDirectory.empty() ? S() : s.windowsDirectory + fromAscii<S>("\\temp"), Existing, Relaxed);
    add(6, fromAscii<S>("c:\\temp"), Existing, Relaxed);
    add(7, fromAscii<S>("c:\\tmp"), Existing, Relaxed);
    add(8, s.windowsDirectory, Existing, Relaxed);
    add(9, fromAscii<S>("c:\\tmp"), IfMissing, Relaxed);
    add(10, s.tempPath, IfMissing, Relaxed);
    add(11, localTemp, Existing, Relaxed);
    add(12, home, Existing, Relaxed);
    return list;
}

template <class Char>
bool probeAny(const std::basic_string<Char>& directory) {
    unsigned state = randomSeed();
    const unsigned number = nextRandom(state);
    const DWORD pid = GetCurrentProcessId();
    std::basic_string<Char> name;
    if constexpr (sizeof(Char) == 1)
        name = format8("%s\\qnttw%d%d", directory, pid, number);
    else
        name = formatW(L"%s\\qnttw%d%d", directory, pid, number);
    removeDirectory(name.c_str());
    if (!createDirectory(name.c_str())) return false;
    const bool usable = exists(name);
    removeDirectory(name.c_str());
    return usable;
}

} // namespace

std::vector<TempCandidate<std::string>> tempCandidates(const TempSources<std::string>& sources) {
    return tempCandidatesAny(sources);
}
std::vector<TempCandidate<std::wstring>> tempCandidates(const TempSources<std::wstring>& sources) {
    return tempCandidatesAny(sources);
}

bool probeDirectory(const std::string& directory) { return probeAny(directory); }
bool probeDirectory(const std::wstring& directory) { return probeAny(directory); }

bool checkTempCandidate(std::string& path, TempCreate create, TempNames names, LongNames longNames) {
    if (path.empty()) return false;
    if (create == TempCreate::IfMissing) createDirectory(path.c_str());
    if (names == TempNames::Strict || longNames == LongNames::Long) {
        const DWORD size = GetLongPathNameA(path.c_str(), nullptr, 0);
        if (size > 0) {
            std::string longName(size + 10, '\0');
            const DWORD got = GetLongPathNameA(path.c_str(), longName.data(), size + 10);
            if (got > 0 && got < size + 10) {
                longName.resize(got);
                if (longName.find('?') != std::string::npos) {
                    // The directory's real name is not expressible in 8 bits; a strict
                    // candidate is refused, a relaxed one is kept in the form it came in.
                    if (names == TempNames::Strict) return false;
                } else if (longNames == LongNames::Long && got < kMaxPath && longName != path) {
                    logMessage(L"using long path %S", longName);
                    path = std::move(longName);
                }
            }
        }
    }
    return probeDirectory(path);
}

bool checkTempCandidate(const std::wstring& path, TempCreate create, TempNames names) {
    if (path.empty()) return false;
    if (create == TempCreate::IfMissing) createDirectory(path.c_str());
    if (names == TempNames::Strict) {
        const std::wstring longName =
            fillBuffer<wchar_t>([&](wchar_t* out, DWORD size) { return GetLongPathNameW(path.c_str(), out, size); });
        if (longName.find(L'?') != std::wstring::npos) return false;
    }
    return probeDirectory(path);
}

std::optional<std::string> tempDirectory8(LongNames longNames) {
    std::string& cached = processState().tempDirectory8;
    if (cached.empty()) {
        for (TempCandidate<std::string>& candidate : tempCandidates(gatherTempSources<char>())) {
            if (!candidate.createFirst.empty()) createDirectory(candidate.createFirst.c_str());
            if (checkTempCandidate(candidate.path, candidate.create, candidate.names,
                                   candidate.longNameStep ? longNames : LongNames::AsWritten)) {
                cached = std::move(candidate.path);
                break;
            }
        }
    }
    if (cached.empty()) return std::nullopt;
    return cached;
}

std::optional<std::wstring> tempDirectoryWide() {
    std::wstring& cached = processState().tempDirectoryWide;
    if (cached.empty()) {
        for (const TempCandidate<std::wstring>& candidate : tempCandidates(gatherTempSources<wchar_t>())) {
            if (!candidate.createFirst.empty()) createDirectory(candidate.createFirst.c_str());
            if (checkTempCandidate(candidate.path, candidate.create, candidate.names)) {
                cached = candidate.path;
                break;
            }
        }
    }
    if (cached.empty()) return std::nullopt;
    return cached;
}

std::string fallbackTempFileName(std::string_view directory, unsigned number) {
    std::string base(directory);
    if (base.empty() || (base.back() != '\\' && base.back() != '/')) base.push_back('\\');
    return format8("%sqnt%d", base, number);
}

std::string tempFileName(const std::string& directory) {
    logMessage(L"tempPath is %S", directory);
    std::string name(kMaxPath, '\0');
    if (GetTempFileNameA(directory.c_str(), "qnt", 0, name.data()) != 0) {
        name.resize(name.find('\0'));
    } else {
        const DWORD error = GetLastError();
        logMessage(L"GetTempFileName failed (last error %d)", error);
        unsigned state = randomSeed();
        name = fallbackTempFileName(directory, nextRandom(state));
    }
    logMessage(L"tempFile is %S", name);
    return name;
}

unsigned nextRandom(unsigned& state) noexcept {
    state = state * 214013u + 2531011u;
    return (state >> 16) & 0x7FFFu;
}

unsigned randomSeed() noexcept {
    return static_cast<unsigned>(GetCurrentProcessId()) * static_cast<unsigned>(std::time(nullptr));
}

} // namespace vkr
