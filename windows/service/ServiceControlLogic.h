#pragma once
// The parts of the service commands that decide without talking to the Service Control
// Manager, kept apart so that they are tested directly.
#include "core/Tokenizer.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vkr {

// The comma-separated dependency setting as the double-NUL list CreateServiceW expects:
// every non-empty piece with its NUL, then one more NUL. Pieces keep their blanks. An empty
// setting gives no list at all, so the caller passes a null pointer rather than an empty list.
std::optional<std::wstring> buildDependencyList(std::wstring_view setting);

// The start arguments: the elements after the first one (the service name). Empty when there
// are fewer than two elements; the pointers refer into arguments.
std::vector<const wchar_t*> startArgumentPointers(const ArgumentVector& arguments);

// What the stop wait needs from the outside world, so that the wait can be replayed against a
// scripted sequence of states, checkpoints and tick counts.
struct StopWaitProbe {
    std::function<bool(SERVICE_STATUS&)> queryStatus;
    std::function<DWORD()> tickCount;
    std::function<void(DWORD milliseconds)> sleep;
};

inline constexpr DWORD kStopPollMilliseconds = 500;

// Polls while the service is stop-pending; gives up once more than the service's current wait
// hint has passed without checkpoint progress. True when the service reached SERVICE_STOPPED.
bool waitForServiceStop(const StopWaitProbe& probe);

} // namespace vkr
