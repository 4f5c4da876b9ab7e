#include "util/Paths.h"

#include "config/ConfigStore.h"
#include "config/ErrorReporting.h"
#include "util/DiagnosticLog.h"
#include "util/Format.h"
#include "util/Handles.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

namespace vkr {

namespace {

// The two character worlds share every pure rule; these pick the matching system calls.
DWORD fullPathName(const char* path, DWORD size, char* out) { return GetFullPathNameA(path, size, out, nullptr); }
DWORD fullPathName(const wchar_t* path, DWORD size, wchar_t* out) { return GetFullPathNameW(path, size, out, nullptr); }
HANDLE findFirst(const char* path, FILETIME* lastWrite) {
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(path, &data);
    if (h != INVALID_HANDLE_VALUE && lastWrite) *lastWrite = data.ftLastWriteTime;
    return h;
}
HANDLE findFirst(const wchar_t* path, FILETIME* lastWrite) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(path, &data);
    if (h != INVALID_HANDLE_VALUE && lastWrite) *lastWrite = data.ftLastWriteTime;
    return h;
}
BOOL createDirectory(const char* path) { return CreateDirectoryA(path, nullptr); }
BOOL createDirectory(const wchar_t* path) { return CreateDirectoryW(path, nullptr); }
BOOL removeDirectory(const char* path) { return RemoveDirectoryA(path); }
BOOL removeDirectory(const wchar_t* path) { return RemoveDirectoryW(path); }

template <class S>
S fromAscii(std::string_view text) {
    return S(text.begin(), text.end());
}

// A system call that fills a caller's buffer and returns the length (0 on failure, the
// needed size when the buffer is too small); "" for both failures.
template <class Char, class Call>
std::basic_string<Char> fillBuffer(Call call) {
    std::basic_string<Char> buffer(kMaxPath, Char(0));
    DWORD n = call(buffer.data(), static_cast<DWORD>(kMaxPath));
    if (n == 0 || n >= kMaxPath) return {};
    buffer.resize(n);
    return buffer;
}

template <class Char>
std::basic_string<Char> fullPath(const Char* path) {
    return fillBuffer<Char>([&](Char* out, DWORD size) { return fullPathName(path, size, out); });
}

// The part up to and including the last backslash; "" without one.
template <class S>
S cutAfterLastBackslash(S path) {
    size_t slash = path.find_last_of(typename S::value_type('\\'));
    path.resize(slash == S::npos ? 0 : slash + 1);
    return path;
}

template <class Char>
void collapseInPlace(std::basic_string<Char>& path) {
    size_t in = 0;
    size_t out = 0;
    size_t leading = 0;
    while (leading < path.size() && path[leading] == Char('\\')) ++leading;
    if (leading >= 2) {
        path[out++] = Char('\\');
        path[out++] = Char('\\');
        in = leading;
    }
    for (; in < path.size(); ++in) {
        if (path[in] == Char('\\') && out > 0 && path[out - 1] == Char('\\')) continue;
        path[out++] = path[in];
    }
    path.resize(out);
}

template <class Char>
void lowerCaseInPlace(std::basic_string<Char>& path) {
    for (Char& c : path) {
        if (c >= Char('A') && c <= Char('Z')) c = static_cast<Char>(c - Char('A') + Char('a'));
    }
}

// An 8-bit path is edited in its UTF-16 form so that a second byte of a double-byte
// character is never mistaken for a backslash; it keeps its bytes when the edited form
// cannot be written back without loss.
template <class Edit>
void editThroughWide(std::string& path, Edit edit) {
    if (path.empty()) return;
    std::wstring wide = widenCodePage(path);
    if (wide.empty() || wide.size() >= kMaxPath) return;
    edit(wide);
    bool lost = false;
    std::string back = narrowText(wide, &lost);
    if (!lost) path = std::move(back);
}

template <class Char>
bool isRelativeAny(std::basic_string_view<Char> path) noexcept {
    if (path.size() < 3) return true;
    if (path[0] == Char('"')) {
        if (path.size() < 4) return true;
        path.remove_prefix(1);
    }
    if (path[1] == Char(':') && path[2] == Char('\\')) return false;
    return !(path[0] == Char('\\') && path[1] == Char('\\'));
}

template <class Char>
bool isDriveRootAny(std::basic_string_view<Char> path) noexcept {
    if (path.size() < 2) return false;
    std::basic_string_view<Char> rest = path.substr(1);
    static constexpr std::string_view roots[] = {":\\", ":\\.", ":\\.\\."};
    for (std::string_view root : roots) {
        if (rest.size() == root.size() && std::equal(root.begin(), root.end(), rest.begin(),
                                                     [](char a, Char b) { return Char(a) == b; }))
            return true;
    }
    return false;
}

template <class Char>
bool existsAny(const std::basic_string<Char>& path, FILETIME* lastWrite) {
    if (isDriveRoot(std::basic_string_view<Char>(path))) return true;
    UniqueFind found(findFirst(path.c_str(), lastWrite));
    return static_cast<bool>(found);
}

// ---- The executable's location ----

struct ExecutableLocation {
    std::wstring longPath;
    std::string path8;
};

std::wstring shortPathWide(const std::wstring& path) {
    return fillBuffer<wchar_t>([&](wchar_t* out, DWORD size) { return GetShortPathNameW(path.c_str(), out, size); });
}

// The first 8-bit form of the executable's path that names the same file.
std::string executablePath8For(const std::wstring& longPath) {
    bool lost = false;
    std::string narrow = narrowText(longPath, &lost);
    if (!lost && endsWithExe(narrow)) return narrow;

    std::wstring shortWide = shortPathWide(longPath);
    if (!shortWide.empty()) {
        narrow = narrowText(shortWide, &lost);
        if (!lost && endsWithExe(narrow)) return narrow;
    }

    std::optional<std::string> answer = shortNameThroughCommandInterpreter(longPath);
    if (answer && endsWithExe(*answer)) return *answer;

    std::string module = fillBuffer<char>([](char* out, DWORD size) { return GetModuleFileNameA(nullptr, out, size); });
    std::string shortModule =
        fillBuffer<char>([&](char* out, DWORD size) { return GetShortPathNameA(module.c_str(), out, size); });
    return shortModule.empty() ? module : shortModule;
}

ExecutableLocation computeExecutableLocation() {
    ExecutableLocation location;
    std::wstring module = fillBuffer<wchar_t>([](wchar_t* out, DWORD size) { return GetModuleFileNameW(nullptr, out, size); });
    std::wstring longPath(kMaxPath, L'\0');
    DWORD longResult = GetLongPathNameW(module.c_str(), longPath.data(), static_cast<DWORD>(kMaxPath));
    DWORD error = GetLastError();
    longPath.resize(longResult > 0 && longResult < kMaxPath ? longResult : 0);
    logMessage(L"init file name %s %s %d %d", module, longPath, static_cast<int>(longResult), static_cast<int>(error));
    location.longPath = longPath.empty() ? module : longPath;
    location.path8 = executablePath8For(location.longPath);
    collapseBackslashes(location.longPath);
    collapseBackslashes(location.path8);
    return location;
}

const ExecutableLocation& executableLocation() {
    static const ExecutableLocation location = computeExecutableLocation();
    return location;
}

struct ExecutableDirectories {
    std::string narrow8;
    std::wstring narrowWidened;
    std::wstring longWide;
};

const ExecutableDirectories& executableDirectories() {
    static const ExecutableDirectories directories = [] {
        ExecutableDirectories d;
        const ExecutableLocation& location = executableLocation();
        if (!location.path8.empty()) d.narrow8 = cutAfterLastBackslash(fullPath(location.path8.c_str()));
        d.narrowWidened = widenBytes(d.narrow8);
        if (!location.longPath.empty()) d.longWide = cutAfterLastBackslash(fullPath(location.longPath.c_str()));
        return d;
    }();
    return directories;
}

// ---- The command interpreter's short name ----

// Starts the command line with only `inherited` passed on to the child. Without the handle
// list every inheritable handle the launcher holds at that moment would leak into cmd.exe
// (and keep files, pipes or the service's own streams open for as long as it runs).
bool startWithOnlyHandle(std::wstring& commandLine, HANDLE inherited, PROCESS_INFORMATION& process) {
    STARTUPINFOEXW info{};
    info.StartupInfo.cb = sizeof info.StartupInfo;
    info.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    info.StartupInfo.hStdInput = nullptr;
    info.StartupInfo.hStdOutput = inherited;
    info.StartupInfo.hStdError = inherited;

    InheritOnly only(inherited);
    DWORD flags = CREATE_NO_WINDOW;
    if (only.list()) {
        info.StartupInfo.cb = sizeof info;
        info.lpAttributeList = only.list();
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                                  &info.StartupInfo, &process);
    return started != FALSE;
}

// How long to let cmd.exe finish after it closed its output. Its output reaches end of file
// before the process has exited, so reading the exit code at once would often see it still
// running and throw away a good answer.
constexpr DWORD kInterpreterExitWaitMillis = 5000;

// ---- Temp directories ----

using FolderPathA = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
using FolderPathW = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);

struct FolderPathFunctions {
    FolderPathA narrow = nullptr;
    FolderPathW wide = nullptr;
};

template <class Fn>
Fn lookUp(HMODULE module, const char* name) {
    FARPROC proc = module ? GetProcAddress(module, name) : nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

const FolderPathFunctions& folderPathFunctions() {
    static const FolderPathFunctions functions = [] {
        FolderPathFunctions f;
        HMODULE shell = LoadLibraryA("shell32.dll");
        f.narrow = lookUp<FolderPathA>(shell, "SHGetFolderPathA");
        f.wide = lookUp<FolderPathW>(shell, "SHGetFolderPathW");
        return f;
    }();
    return functions;
}

std::string commonAppData(char) {
    FolderPathA call = folderPathFunctions().narrow;
    if (!call) return {};
    std::string buffer(MAX_PATH + 1, '\0');
    if (call(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, buffer.data()) != S_OK) return {};
    buffer.resize(buffer.find('\0'));
    return buffer;
}
std::wstring commonAppData(wchar_t) {
    FolderPathW call = folderPathFunctions().wide;
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
    auto add = [&](int number, const S& path, bool create, bool strict, S createFirst = S()) {
        if (path.empty() || path.size() >= kMaxPath) return;
        bool longNameStep = number <= 4 || number >= 10;
        list.push_back({number, path, std::move(createFirst), create, strict, longNameStep});
    };
    const S localTemp = s.userProfile.empty() ? S() : s.userProfile + fromAscii<S>("\\AppData\\Local\\Temp");
    const S home = s.homeDrive.empty() || s.homePath.empty() ? S() : s.homeDrive + s.homePath;
    const S ownAppData = s.commonAppData.empty() ? S() : s.commonAppData + fromAscii<S>("\\velkor");
    add(1, s.tempPath, true, true);
    add(2, localTemp, false, true);
    add(3, home, false, true);
    add(4, ownAppData.empty() ? S() : ownAppData + fromAscii<S>("\\temp"), true, true, ownAppData);
    add(5, s.windowsDirectory.empty() ? S() : s.windowsDirectory + fromAscii<S>("\\temp"), false, false);
    add(6, fromAscii<S>("c:\\temp"), false, false);
    add(7, fromAscii<S>("c:\\tmp"), false, false);
    add(8, s.windowsDirectory, false, false);
    add(9, fromAscii<S>("c:\\tmp"), true, false);
    add(10, s.tempPath, true, false);
    add(11, localTemp, false, false);
    add(12, home, false, false);
    return list;
}

std::string selectTempDirectory8() {
    bool useLongName = configInt(10009) != 0;
    for (TempCandidate<std::string>& candidate : tempCandidates(gatherTempSources<char>())) {
        if (!candidate.createFirst.empty()) createDirectory(candidate.createFirst.c_str());
        if (checkTempCandidate(candidate.path, candidate.create, candidate.strict,
                               candidate.longNameStep && useLongName))
            return candidate.path;
    }
    return {};
}

std::wstring selectTempDirectoryWide() {
    for (const TempCandidate<std::wstring>& candidate : tempCandidates(gatherTempSources<wchar_t>())) {
        if (!candidate.createFirst.empty()) createDirectory(candidate.createFirst.c_str());
        if (checkTempCandidate(candidate.path, candidate.create, candidate.strict)) return candidate.path;
    }
    return {};
}

std::string cachedTemp8;
std::wstring cachedTempWide;

template <class Char>
bool probeAny(const std::basic_string<Char>& directory) {
    unsigned state = randomSeed();
    unsigned number = nextRandom(state);
    int pid = static_cast<int>(GetCurrentProcessId());
    std::basic_string<Char> name;
    if constexpr (sizeof(Char) == 1)
        name = format8("%s\\qnttw%d%d", directory, pid, static_cast<int>(number));
    else
        name = formatW(L"%s\\qnttw%d%d", directory, pid, static_cast<int>(number));
    removeDirectory(name.c_str());
    if (!createDirectory(name.c_str())) return false;
    bool usable = exists(name);
    removeDirectory(name.c_str());
    return usable;
}

} // namespace

unsigned fileApiCodePage() noexcept { return AreFileApisANSI() ? CP_ACP : CP_OEMCP; }

std::string narrowText(std::wstring_view text, bool* usedDefault) {
    if (usedDefault) *usedDefault = false;
    if (text.empty()) return {};
    const UINT codePage = fileApiCodePage();
    const int length = static_cast<int>(text.size());
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    const char* defaultChar = "?";
    int size = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, defaultChar, nullptr);
    if (size == 0 && GetLastError() == ERROR_INVALID_FLAGS) {
        // Code pages such as UTF-8 take neither the flag nor a default character.
        flags = 0;
        defaultChar = nullptr;
        size = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    }
    if (size > 0) {
        std::string out(static_cast<size_t>(size), '\0');
        BOOL lost = FALSE;
        int written = WideCharToMultiByte(codePage, flags, text.data(), length, out.data(), size, defaultChar,
                                          defaultChar ? &lost : nullptr);
        if (written > 0) {
            out.resize(static_cast<size_t>(written));
            if (usedDefault) *usedDefault = lost != FALSE;
            return out;
        }
    }
    if (usedDefault) *usedDefault = true;
    return {};
}

std::wstring widenBytes(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (char c : text) out.push_back(static_cast<unsigned char>(c));
    return out;
}

std::wstring widenCodePage(std::string_view text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    int size = MultiByteToWideChar(fileApiCodePage(), 0, text.data(), length, nullptr, 0);
    if (size <= 0) return {};
    std::wstring out(static_cast<size_t>(size), L'\0');
    int written = MultiByteToWideChar(fileApiCodePage(), 0, text.data(), length, out.data(), size);
    out.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return out;
}

void lowerCasePath(std::string& path) { editThroughWide(path, lowerCaseInPlace<wchar_t>); }
void collapseBackslashes(std::wstring& path) { collapseInPlace(path); }
void collapseBackslashes(std::string& path) { editThroughWide(path, collapseInPlace<wchar_t>); }

bool endsWithExe(std::string_view path) noexcept {
    if (path.size() < 5) return false;
    std::string_view tail = path.substr(path.size() - 4);
    static constexpr char exe[] = ".exe";
    for (size_t i = 0; i < 4; ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != exe[i]) return false;
    }
    return true;
}

bool isRelative(std::string_view path) noexcept { return isRelativeAny(path); }
bool isRelative(std::wstring_view path) noexcept { return isRelativeAny(path); }
bool isDriveRoot(std::string_view path) noexcept { return isDriveRootAny(path); }
bool isDriveRoot(std::wstring_view path) noexcept { return isDriveRootAny(path); }

bool exists(const std::string& path, FILETIME* lastWrite) { return existsAny(path, lastWrite); }
bool exists(const std::wstring& path, FILETIME* lastWrite) { return existsAny(path, lastWrite); }

const std::wstring& executableLongPath() { return executableLocation().longPath; }
const std::string& executablePath8() { return executableLocation().path8; }

std::optional<std::string> shortNameThroughCommandInterpreter(const std::wstring& longPath) {
    // cmd.exe expands %NAME% even inside quotation marks: a directory name holding one would
    // name a different file, whose short name could then be taken for the executable's.
    if (longPath.find(L'%') != std::wstring::npos) return std::nullopt;
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    UniqueHandle readEnd;
    UniqueHandle writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &inheritable, 0)) {
        DWORD error = GetLastError();
        logMessage(L"CreatePipe error (%d)", static_cast<int>(error));
        return std::nullopt;
    }
    if (!SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0)) {
        DWORD error = GetLastError();
        logMessage(L"SetHandleInformation error (%d)", static_cast<int>(error));
        return std::nullopt;
    }

    std::wstring windows = fillBuffer<wchar_t>([](wchar_t* out, DWORD size) { return GetWindowsDirectoryW(out, size); });
    std::wstring commandLine =
        windows + formatW(L"\\system32\\cmd.exe /C for %%I in (\"%s\") do @echo %%~sI", longPath);
    if (commandLine.size() >= kMaxPath) return std::nullopt;
    logMessage(L"executing %s", commandLine);

    PROCESS_INFORMATION started{};
    if (!startWithOnlyHandle(commandLine, writeEnd.get(), started)) {
        logMessage(L"could not execute cmd.exe");
        return std::nullopt;
    }
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
    // Only the child may hold the write end now, so the read below ends when cmd.exe does.
    writeEnd.reset();

    std::string output(kMaxPath, '\0');
    size_t count = 0;
    while (count < output.size()) {
        DWORD got = 0;
        if (!ReadFile(readEnd.get(), output.data() + count, static_cast<DWORD>(output.size() - count), &got, nullptr) ||
            got == 0)
            break;
        count += got;
    }
    output.resize(count);
    logMessage(L"finished reading from cmd.exe %d \"%S\"", static_cast<int>(count), output);

    WaitForSingleObject(process.get(), kInterpreterExitWaitMillis);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.get(), &exitCode)) exitCode = 1;
    logMessage(L"Exit Code %d", static_cast<int>(exitCode));
    if (exitCode == STILL_ACTIVE) {
        logMessage(L"Terminating process");
        TerminateProcess(process.get(), 1);
        return std::nullopt;
    }
    if (exitCode != 0 || count < 6) return std::nullopt;
    size_t lineEnd = output.find_first_of("\r\n");
    if (lineEnd == std::string::npos) return std::nullopt;
    output.resize(lineEnd);
    logMessage(L"Using %S", output);
    return output;
}

const std::string& executableDirectory8() { return executableDirectories().narrow8; }
const std::wstring& executableDirectoryNarrowWidened() { return executableDirectories().narrowWidened; }
const std::wstring& executableDirectoryLong() { return executableDirectories().longWide; }

std::string resolvePath(std::string_view path, const char* baseFile) {
    std::string out;
    if (isRelative(path)) out = baseFile ? cutAfterLastBackslash(fullPath(baseFile)) : executableDirectory8();
    out.append(path);
    collapseBackslashes(out);
    return out;
}

std::wstring resolvePath(std::wstring_view path, DirectoryForm form, const wchar_t* baseFile) {
    std::wstring out;
    if (isRelative(path)) {
        if (baseFile)
            out = cutAfterLastBackslash(fullPath(baseFile));
        else
            out = form == DirectoryForm::LongWide ? executableDirectoryLong() : executableDirectoryNarrowWidened();
    }
    out.append(path);
    collapseBackslashes(out);
    return out;
}

std::string canonicalPath(std::string_view path, bool keepCase) {
    std::string resolved = resolvePath(path);
    std::string full = fullPath(resolved.c_str());
    if (full.empty()) full = std::move(resolved);
    if (!keepCase) lowerCasePath(full);
    collapseBackslashes(full);
    return full;
}

std::wstring canonicalPath(std::wstring_view path, DirectoryForm form, bool keepCase) {
    std::wstring resolved = resolvePath(path, form);
    std::wstring full = fullPath(resolved.c_str());
    if (full.empty()) full = std::move(resolved);
    if (!keepCase) lowerCaseInPlace(full);
    collapseBackslashes(full);
    return full;
}

bool probeDirectory(const std::string& directory) { return probeAny(directory); }
bool probeDirectory(const std::wstring& directory) { return probeAny(directory); }

bool checkTempCandidate(std::string& path, bool create, bool strict, bool useLongName) {
    if (path.empty()) return false;
    if (create) createDirectory(path.c_str());
    if (strict || useLongName) {
        DWORD size = GetLongPathNameA(path.c_str(), nullptr, 0);
        if (size > 0) {
            std::string longName(size + 10, '\0');
            DWORD got = GetLongPathNameA(path.c_str(), longName.data(), size + 10);
            if (got > 0 && got < size + 10) {
                longName.resize(got);
                if (longName.find('?') != std::string::npos) {
                    // The directory's real name is not expressible in 8 bits; a strict
                    // candidate is refused, a relaxed one is kept in the form it came in.
                    if (strict) return false;
                } else if (useLongName && got < kMaxPath && longName != path) {
                    logMessage(L"using long path %S", longName);
                    path = std::move(longName);
                }
            }
        }
    }
    return probeDirectory(path);
}

bool checkTempCandidate(const std::wstring& path, bool create, bool strict) {
    if (path.empty()) return false;
    if (create) createDirectory(path.c_str());
    if (strict) {
        std::wstring longName =
            fillBuffer<wchar_t>([&](wchar_t* out, DWORD size) { return GetLongPathNameW(path.c_str(), out, size); });
        if (longName.find(L'?') != std::wstring::npos) return false;
    }
    return probeDirectory(path);
}

std::vector<TempCandidate<std::string>> tempCandidates(const TempSources<std::string>& sources) {
    return tempCandidatesAny(sources);
}
std::vector<TempCandidate<std::wstring>> tempCandidates(const TempSources<std::wstring>& sources) {
    return tempCandidatesAny(sources);
}

const std::string& tempDirectory8() {
    if (cachedTemp8.empty()) {
        std::string selected = selectTempDirectory8();
        if (selected.empty()) fatalMessage(1015);
        cachedTemp8 = std::move(selected);
    }
    return cachedTemp8;
}

std::wstring tempDirectoryWide(bool failHard) {
    if (cachedTempWide.empty()) {
        std::wstring selected = selectTempDirectoryWide();
        if (selected.empty()) {
            if (failHard) fatalMessage(1015);
            return selected;
        }
        cachedTempWide = std::move(selected);
    }
    return cachedTempWide;
}

void clearTempDirectoriesForTest() noexcept {
    cachedTemp8.clear();
    cachedTempWide.clear();
}

std::string fallbackTempFileName(std::string_view directory, unsigned number) {
    std::string base(directory);
    if (base.empty() || (base.back() != '\\' && base.back() != '/')) base.push_back('\\');
    return format8("%sqnt%d", base, static_cast<int>(number));
}

std::string tempFileName() {
    const std::string& directory = tempDirectory8();
    logMessage(L"tempPath is %S", directory);
    std::string name(kMaxPath, '\0');
    if (GetTempFileNameA(directory.c_str(), "qnt", 0, name.data()) != 0) {
        name.resize(name.find('\0'));
    } else {
        DWORD error = GetLastError();
        logMessage(L"GetTempFileName failed (last error %d)", static_cast<int>(error));
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

std::optional<std::string> environmentPath(DWORD* queriedSize) {
    SetLastError(ERROR_SUCCESS);
    const DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
    if (queriedSize) *queriedSize = size;
    if (size == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    // Room beyond the size asked: the variable may grow between the two calls.
    std::string value(static_cast<size_t>(size) + kMaxPath, '\0');
    const DWORD length = GetEnvironmentVariableA("PATH", value.data(), static_cast<DWORD>(value.size()));
    value.resize(length < value.size() ? length : 0);
    return value;
}

bool setEnvironmentPath(const std::optional<std::string>& value) {
    // The table goes first: it cannot hold an empty value, and _putenv removes the variable
    // from the process block as well, so an empty PATH set the other way round would end up
    // unset.
    const std::string entry = "PATH=" + value.value_or(std::string());
    _putenv(entry.c_str());
    return SetEnvironmentVariableA("PATH", value ? value->c_str() : nullptr) != FALSE;
}

std::vector<std::string> splitList(std::string_view text) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) items.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

} // namespace vkr
