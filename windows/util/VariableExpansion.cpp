#include "util/VariableExpansion.h"

#include "core/Expansion.h"
#include "core/Text.h"
#include "util/DiagnosticLog.h"
#include "util/ExecutableLocation.h"

#include <windows.h>

#include <memory>
#include <string_view>
#include <vector>

namespace vkr {
namespace {

template <class Char>
using Table = BuiltInValueTable<Char>;

template <class Char>
ExpansionValue<Char>& at(Table<Char>& values, BuiltInValue value) {
    return values[static_cast<size_t>(value)];
}

Table<char> valuesNarrow(const BuiltInValues& builtIn) {
    Table<char> values;
    // Asked for first, whether the text refers to it or not.
    at(values, BuiltInValue::TempDirectory) = {builtIn.tempDirectory8(), true};
    at(values, BuiltInValue::ExecutableDirectory) = {executableDirectory8(), true};
    at(values, BuiltInValue::ExtractionDirectory) = {builtIn.extractionDirectory(), true};
    at(values, BuiltInValue::Separator) = {";", true};
    at(values, BuiltInValue::JvmHome) = {builtIn.jvmHome(), true};
    return values;
}

Table<wchar_t> valuesWide(DirectoryValues form, const BuiltInValues& builtIn) {
    const bool ansiSafe = form == DirectoryValues::AnsiSafe;
    Table<wchar_t> values;
    at(values, BuiltInValue::TempDirectory) = ansiSafe
                                                  ? ExpansionValue<wchar_t>{widenBytes(builtIn.tempDirectory8()), true}
                                                  : ExpansionValue<wchar_t>{builtIn.tempDirectoryWide(), false};
    at(values, BuiltInValue::ExecutableDirectory) = ansiSafe
                                                        ? ExpansionValue<wchar_t>{executableDirectoryNarrowWidened(), true}
                                                        : ExpansionValue<wchar_t>{executableDirectoryLong(), false};
    at(values, BuiltInValue::ExtractionDirectory) = {widenBytes(builtIn.extractionDirectory()), true};
    at(values, BuiltInValue::Separator) = {L";", false};
    at(values, BuiltInValue::JvmHome) = {widenBytes(builtIn.jvmHome()), true};
    return values;
}

std::wstring_view logFormat(char, bool) { return L"expanding2 %S to %S in %S."; }
std::wstring_view logFormat(wchar_t, bool narrowValue) {
    return narrowValue ? L"expanding2 %s to %S in %s." : L"expanding2 %s to %s in %s.";
}

template <class Char>
class DiagnosticReplacementLog final : public ReplacementLog<Char> {
public:
    void replaced(std::basic_string_view<Char> reference, const ExpansionValue<Char>& value,
                  std::basic_string_view<Char> text) override {
        logMessage(logFormat(Char{}, value.narrow), reference, value.text, text);
    }
};

struct EnvironmentFreer {
    void operator()(char* block) const noexcept { FreeEnvironmentStringsA(block); }
    void operator()(wchar_t* block) const noexcept { FreeEnvironmentStringsW(block); }
};

std::vector<EnvironmentEntry<char>> processEnvironment(char) {
    const std::unique_ptr<char, EnvironmentFreer> block(GetEnvironmentStrings());
    return environmentEntries(block.get());
}
std::vector<EnvironmentEntry<wchar_t>> processEnvironment(wchar_t) {
    const std::unique_ptr<wchar_t, EnvironmentFreer> block(GetEnvironmentStringsW());
    return environmentEntries(block.get());
}

template <class Char>
bool expand(std::basic_string<Char>& text, const Table<Char>& values, size_t capacity) {
    DiagnosticReplacementLog<Char> log;
    if (expandReferences(text, values, processEnvironment(Char{}), capacity, &log)) return true;
    logError(L"expansion of %s does not fit into %d characters, left unexpanded", text,
             static_cast<long long>(capacity));
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
