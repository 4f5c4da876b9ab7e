#include "util/TempCandidates.h"

#include "core/Text.h"
#include "util/FileSystem.h"
#include "util/Format.h"
#include "util/ProcessState.h"

#include <shlobj.h>

#include <ctime>

namespace vkr {

namespace {

// The first candidate made of the shared application data folder.
constexpr int kFirstAppDataCandidate = 4;

BOOL createDirectory(const char* path) { return CreateDirectoryA(path, nullptr); }
BOOL createDirectory(const wchar_t* path) { return CreateDirectoryW(path, nullptr); }
BOOL removeDirectory(const char* path) { return RemoveDirectoryA(path); }
BOOL removeDirectory(const wchar_t* path) { return RemoveDirectoryW(path); }

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
    return systemText<char>([&](char* out, DWORD size) { return GetEnvironmentVariableA(name, out, size); });
}
std::wstring environmentValue(const wchar_t* name) {
    return systemText<wchar_t>([&](wchar_t* out, DWORD size) { return GetEnvironmentVariableW(name, out, size); });
}
DWORD tempPathInto(DWORD size, char* out) { return GetTempPathA(size, out); }
DWORD tempPathInto(DWORD size, wchar_t* out) { return GetTempPathW(size, out); }
UINT windowsDirectoryInto(char* out, UINT size) { return GetWindowsDirectoryA(out, size); }
UINT windowsDirectoryInto(wchar_t* out, UINT size) { return GetWindowsDirectoryW(out, size); }

} // namespace

template <class Char>
TempSources<std::basic_string<Char>> systemTempSources() {
    using S = std::basic_string<Char>;
    TempSources<S> s;
    s.tempPath = systemText<Char>([](Char* out, DWORD size) { return tempPathInto(size, out); });
    s.userProfile = environmentValue(fromAscii<S>("USERPROFILE").c_str());
    s.homeDrive = environmentValue(fromAscii<S>("HOMEDRIVE").c_str());
    s.homePath = environmentValue(fromAscii<S>("HOMEPATH").c_str());
    s.windowsDirectory = systemText<Char>([](Char* out, DWORD size) { return windowsDirectoryInto(out, size); });
    return s;
}

template TempSources<std::string> systemTempSources<char>();
template TempSources<std::wstring> systemTempSources<wchar_t>();

template <class Char>
std::basic_string<Char> selectTempCandidate(
    const std::function<bool(TempCandidate<std::basic_string<Char>>&)>& check) {
    TempSources<std::basic_string<Char>> sources = systemTempSources<Char>();
    bool askedForAppData = false;
    for (;;) {
        for (TempCandidate<std::basic_string<Char>>& candidate : tempCandidates(sources)) {
            if (askedForAppData ? candidate.number < kFirstAppDataCandidate
                                : candidate.number >= kFirstAppDataCandidate)
                continue;
            if (!candidate.createFirst.empty()) createDirectory(candidate.createFirst.c_str());
            if (check(candidate)) return std::move(candidate.path);
        }
        if (askedForAppData) return {};
        // Only now: finding the folder loads shell32, and with it user32, which nearly every
        // start (where the temp directory is usable) would pay for nothing.
        sources.commonAppData = commonAppData(Char());
        askedForAppData = true;
    }
}

template std::string selectTempCandidate<char>(const std::function<bool(TempCandidate<std::string>&)>&);
template std::wstring selectTempCandidate<wchar_t>(const std::function<bool(TempCandidate<std::wstring>&)>&);

namespace {

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

bool checkTempCandidate(const std::wstring& path, TempCreate create, TempNames names) {
    if (path.empty()) return false;
    if (create == TempCreate::IfMissing) createDirectory(path.c_str());
    if (names == TempNames::Strict) {
        const std::wstring longName =
            systemText<wchar_t>([&](wchar_t* out, DWORD size) { return GetLongPathNameW(path.c_str(), out, size); });
        if (longName.find(L'?') != std::wstring::npos) return false;
    }
    return probeDirectory(path);
}

std::optional<std::wstring> tempDirectoryWide() {
    std::wstring& cached = processState().tempDirectoryWide;
    if (cached.empty()) {
        cached = selectTempCandidate<wchar_t>([](TempCandidate<std::wstring>& candidate) {
            return checkTempCandidate(candidate.path, candidate.create, candidate.names);
        });
    }
    if (cached.empty()) return std::nullopt;
    return cached;
}

unsigned nextRandom(unsigned& state) noexcept {
    state = state * 214013u + 2531011u;
    return (state >> 16) & 0x7FFFu;
}

unsigned randomSeed() noexcept {
    return static_cast<unsigned>(GetCurrentProcessId()) * static_cast<unsigned>(std::time(nullptr));
}

} // namespace vkr
