#include "util/TempDirectory.h"

#include "util/DiagnosticLog.h"
#include "util/FileSystem.h"
#include "util/Format.h"
#include "util/ProcessState.h"

namespace vkr {

namespace {

// One call in the common case: every GetLongPathName walks the path a directory at a time,
// which is most of what choosing the temp directory costs at each start. A name longer than
// the first buffer is fetched again at its reported size.
std::optional<std::string> longPathName(const std::string& path) {
    std::string buffer(kMaxPath + 10, '\0');
    DWORD got = GetLongPathNameA(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (got >= buffer.size()) {
        buffer.assign(got + 10, '\0');
        got = GetLongPathNameA(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (got >= buffer.size()) return std::nullopt;
    }
    if (got == 0) return std::nullopt;
    buffer.resize(got);
    return buffer;
}

} // namespace

bool checkTempCandidate(std::string& path, TempCreate create, TempNames names, LongNames longNames) {
    if (path.empty()) return false;
    if (create == TempCreate::IfMissing) CreateDirectoryA(path.c_str(), nullptr);
    if (names == TempNames::Strict || longNames == LongNames::Long) {
        const std::optional<std::string> longName = longPathName(path);
        if (longName && longName->find('?') != std::string::npos) {
            // The directory's real name is not expressible in 8 bits; a strict candidate is
            // refused, a relaxed one is kept in the form it came in.
            if (names == TempNames::Strict) return false;
        } else if (longName && longNames == LongNames::Long && longName->size() < kMaxPath && *longName != path) {
            logMessage(L"using long path %S", *longName);
            path = *longName;
        }
    }
    return probeDirectory(path);
}

std::optional<std::string> tempDirectory8(LongNames longNames) {
    std::string& cached = processState().tempDirectory8;
    if (cached.empty()) {
        cached = selectTempCandidate<char>([longNames](TempCandidate<std::string>& candidate) {
            return checkTempCandidate(candidate.path, candidate.create, candidate.names,
                                      candidate.longNameStep ? longNames : LongNames::AsWritten);
        });
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
