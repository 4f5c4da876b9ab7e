#include "config/IncludedFiles.h"

#include "config/ErrorReporting.h"
#include "config/LauncherValues.h"
#include "util/DiagnosticLog.h"
#include "util/Format.h"
#include "util/Paths.h"
#include "util/ProcessState.h"
#include "util/TempDirectory.h"

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <utility>
#include <vector>

namespace vkr {
namespace {

constexpr int kInternalErrorMessage = 1009;
constexpr int kDirectoryAttempts = 10;
constexpr std::size_t kChunkSize = 6000;

// One record's outcome; the Part of extractRecords that may end the launcher decides.
enum class RecordResult { Done, ReadFailed, WriteFailed, SizeUnreadable, OutputNotCreated };

struct LocalFreer {
    void operator()(void* p) const noexcept { LocalFree(p); }
};
using LocalMemory = std::unique_ptr<void, LocalFreer>;

// The SID of the user the process runs as, as a string ("S-1-5-18" for LocalSystem).
std::string processUserSid() {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    DWORD needed = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &needed);
    if (needed == 0) return {};
    std::vector<unsigned char> buffer(needed);
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), needed, &needed)) return {};
    char* text = nullptr;
    if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return {};
    LocalMemory owner(text);
    return text;
}

// The directory's security descriptor, or nothing when it cannot be built; the directory is
// then not created at all rather than created open to everybody.
LocalMemory extractionDirectorySecurity() {
    const std::string sid = processUserSid();
    if (sid.empty()) return {};
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(extractionDirectorySddl(sid).c_str(),
                                                              SDDL_REVISION_1, &descriptor, nullptr))
        return {};
    return LocalMemory(descriptor);
}

// GetTempFileNameA leaves an empty file behind; its name has served once the directory name
// is formed. Only that empty plain file is removed: the fallback name of the temp-name step
// creates no file, and whatever else carries the name is not ours.
void removeTempNameFile(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return;
    const DWORD foreign = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if ((data.dwFileAttributes & foreign) != 0 || data.nFileSizeHigh != 0 || data.nFileSizeLow != 0) return;
    DeleteFileA(path.c_str());
}

// Only the first level of a relative name is created; deeper levels decide at CreateFileA.
void createFirstLevelDirectory(std::string_view piece) {
    const size_t backslash = piece.find('\\');
    if (backslash == std::string_view::npos) return;
    const std::string directory = extractionDirectoryName() + "\\" + std::string(piece.substr(0, backslash));
    logMessage(L"creating directory %S", directory);
    if (!CreateDirectoryA(directory.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        logError(L"failed to create directory %S", directory);
}

RecordResult extractFile(LauncherFile& file, BlockReader& reader, const std::string& path) {
    std::int64_t size = 0;
    if (!readIncludedFileSize(reader, size)) return RecordResult::SizeUnreadable;
    logMessage(L"extracting %S (size: %I64d)", path, size);
    if (size <= 0) return RecordResult::Done;
    UniqueFile output(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!output) return RecordResult::OutputNotCreated;
    std::vector<char> chunk(kChunkSize);
    std::int64_t copied = 0;
    while (copied < size) {
        const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(size - copied, kChunkSize));
        const std::size_t got = file.read(reader.position(), chunk.data(), wanted);
        if (got == 0) {
            // The output is closed on the way out, not left open for the end that follows: a
            // file still open without delete sharing cannot be removed by the termination,
            // which would then leave it and the whole extraction directory behind.
            logError(L"ReadFile failed %d %d %I64d", got, file.lastReadError(), copied);
            return RecordResult::ReadFailed;
        }
        reader.seek(reader.position() + got);
        unmaskIncludedBytes(chunk.data(), got);
        std::size_t written = 0;
        while (written < got) {
            DWORD now = 0;
            if (!WriteFile(output.get(), chunk.data() + written, static_cast<DWORD>(got - written), &now, nullptr)) {
                const DWORD error = GetLastError();
                logError(L"WriteFile failed %d %d", got - written, error);
                return RecordResult::WriteFailed;
            }
            written += now;
        }
        copied += static_cast<std::int64_t>(got);
    }
    return RecordResult::Done;
}

} // namespace

const std::string& extractionDirectoryName() noexcept { return processState().extractionDirectory; }

void setExtractionDirectoryName(std::string name) { processState().extractionDirectory = std::move(name); }

std::int32_t unextractedPosition() noexcept { return processState().unextractedPosition; }

std::string extractionDirectorySddl(std::string_view userSid) {
    return "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + std::string(userSid) + ")";
}

Extraction extractIncludedFiles(ExtractionDirectory directory) {
    logMessage(L"extracting files");
    const std::int32_t count = configInt(kIncludedCountKey);
    logMessage(L"Included files: %d", count);
    processState().unextractedPosition = 0;
    // A negative count names no file either; it must not create an empty directory.
    if (count <= 0) {
        if (directory == ExtractionDirectory::Create) setExtractionDirectoryName({});
        return Extraction::Done;
    }
    if (directory == ExtractionDirectory::Create) createExtractionDirectory();
    LauncherFile file;
    openLauncherFileOrEnd(file);
    return extractRecords(file, includedFilesPosition(), count);
}

Extraction extractRecords(LauncherFile& file, std::int64_t position, std::int32_t count) {
    processState().unextractedPosition = 0;
    // A position outside the file is a read failure of the launcher file.
    if (position < 0 || static_cast<std::uint64_t>(position) > file.size()) return Extraction::ReadFailed;
    BlockReader reader(file, static_cast<std::uint64_t>(position));
    for (const std::string& piece : includedFileNames(configTextCopy(kIncludedNamesKey), count)) {
        const std::string path = format8("%s\\%s", extractionDirectoryName(), piece);
        createFirstLevelDirectory(piece);
        switch (extractFile(file, reader, path)) {
        case RecordResult::Done:
            continue;
        case RecordResult::SizeUnreadable:
            endForReadFailure(file, reader.failure());
        case RecordResult::OutputNotCreated:
            fatalMessage(kInternalErrorMessage, L"11");
        case RecordResult::ReadFailed:
            logError(L"Failed to extract %S", path);
            return Extraction::ReadFailed;
        case RecordResult::WriteFailed:
            logError(L"Failed to extract %S", path);
            return Extraction::WriteFailed;
        }
    }
    processState().unextractedPosition = static_cast<std::int32_t>(reader.position());
    file.close();
    logMessage(L"extracting files done");
    return Extraction::Done;
}

void createExtractionDirectory() {
    for (int attempt = 0; attempt < kDirectoryAttempts; ++attempt) {
        const std::string tempName = tempFileName(requiredTempDirectory8());
        std::string directory = format8("%s_dir%d", tempName, static_cast<std::int32_t>(std::time(nullptr)));
        logMessage(L"Temp dir3: %S", directory);
        LocalMemory descriptor = extractionDirectorySecurity();
        DWORD error = descriptor ? ERROR_SUCCESS : GetLastError();
        bool created = false;
        if (descriptor) {
            SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
            // An existing entry of that name (perhaps planted by another user) fails the
            // attempt: CreateDirectoryA does not reuse it.
            created = CreateDirectoryA(directory.c_str(), &attributes) != FALSE;
            if (!created) error = GetLastError();
        }
        removeTempNameFile(tempName);
        if (created) {
            setExtractionDirectoryName(std::move(directory));
            return;
        }
        logMessage(L"Could not create dir (%d)", error);
    }
    setExtractionDirectoryName({});
    fatalMessage(kInternalErrorMessage, L"7");
}

} // namespace vkr
