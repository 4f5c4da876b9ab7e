#include "config/IncludedFiles.h"

#include "config/ErrorReporting.h"
#include "util/DiagnosticLog.h"
#include "util/Paths.h"

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <utility>
#include <vector>

namespace vkr {
namespace {

constexpr int kIncludedCountKey = 2002;
constexpr int kIncludedNamesKey = 2003;
constexpr int kInternalErrorMessage = 1009;
constexpr int kDirectoryAttempts = 10;
constexpr DWORD kChunkSize = 6000;
constexpr unsigned char kContentMask = 0xA7;

std::string g_extractionDirectory;
std::int32_t g_unextractedPosition = 0;

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
    const std::string directory = g_extractionDirectory + "\\" + std::string(piece.substr(0, backslash));
    logMessage(L"creating directory %S", directory);
    if (!CreateDirectoryA(directory.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        logError(L"failed to create directory %S", directory);
}

} // namespace

const std::string& extractionDirectoryName() noexcept { return g_extractionDirectory; }

void setExtractionDirectoryName(std::string name) { g_extractionDirectory = std::move(name); }

std::int32_t unextractedPosition() noexcept { return g_unextractedPosition; }

std::string extractionDirectorySddl(std::string_view userSid) {
    return "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + std::string(userSid) + ")";
}

int extractIncludedFiles(bool createDirectory) {
    logMessage(L"extracting files");
    const std::int32_t count = configInt(kIncludedCountKey);
    logMessage(L"Included files: %d", count);
    g_unextractedPosition = 0;
    // A negative count names no file either; it must not create an empty directory.
    if (count <= 0) {
        if (createDirectory) g_extractionDirectory.clear();
        return 0;
    }
    if (createDirectory) createExtractionDirectory();
    LauncherFile file;
    openLauncherFileOrEnd(file);
    return extractRecords(file, includedFilesPosition(), count);
}

int extractRecords(LauncherFile& file, std::int64_t position, std::int32_t count) {
    g_unextractedPosition = 0;
    // A position outside the file is a read failure of the launcher file.
    if (!seekLauncherFile(file, position)) return 1;
    std::int32_t handled = 0;
    for (const std::string& piece : splitList(configTextCopy(kIncludedNamesKey))) {
        if (handled == count) break;
        const std::string path = format8("%s\\%s", g_extractionDirectory, piece);
        createFirstLevelDirectory(piece);
        const int result = extractFile(file, path);
        if (result != 0) {
            logError(L"Failed to extract %S", path);
            return result;
        }
        ++handled;
    }
    g_unextractedPosition = static_cast<std::int32_t>(launcherFilePosition(file));
    file.handle.reset();
    logMessage(L"extracting files done");
    return 0;
}

int extractFile(LauncherFile& file, const std::string& path) {
    const std::int64_t size = readLong(file);
    logMessage(L"extracting %S (size: %I64d)", path, size);
    if (size <= 0) return 0;
    UniqueFile output(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output) fatalMessage(kInternalErrorMessage, L"11");
    std::vector<unsigned char> chunk(kChunkSize);
    std::int64_t copied = 0;
    while (copied < size) {
        const DWORD wanted = static_cast<DWORD>(std::min<std::int64_t>(size - copied, kChunkSize));
        DWORD got = 0;
        if (!ReadFile(file.handle.get(), chunk.data(), wanted, &got, nullptr) || got == 0) {
            const DWORD error = GetLastError();
            logError(L"ReadFile failed %d %d %I64d", got, error, copied);
            // Closed here, not left open for the end that follows: a file still open without
            // delete sharing cannot be removed by the termination, which would then leave the
            // partial file and the whole extraction directory behind.
            return 1;
        }
        for (DWORD i = 0; i < got; ++i) chunk[i] ^= kContentMask;
        DWORD written = 0;
        while (written < got) {
            DWORD now = 0;
            if (!WriteFile(output.get(), chunk.data() + written, got - written, &now, nullptr)) {
                const DWORD error = GetLastError();
                logError(L"WriteFile failed %d %d", got - written, error);
                return 2;
            }
            written += now;
        }
        copied += got;
    }
    return 0;
}

void createExtractionDirectory() {
    for (int attempt = 0; attempt < kDirectoryAttempts; ++attempt) {
        const std::string tempName = tempFileName();
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
            g_extractionDirectory = std::move(directory);
            return;
        }
        logMessage(L"Could not create dir (%d)", error);
    }
    g_extractionDirectory.clear();
    fatalMessage(kInternalErrorMessage, L"7");
}

} // namespace vkr
