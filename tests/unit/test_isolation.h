#pragma once
// What test_main.cpp gives every unit test program: its own temp directory and registry.
#include <windows.h>

namespace vkr::test {

extern HKEY g_machineOverride;

// While alive, HKEY_LOCAL_MACHINE is the machine's own again: for a test of the registry's
// 32- and 64-bit views, which a remapped key does not have. Such a test owns the real keys it
// writes (and removes them); no other program's test can see them while it runs.
class RealMachineRegistry {
public:
    RealMachineRegistry() noexcept;
    ~RealMachineRegistry();
    RealMachineRegistry(const RealMachineRegistry&) = delete;
    RealMachineRegistry& operator=(const RealMachineRegistry&) = delete;
};

} // namespace vkr::test
