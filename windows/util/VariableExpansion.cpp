#include "util/VariableExpansion.h"

#include "core/Text.h"
#include "util/DiagnosticLog.h"
#include "util/ExecutableLocation.h"

#include <windows.h>

#include <array>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace vkr {
namespace {

enum class Value { ExecutableDirectory, ExtractionDirectory, Separator, JvmHome, TempDirectory, Count };

struct BuiltIn {
    const char* reference;
    Value value;
};

// The order is part of the behaviour: a value inserted by one pass is searched only by the
// passes after it.
constexpr std::array<BuiltIn, 21> kBuiltIns{{
    {"%QUENTA_EXEDIR%", Value::ExecutableDirectory},
    {"%VELKOR_EXEDIR%", Value::ExecutableDirectory},
    {"%QUENTA_TEMPDIR%", Value::ExtractionDirectory},
    {"%VELKOR_TEMPDIR%", Value::ExtractionDirectory},
    {"%QUENTA_PATHLIST_SEPARATOR%", Value::Separator},
    {"%VELKOR_PATHLIST_SEPARATOR%", Value::Separator},
    {"%QUENTA_JVM_HOME%", Value::JvmHome},
    {"%VELKOR_JVM_HOME%", Value::JvmHome},
    {"${QUENTA_EXEDIR}", Value::ExecutableDirectory},
    {"${VELKOR_EXEDIR}", Value::ExecutableDirectory},
    {"${QUENTA_TEMPDIR}", Value::ExtractionDirectory},
    {"${VELKOR_TEMPDIR}", Value::ExtractionDirectory},
    {"${QUENTA_PATHLIST_SEPARATOR}", Value::Separator},
    {"${VELKOR_PATHLIST_SEPARATOR}", Value::Separator},
    {"${QUENTA_JVM_HOME}", Value::JvmHome},
    {"${VELKOR_JVM_HOME}", Value::JvmHome},
    {"${launcher:sys.launcherDirectory}", Value::ExecutableDirectory},
    {"${launcher:sys.launcherTempDirectory}", Value::ExtractionDirectory},
    {"${launcher:sys.pathlistSeparator}", Value::Separator},
    {"${launcher:sys.jvmHome}", Value::JvmHome},
    {"${launcher:sys.tempDir}", Value::TempDirectory},
}};

// A value as inserted, and whether it is an 8-bit value (it chooses the log line's format).
template <class Char>
struct ValueText {
    std::basic_string<Char> text;
    bool narrow = false;
};

template <class Char>
using ValueTable = std::array<ValueText<Char>, static_cast<size_t>(Value::Count)>;

template <class Char>
std::basic_string<Char> ascii(std::string_view text) {
    return fromAscii<std::basic_string<Char>>(text);
}

ValueTable<char> valuesNarrow(const BuiltInValues& builtIn) {
    ValueTable<char> values;
    // Asked for first, whether the text refers to it or not.
    values[static_cast<size_t>(Value::TempDirectory)] = {builtIn.tempDirectory8(), true};
    values[static_cast<size_t>(Value::ExecutableDirectory)] = {executableDirectory8(), true};
    values[static_cast<size_t>(Value::ExtractionDirectory)] = {builtIn.extractionDirectory(), true};
    values[static_cast<size_t>(Value::Separator)] = {";", true};
    values[static_cast<size_t>(Value::JvmHome)] = {builtIn.jvmHome(), true};
    return values;
}

ValueTable<wchar_t> valuesWide(DirectoryValues form, const BuiltInValues& builtIn) {
    const bool ansiSafe = form == DirectoryValues::AnsiSafe;
    ValueTable<wchar_t> values;
    values[static_cast<size_t>(Value::TempDirectory)] =
        ansiSafe ? ValueText<wchar_t>{widenBytes(builtIn.tempDirectory8()), true}
                 : ValueText<wchar_t>{builtIn.tempDirectoryWide(), false};
    values[static_cast<size_t>(Value::ExecutableDirectory)] =
        ansiSafe ? ValueText<wchar_t>{executableDirectoryNarrowWidened(), true}
                 : ValueText<wchar_t>{executableDirectoryLong(), false};
    values[static_cast<size_t>(Value::ExtractionDirectory)] = {widenBytes(builtIn.extractionDirectory()), true};
    values[static_cast<size_t>(Value::Separator)] = {L";", false};
    values[static_cast<size_t>(Value::JvmHome)] = {widenBytes(builtIn.jvmHome()), true};
    return values;
}

std::wstring_view logFormat(char, bool) { return L"expanding2 %S to %S in %S."; }
std::wstring_view logFormat(wchar_t, bool narrowValue) {
    return narrowValue ? L"expanding2 %s to %S in %s." : L"expanding2 %s to %s in %s.";
}

struct EnvironmentFreer {
    void operator()(char* block) const noexcept { FreeEnvironmentStringsA(block); }
    void operator()(wchar_t* block) const noexcept { FreeEnvironmentStringsW(block); }
};

std::unique_ptr<char, EnvironmentFreer> environmentBlock(char) {
    return std::unique_ptr<char, EnvironmentFreer>(GetEnvironmentStrings());
}
std::unique_ptr<wchar_t, EnvironmentFreer> environmentBlock(wchar_t) {
    return std::unique_ptr<wchar_t, EnvironmentFreer>(GetEnvironmentStringsW());
}

template <class Char>
struct EnvironmentEntry {
    std::basic_string<Char> name;
    std::basic_string<Char> value;
};

// The entries of the process environment in the block's order. The name ends at the first
// "=" behind its first character: the block's hidden per-drive entries ("=C:=C:\dir") are
// named "=C:"; splitting them at their leading "=" would make "${}" an alias for "C:=C:\dir".
template <class Char>
std::vector<EnvironmentEntry<Char>> environmentEntries() {
    std::vector<EnvironmentEntry<Char>> entries;
    auto block = environmentBlock(Char{});
    if (!block) return entries;
    for (const Char* entry = block.get(); *entry != 0;) {
        const std::basic_string_view<Char> text(entry);
        entry += text.size() + 1;
        const size_t equals = text.find(Char('='), 1);
        if (equals == std::basic_string_view<Char>::npos) continue;
        entries.push_back({std::basic_string<Char>(text.substr(0, equals)), std::basic_string<Char>(text.substr(equals + 1))});
    }
    return entries;
}

template <class Char>
class Expansion {
public:
    Expansion(std::basic_string<Char>& text, size_t capacity)
        : text_(text), maxLength_(capacity > 0 ? capacity - 1 : 0) {}

    // Replaces every reference; the search goes on behind each inserted value, so a value is
    // never searched for its own reference. False once a result would not fit.
    bool pass(std::basic_string_view<Char> reference, const ValueText<Char>& value) {
        size_t position = 0;
        for (;;) {
            const size_t found = text_.find(reference, position);
            if (found == std::basic_string<Char>::npos) return true;
            if (text_.size() - reference.size() + value.text.size() > maxLength_) return false;
            text_.replace(found, reference.size(), value.text);
            logMessage(logFormat(Char{}, value.narrow), reference, value.text, text_);
            position = found + value.text.size();
        }
    }

private:
    std::basic_string<Char>& text_;
    size_t maxLength_;
};

template <class Char>
bool expand(std::basic_string<Char>& text, const ValueTable<Char>& values, size_t capacity) {
    const std::basic_string<Char> original = text;
    Expansion<Char> expansion(text, capacity);
    bool fits = true;
    for (const BuiltIn& builtIn : kBuiltIns) {
        fits = expansion.pass(ascii<Char>(builtIn.reference), values[static_cast<size_t>(builtIn.value)]);
        if (!fits) break;
    }
    if (fits) {
        const std::basic_string<Char> open = ascii<Char>("${");
        const std::basic_string<Char> close = ascii<Char>("}");
        for (const EnvironmentEntry<Char>& entry : environmentEntries<Char>()) {
            const ValueText<Char> value{entry.value, false};
            fits = expansion.pass(open + entry.name + close, value) &&
                   expansion.pass(open + upperAsciiCopy<Char>(entry.name) + close, value);
            if (!fits) break;
        }
    }
    if (fits) return true;
    // Cutting would hand a different path or option to the caller; the unexpanded text at
    // least fails visibly where it is used.
    logError(L"expansion of %s does not fit into %d characters, left unexpanded", original,
             static_cast<long long>(capacity));
    text = original;
    return false;
}

} // namespace

bool expandVariables(std::string& text, const BuiltInValues& values, size_t capacity) {
    return expand(text, valuesNarrow(values), capacity);
}

bool expandVariablesW(std::wstring& text, DirectoryValues form, const BuiltInValues& values, size_t capacity) {
    return expand(text, valuesWide(form, values), capacity);
}

} // namespace vkr
