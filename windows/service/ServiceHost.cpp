#include "service/ServiceHost.h"

#include "config/ErrorReporting.h"
#include "core/ServiceOperations.h"
#include "core/ServiceRules.h"
#include "core/Tokenizer.h"
#include "util/ChildProcess.h"
#include "util/DiagnosticLog.h"
#include "util/Format.h"
#include "util/Handles.h"
#include "util/ProcessState.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace vkr {

namespace {

constexpr DWORD kServiceTypes = SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS; // 0x30
constexpr DWORD kWaitHintMs = 50000;
constexpr DWORD kChildStartFailed = 5000;
constexpr size_t kServiceNameCapacity = 6000;
// UTF-16 units, terminator included. A longer line is not cut: the child would lose its last
// arguments and with them the restart marker, and run as a service host of its own.
constexpr size_t kChildCommandLineCapacity = 12000;
constexpr DWORD kDrainChunk = 6000;
constexpr DWORD kDrainEndWaitMs = 2000;
// The event's identifier: no message file is registered for it, the text is the report.
constexpr DWORD kChildFailedEvent = 1;
constexpr const wchar_t* kRestartMarker = L"__vkr_restart";
constexpr const wchar_t* kPriorityKey = L"SOFTWARE\\morrandt\\quenta\\priority";

// What the service main thread and the control handler share. The handler runs on the
// dispatcher's thread whenever the Service Control Manager sends a control, also while the
// service main is still starting the child; one lock guards every field, and the pipe end is
// handed out under it exactly once, so that the shutdown message is written once and no
// handle is used after it was closed.
struct HostState {
    CRITICAL_SECTION lock;
    SERVICE_STATUS status{};
    SERVICE_STATUS_HANDLE handle = nullptr;
    HANDLE shutdownPipe = nullptr; // the child's input, write end; null before the child and once sent
    bool childStarted = false;
    bool stopRequested = false;
    HostState() noexcept { InitializeCriticalSection(&lock); }
};

HostState& host() noexcept {
    static HostState state;
    return state;
}

class HostLock {
public:
    HostLock() noexcept { EnterCriticalSection(&host().lock); }
    ~HostLock() { LeaveCriticalSection(&host().lock); }
    HostLock(const HostLock&) = delete;
    HostLock& operator=(const HostLock&) = delete;
};

// Under the lock.
void reportStatus(const wchar_t* failureFormat) noexcept {
    HostState& state = host();
    if (!SetServiceStatus(state.handle, &state.status) && failureFormat) {
        const DWORD error = GetLastError();
        logMessage(failureFormat, error);
    }
}

void sendShutdown(HANDLE pipe, unsigned char code) noexcept {
    logMessage(L"sending shutdown1 %d", code);
    const std::string message = std::to_string(code) + "\n";
    DWORD written = 0;
    if (!pipe || !WriteFile(pipe, message.data(), static_cast<DWORD>(message.size()), &written, nullptr)) {
        // A second stop finds the end already closed: nothing is written or closed twice.
        const DWORD error = pipe ? GetLastError() : ERROR_INVALID_HANDLE;
        logMessage(L"sending shutdown failed");
        logMessage(L"error code %d", error);
    }
    if (pipe) CloseHandle(pipe);
    logMessage(L"shutdown sent");
}

// The message goes out once the child exists; a stop that came before is delivered by the
// service main as soon as the child is started.
void requestStop(const wchar_t* failureFormat, bool shutdown) noexcept {
    HANDLE pipe = nullptr;
    bool deliver = false;
    {
        HostLock locked;
        HostState& state = host();
        if (shutdown) ++state.status.dwCheckPoint;
        state.status.dwCurrentState = SERVICE_STOP_PENDING;
        reportStatus(failureFormat);
        const bool first = !state.stopRequested;
        state.stopRequested = true;
        deliver = state.childStarted || !first;
        pipe = std::exchange(state.shutdownPipe, nullptr);
    }
    if (deliver)
        sendShutdown(pipe, 0);
    else
        logMessage(L"stop requested before the child started");
}

void WINAPI controlHandler(DWORD control) noexcept {
    logMessage(L"control handler request %d", control);
    switch (control) {
    case SERVICE_CONTROL_STOP:
        requestStop(L"SetServiceStatus 2 failed %d", false);
        break;
    case SERVICE_CONTROL_SHUTDOWN:
        requestStop(L"SetServiceStatus 1 failed %d", true);
        break;
    default: {
        HostLock locked;
        reportStatus(L"SetServiceStatus 3 failed %d");
        break;
    }
    }
}

// The child's output goes nowhere, but its last bytes are kept: when the child fails, they
// tell why. The drain thread writes them, the service main reads them once the child ended.
struct KeptOutput {
    CRITICAL_SECTION lock;
    OutputTail tail;
    KeptOutput() noexcept { InitializeCriticalSection(&lock); }
};

KeptOutput& keptOutput() noexcept {
    static KeptOutput kept;
    return kept;
}

DWORD WINAPI drainOutput(void* parameter) noexcept {
    UniqueHandle output(static_cast<HANDLE>(parameter));
    logMessage(L"consuming output");
    std::vector<char> buffer(kDrainChunk);
    DWORD got = 0;
    KeptOutput& kept = keptOutput();
    while (ReadFile(output.get(), buffer.data(), kDrainChunk, &got, nullptr) && got > 0) {
        EnterCriticalSection(&kept.lock);
        kept.tail.append(buffer.data(), got);
        LeaveCriticalSection(&kept.lock);
    }
    logMessage(L"consuming output done");
    return 0;
}

std::wstring decodeOutput(const std::string& bytes) {
    const UINT codePage = isWellFormedUtf8(bytes) ? CP_UTF8 : CP_ACP;
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    std::wstring text(static_cast<size_t>(std::max(length, 0)), L'\0');
    if (length > 0) MultiByteToWideChar(codePage, 0, bytes.data(), size, text.data(), length);
    // The event log takes the text up to its first NUL (a child writing UTF-16 has one in
    // every character).
    std::replace(text.begin(), text.end(), L'\0', L'\xFFFD');
    return text;
}

// The Event Viewer shows a text's lines only where they end in CR LF.
std::wstring withCrLf(const std::wstring& text) {
    std::wstring result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) result += L'\r';
        result += text[i];
    }
    return result;
}

using RegisterEventSourceFunction = HANDLE(WINAPI*)(LPCWSTR, LPCWSTR);
using ReportEventFunction = BOOL(WINAPI*)(HANDLE, WORD, WORD, DWORD, PSID, WORD, DWORD, LPCWSTR*, LPVOID);
using DeregisterEventSourceFunction = BOOL(WINAPI*)(HANDLE);

template <class Function>
Function advapiFunction(const char* name) noexcept {
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    FARPROC entry = advapi ? GetProcAddress(advapi, name) : nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(entry));
}

// Where an administrator looks first: the Application event log, under the service's name.
// A source nobody registered still shows the text in the Event Viewer. Looked up at run time
// like the other optional service calls.
void reportToEventLog(const std::wstring& source, const std::wstring& text) noexcept {
    auto registerSource = advapiFunction<RegisterEventSourceFunction>("RegisterEventSourceW");
    auto report = advapiFunction<ReportEventFunction>("ReportEventW");
    auto deregister = advapiFunction<DeregisterEventSourceFunction>("DeregisterEventSource");
    if (!registerSource || !report || !deregister) return;
    HANDLE eventSource = registerSource(nullptr, source.c_str());
    if (!eventSource) {
        const DWORD error = GetLastError();
        logMessage(L"RegisterEventSource failed (%d)", error);
        return;
    }
    LPCWSTR strings[] = {text.c_str()};
    if (!report(eventSource, EVENTLOG_ERROR_TYPE, 0, kChildFailedEvent, nullptr, 1, 0, strings, nullptr)) {
        const DWORD error = GetLastError();
        logMessage(L"ReportEvent failed (%d)", error);
    }
    deregister(eventSource);
}

// A child that ended with an error while nobody asked it to stop: its exit code and its last
// output go to the event log and to the diagnostic log.
void reportChildFailure(const std::wstring& name, DWORD exitCode, HANDLE drain) noexcept {
    try {
        // The drain ends with the child's output; a process the child left behind may still
        // hold the pipe, so it is not waited for long.
        WaitForSingleObject(drain, kDrainEndWaitMs);
        KeptOutput& kept = keptOutput();
        EnterCriticalSection(&kept.lock);
        const std::string tail = kept.tail.text();
        LeaveCriticalSection(&kept.lock);
        // An exception code reads better in the hex form its documentation uses.
        const std::wstring code = exitCode >= 0x80000000u ? formatW(L"%u (0x%08X)", exitCode, exitCode)
                                                          : formatW(L"%u", exitCode);
        std::wstring text = formatW(L"The service %s ended: its process ended with exit code %s.", name, code);
        if (!tail.empty()) text += L"\nIts last output:\n" + decodeOutput(tail);
        logError(L"%s", text);
        reportToEventLog(name, withCrLf(text));
    } catch (...) {
        logError(L"could not report the end of the service");
    }
}

// The priority class configured for the service, when the value holds exactly 4 bytes.
DWORD childPriority(const std::wstring& name) {
    UniqueKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPriorityKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return NORMAL_PRIORITY_CLASS;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        size != sizeof value)
        return NORMAL_PRIORITY_CLASS;
    logMessage(L"using priority %d", value);
    return value;
}

std::wstring serviceNameFrom(DWORD argc, LPWSTR* argv) {
    if (argc == 0 || !argv || !argv[0] || argv[0][0] == L'\0') return L"unknown";
    const std::wstring name = argv[0];
    return name.size() >= kServiceNameCapacity ? L"unknown" : name;
}

// Ends the service as failed to start (the child could not be set up or started).
void reportStartFailure() noexcept {
    HostLock locked;
    HostState& state = host();
    state.status.dwCurrentState = SERVICE_STOPPED;
    state.status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    state.status.dwServiceSpecificExitCode = kChildStartFailed;
    reportStatus(nullptr);
}

struct ChildPipes {
    UniqueHandle outputRead, outputWrite, inputRead, inputWrite;
};

bool createPipes(ChildPipes& pipes) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    if (!CreatePipe(pipes.outputRead.put(), pipes.outputWrite.put(), &inheritable, 0)) {
        const DWORD error = GetLastError();
        logMessage(L"CreatePipe error (%d)", error);
        return false;
    }
    if (!SetHandleInformation(pipes.outputRead.get(), HANDLE_FLAG_INHERIT, 0)) {
        const DWORD error = GetLastError();
        logMessage(L"SetHandleInformation error (%d)", error);
        return false;
    }
    if (!CreatePipe(pipes.inputRead.put(), pipes.inputWrite.put(), &inheritable, 0)) {
        const DWORD error = GetLastError();
        logMessage(L"CreatePipe error 2 (%d)", error);
        return false;
    }
    if (!SetHandleInformation(pipes.inputWrite.get(), HANDLE_FLAG_INHERIT, 0)) {
        const DWORD error = GetLastError();
        logMessage(L"SetHandleInformation error 2 (%d)", error);
        return false;
    }
    return true;
}

// The child gets its two pipe ends and nothing else of the host's, and no console.
bool startChild(std::wstring& commandLine, const ChildPipes& pipes, DWORD priority, PROCESS_INFORMATION& process) {
    InheritedHandles inherited{pipes.inputRead.get(), pipes.outputWrite.get()};
    if (!inherited.list()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = pipes.inputRead.get();
    startup.StartupInfo.hStdOutput = pipes.outputWrite.get();
    startup.StartupInfo.hStdError = pipes.outputWrite.get();
    startup.lpAttributeList = inherited.list();
    return CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                          priority | DETACHED_PROCESS | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                          &startup.StartupInfo, &process) != FALSE;
}

void runService(DWORD argc, LPWSTR* argv) {
    logMessage(L"service main");
    HostState& state = host();
    state.status = SERVICE_STATUS{kServiceTypes, SERVICE_RUNNING, SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN,
                                  NO_ERROR, 0, 0, kWaitHintMs};
    std::wstring& name = processState().serviceName;
    name = serviceNameFrom(argc, argv);
    logMessage(L"service name is '%s'", name);
    state.handle = RegisterServiceCtrlHandlerW(name.c_str(), controlHandler);
    if (!state.handle) return;
    {
        HostLock locked;
        reportStatus(nullptr);
    }

    ArgumentVector hostTokens;
    tokenizeCommandLine(GetCommandLineW(), hostTokens);
    std::vector<std::wstring> startArguments;
    for (DWORD i = 1; argv && i < argc; ++i) startArguments.emplace_back(argv[i] ? argv[i] : L"");
    for (const std::wstring& token : startArguments)
        if (!childCanReadBack(token)) logError(L"the start argument %s holds both kinds of quotation marks", token);
    std::wstring commandLine = childCommandLine(hostTokens, name, startArguments, kRestartMarker);

    if (commandLine.size() >= kChildCommandLineCapacity) {
        logMessage(L"could not start process %.*s... (%d)", 200, commandLine, ERROR_FILENAME_EXCED_RANGE);
        reportStartFailure();
        return;
    }
    ChildPipes pipes;
    if (!createPipes(pipes)) {
        reportStartFailure();
        return;
    }
    const DWORD priority = childPriority(name);
    PROCESS_INFORMATION started{};
    if (!startChild(commandLine, pipes, priority, started)) {
        const DWORD error = GetLastError();
        logMessage(L"could not start process %s (%d)", commandLine, error);
        reportStartFailure();
        return;
    }
    UniqueHandle child(started.hProcess);
    UniqueHandle childThread(started.hThread);
    // Only the child holds these ends now: the drain sees the end of the output when the child
    // (and whatever it started) has closed it, and a write after the child died fails.
    pipes.outputWrite.reset();
    pipes.inputRead.reset();
    UniqueHandle drain(CreateThread(nullptr, 0, drainOutput, pipes.outputRead.release(), 0, nullptr));

    HANDLE pendingStop = nullptr;
    bool stopBeforeStart = false;
    {
        HostLock locked;
        state.childStarted = true;
        if (state.stopRequested) {
            stopBeforeStart = true;
            pendingStop = pipes.inputWrite.release();
        } else {
            state.shutdownPipe = pipes.inputWrite.release();
            state.status.dwCurrentState = SERVICE_RUNNING;
            reportStatus(nullptr);
        }
    }
    if (stopBeforeStart) sendShutdown(pendingStop, 0);
    logMessage(L"registering ConsoleCtrlHandler");
    SetConsoleCtrlHandler(consoleControlHandler, TRUE);

    WaitForSingleObject(child.get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(child.get(), &exitCode);
    logMessage(L"process terminated with exit code %d", exitCode);
    bool stopRequested = false;
    {
        HostLock locked;
        stopRequested = state.stopRequested;
    }
    if (exitCode != 0 && !stopRequested) reportChildFailure(name, exitCode, drain.get());
    {
        HostLock locked;
        // A child that ended with a non-zero code on its own leaves the service "running" as
        // the process ends: the Service Control Manager takes that for a failure of the
        // service and applies its recovery actions.
        if (exitCode == 0 || state.status.dwCurrentState == SERVICE_STOP_PENDING) {
            state.status.dwCurrentState = SERVICE_STOPPED;
            reportStatus(L"SetServiceStatus 10 failed %d");
            logMessage(L"service stopped set");
        }
        // A stop that races with the end finds no pipe any more.
        if (state.shutdownPipe) CloseHandle(std::exchange(state.shutdownPipe, nullptr));
    }
    child.reset();
    childThread.reset();
    logMessage(L"exiting");
    terminateLauncher(0);
}

} // namespace

void WINAPI serviceMain(DWORD argc, LPWSTR* argv) noexcept {
    try {
        runService(argc, argv);
    } catch (...) {
        logError(L"service main failed");
        reportStartFailure();
    }
}

void setServiceHostForTest(HANDLE shutdownPipe, bool childStarted) noexcept {
    HostLock locked;
    HostState& state = host();
    state.status = SERVICE_STATUS{kServiceTypes, SERVICE_RUNNING, SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN,
                                  NO_ERROR, 0, 0, 0};
    state.handle = nullptr;
    state.shutdownPipe = shutdownPipe;
    state.childStarted = childStarted;
    state.stopRequested = false;
}

void serviceControlForTest(DWORD control) noexcept { controlHandler(control); }

SERVICE_STATUS serviceStatusForTest() noexcept {
    HostLock locked;
    return host().status;
}

bool serviceStopRequestedForTest() noexcept {
    HostLock locked;
    return host().stopRequested;
}

BOOL WINAPI consoleControlHandler(DWORD event) noexcept {
    (void)event;
    logMessage(L"ConsoleCtrlHandler event");
    return TRUE;
}

} // namespace vkr
