#include "service/ServiceControlLogic.h"

namespace vkr {

std::optional<std::wstring> buildDependencyList(std::wstring_view setting) {
    if (setting.empty()) return std::nullopt;
    // Sized by the setting itself: a single name that fills the configured text would not
    // fit a list buffer of the text's own capacity once its two NULs are added.
    std::wstring list;
    list.reserve(setting.size() + 2);
    size_t start = 0;
    while (start <= setting.size()) {
        size_t comma = setting.find(L',', start);
        if (comma == std::wstring_view::npos) comma = setting.size();
        if (comma > start) {
            list.append(setting.substr(start, comma - start));
            list.push_back(L'\0');
        }
        start = comma + 1;
    }
    list.push_back(L'\0');
    return list;
}

std::vector<const wchar_t*> startArgumentPointers(const ArgumentVector& arguments) {
    std::vector<const wchar_t*> pointers;
    if (arguments.size() < 2) return pointers;
    pointers.reserve(arguments.size() - 1);
    for (size_t i = 1; i < arguments.size(); ++i) pointers.push_back(arguments[i].c_str());
    return pointers;
}

bool waitForServiceStop(const StopWaitProbe& probe) {
    SERVICE_STATUS status{};
    if (!probe.queryStatus(status)) return false;
    DWORD timerStart = probe.tickCount();
    DWORD checkPoint = status.dwCheckPoint;
    while (status.dwCurrentState == SERVICE_STOP_PENDING) {
        probe.sleep(kStopPollMilliseconds);
        if (!probe.queryStatus(status)) return false;
        if (status.dwCheckPoint > checkPoint) {
            checkPoint = status.dwCheckPoint;
            timerStart = probe.tickCount();
        } else if (static_cast<DWORD>(probe.tickCount() - timerStart) > status.dwWaitHint) {
            // Unsigned difference: correct across the wrap of the 32-bit tick counter.
            break;
        }
    }
    return status.dwCurrentState == SERVICE_STOPPED;
}

} // namespace vkr
