#include "util/ProcessState.h"

namespace vkr {

ProcessState& processState() noexcept {
    static ProcessState state;
    return state;
}

void resetProcessStateForTest() { processState() = ProcessState{}; }

} // namespace vkr
