#include "util/ChildProcess.h"

#include "util/DiagnosticLog.h"

#include <algorithm>

namespace vkr {

namespace {
bool g_failHandleListsForTest = false;

// After TerminateProcess a child still holds its files for a moment.
constexpr DWORD kTerminationWaitMillis = 5000;
} // namespace

InheritedHandles::InheritedHandles(std::initializer_list<HANDLE> handles) noexcept {
    for (HANDLE h : handles)
        if (h && h != INVALID_HANDLE_VALUE && std::find(handles_.begin(), handles_.end(), h) == handles_.end())
            handles_.push_back(h);
    if (g_failHandleListsForTest || handles_.empty()) return;
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    if (size == 0) return;
    storage_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
    initialized_ = list;
    if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                  handles_.size() * sizeof(HANDLE), nullptr, nullptr))
        list_ = list;
}

InheritedHandles::~InheritedHandles() {
    if (initialized_) DeleteProcThreadAttributeList(initialized_);
}

ChildWait waitForChild(HANDLE process, DWORD milliseconds) noexcept {
    switch (WaitForSingleObject(process, milliseconds)) {
    case WAIT_OBJECT_0:
        return ChildWait::Ended;
    case WAIT_TIMEOUT:
        return ChildWait::StillRunning;
    default:
        return ChildWait::Failed;
    }
}

std::optional<DWORD> awaitHelperChild(HANDLE process, DWORD limitMillis) {
    const ChildWait wait = waitForChild(process, limitMillis);
    DWORD exitCode = STILL_ACTIVE;
    if (wait == ChildWait::Ended && !GetExitCodeProcess(process, &exitCode)) exitCode = 1;
    logMessage(L"Exit Code %d", exitCode);
    if (wait == ChildWait::Ended) return exitCode;
    logMessage(L"Terminating process");
    TerminateProcess(process, 1);
    WaitForSingleObject(process, kTerminationWaitMillis);
    return std::nullopt;
}

void failHandleListsForTest(bool fail) noexcept { g_failHandleListsForTest = fail; }

} // namespace vkr
