#include "ClassPath.h"

#include "config/ConfigStore.h"
#include "config/ErrorReporting.h"
#include "config/LauncherValues.h"
#include "core/OptionRules.h"
#include "core/Text.h"
#include "util/DiagnosticLog.h"
#include "util/FileSystem.h"
#include "util/Handles.h"
#include "util/Paths.h"
#include "util/ProcessState.h"
#include "util/VariableExpansion.h"

#include <windows.h>

#include <cstring>

namespace vkr {

namespace {

constexpr int kClassPathKey = 121;
constexpr int kMainClassKey = 122;
constexpr int kModulePathKey = 132;
constexpr int kModuleModeKey = 133;
constexpr int kApplicationDirectoryKey = 10003;
constexpr int kNotFoundMessage = 1006;
constexpr int kUndefinedVariableMessage = 1008;

bool endsWithSemicolon(std::string_view text) noexcept { return !text.empty() && text.back() == ';'; }

void removeOneTrailingSemicolon(std::string& text) {
    if (endsWithSemicolon(text)) text.pop_back();
}

bool isRuntimeFlavour() noexcept { return processState().flavourLetter == 'i'; }

std::string_view runtimeModuleName() noexcept { return isRuntimeFlavour() ? "com.velkor.runtime" : "com.quenta.runtime"; }

// The runtime library of the main product: .velkor\vkrruntime.jar in the application directory.
std::string runtimeJar() {
    std::string directory = canonicalPath(configTextCopy(kApplicationDirectoryKey), LetterCase::Kept);
    if (directory.empty() || directory.back() != '\\') directory.push_back('\\');
    return directory + ".velkor\\vkrruntime.jar;";
}

// What an environment variable entry appends; nothing when the variable has no value.
// Surrounding quotation marks (a value copied from a command line) are removed.
struct VariableValue {
    std::string value;
    bool defined = false;
};
VariableValue environmentEntry(const std::string& name) {
    std::vector<char> buffer(kMaxPath);
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    const DWORD error = GetLastError();
    VariableValue result;
    result.defined = !(length == 0 && error == ERROR_ENVVAR_NOT_FOUND);
    // A value that does not fit the buffer is reported by its needed size: taken as unusable.
    if (length == 0 || length >= buffer.size()) return result;
    result.value.assign(buffer.data(), length);
    if (result.value.size() >= 2 && result.value.front() == '"' && result.value.back() == '"')
        result.value = result.value.substr(1, result.value.size() - 2);
    return result;
}

// One entry: its letter, "1" for required, then the name. Returns whether it was found.
void addEntry(int key, std::string_view entry, std::string& pathText) {
    const char letter = entry[0];
    const bool required = entry.size() > 1 && entry[1] == '1';
    std::string name(entry.size() > 2 ? entry.substr(2) : std::string_view());
    expandVariables(name, launcherValues(), kMaxPath);
    bool found = false;
    switch (letter) {
    case 'A':
    case 'D': {
        const std::string resolved = resolvePathList(name);
        pathText += resolved + ";";
        found = exists(resolved);
        break;
    }
    case 'E': {
        const VariableValue variable = environmentEntry(name);
        if (!variable.value.empty()) {
            pathText += variable.value;
            if (!endsWithSemicolon(variable.value)) pathText += ';';
            found = true;
        } else if (required) {
            // An empty value is as good as none: the application would miss the same files.
            logError(L"required environment variable %S is %S", name, variable.defined ? "empty" : "not defined");
            fatalMessage8(kUndefinedVariableMessage, name.c_str());
        }
        break;
    }
    case 'S': {
        const std::string directory = resolvePath(name);
        if (key == kModulePathKey) {
            found = exists(directory);
            if (found) pathText += directory + ";";
        } else {
            found = addArchivesInDirectory(directory, "jar", pathText);
            if (found) addArchivesInDirectory(directory, "zip", pathText);
        }
        break;
    }
    default:
        logError(L"class path entry of unknown type %c ignored: %S", letter, entry);
        return;
    }
    if (required && !found) fatalMessage8(kNotFoundMessage, name.c_str());
}

void addExtractedArchives(const std::string& directory, std::string& pathText) {
    addArchivesInDirectory(directory, "jar", pathText);
    addArchivesInDirectory(directory, "zip", pathText);
}

} // namespace

void addClassPathEntries(int key, std::string& pathText) {
    std::vector<char> buffer(kMaxPath);
    configText(key, buffer.data(), buffer.size());
    const std::string text(buffer.data());
    logMessage(L"entry %S", text);
    const std::vector<std::string> entries = splitList(text);
    logMessage(L"entries %d", entries.size());
    for (const std::string& entry : entries) addEntry(key, entry, pathText);
}

std::vector<std::string> listFilesWithExtension(const std::string& directory, std::string_view extension) {
    std::vector<std::string> names;
    const std::string pattern =
        directory + "\\*" + (extension.empty() || extension.front() == '.' ? "" : ".") + std::string(extension);
    WIN32_FIND_DATAA match;
    UniqueFind search(FindFirstFileA(pattern.c_str(), &match));
    if (!search) return names;
    do {
        names.emplace_back(match.cFileName);
    } while (FindNextFileA(search.get(), &match));
    return names;
}

bool addArchivesInDirectory(const std::string& directory, std::string_view extension, std::string& pathText) {
    if (!exists(directory)) return false;
    for (const std::string& name : listFilesWithExtension(directory, extension))
        pathText += resolvePath(directory + "\\" + name) + ";";
    return true;
}

std::string resolvePathList(std::string_view text) {
    std::string joined;
    for (const std::string& part : splitList(text)) {
        if (!joined.empty()) joined += ';';
        joined += resolvePath(part);
    }
    return joined;
}

void buildPathOptions(std::vector<std::string>& options, const ClassPathOverrides& overrides) {
    std::string modulePath;
    logMessage(L"adding preconfigured modulepath");
    addClassPathEntries(kModulePathKey, modulePath);
    const bool moduleMode = !modulePath.empty() || configInt(kModuleModeKey) != 0;

    std::string classPath = "-Djava.class.path=";
    if (overrides.prepended) classPath += *overrides.prepended + ";";
    const std::string& extraction = processState().extractionDirectory;
    if (!extraction.empty()) {
        addExtractedArchives(extraction, moduleMode ? modulePath : classPath);
        addExtractedArchives(extraction + "\\user", classPath);
    }
    // Not checked for existence: a missing runtime jar shows as the JVM's own error.
    if (isRuntimeFlavour()) (moduleMode ? modulePath : classPath) += runtimeJar();
    if (overrides.replacement) {
        classPath += *overrides.replacement;
    } else {
        logMessage(L"adding preconfigured classpath");
        addClassPathEntries(kClassPathKey, classPath);
    }
    if (overrides.appended) {
        if (!endsWithSemicolon(classPath)) classPath += ';';
        classPath += *overrides.appended;
    }
    removeOneTrailingSemicolon(classPath);
    options.push_back(std::move(classPath));

    if (modulePath.empty()) return;
    removeOneTrailingSemicolon(modulePath);
    options.push_back("--module-path=" + modulePath);
    std::optional<std::string> moduleMainClass;
    if (configInt(kModuleModeKey) != 0) moduleMainClass = configTextCopy(kMainClassKey);
    ModuleOptions module = moduleOptions(moduleMainClass, runtimeModuleName());
    if (module.addOpens) options.push_back(std::move(*module.addOpens));
    options.push_back(std::move(module.addModules));
}

} // namespace vkr
