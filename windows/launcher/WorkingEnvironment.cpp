#include "launcher/WorkingEnvironment.h"

#include "config/ConfigStore.h"
#include "config/IncludedFiles.h"
#include "config/LauncherValues.h"
#include "core/Text.h"
#include "util/DiagnosticLog.h"
#include "util/Paths.h"
#include "util/ProcessState.h"
#include "util/VariableExpansion.h"

#include <windows.h>

#include <vector>

namespace vkr {
namespace {

constexpr int kFlavourKey = 2001;
constexpr int kReducePathKey = 10010;
constexpr int kWorkingDirectoryKey = 146;
constexpr UINT kWindowsDirectoryCapacity = 260;

} // namespace

void enterWorkingDirectory() {
    std::vector<wchar_t> buffer(kMaxPath);
    configWideText(kWorkingDirectoryKey, buffer.data(), buffer.size());
    std::wstring directory(buffer.data());
    if (directory.empty()) {
        logMessage(L"working directory unchanged");
        return;
    }
    expandVariablesW(directory, DirectoryValues::AnsiSafe, launcherValues(), kMaxPath);
    // The long form: the narrow-derived one names another directory wherever the 8-bit path
    // holds bytes that do not widen to their own character.
    const std::wstring resolved = resolvePath(directory, DirectoryForm::LongWide);
    // A directory that cannot be entered leaves the previous one; the launch goes on there.
    SetCurrentDirectoryW(resolved.c_str());
    logMessage(L"change working directory to %s", resolved);
}

std::wstring systemPathEntries(std::wstring_view path, std::wstring_view windowsDirectory) {
    std::wstring kept;
    for (const std::wstring& piece : splitList(path)) {
        if (!startsWithIgnoringAsciiCase<wchar_t>(piece, windowsDirectory)) continue;
        if (!kept.empty()) kept += L';';
        kept += piece;
    }
    return kept;
}

void reducePath() {
    if (configInt(kReducePathKey) == 0) return;
    const DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (size == 0) return;
    std::wstring path(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(L"PATH", path.data(), size);
    if (length == 0 || length >= size) return;
    path.resize(length);
    wchar_t windowsDirectory[kWindowsDirectoryCapacity] = {};
    const UINT directoryLength = GetWindowsDirectoryW(windowsDirectory, kWindowsDirectoryCapacity);
    if (directoryLength == 0 || directoryLength >= kWindowsDirectoryCapacity) return;
    logMessage(L"reducing PATH %d %d %s", directoryLength, size, path);
    const std::wstring reduced = systemPathEntries(path, std::wstring_view(windowsDirectory, directoryLength));
    logMessage(L"reduced PATH %d to %s", reduced.size(), reduced);
    if (reduced.empty()) return;
    if (!SetEnvironmentVariableW(L"PATH", reduced.c_str())) logMessage(L"ERROR setting path");
}

void prepareWorkingEnvironment() {
    setExtractionDirectoryName({});
    loadConfiguration();
    char flavour[2] = {};
    configText(kFlavourKey, flavour, sizeof flavour);
    processState().flavourLetter = flavour[0];
    reducePath();
    enterWorkingDirectory();
}

} // namespace vkr
