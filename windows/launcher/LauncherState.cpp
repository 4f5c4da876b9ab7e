#include "launcher/LauncherState.h"

namespace vkr {

namespace {
std::wstring g_serviceName;
bool g_serviceMode = false;
bool g_noRedirection = false;
} // namespace

const std::wstring& serviceName() noexcept { return g_serviceName; }

void setServiceName(std::wstring_view name) {
    // The name lives in a buffer of kServiceNameCapacity units elsewhere in the system
    // (SCM calls, the child command line); a longer name is cut, never overrun.
    g_serviceName.assign(name.substr(0, kServiceNameCapacity - 1));
}

bool serviceMode() noexcept { return g_serviceMode; }
void setServiceMode(bool on) noexcept { g_serviceMode = on; }
bool noRedirection() noexcept { return g_noRedirection; }
void setNoRedirection(bool on) noexcept { g_noRedirection = on; }

} // namespace vkr
