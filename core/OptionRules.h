#pragma once
// The rules that decide which options a JVM receives, free of files and system calls: how an
// option entry is classified, how a line of a VM options file is read, how version-specific
// option lines are matched, how module options are joined, how the add-modules option is
// formed, and the parameters handed to the Java side's main.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vkr {

// ---- Option entries ----

enum class OptionEntryKind { Include, ClassPathReplacement, ClassPathPrepended, ClassPathAppended, Plain };

struct OptionEntry {
    OptionEntryKind kind;
    std::wstring_view value; // the rest behind the keyword; the whole entry for a plain option
};

// By case-sensitive prefix, in this order: "-include-options ", "-classpath ", "-classpath/p ",
// "-classpath/a ", anything else.
OptionEntry classifyOptionEntry(std::wstring_view entry) noexcept;

// The entries of a token list: "-include-options" followed by another token is one entry with
// a blank between them; every other token, a trailing "-include-options" included, is one.
std::vector<std::wstring> joinIncludeTokens(const std::vector<std::wstring>& tokens);

// ---- VM options file lines ----

// A line as read (its line end still on it): trailing CR and LF removed, leading and trailing
// blanks removed (the space only: a tab is text). Nothing for a blank line or a comment (a
// first remaining character "#"; there are no comments behind an option).
std::optional<std::string_view> vmOptionsLineText(std::string_view line) noexcept;

// A file that begins with a UTF-8 byte-order mark declares itself UTF-8.
bool startsWithUtf8Mark(std::string_view firstLine) noexcept;
inline constexpr std::size_t kUtf8MarkLength = 3;
// UTF-8 to UTF-16; an invalid sequence becomes U+FFFD.
std::wstring decodeUtf8(std::string_view text);

// ---- Version-specific option lines ----

// "*" then a wildcard pattern over the whole text: "?" any one character, "*" any run
// (consecutive stars are one). Case-sensitive; the first way the rest matches wins.
bool matchesPattern(std::string_view pattern, std::string_view text) noexcept;

struct VersionLineMatch {
    enum class Form { Wildcard, MajorRange, Malformed };
    Form form;
    int minimum = 0; // MajorRange: the bounds as read (no digits give 0)
    int maximum = 0;
    bool matches = false;
};
// A version pattern against the JVM's version text and major version: "*" and a wildcard
// pattern over the whole text, or two numbers around the first "-" bounding the major version
// (both included). Anything else is malformed and never matches.
VersionLineMatch matchVersionLine(std::string_view pattern, std::string_view version, int major);

// ---- Module options ----

// Each module option name that stands alone and has an element behind it becomes
// "name=element" (the element is taken whatever its source).
void mergeModuleOptions(std::vector<std::string>& options);

// The options that give the JVM the application's module and open its main class's package to
// the runtime. moduleMainClass is configuration key 122 when the main class names its module
// (key 133), otherwise nothing.
struct ModuleOptions {
    std::optional<std::string> addOpens; // "--add-opens=module/package=runtime"
    std::string addModules;              // "--add-modules=module,runtime" or "--add-modules=runtime"
};
ModuleOptions moduleOptions(const std::optional<std::string>& moduleMainClass, std::string_view runtimeModule);

// ---- The parameters of the Java side's main ----

struct MainParameterSources {
    bool windowed = false;                 // configuration key 107 is 1
    std::wstring mainClass;                // key 122 ("/" in front when key 133 is set)
    std::wstring errorLog;                 // "" when not passed
    std::wstring outputLog;                // "" when not passed
    bool fifthFlag = false;                // key 106
    std::vector<std::wstring> arguments;   // the argument vector as the launch got it
    std::vector<std::wstring> configured;  // the tokens of key 124
    bool jArgumentsAreOptions = false;     // key 125
};
// The launcher parameters, the first argument, the configured arguments, then the other
// arguments without those that are JVM options ("-Dsun.locale.formatasdefault=..." always,
// "-J..." under key 125).
std::vector<std::wstring> mainParameters(const MainParameterSources& sources);

// ---- Small helpers ----

// A prefix comparison of UTF-16 texts, as the arguments are compared.
bool startsWith(std::wstring_view text, std::wstring_view prefix) noexcept;

} // namespace vkr
