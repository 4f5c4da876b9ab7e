#include "util/TempDirectory.h"

#include "util/DiagnosticLog.h"
#include "util/FileSystem.h"
#include "util/Format.h"
#include "util/ProcessState.h"

namespace vkr {

namespace {

BOOL createDirectory(const char* path) { return CreateDirectoryA(path, nullptr); }

} // namespace

bool checkTempCandidate(std::string& path, TempCreate create, TempNames names, LongNames longNames) {
    if (path.empty()) return false;
    if (create == TempCreate::IfMissing) createDirectory(path.c_str());
    if (names == TempNames::Strict || longNames == LongNames::Long) {
        const DWORD size = GetLongPathNameA(path.c_str(), nullptr, 0);
        if (size > 0) {
            std::string longName(size + 10, '\0');
            const DWORD got = GetLongPathNameA(path.c_str(), longName.data(), size + 10);
            if (got > 0 && got < size + 10) {
                longName.resize(got);
                if (longName.find('?') != std::string::npos) {
                    // The directory's real name is not expressible in 8 bits; a strict
                    // candidate is refused, a relaxed one is kept in the form it came in.
                    if (names == TempNames::Strict) return false;
                } else if (longNames == LongNames::Long && got < kMaxPath && longName != path) {
                    logMessage(L"using long path %S", longName);
                    path = std::move(longName);
                }
            }
        }
    }
    return probeDirectory(path);
}

std::optional<std::string> tempDirectory8(LongNames longNames) {
    std::string& cached = processState().tempDirectory8;
    if (cached.empty()) {
        for (TempCandidate<std::string>& candidate : tempCandidates(systemTempSources<char>())) {
            if (!candidate.createFirst.empty()) createDirectory(candidate.createFirst.c_str());
            if (checkTempCandidate(candidate.path, candidate.create, candidate.names,
                                   candidate.longNameStep ? longNames : LongNames::AsWritten)) {
                cached = std::move(candidate.path);
                break;
            }
        }
    }
    if (cached.empty()) return std::nullopt;
    return cached;
}

std::string fallbackTempFileName(std::string_view directory, unsigned number) {
    std::string base(directory);
    if (base.empty() || (base.back() != '\\' && base.back() != '/')) base.push_back('\\');
    return format8("%sqnt%d", base, number);
}

std::string tempFileName(const std::string& directory) {
    logMessage(L"tempPath is %S", directory);
    std::string name(kMaxPath, '\0');
    if (GetTempFileNameA(directory.c_str(), "qnt", 0, name.data()) != 0) {
        name.resize(name.find('\0'));
    } else {
        const DWORD error = GetLastError();
        logMessage(L"GetTempFileName failed (last error %d)", error);
        unsigned state = randomSeed();
        name = fallbackTempFileName(directory, nextRandom(state));
    }
    logMessage(L"tempFile is %S", name);
    return name;
}

} // namespace vkr
