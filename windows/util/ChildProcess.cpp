#include "util/ChildProcess.h"

#include <algorithm>

namespace vkr {

namespace {
bool g_failHandleListsForTest = false;
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

void failHandleListsForTest(bool fail) noexcept { g_failHandleListsForTest = fail; }

} // namespace vkr
