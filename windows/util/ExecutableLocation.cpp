#include "util/ExecutableLocation.h"

#include "core/Format.h"
#include "util/ChildProcess.h"
#include "util/DiagnosticLog.h"
#include "util/Handles.h"
#include "core/PathRules.h"
#include "util/CodePage.h"
#include "util/FileSystem.h"
#include "util/ProcessState.h"

namespace vkr {

namespace {

// How long to let cmd.exe finish after it closed its output. Its output reaches end of file
// before the process has exited, so reading the exit code at once would often see it still
// running and throw away a good answer.
constexpr DWORD kInterpreterExitWaitMillis = 5000;

// The first 8-bit form of the executable's path that names the same file.
std::string executablePath8For(const std::wstring& longPath) {
    Narrowed how = Narrowed::Exactly;
    std::string narrow = narrowText(longPath, &how);
    if (how == Narrowed::Exactly && endsWithExe(narrow)) return narrow;

    const std::wstring shortWide =
        systemText<wchar_t>([&](wchar_t* out, DWORD size) { return GetShortPathNameW(longPath.c_str(), out, size); });
    if (!shortWide.empty()) {
        narrow = narrowText(shortWide, &how);
        if (how == Narrowed::Exactly && endsWithExe(narrow)) return narrow;
    }

    std::optional<std::string> answer = shortNameThroughCommandInterpreter(longPath);
    if (answer && endsWithExe(*answer)) return *answer;

    const std::string module =
        systemText<char>([](char* out, DWORD size) { return GetModuleFileNameA(nullptr, out, size); });
    const std::string shortModule =
        systemText<char>([&](char* out, DWORD size) { return GetShortPathNameA(module.c_str(), out, size); });
    return shortModule.empty() ? module : shortModule;
}

ExecutableLocation computeExecutableLocation() {
    ExecutableLocation location;
    const std::wstring module =
        systemText<wchar_t>([](wchar_t* out, DWORD size) { return GetModuleFileNameW(nullptr, out, size); });
    std::wstring longPath(kMaxPath, L'\0');
    const DWORD longResult = GetLongPathNameW(module.c_str(), longPath.data(), static_cast<DWORD>(kMaxPath));
    const DWORD error = GetLastError();
    longPath.resize(longResult > 0 && longResult < kMaxPath ? longResult : 0);
    logMessage(L"init file name %s %s %d %d", module, longPath, longResult, error);
    location.longPath = longPath.empty() ? module : longPath;
    location.path8 = executablePath8For(location.longPath);
    collapseBackslashes(location.longPath);
    collapseBackslashes(location.path8);
    if (!location.path8.empty()) location.directory8 = directoryPart(fullPath(location.path8));
    location.directoryWidened = widenBytes(location.directory8);
    if (!location.longPath.empty()) location.directoryLong = directoryPart(fullPath(location.longPath));
    return location;
}

const ExecutableLocation& executableLocation() {
    std::optional<ExecutableLocation>& slot = processState().executable;
    if (!slot) slot = computeExecutableLocation();
    return *slot;
}

// Starts cmd.exe with only `output` passed on as its standard output and error.
bool startInterpreter(std::wstring& commandLine, HANDLE output, PROCESS_INFORMATION& process) {
    InheritedHandles inherited{output};
    if (!inherited.list()) {
        logMessage(L"could not limit the handles cmd.exe inherits");
        return false;
    }
    STARTUPINFOEXW info{};
    info.StartupInfo.cb = sizeof info;
    info.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    info.StartupInfo.hStdInput = nullptr;
    info.StartupInfo.hStdOutput = output;
    info.StartupInfo.hStdError = output;
    info.lpAttributeList = inherited.list();
    return CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                          CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr, &info.StartupInfo,
                          &process) != FALSE;
}

} // namespace

const std::wstring& executableLongPath() { return executableLocation().longPath; }
const std::string& executablePath8() { return executableLocation().path8; }
const std::string& executableDirectory8() { return executableLocation().directory8; }
const std::wstring& executableDirectoryNarrowWidened() { return executableLocation().directoryWidened; }
const std::wstring& executableDirectoryLong() { return executableLocation().directoryLong; }

std::optional<std::string> shortNameThroughCommandInterpreter(const std::wstring& longPath) {
    // cmd.exe expands %NAME% even inside quotation marks: a directory name holding one would
    // name a different file, whose short name could then be taken for the executable's.
    if (longPath.find(L'%') != std::wstring::npos) return std::nullopt;
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    UniqueHandle readEnd;
    UniqueHandle writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &inheritable, 0)) {
        const DWORD error = GetLastError();
        logMessage(L"CreatePipe error (%d)", error);
        return std::nullopt;
    }
    if (!SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0)) {
        const DWORD error = GetLastError();
        logMessage(L"SetHandleInformation error (%d)", error);
        return std::nullopt;
    }

    const std::wstring windows =
        systemText<wchar_t>([](wchar_t* out, DWORD size) { return GetWindowsDirectoryW(out, size); });
    std::wstring commandLine =
        windows + formatW(L"\\system32\\cmd.exe /C for %%I in (\"%s\") do @echo %%~sI", longPath);
    if (commandLine.size() >= kMaxPath) return std::nullopt;
    logMessage(L"executing %s", commandLine);

    PROCESS_INFORMATION started{};
    if (!startInterpreter(commandLine, writeEnd.get(), started)) {
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
    logMessage(L"finished reading from cmd.exe %d \"%S\"", count, output);

    const std::optional<DWORD> exitCode = awaitHelperChild(process.get(), kInterpreterExitWaitMillis);
    if (exitCode != 0u || count < 6) return std::nullopt;
    const size_t lineEnd = output.find_first_of("\r\n");
    if (lineEnd == std::string::npos) return std::nullopt;
    output.resize(lineEnd);
    logMessage(L"Using %S", output);
    return output;
}

} // namespace vkr
