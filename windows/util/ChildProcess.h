#pragma once
// Helper processes the launcher starts (cmd.exe for a short name, a runtime's java.exe for its
// version, the service child) inherit exactly the handles they are given, nothing else: every
// other inheritable handle of the launcher (a service host's pipe ends, handles of the
// application's own code) would otherwise stay open for as long as the child runs.
#include <windows.h>

#include <initializer_list>
#include <optional>
#include <vector>

namespace vkr {

class InheritedHandles {
public:
    // Null handles are left out and duplicates given once.
    InheritedHandles(std::initializer_list<HANDLE> handles) noexcept;
    ~InheritedHandles();
    InheritedHandles(const InheritedHandles&) = delete;
    InheritedHandles& operator=(const InheritedHandles&) = delete;

    // The attribute list for STARTUPINFOEX, or null when it could not be built. A caller that
    // gets null must not start the child: without the list the child would inherit every
    // inheritable handle of the launcher.
    LPPROC_THREAD_ATTRIBUTE_LIST list() const noexcept { return list_; }

private:
    std::vector<HANDLE> handles_;
    std::vector<unsigned char> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST initialized_ = nullptr;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// How a wait for a child ended. Only the wait can tell: an exit code of 259 (STILL_ACTIVE) is
// also what a child that really ended may have returned.
enum class ChildWait { Ended, StillRunning, Failed };
ChildWait waitForChild(HANDLE process, DWORD milliseconds) noexcept;

// Waits up to the limit for a helper child, logs "Exit Code %d" and returns the code (1 when
// it cannot be read). A child still running then is ended ("Terminating process") and waited
// for a moment, so that the files it holds are free again; it returns nothing.
std::optional<DWORD> awaitHelperChild(HANDLE process, DWORD limitMillis);

// Test seam: make every handle list fail to build, as on a system without the attribute.
void failHandleListsForTest(bool fail) noexcept;

} // namespace vkr
