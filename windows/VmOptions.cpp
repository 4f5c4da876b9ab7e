#include "VmOptions.h"

#include "config/ConfigStore.h"
#include "config/LauncherValues.h"
#include "config/Locale.h"
#include "core/JavaVersion.h"
#include "core/OptionRules.h"
#include "util/DiagnosticLog.h"
#include "util/FileSystem.h"
#include "util/Paths.h"
#include "util/ProcessState.h"
#include "util/VariableExpansion.h"

#include <windows.h>

#include <vector>

namespace vkr {

namespace {

constexpr int kConfiguredParametersKey = 123;
constexpr int kJArgumentsKey = 125;
constexpr int kVersionLineCountKey = 10200;
constexpr int kFirstVersionPatternKey = 10201;
// A line's expansion may grow up to the line buffer's size.
constexpr size_t kExpandedLineCapacity = 30000;

constexpr std::wstring_view kLocaleArgument = L"-Dsun.locale.formatasdefault=";
constexpr std::wstring_view kLocaleArgumentTrue = L"-Dsun.locale.formatasdefault=true";

// A path that names a directory opens under some runtimes and reads as nothing, or as an
// error; it is no VM options file either way.
VmOptionsFile openReadable(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return nullptr;
    return VmOptionsFile(_wfopen(path.c_str(), L"rt"));
}

std::wstring withoutLastFour(const std::wstring& path) {
    return path.size() >= 4 ? path.substr(0, path.size() - 4) : path;
}

// The next line of a text-mode file without its line end; End at the end of the file. A line
// longer than kMaxVmOptionsLine bytes is read to its end (it must not come back as lines of its
// own) and reported as too long, with its start. Counted byte by byte: a NUL in a line ended it
// for a string function, and the line after it was lost as the rest of a "long" line.
enum class Line { Read, TooLong, End };
Line nextLine(std::FILE* file, std::string& line) {
    line.clear();
    int c = std::getc(file);
    if (c == EOF) return Line::End;
    bool tooLong = false;
    for (; c != EOF && c != '\n'; c = std::getc(file)) {
        if (line.size() < kMaxVmOptionsLine)
            line.push_back(static_cast<char>(c));
        else
            tooLong = true;
    }
    return tooLong ? Line::TooLong : Line::Read;
}

bool startsWithUtf16Mark(std::string_view firstLine) noexcept {
    return firstLine.substr(0, 2) == "\xFF\xFE" || firstLine.substr(0, 2) == "\xFE\xFF";
}

void addInclude(const wchar_t* includingFile, std::wstring_view written, OptionAssembly& assembly) {
    if (written.size() >= kMaxPath) {
        logError(L"include path of %d characters not read: %.*s", written.size(), 200, written);
        return;
    }
    std::wstring expanded(written);
    expandVariablesW(expanded, DirectoryValues::Long, launcherValues(), kMaxPath);
    logMessage(L"after exp from %s %s", expanded, written);
    const std::wstring resolved = resolvePath(expanded, DirectoryForm::LongWide, includingFile);
    if (assembly.includeDepth >= kMaxIncludeDepth) {
        // A file including itself, or two including each other, would never end.
        logError(L"%s not read: -include-options nested deeper than %d files (in %s)", resolved, kMaxIncludeDepth,
                 includingFile ? includingFile : L"the configured options");
        return;
    }
    VmOptionsFile file = openReadable(resolved);
    logMessage(L"adding vmoptions from (%p) <%s> (%s)", static_cast<const void*>(file.get()), resolved, expanded);
    ++assembly.includeDepth;
    readVmOptionsFile(resolved.c_str(), std::move(file), assembly);
    --assembly.includeDepth;
    logMessage(L"adding vmoptions 2");
    logMessage(L"adding vmoptions 3");
}

void addVersionSpecificOptions(OptionAssembly& assembly) {
    const int count = configInt(kVersionLineCountKey);
    if (count <= 0) return;
    const std::string& version = processState().jvmVersion;
    logMessage(L"check %d version specific vm option lines for %S", count, version);
    if (version.empty()) return;
    const int major = majorVersion(version);
    for (int i = 0; i < count; ++i) {
        const std::string pattern = configTextCopy(kFirstVersionPatternKey + 2 * i);
        const VersionLineMatch match = matchVersionLine(pattern, version, major);
        if (match.form == VersionLineMatch::Form::MajorRange)
            logMessage(L"checking min %d max %d with %d", match.minimum, match.maximum, major);
        else if (match.form == VersionLineMatch::Form::Malformed)
            logError(L"expected dash");
        logMessage(L"checking version %S %d", pattern, match.matches ? 1 : 0);
        if (!match.matches) continue;
        std::vector<wchar_t> buffer(kMaxPath);
        configWideText(kFirstVersionPatternKey + 2 * i + 1, buffer.data(), buffer.size());
        std::wstring options(buffer.data());
        logMessage(L"adding specific %s", options);
        expandVariablesW(options, DirectoryValues::AnsiSafe, launcherValues(), kMaxPath);
        ArgumentVector tokens;
        tokenizeCommandLine(options, tokens);
        addOptionTokens(tokens, assembly);
        return;
    }
}

void addLocaleOptions(const ArgumentVector& arguments, OptionAssembly& assembly) {
    const std::wstring* last = nullptr;
    for (const std::wstring& argument : arguments)
        if (startsWith(argument, kLocaleArgument)) last = &argument;
    if (!last) return;
    addOptionEntry(nullptr, *last, assembly);
    if (*last == kLocaleArgumentTrue) return;
    if (!selectedLanguage().empty()) assembly.options.push_back("-Duser.language=" + selectedLanguage());
    if (!selectedCountry().empty()) assembly.options.push_back("-Duser.country=" + selectedCountry());
}

} // namespace

void addOptionEntry(const wchar_t* includingFile, std::wstring_view entry, OptionAssembly& assembly) {
    const OptionEntry classified = classifyOptionEntry(entry);
    ClassPathOverrides& overrides = assembly.overrides;
    switch (classified.kind) {
    case OptionEntryKind::Include:
        addInclude(includingFile, classified.value, assembly);
        return;
    case OptionEntryKind::ClassPathReplacement:
        overrides.replacement = narrowText(classified.value);
        return;
    case OptionEntryKind::ClassPathPrepended:
        overrides.prepended = narrowText(classified.value);
        return;
    case OptionEntryKind::ClassPathAppended:
        overrides.appended = narrowText(classified.value);
        return;
    case OptionEntryKind::Plain:
        assembly.options.push_back(narrowText(classified.value));
        return;
    }
}

void addOptionTokens(const ArgumentVector& tokens, OptionAssembly& assembly) {
    for (const std::wstring& entry : joinIncludeTokens(tokens)) addOptionEntry(nullptr, entry, assembly);
}

void readVmOptionsFile(const wchar_t* includingFile, VmOptionsFile file, OptionAssembly& assembly) {
    if (!file) return;
    std::string line;
    bool first = true;
    bool utf8 = false;
    int number = 0;
    const wchar_t* const name = includingFile ? includingFile : L"the VM options file";
    for (Line read; (read = nextLine(file.get(), line)) != Line::End;) {
        ++number;
        std::string_view raw(line);
        if (first && startsWithUtf16Mark(raw)) {
            // Notepad's "Unicode": every other byte a NUL, nothing of it an option.
            logError(L"%s is UTF-16, which is not read: save it as UTF-8 or ANSI", name);
            return;
        }
        if (first && startsWithUtf8Mark(raw)) {
            // Notepad and other editors save UTF-8 with a byte-order mark: the file says how
            // it is to be read, and the mark is no part of the first option.
            utf8 = true;
            raw.remove_prefix(kUtf8MarkLength);
        }
        first = false;
        if (read == Line::TooLong) {
            logError(L"line %d of %s is longer than %d bytes and was skipped: %S...", number, name, kMaxVmOptionsLine,
                     line.substr(0, 100));
            continue;
        }
        if (raw.find('\0') != std::string_view::npos) {
            logError(L"line %d of %s holds a NUL byte and was skipped", number, name);
            continue;
        }
        const std::optional<std::string_view> text = vmOptionsLineText(raw);
        if (!text) continue;
        std::wstring entry = utf8 ? decodeUtf8(*text) : widenBytes(*text);
        expandVariablesW(entry, DirectoryValues::AnsiSafe, launcherValues(), kExpandedLineCapacity);
        addOptionEntry(includingFile, entry, assembly);
    }
    if (std::ferror(file.get())) logError(L"reading %s failed after line %d", name, number);
}

VmOptionsFile openDefaultVmOptionsFile() {
    std::wstring module(kMaxPath, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
    module.resize(length < kMaxPath ? length : 0);
    for (const std::wstring& base : {executableLongPath(), module}) {
        const std::wstring firstName = withoutLastFour(base) + L".vmoptions";
        VmOptionsFile file = openReadable(firstName);
        logMessage(L"vmoptions2: exe %s file: %s, file: %p", base, firstName, static_cast<const void*>(file.get()));
        if (file) return file;
        const std::wstring secondName = base + L".vmoptions";
        file = openReadable(secondName);
        logMessage(L"vmoptions: opts2: %s, file: %p", secondName, static_cast<const void*>(file.get()));
        if (file) return file;
    }
    return nullptr;
}

void collectConfiguredOptions(const ArgumentVector& arguments, OptionAssembly& assembly) {
    std::vector<wchar_t> buffer(kMaxPath);
    configWideText(kConfiguredParametersKey, buffer.data(), buffer.size());
    std::wstring parameters(buffer.data());
    expandVariablesW(parameters, DirectoryValues::AnsiSafe, launcherValues(), kMaxPath);
    ArgumentVector tokens;
    tokenizeCommandLine(parameters, tokens);
    logMessage(L"adding options");
    addOptionTokens(tokens, assembly);

    addVersionSpecificOptions(assembly);

    if (configInt(kJArgumentsKey) != 0) {
        for (const std::wstring& argument : arguments)
            if (startsWith(argument, L"-J")) addOptionEntry(nullptr, std::wstring_view(argument).substr(2), assembly);
    }
    addLocaleOptions(arguments, assembly);
}

} // namespace vkr
