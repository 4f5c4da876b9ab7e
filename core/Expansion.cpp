#include "core/Expansion.h"

#include "core/Text.h"

namespace vkr {

namespace {

struct BuiltIn {
    std::string_view reference;
    BuiltInValue value;
};

// The order is part of the behaviour: a value inserted by one pass is searched only by the
// passes after it.
constexpr std::array<BuiltIn, 21> kBuiltIns{{
    {"%QUENTA_EXEDIR%", BuiltInValue::ExecutableDirectory},
    {"%VELKOR_EXEDIR%", BuiltInValue::ExecutableDirectory},
    {"%QUENTA_TEMPDIR%", BuiltInValue::ExtractionDirectory},
    {"%VELKOR_TEMPDIR%", BuiltInValue::ExtractionDirectory},
    {"%QUENTA_PATHLIST_SEPARATOR%", BuiltInValue::Separator},
    {"%VELKOR_PATHLIST_SEPARATOR%", BuiltInValue::Separator},
    {"%QUENTA_JVM_HOME%", BuiltInValue::JvmHome},
    {"%VELKOR_JVM_HOME%", BuiltInValue::JvmHome},
    {"${QUENTA_EXEDIR}", BuiltInValue::ExecutableDirectory},
    {"${VELKOR_EXEDIR}", BuiltInValue::ExecutableDirectory},
    {"${QUENTA_TEMPDIR}", BuiltInValue::ExtractionDirectory},
    {"${VELKOR_TEMPDIR}", BuiltInValue::ExtractionDirectory},
    {"${QUENTA_PATHLIST_SEPARATOR}", BuiltInValue::Separator},
    {"${VELKOR_PATHLIST_SEPARATOR}", BuiltInValue::Separator},
    {"${QUENTA_JVM_HOME}", BuiltInValue::JvmHome},
    {"${VELKOR_JVM_HOME}", BuiltInValue::JvmHome},
    {"${launcher:sys.launcherDirectory}", BuiltInValue::ExecutableDirectory},
    {"${launcher:sys.launcherTempDirectory}", BuiltInValue::ExtractionDirectory},
    {"${launcher:sys.pathlistSeparator}", BuiltInValue::Separator},
    {"${launcher:sys.jvmHome}", BuiltInValue::JvmHome},
    {"${launcher:sys.tempDir}", BuiltInValue::TempDirectory},
}};

template <class Char>
class Passes {
public:
    Passes(std::basic_string<Char>& text, std::size_t capacity, ReplacementLog<Char>* log)
        : text_(text), maxLength_(capacity > 0 ? capacity - 1 : 0), log_(log) {}

    // Replaces every reference; the search goes on behind each inserted value, so a value is
    // never searched for its own reference. False once a result would not fit.
    bool pass(std::basic_string_view<Char> reference, const ExpansionValue<Char>& value) {
        std::size_t position = 0;
        for (;;) {
            const std::size_t found = text_.find(reference, position);
            if (found == std::basic_string<Char>::npos) return true;
            if (text_.size() - reference.size() + value.text.size() > maxLength_) return false;
            text_.replace(found, reference.size(), value.text);
            if (log_) log_->replaced(reference, value, text_);
            position = found + value.text.size();
        }
    }

private:
    std::basic_string<Char>& text_;
    std::size_t maxLength_;
    ReplacementLog<Char>* log_;
};

template <class Char>
bool runPasses(Passes<Char>& passes, const BuiltInValueTable<Char>& values,
               const std::vector<EnvironmentEntry<Char>>& environment) {
    for (const BuiltIn& builtIn : kBuiltIns)
        if (!passes.pass(fromAscii<std::basic_string<Char>>(builtIn.reference),
                         values[static_cast<std::size_t>(builtIn.value)]))
            return false;
    const auto open = fromAscii<std::basic_string<Char>>("${");
    const auto close = fromAscii<std::basic_string<Char>>("}");
    for (const EnvironmentEntry<Char>& entry : environment) {
        const ExpansionValue<Char> value{entry.value, false};
        if (!passes.pass(open + entry.name + close, value) ||
            !passes.pass(open + upperAsciiCopy<Char>(entry.name) + close, value))
            return false;
    }
    return true;
}

} // namespace

template <class Char>
std::vector<EnvironmentEntry<Char>> environmentEntries(const Char* block) {
    std::vector<EnvironmentEntry<Char>> entries;
    if (!block) return entries;
    for (const Char* entry = block; *entry != 0;) {
        const std::basic_string_view<Char> text(entry);
        entry += text.size() + 1;
        const std::size_t equals = text.find(Char('='), 1);
        if (equals == std::basic_string_view<Char>::npos) continue;
        entries.push_back({std::basic_string<Char>(text.substr(0, equals)), std::basic_string<Char>(text.substr(equals + 1))});
    }
    return entries;
}

template <class Char>
bool expandReferences(std::basic_string<Char>& text, const BuiltInValueTable<Char>& values,
                      const std::vector<EnvironmentEntry<Char>>& environment, std::size_t capacity,
                      ReplacementLog<Char>* log) {
    const std::basic_string<Char> original = text;
    Passes<Char> passes(text, capacity, log);
    if (runPasses(passes, values, environment)) return true;
    // Cutting would hand a different path or option to the caller; the unexpanded text at
    // least fails visibly where it is used.
    text = original;
    return false;
}

template std::vector<EnvironmentEntry<char>> environmentEntries(const char*);
template std::vector<EnvironmentEntry<wchar_t>> environmentEntries(const wchar_t*);
template bool expandReferences(std::string&, const BuiltInValueTable<char>&, const std::vector<EnvironmentEntry<char>>&,
                               std::size_t, ReplacementLog<char>*);
template bool expandReferences(std::wstring&, const BuiltInValueTable<wchar_t>&,
                               const std::vector<EnvironmentEntry<wchar_t>>&, std::size_t, ReplacementLog<wchar_t>*);

} // namespace vkr
