#include "config/LauncherValues.h"

#include "config/ConfigStore.h"
#include "config/ErrorReporting.h"
#include "util/ProcessState.h"
#include "util/TempDirectory.h"

namespace vkr {

namespace {

constexpr int kLongTempNamesKey = 10009;
constexpr int kNoTempDirectoryMessage = 1015;

class ProcessValues final : public BuiltInValues {
public:
    std::string tempDirectory8() const override { return requiredTempDirectory8(); }
    std::wstring tempDirectoryWide() const override { return requiredTempDirectoryWide(); }
    std::string extractionDirectory() const override { return processState().extractionDirectory; }
    std::string jvmHome() const override { return processState().jvmHome; }
};

} // namespace

const std::string& requiredTempDirectory8() {
    const LongNames longNames = configInt(kLongTempNamesKey) != 0 ? LongNames::Long : LongNames::AsWritten;
    if (!tempDirectory8(longNames)) fatalMessage(kNoTempDirectoryMessage);
    return processState().tempDirectory8;
}

const std::wstring& requiredTempDirectoryWide() {
    if (!tempDirectoryWide()) fatalMessage(kNoTempDirectoryMessage);
    return processState().tempDirectoryWide;
}

const BuiltInValues& launcherValues() noexcept {
    static const ProcessValues values;
    return values;
}

} // namespace vkr
