#include "jvm/JvmSearch.h"

#include "config/ConfigStore.h"
#include "config/LauncherValues.h"
#include "core/Text.h"
#include "jvm/JavaProbe.h"
#include "jvm/PackedRuntime.h"
#include "util/DiagnosticLog.h"
#include "util/Handles.h"
#include "util/Paths.h"
#include "util/VariableExpansion.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace vkr {

namespace {

constexpr size_t kCurrentVersionBytes = 100;

std::string configText6000(int key) {
    std::string text(kMaxPath, '\0');
    text.resize(configText(key, text.data(), text.size()));
    return text;
}

// A registry string of at most maxBytes. The data is cut at its first NUL or at its size:
// a value written without a terminator (the version cache itself is written that way) must
// not make the reader run past what the registry handed back.
std::optional<std::string> readRegistryText(HKEY key, const char* name, size_t maxBytes) {
    std::string data(maxBytes, '\0');
    DWORD size = static_cast<DWORD>(maxBytes);
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
        return std::nullopt;
    data.resize(std::min<size_t>(size, maxBytes));
    if (auto nul = data.find('\0'); nul != std::string::npos) data.resize(nul);
    return data;
}

std::optional<std::string> readRegistryText(HKEY hive, const std::string& subkey, const char* name,
                                            size_t maxBytes, REGSAM extraAccess = 0) {
    UniqueKey key;
    if (RegOpenKeyExA(hive, subkey.c_str(), 0, KEY_READ | extraAccess, key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    return readRegistryText(key.get(), name, maxBytes);
}

// Subkey names by index. A name too long for the buffer is passed over; any other error ends
// the walk, so that a key that keeps failing cannot hold the search forever.
std::vector<std::string> subkeyNames(HKEY key) {
    std::vector<std::string> names;
    std::string name(kMaxPath, '\0');
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        LONG rc = RegEnumKeyExA(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) break;
        names.emplace_back(name.data(), length);
    }
    return names;
}

// A JavaHome value is only worth probing when it names an existing directory by an absolute
// path: an empty value would otherwise become the root of the current drive, and a relative
// one the launcher's own directory, neither of which the registry entry meant.
bool isJavaHomeDirectory(const std::string& home) {
    if (!isAbsoluteLocation(home)) return false;
    DWORD attributes = GetFileAttributesA(home.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool probeHome(const std::string& home, const VersionBounds& bounds, JvmCandidate& out) {
    return locateJavaExe(home, out.javaExe) &&
           checkJavaExe(out.javaExe, out.version, bounds.minimum, bounds.maximum, Prerelease::Refused);
}

bool probeRegistryJavaHome(const std::string& versionKey, const VersionBounds& bounds, JvmCandidate& out) {
    auto home = readRegistryText(HKEY_LOCAL_MACHINE, versionKey, "JavaHome", kMaxPath);
    return home && isJavaHomeDirectory(*home) && probeHome(*home, bounds, out);
}

std::string currentVersionChoice(const char* key, const VersionBounds& bounds) {
    auto text = readRegistryText(HKEY_LOCAL_MACHINE, key, "CurrentVersion", kCurrentVersionBytes);
    if (!text || !versionNameMatches(*text, bounds.minimum, bounds.maximum)) return {};
    return *text;
}

bool checkInstallationsView(HKEY hive, REGSAM view, const VersionBounds& bounds, JvmCandidate& out) {
    std::string appId = configText6000(160);
    logMessage(L"checking app id %S (%d, %p)", appId, static_cast<int>(view), static_cast<const void*>(hive));
    if (appId.empty()) return false;
    UniqueKey key;
    LONG rc = RegOpenKeyExA(hive, kInstallationsKey, 0, KEY_READ | view, key.put());
    if (rc != ERROR_SUCCESS) {
        logMessage(L"could not open installation node %d", static_cast<int>(rc));
        return false;
    }
    auto value = readRegistryText(key.get(), appId.c_str(), kMaxPath);
    if (!value || value->empty()) return false;
    logMessage(L"found installations: %S", *value);
    for (const std::string& directory : splitList(*value)) {
        std::string home = directory + "\\jre";
        if (!locateJavaExe(home, out.javaExe)) {
            logMessage(L"did not find java in %S", home);
            continue;
        }
        if (checkJavaExe(out.javaExe, out.version, bounds.minimum, bounds.maximum, Prerelease::Refused)) return true;
        logMessage(L"java version did not match in %S", home);
    }
    return false;
}

// The best located runtime of one hive; among equal versions the first enumerated stays.
std::optional<JvmCandidate> bestLocatedJvm(HKEY hive, LocatedJvms which, const VersionBounds& bounds) {
    UniqueKey key;
    if (RegOpenKeyExA(hive, kLocatedJvmsKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return std::nullopt;
    std::optional<JvmCandidate> best;
    for (const std::string& name : subkeyNames(key.get())) {
        JvmCandidate probe{locatedJvmPath(name), {}};
        if (which == LocatedJvms::Own && probe.javaExe.find("vkr_jres") == std::string::npos) continue;
        if (!checkJavaExe(probe.javaExe, probe.version, bounds.minimum, bounds.maximum, Prerelease::Allowed)) continue;
        if (isNewerVersion(probe.version, best ? std::string_view(best->version) : std::string_view()))
            best = std::move(probe);
    }
    return best;
}

const JvmCandidate* orNull(const std::optional<JvmCandidate>& c) { return c ? &*c : nullptr; }

struct FileCloser { void operator()(FILE* f) const noexcept { std::fclose(f); } };

// One search: its bounds, the candidate every step writes into, and the outcome it reports.
struct Search {
    const JvmLibraryLoader& loader;
    VersionBounds bounds;
    JvmCandidate candidate;
    LocationKind& kind;
    std::string& locationText;

    // A candidate passed its test: note where it came from, then try its library.
    HMODULE load(LocationKind passedKind, const std::string* text) {
        kind = passedKind;
        if (text) locationText = *text;
        return loader(candidate.javaExe);
    }

    HMODULE fromLocationFile(const wchar_t* file, const wchar_t* hasFormat, const wchar_t* usingLine,
                             Prerelease prerelease) {
        auto line = readLocationFile(file);
        if (!line) return nullptr;
        logMessage(hasFormat, *line);
        if (!checkHomeDirectory(*line, prerelease, Acceptance::IfPassed, bounds, candidate)) return nullptr;
        logMessage(usingLine);
        return load(LocationKind::Directory, &*line);
    }

    HMODULE firstPassEntry(const std::string& entry) {
        char letter = entry[0];
        std::string location = entry.substr(1);
        expandVariables(location, launcherValues(), kMaxPath); // a result too long leaves the location as written
        logMessage(L"Testing location %S (type %c)", location, letter);
        switch (letter) {
        case 'A':
        case 'B':
        case 'R':
            if (checkHomeDirectory(location, Prerelease::Refused, Acceptance::IfPassed, bounds, candidate))
                return load(LocationKind::Directory, &location);
            return nullptr;
        case 'E':
            if (checkEnvironmentHome(location.c_str(), bounds, candidate))
                return load(LocationKind::Environment, &location);
            return nullptr;
        case 'S':
            if (checkSearchPath(bounds, candidate)) return load(LocationKind::SearchPath, &location);
            return nullptr;
        case 'Y':
            if (searchRegistry(bounds, candidate)) return load(LocationKind::Registry, nullptr);
            return nullptr;
        default:
            return nullptr;
        }
    }

    HMODULE fallbackPassEntry(const std::string& entry) {
        if (!fallbackPassTakes(entry)) return nullptr;
        std::string location = entry.substr(1);
        logMessage(L"Testing relative location %S", location);
        checkHomeDirectory(location, Prerelease::Allowed, Acceptance::Always, bounds, candidate);
        if (!exists(candidate.javaExe)) return nullptr;
        logMessage(L"%S exists", candidate.javaExe);
        return load(LocationKind::Directory, &location);
    }

    HMODULE fromPreviousInstallations(HKEY hive, const wchar_t* foundFormat) {
        if (!checkPreviousInstallations(hive, bounds, candidate)) return nullptr;
        logMessage(foundFormat, candidate.javaExe);
        return load(LocationKind::Registry, nullptr);
    }

    HMODULE fromOverrideVariable(const std::string& name) {
        if (!checkEnvironmentHome(name.c_str(), bounds, candidate)) return nullptr;
        return load(LocationKind::Environment, &name);
    }

    HMODULE run() {
        logMessage(L"Searching for a JVM");
        kind = LocationKind::None;
        std::string searchList = configText6000(128);
        std::string minimum = configText6000(126);
        std::string maximum = configText6000(127);
        logMessage(L"MinVersion: %S, MaxVersion: %S", minimum, maximum);
        bounds = {parseVersion(minimum), parseVersion(maximum)};

        if (HMODULE m = fromLocationFile(kPreferredLocationFile, L"Has preferred location %S",
                                         L"Using preferred location", Prerelease::Allowed))
            return m;
        const std::vector<std::string> entries = splitList(searchList);
        for (const std::string& entry : entries)
            if (HMODULE m = firstPassEntry(entry)) return m;
        if (HMODULE m = fromLocationFile(kInstallerLocationFile, L"Has installer location %S",
                                         L"Using installer location", Prerelease::Refused))
            return m;
        for (const std::string& entry : entries)
            if (HMODULE m = fallbackPassEntry(entry)) return m;
        if (HMODULE m = fromPreviousInstallations(HKEY_CURRENT_USER, L"found JRE from previous installation (user) %S"))
            return m;
        if (HMODULE m = fromPreviousInstallations(HKEY_LOCAL_MACHINE,
                                                  L"found JRE from previous installation (machine) %S"))
            return m;
        logMessage(L"Search sequence finished");
        for (const std::string name : {"QUENTA_JAVA_HOME", "VELKOR_JAVA_HOME"})
            if (HMODULE m = fromOverrideVariable(name)) return m;
        return nullptr;
    }
};

} // namespace

bool isAbsoluteLocation(std::string_view location) noexcept {
    return location.size() >= 2 && (location[1] == ':' || (location[0] == '\\' && location[1] == '\\'));
}

bool fallbackPassTakes(std::string_view entry) noexcept {
    if (entry.empty()) return false;
    switch (entry[0]) {
    case 'B':
        return true;
    case 'A':
    case 'R':
        return !isAbsoluteLocation(entry.substr(1));
    default:
        return false;
    }
}

std::vector<std::string> sortedVersionNames(std::vector<std::string> names, const VersionBounds& bounds) {
    std::erase_if(names, [&](const std::string& n) { return !versionNameMatches(n, bounds.minimum, bounds.maximum); });
    // std::string compares its chars as unsigned bytes (char_traits<char>::lt), and a prefix
    // sorts before the longer name: plain text order, not version order.
    std::sort(names.begin(), names.end());
    return names;
}

std::string locatedJvmPath(std::string_view subkeyName) {
    std::string path(subkeyName);
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

const JvmCandidate* pickNewer(const JvmCandidate* challenger, const JvmCandidate* incumbent) {
    if (!challenger) return incumbent;
    if (!incumbent) return challenger;
    return isNewerVersion(challenger->version, incumbent->version) ? challenger : incumbent;
}

std::optional<std::string> readLocationFile(const wchar_t* fileName) {
    std::wstring path = canonicalPath(configWideText(10003), DirectoryForm::LongWide, LetterCase::Kept);
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    path += fileName;
    std::unique_ptr<FILE, FileCloser> file(_wfopen(path.c_str(), L"rt"));
    if (!file) return std::nullopt;
    std::string line(kMaxPath, '\0');
    if (!std::fgets(line.data(), static_cast<int>(line.size()), file.get())) return std::nullopt;
    line.resize(line.find('\0'));
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    return line;
}

bool checkHomeDirectory(std::string_view location, Prerelease prerelease, Acceptance acceptance,
                        const VersionBounds& bounds, JvmCandidate& out) {
    const std::string home = canonicalPath(location, LetterCase::Lowered);
    unpackJre(home);
    const bool passed = locateJavaExe(home, out.javaExe) &&
                        checkJavaExe(out.javaExe, out.version, bounds.minimum, bounds.maximum, prerelease);
    return passed || acceptance == Acceptance::Always;
}

bool checkEnvironmentHome(const char* name, const VersionBounds& bounds, JvmCandidate& out) {
    std::string value(kMaxPath, '\0');
    DWORD length = GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
    // A value too long for the buffer is reported with its needed size: treated as unusable.
    if (length == 0 || length >= value.size()) return false;
    value.resize(length);
    std::replace(value.begin(), value.end(), '/', '\\');
    return probeHome(value, bounds, out);
}

bool checkSearchPath(const VersionBounds& bounds, JvmCandidate& out) {
    std::string found(kMaxPath, '\0');
    DWORD length = SearchPathA(nullptr, "java.exe", nullptr, static_cast<DWORD>(found.size()), found.data(), nullptr);
    if (length == 0 || length >= found.size()) return false;
    found.resize(length);
    out.javaExe = found;
    return checkJavaExe(out.javaExe, out.version, bounds.minimum, bounds.maximum, Prerelease::Refused);
}

bool checkPreviousInstallations(HKEY hive, const VersionBounds& bounds, JvmCandidate& out) {
    return checkInstallationsView(hive, 0, bounds, out) || checkInstallationsView(hive, KEY_WOW64_64KEY, bounds, out);
}

bool searchRegistry(const VersionBounds& bounds, JvmCandidate& out) {
    bool locatedOnly = configInt(165) != 0;
    std::optional<JvmCandidate> javaSoft;
    if (!locatedOnly) {
        JvmCandidate found;
        if (searchJavaSoft(bounds, found)) {
            logMessage(L"found sun %S %S", found.javaExe, found.version);
            javaSoft = std::move(found);
        }
    }
    std::optional<JvmCandidate> located;
    {
        JvmCandidate found;
        if (searchLocatedJvms(locatedOnly ? LocatedJvms::Own : LocatedJvms::All, bounds, found)) {
            logMessage(L"found located %S %S", found.javaExe, found.version);
            located = std::move(found);
        }
    }
    const JvmCandidate* chosen = pickNewer(orNull(javaSoft), orNull(located));
    if (!chosen) return false;
    out = *chosen;
    return true;
}

bool searchJavaSoft(const VersionBounds& bounds, JvmCandidate& out) {
    bool jdkRequired = configInt(131) != 0;
    return checkCurrentVersion("SOFTWARE\\JavaSoft\\JDK", "SOFTWARE\\JavaSoft\\JRE", bounds, out) ||
           (!jdkRequired && checkVersionSubkeys("SOFTWARE\\JavaSoft\\JRE", bounds, out)) ||
           checkVersionSubkeys("SOFTWARE\\JavaSoft\\JDK", bounds, out) ||
           checkCurrentVersion("SOFTWARE\\JavaSoft\\Java Development Kit",
                               "SOFTWARE\\JavaSoft\\Java Runtime Environment", bounds, out) ||
           (!jdkRequired && checkVersionSubkeys("SOFTWARE\\JavaSoft\\Java Runtime Environment", bounds, out)) ||
           checkVersionSubkeys("SOFTWARE\\JavaSoft\\Java Development Kit", bounds, out);
}

bool checkCurrentVersion(const char* jdkKey, const char* jreKey, const VersionBounds& bounds, JvmCandidate& out) {
    std::string jdkChoice = currentVersionChoice(jdkKey, bounds);
    std::string jreChoice = configInt(131) != 0 ? std::string() : currentVersionChoice(jreKey, bounds);
    std::string versionKey = isNewerVersion(jdkChoice, jreChoice) ? std::string(jdkKey) + "\\" + jdkChoice
                                                                  : std::string(jreKey) + "\\" + jreChoice;
    return probeRegistryJavaHome(versionKey, bounds, out);
}

bool checkVersionSubkeys(const char* key, const VersionBounds& bounds, JvmCandidate& out) {
    UniqueKey opened;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, opened.put()) != ERROR_SUCCESS) return false;
    const std::vector<std::string> names = sortedVersionNames(subkeyNames(opened.get()), bounds);
    for (auto name = names.rbegin(); name != names.rend(); ++name)
        if (probeRegistryJavaHome(std::string(key) + "\\" + *name, bounds, out)) return true;
    return false;
}

bool searchLocatedJvms(LocatedJvms which, const VersionBounds& bounds, JvmCandidate& out) {
    auto user = bestLocatedJvm(HKEY_CURRENT_USER, which, bounds);
    auto machine = bestLocatedJvm(HKEY_LOCAL_MACHINE, which, bounds);
    const JvmCandidate* chosen = pickNewer(orNull(user), orNull(machine));
    if (!chosen) return false;
    out = *chosen;
    return true;
}

HMODULE searchJvm(const JvmLibraryLoader& load, std::string& javaExe, std::string& version, LocationKind& kind,
                  std::string& locationText) {
    Search search{load, {}, {javaExe, version}, kind, locationText};
    HMODULE module = search.run();
    javaExe = search.candidate.javaExe;
    version = search.candidate.version;
    return module;
}

} // namespace vkr
