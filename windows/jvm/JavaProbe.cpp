#include "jvm/JavaProbe.h"

#include "config/ConfigStore.h"
#include "config/LauncherValues.h"
#include "util/ChildProcess.h"
#include "util/DiagnosticLog.h"
#include "util/Handles.h"
#include "util/Paths.h"
#include "util/TempDirectory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace vkr {

namespace {

DWORD versionQueryTimeout = kVersionQueryTimeoutMs;

// The first banner line is read with at most this many characters.
constexpr int kBannerLineChars = 99;

constexpr std::string_view kJavaPrefix = "java version \"";
constexpr std::string_view kOpenJdkPrefix = "openjdk version \"";

bool isStaleCachedVersion(const std::string& version) {
    // Entries written by older launchers for runtimes they could not judge properly.
    return version == "1.7." || version == "1.6." || version == "1.5.";
}

// _JAVA_OPTIONS would change the child's banner (the JVM echoes "Picked up _JAVA_OPTIONS")
// or even stop it from starting, so the child runs without it; the launcher's own value is
// back in place when this goes out of scope, for the JVM created later in this process.
class JavaOptionsHidden {
public:
    JavaOptionsHidden() {
        const DWORD size = GetEnvironmentVariableA("_JAVA_OPTIONS", nullptr, 0);
        if (size == 0) return;
        std::vector<char> buffer(size);
        const DWORD read = GetEnvironmentVariableA("_JAVA_OPTIONS", buffer.data(), size);
        if (read == size - 1) {
            kept_.emplace(buffer.data(), read);
            logMessage(L"_JAVA_OPTIONS is %S", *kept_);
        } else {
            logMessage(L"error reading _JAVA_OPTIONS");
        }
        SetEnvironmentVariableA("_JAVA_OPTIONS", nullptr);
    }
    ~JavaOptionsHidden() {
        if (kept_) SetEnvironmentVariableA("_JAVA_OPTIONS", kept_->c_str());
    }
    JavaOptionsHidden(const JavaOptionsHidden&) = delete;
    JavaOptionsHidden& operator=(const JavaOptionsHidden&) = delete;

private:
    std::optional<std::string> kept_;
};

std::string versionCommandLine(const std::string& path) {
    std::vector<char> shortPath(kMaxPath);
    const DWORD length = GetShortPathNameA(path.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
    std::string program;
    if (length == 0 || length >= shortPath.size()) {
        logMessage(L"Could not get short path name for %S", path);
        program = path;
    } else {
        program.assign(shortPath.data(), length);
    }
    // Without a short name (volumes with 8.3 names switched off) the path may hold blanks;
    // unquoted, CreateProcess would try "c:\program" and friends first.
    if (program.find(' ') != std::string::npos) program = "\"" + program + "\"";
    return program + " -version";
}

// The duplicate is what the child inherits as its standard error.
UniqueFile createInheritableTempFile(const std::string& name) {
    UniqueFile file(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return UniqueFile();
    HANDLE duplicate = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), file.get(), GetCurrentProcess(), &duplicate, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
        return UniqueFile();
    }
    return UniqueFile(duplicate);
}

bool readBannerVersion(const std::string& tempName, std::string& version) {
    std::FILE* file = std::fopen(tempName.c_str(), "rt");
    if (!file) return false;
    char line[kBannerLineChars + 1] = {};
    const bool gotLine = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    if (!gotLine) return false;
    std::string found;
    if (!parseVersionBanner(std::string_view(line, std::strlen(line)), found)) return false;
    version = found;
    logMessage(L"Java version: %S", version);
    return true;
}

} // namespace

void setVersionQueryTimeoutForTest(DWORD milliseconds) noexcept { versionQueryTimeout = milliseconds; }

std::string versionCacheKeyName(const std::string& path) {
    std::string name = kVersionCacheKey;
    for (char c : path) name.push_back(c == '\\' ? '/' : c);
    return name;
}

bool locateJavaExe(const std::string& home, std::string& path) {
    path = home + "\\jre\\bin\\java.exe";
    if (configInt(131) != 0) return exists(home + "\\lib\\tools.jar");
    if (!exists(path)) path = home + "\\bin\\java.exe";
    return true;
}

bool checkJavaExe(std::string& path, std::string& version, const VersionComponents& minimum,
                  const VersionComponents& maximum, Prerelease prerelease) {
    logMessage(L"checkJavaExe (%S, [out], %d, %d, %d)", path, minimum.size(), maximum.size(),
               prerelease == Prerelease::Allowed ? 1 : 0);
    path = canonicalPath(path, LetterCase::Lowered);
    bool result = false;
    FILETIME lastWrite = {};
    if (!exists(path, &lastWrite)) {
        logMessage(L"file doesn't exist");
    } else {
        logMessage(L"file exists");
        version.clear();
        bool known = false;
        if (readCachedVersion(path, lastWrite, version) && version != kFailureMarker) {
            logMessage(L"got version from registry %S", version);
            known = true;
        } else {
            version.clear();
            if (queryJavaVersion(path, lastWrite, version)) {
                logMessage(L"got version from execution %S", version);
                storeCachedVersion(path, lastWrite, version);
                known = true;
            } else {
                logMessage(L"couldn't get version");
            }
        }
        if (configInt(130) != 0) prerelease = Prerelease::Allowed;
        if (known && prerelease == Prerelease::Refused && isPrerelease(version)) {
            logMessage(L"beta vm not allowed");
            known = false;
        }
        result = known && versionMatches(version, minimum, maximum, prerelease);
    }
    if (result && configInt(107) == 1 && path.size() >= 4) {
        path.replace(path.size() - 4, 4, "w.exe");
        result = exists(path);
    }
    logMessage(L"checkJavaExe returning %d", result ? 1 : 0);
    return result;
}

bool readCachedVersion(const std::string& path, const FILETIME& lastWrite, std::string& version) {
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, versionCacheKeyName(path).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return false;
    }
    unsigned char cachedTime[sizeof(FILETIME)] = {};
    DWORD size = sizeof cachedTime;
    if (RegQueryValueExA(key.get(), "LastWriteTime", nullptr, nullptr, cachedTime, &size) != ERROR_SUCCESS ||
        size != sizeof cachedTime || std::memcmp(cachedTime, &lastWrite, sizeof cachedTime) != 0) {
        return false;
    }
    // A value longer than the limit fails with ERROR_MORE_DATA and is a miss: the executable
    // is run again and the entry rewritten, rather than trusting a cut version text.
    std::vector<char> data(kMaxCachedVersionBytes);
    size = kMaxCachedVersionBytes;
    if (RegQueryValueExA(key.get(), "Version", nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    // Entries are written without a terminating NUL; the text ends at the data's end or at
    // its first NUL, whichever comes first, and never reaches past what was read.
    const size_t length = std::min<size_t>(size, data.size());
    const char* nul = static_cast<const char*>(std::memchr(data.data(), '\0', length));
    version.assign(data.data(), nul ? static_cast<size_t>(nul - data.data()) : length);
    return !isStaleCachedVersion(version);
}

void storeCachedVersion(const std::string& path, const FILETIME& lastWrite, const std::string& version) {
    UniqueKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, versionCacheKeyName(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    // The version first, the time it belongs to last: a reader checks the time before it
    // reads the version, so once it sees the new time it also sees the new version. In the
    // other order, for a runtime replaced in place, a run that reads between the two writes,
    // or every later run after a launcher ended between them, takes the old runtime's version
    // for the new one; in this order both cases are a miss and the runtime is asked again.
    RegSetValueExA(key.get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.data()),
                   static_cast<DWORD>(version.size()));
    unsigned char time[sizeof(FILETIME)];
    std::memcpy(time, &lastWrite, sizeof time);
    RegSetValueExA(key.get(), "LastWriteTime", 0, REG_BINARY, time, sizeof time);
}

bool queryJavaVersion(const std::string& path, const FILETIME& lastWrite, std::string& version) {
    std::string commandLine = versionCommandLine(path);
    bool started = false;
    DWORD startError = 0;
    PROCESS_INFORMATION process = {};
    const std::string tempName = tempFileName(requiredTempDirectory8());
    UniqueFile standardError = createInheritableTempFile(tempName);
    {
        JavaOptionsHidden hidden;
        // The child gets the temp file as its standard error and nothing else of ours.
        InheritedHandles inherited{standardError.get()};
        if (!standardError) {
            startError = GetLastError();
        } else if (!inherited.list()) {
            startError = GetLastError();
            logMessage(L"could not limit the handles the version query inherits");
        } else {
            STARTUPINFOEXA startup = {};
            startup.StartupInfo.cb = sizeof startup;
            startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
            startup.StartupInfo.wShowWindow = SW_HIDE;
            startup.StartupInfo.hStdError = standardError.get();
            startup.lpAttributeList = inherited.list();
            started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                                     NORMAL_PRIORITY_CLASS | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                                     &startup.StartupInfo, &process) != 0;
            if (!started) startError = GetLastError();
        }
    }
    if (!started) {
        logMessage(L"Could not create process %S > %S (error %d)", commandLine, tempName, startError);
        standardError.reset();
        DeleteFileA(tempName.c_str());
        return false;
    }
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    // A runtime that ran and failed is remembered; one that hung tells nothing.
    const std::optional<DWORD> exitCode = awaitHelperChild(processHandle.get(), versionQueryTimeout);
    if (exitCode && *exitCode != 0) storeCachedVersion(path, lastWrite, kFailureMarker);
    processHandle.reset();
    threadHandle.reset();
    standardError.reset();
    const bool found = exitCode == 0u && readBannerVersion(tempName, version);
    DeleteFileA(tempName.c_str());
    return found;
}

bool parseVersionBanner(std::string_view firstLine, std::string& version) {
    std::string_view rest;
    if (firstLine.starts_with(kJavaPrefix)) {
        rest = firstLine.substr(kJavaPrefix.size());
    } else if (firstLine.starts_with(kOpenJdkPrefix)) {
        rest = firstLine.substr(kOpenJdkPrefix.size());
    } else {
        return false;
    }
    const size_t quote = rest.find('"');
    if (quote != std::string_view::npos) {
        version.assign(rest.substr(0, quote));
    } else {
        // The line end (or a cut line's last characters) is dropped; a rest shorter than
        // that gives an empty version rather than reaching before the prefix's end.
        version.assign(rest.substr(0, rest.size() >= 2 ? rest.size() - 2 : 0));
    }
    return true;
}

} // namespace vkr
