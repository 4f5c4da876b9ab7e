// The service host's control handler as the service manager drives it. The shutdown control
// comes only from the system when Windows shuts down (ControlService refuses to send it, on
// Windows as under Wine), so its path is shown here: it must end the child exactly like a
// stop, through the one message on the child's input, and move the checkpoint on.
#include "service/ServiceHost.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vkr {
namespace {

struct ChildInput {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    ChildInput() { EXPECT_TRUE(CreatePipe(&read, &write, nullptr, 0)); }
    ~ChildInput() { CloseHandle(read); }

    // What the child read, and whether its input then ended (the host closed its end).
    std::pair<std::string, bool> drained() const {
        DWORD available = 0;
        std::string text;
        for (;;) {
            if (!PeekNamedPipe(read, nullptr, 0, nullptr, &available, nullptr)) return {text, true};
            if (available == 0) return {text, false};
            std::string chunk(available, '\0');
            DWORD got = 0;
            if (!ReadFile(read, chunk.data(), available, &got, nullptr)) return {text, true};
            text.append(chunk, 0, got);
        }
    }
};

TEST(ServiceControlHandler, StopAndShutdownEndTheChildOnceAndOtherControlsOnlyReport) {
    const struct Case {
        const char* what;
        std::vector<DWORD> controls;
        bool childStarted;
        const char* childReads;
        bool inputEnded;
        DWORD state;
        DWORD checkpoint;
    } cases[] = {
        {"stop", {SERVICE_CONTROL_STOP}, true, "0\n", true, SERVICE_STOP_PENDING, 0},
        {"shutdown", {SERVICE_CONTROL_SHUTDOWN}, true, "0\n", true, SERVICE_STOP_PENDING, 1},
        // The second request finds the end closed: nothing is written or closed twice.
        {"shutdown then stop", {SERVICE_CONTROL_SHUTDOWN, SERVICE_CONTROL_STOP}, true, "0\n", true,
         SERVICE_STOP_PENDING, 1},
        {"two shutdowns", {SERVICE_CONTROL_SHUTDOWN, SERVICE_CONTROL_SHUTDOWN}, true, "0\n", true,
         SERVICE_STOP_PENDING, 2},
        {"interrogate", {SERVICE_CONTROL_INTERROGATE}, true, "", false, SERVICE_RUNNING, 0},
        {"parameter change", {SERVICE_CONTROL_PARAMCHANGE}, true, "", false, SERVICE_RUNNING, 0},
        // Before the child exists the request is kept; the service main delivers it once the
        // child is started.
        {"shutdown before the child", {SERVICE_CONTROL_SHUTDOWN}, false, "", false, SERVICE_STOP_PENDING, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ChildInput input;
        setServiceHostForTest(c.childStarted ? input.write : nullptr, c.childStarted);
        for (DWORD control : c.controls) serviceControlForTest(control);
        const auto [text, ended] = input.drained();
        EXPECT_EQ(text, c.childReads);
        EXPECT_EQ(ended, c.inputEnded);
        if (!ended) CloseHandle(input.write);
        const SERVICE_STATUS status = serviceStatusForTest();
        EXPECT_EQ(status.dwCurrentState, c.state);
        EXPECT_EQ(status.dwCheckPoint, c.checkpoint);
        EXPECT_EQ(serviceStopRequestedForTest(), c.state == SERVICE_STOP_PENDING);
    }
}

} // namespace
} // namespace vkr
