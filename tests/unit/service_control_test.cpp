#include "service/ServiceControlLogic.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

namespace vkr {
namespace {

using namespace std::string_literals;

// The double-NUL list as CreateServiceW reads it: names up to the empty one.
std::vector<std::wstring> namesOf(const std::wstring& list) {
    std::vector<std::wstring> names;
    const wchar_t* p = list.c_str();
    while (*p) {
        names.emplace_back(p);
        p += names.back().size() + 1;
    }
    return names;
}

TEST(DependencyList, EmptySettingGivesNoListRatherThanAnEmptyOne) {
    EXPECT_FALSE(buildDependencyList(L"").has_value());
}

TEST(DependencyList, SplitsAtCommasSkippingEmptyPiecesWithoutTrimming) {
    struct Case {
        std::wstring setting;
        std::wstring list; // exact buffer content, NULs included
    };
    const Case cases[] = {
        {L"Tcpip", L"Tcpip\0\0"s},
        {L",Tcpip,,Afd,", L"Tcpip\0Afd\0\0"s},
        {L"Tcpip, Afd", L"Tcpip\0 Afd\0\0"s},
        {L" Tcpip ", L" Tcpip \0\0"s},
        {L",,,", L"\0"s},
    };
    for (const Case& c : cases) {
        std::optional<std::wstring> list = buildDependencyList(c.setting);
        ASSERT_TRUE(list.has_value()) << std::string(c.setting.begin(), c.setting.end());
        EXPECT_EQ(*list, c.list) << std::string(c.setting.begin(), c.setting.end());
    }
    EXPECT_EQ(namesOf(*buildDependencyList(L",Tcpip,,Afd,")), (std::vector<std::wstring>{L"Tcpip", L"Afd"}));
}

TEST(DependencyList, NameFillingTheWholeSettingKeepsBothTerminators) {
    // A 5999-character name (the most the setting holds) needs 6001 units as a list: a list
    // buffer of the setting's own capacity would lose the final NUL and let CreateServiceW read
    // past its end.
    std::wstring name(5999, L'a');
    std::optional<std::wstring> list = buildDependencyList(name);
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(list->size(), 6001u);
    EXPECT_EQ(namesOf(*list), std::vector<std::wstring>{name});
}

TEST(StartArguments, ElementsAfterTheServiceName) {
    struct Case {
        ArgumentVector arguments;
        std::vector<std::wstring> expected;
    };
    const Case cases[] = {
        {{}, {}},
        {{L"Name"}, {}},
        {{L"Name", L"x", L"y z"}, {L"x", L"y z"}},
        {{L"Name", L""}, {L""}},
    };
    for (const Case& c : cases) {
        std::vector<const wchar_t*> pointers = startArgumentPointers(c.arguments);
        std::vector<std::wstring> got(pointers.begin(), pointers.end());
        EXPECT_EQ(got, c.expected);
    }
}

// A scripted service: each query returns the next status; each sleep advances the clock by
// its duration plus the step's extra delay, so that long gaps and the tick wrap can be played.
struct ScriptStep {
    DWORD state;
    DWORD checkPoint;
    DWORD waitHint;
    bool queryFails = false;
};

struct ScriptedService {
    std::vector<ScriptStep> steps;
    DWORD now;
    size_t queries = 0;
    std::vector<DWORD> sleeps{};

    StopWaitProbe probe() {
        return StopWaitProbe{
            [this](SERVICE_STATUS& status) {
                const ScriptStep& step = steps.at(std::min(queries, steps.size() - 1));
                ++queries;
                if (step.queryFails) return false;
                status = SERVICE_STATUS{};
                status.dwCurrentState = step.state;
                status.dwCheckPoint = step.checkPoint;
                status.dwWaitHint = step.waitHint;
                return true;
            },
            [this] { return now; },
            [this](DWORD milliseconds) {
                sleeps.push_back(milliseconds);
                now += milliseconds;
            },
        };
    }
};

TEST(StopWait, FollowsStateCheckpointAndWaitHint) {
    constexpr DWORD P = SERVICE_STOP_PENDING, S = SERVICE_STOPPED, R = SERVICE_RUNNING;
    struct Case {
        const char* name;
        DWORD startTick;
        std::vector<ScriptStep> steps;
        bool stopped;
        size_t queries;
    };
    const Case cases[] = {
        {"already stopped at the first query", 1000, {{S, 0, 0}}, true, 1},
        {"first query fails", 1000, {{S, 0, 0, true}}, false, 1},
        {"stopped after two polls", 1000, {{P, 0, 5000}, {P, 0, 5000}, {S, 0, 0}}, true, 3},
        {"query fails while pending", 1000, {{P, 0, 5000}, {P, 0, 5000, true}}, false, 2},
        // Hint 1200 ms: after 3 polls 1500 ms have passed without progress.
        {"no checkpoint progress gives up after the hint", 1000, {{P, 7, 1200}}, false, 4},
        // Exactly the hint is not yet more than the hint.
        {"elapsed equal to the hint keeps waiting", 1000, {{P, 0, 1000}, {P, 0, 1000}, {P, 0, 1000}, {S, 0, 0}}, true, 4},
        // Progress every poll restarts the timer although the hint is shorter than a poll.
        {"growing checkpoint restarts the timer", 1000,
         {{P, 1, 100}, {P, 2, 100}, {P, 3, 100}, {P, 4, 100}, {S, 0, 0}}, true, 5},
        // A checkpoint that falls back is no progress.
        {"falling checkpoint is no progress", 1000, {{P, 5, 100}, {P, 4, 100}, {S, 0, 0}}, false, 2},
        // The hint read at each poll is the one that counts.
        {"current wait hint counts", 1000, {{P, 0, 100}, {P, 0, 10000}, {P, 0, 10000}, {S, 0, 0}}, true, 4},
        {"ends in another state than stopped", 1000, {{P, 0, 5000}, {R, 0, 0}}, false, 2},
        // The timer starts 200 ms before the tick counter wraps: a signed or widened comparison
        // would see a huge elapsed time at once (or never give up).
        {"tick counter wrap", 0xFFFFFF38u, {{P, 0, 1200}, {P, 0, 1200}, {P, 0, 1200}, {S, 0, 0}}, true, 4},
        {"tick counter wrap still gives up", 0xFFFFFF38u, {{P, 0, 1200}}, false, 4},
    };
    for (const Case& c : cases) {
        ScriptedService service{c.steps, c.startTick};
        EXPECT_EQ(waitForServiceStop(service.probe()), c.stopped) << c.name;
        EXPECT_EQ(service.queries, c.queries) << c.name;
        for (DWORD slept : service.sleeps) EXPECT_EQ(slept, kStopPollMilliseconds) << c.name;
    }
}

} // namespace
} // namespace vkr
