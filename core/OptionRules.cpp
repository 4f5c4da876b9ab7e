#include "core/OptionRules.h"

#include "core/Text.h"

#include <array>

namespace vkr {

namespace {

constexpr std::wstring_view kIncludeKeyword = L"-include-options";
constexpr std::wstring_view kLocaleArgument = L"-Dsun.locale.formatasdefault=";
constexpr std::wstring_view kJvmArgumentPrefix = L"-J";

constexpr std::array<std::string_view, 7> kModuleOptionNames = {
    "--upgrade-module-path", "--add-modules", "--limit-modules", "--add-exports",
    "--add-opens",           "--add-reads",   "--patch-module",
};

bool isModuleOptionName(std::string_view option) noexcept {
    for (std::string_view name : kModuleOptionNames)
        if (option == name) return true;
    return false;
}

} // namespace

bool startsWith(std::wstring_view text, std::wstring_view prefix) noexcept {
    return text.substr(0, prefix.size()) == prefix;
}

OptionEntry classifyOptionEntry(std::wstring_view entry) noexcept {
    struct Keyword {
        std::wstring_view text;
        OptionEntryKind kind;
    };
    static constexpr Keyword keywords[] = {
        {L"-include-options ", OptionEntryKind::Include},
        {L"-classpath ", OptionEntryKind::ClassPathReplacement},
        {L"-classpath/p ", OptionEntryKind::ClassPathPrepended},
        {L"-classpath/a ", OptionEntryKind::ClassPathAppended},
    };
    for (const Keyword& k : keywords)
        if (startsWith(entry, k.text)) return {k.kind, entry.substr(k.text.size())};
    return {OptionEntryKind::Plain, entry};
}

std::vector<std::wstring> joinIncludeTokens(const std::vector<std::wstring>& tokens) {
    std::vector<std::wstring> entries;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i] == kIncludeKeyword && i + 1 < tokens.size()) {
            entries.push_back(tokens[i] + L" " + tokens[i + 1]);
            ++i;
        } else {
            entries.push_back(tokens[i]);
        }
    }
    return entries;
}

std::optional<std::string_view> vmOptionsLineText(std::string_view line) noexcept {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') return std::nullopt;
    return line;
}

bool startsWithUtf8Mark(std::string_view firstLine) noexcept { return firstLine.substr(0, 3) == "\xEF\xBB\xBF"; }

std::wstring decodeUtf8(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    auto put = [&out](std::uint32_t c) {
        if (c >= 0x10000 && sizeof(wchar_t) == 2) {
            c -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(c));
        }
    };
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int length = 0;
        std::uint32_t c = 0;
        if (lead < 0x80) {
            length = 1;
            c = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            c = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            c = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            c = lead & 0x07u;
        }
        bool valid = length > 0 && i + static_cast<std::size_t>(length) <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3Fu);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are no characters.
        if (valid && ((length == 3 && c < 0x800) || (length == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
                      (c >= 0xD800 && c <= 0xDFFF)))
            valid = false;
        if (!valid) {
            put(0xFFFD);
            ++i;
            continue;
        }
        put(c);
        i += static_cast<std::size_t>(length);
    }
    return out;
}

bool matchesPattern(std::string_view pattern, std::string_view text) noexcept {
    std::size_t p = 0;
    std::size_t t = 0;
    // Where the last star stood and how much of the text it has taken so far: on a mismatch
    // the star takes one character more, which tries every later position in turn.
    std::size_t star = std::string_view::npos;
    std::size_t starText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            starText = t;
        } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

VersionLineMatch matchVersionLine(std::string_view pattern, std::string_view version, int major) {
    VersionLineMatch result{VersionLineMatch::Form::Malformed};
    if (!pattern.empty() && pattern.front() == '*') {
        result.form = VersionLineMatch::Form::Wildcard;
        result.matches = matchesPattern(pattern.substr(1), version);
        return result;
    }
    const std::size_t dash = pattern.find('-');
    if (dash == std::string_view::npos) return result;
    result.form = VersionLineMatch::Form::MajorRange;
    result.minimum = parseConfigInt(pattern.substr(0, dash));
    result.maximum = parseConfigInt(pattern.substr(dash + 1));
    result.matches = result.minimum <= major && major <= result.maximum;
    return result;
}

void mergeModuleOptions(std::vector<std::string>& options) {
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (i + 1 < options.size() && isModuleOptionName(options[i])) {
            options[i] += "=" + options[i + 1];
            options.erase(options.begin() + static_cast<std::ptrdiff_t>(i + 1));
        }
    }
}

ModuleOptions moduleOptions(const std::optional<std::string>& moduleMainClass, std::string_view runtimeModule) {
    ModuleOptions result;
    result.addModules = "--add-modules=";
    if (moduleMainClass) {
        std::string module = *moduleMainClass;
        const std::size_t slash = module.find('/');
        if (slash != std::string::npos) {
            // The package of the main class is opened to the runtime, which loads the class
            // reflectively from the application's module.
            if (module.find('.', slash + 1) != std::string::npos)
                result.addOpens = "--add-opens=" + module.substr(0, module.rfind('.')) + "=" + std::string(runtimeModule);
            module.resize(slash);
        }
        result.addModules += module + ",";
    }
    result.addModules += runtimeModule;
    return result;
}

std::vector<std::wstring> mainParameters(const MainParameterSources& s) {
    std::vector<std::wstring> parameters = {
        s.windowed ? L"true" : L"false", s.mainClass, s.errorLog, s.outputLog, s.fifthFlag ? L"true" : L"false",
    };
    if (!s.arguments.empty()) parameters.push_back(s.arguments.front());
    parameters.insert(parameters.end(), s.configured.begin(), s.configured.end());
    for (std::size_t i = 1; i < s.arguments.size(); ++i) {
        const std::wstring& argument = s.arguments[i];
        // Both are JVM options: they reached the JVM already and are no business of main.
        if (startsWith(argument, kLocaleArgument)) continue;
        if (s.jArgumentsAreOptions && startsWith(argument, kJvmArgumentPrefix)) continue;
        parameters.push_back(argument);
    }
    return parameters;
}

} // namespace vkr
