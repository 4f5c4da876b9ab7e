#include "instance/SingleInstance.h"

#include "config/ConfigStore.h"
#include "config/ErrorReporting.h"
#include "core/ServiceRules.h"
#include "util/DiagnosticLog.h"
#include "util/Handles.h"
#include "util/Paths.h"
#include "util/ProcessState.h"
#include "util/UserInterface.h"

namespace vkr {

namespace {

constexpr int kSingleInstanceKey = 10005;
constexpr int kBringToFrontKey = 10008;
constexpr int kGlobalKey = 158;
constexpr int kLastCounter = 100000;
constexpr int kRegistrationReads = 50;
constexpr DWORD kRegistrationReadPauseMs = 100;

// The semaphore marks the running instance by existing: nobody waits on it or releases it, and
// its handle stays open (never closed) until the process ends.
HANDLE createSemaphore(const std::string& name, DWORD& error) {
    HANDLE semaphore = CreateSemaphoreA(nullptr, 1, 1, name.c_str());
    error = GetLastError();
    logMessage(L"semaphore name %S, code %d, value %p", name, error, static_cast<const void*>(semaphore));
    return semaphore;
}

// Whether another instance holds the name. A "Global\\" semaphore that an instance under
// another account made (the service child as LocalSystem) is refused to a user's run rather
// than opened: that instance exists all the same.
bool heldByAnother(HANDLE semaphore, DWORD error) noexcept {
    return error == ERROR_ALREADY_EXISTS || (!semaphore && error == ERROR_ACCESS_DENIED);
}

void claimMultiInstanceName(const std::string& path, bool global) {
    DWORD error = 0;
    int counter = 0;
    std::string name = instanceSemaphoreName(global, path, counter);
    HANDLE semaphore = createSemaphore(name, error);
    while (heldByAnother(semaphore, error) && counter < kLastCounter) {
        if (semaphore) CloseHandle(semaphore);
        name = instanceSemaphoreName(global, path, ++counter);
        semaphore = createSemaphore(name, error);
    }
    processState().semaphoreName = name;
}

} // namespace

std::string instancePath() { return canonicalPath(executablePath8(), LetterCase::Lowered); }

DWORD registeredInstance(const std::string& path) {
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kInstancesKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key.get(), path.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        size != sizeof value)
        return 0;
    return value;
}

void registerInstance(const std::string& path, DWORD processId) {
    UniqueKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kInstancesKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key.get(), path.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&processId),
                   sizeof processId);
}

void applySingleInstanceRule() {
    const std::string path = instancePath();
    const bool global = configInt(kGlobalKey) != 0;
    if (configInt(kSingleInstanceKey) == 0) {
        claimMultiInstanceName(path, global);
        return;
    }
    logMessage(L"single instance mode");
    const std::string name = instanceSemaphoreName(global, path);
    DWORD error = 0;
    HANDLE semaphore = createSemaphore(name, error);
    processState().semaphoreName = name;
    if (!heldByAnother(semaphore, error)) {
        // The registration comes after the semaphore: a second run that finds the semaphore
        // before it is written waits for it below.
        registerInstance(path, GetCurrentProcessId());
        return;
    }
    if (semaphore) CloseHandle(semaphore);
    DWORD other = 0;
    for (int read = 0; read < kRegistrationReads && (other = registeredInstance(path)) == 0; ++read)
        Sleep(kRegistrationReadPauseMs);
    logMessage(L"other pid %d", other);
    if (other != 0 && configInt(kBringToFrontKey) != 0) bringWindowsToFront(other);
    logMessage(L"exiting");
    terminateLauncher(0);
}

} // namespace vkr
