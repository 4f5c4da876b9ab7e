// Variable expansion from any bytes. Input lines: the capacity (a decimal number), the text,
// the five built-in values (executable directory, extraction directory, separator, JVM home,
// temp directory), then the environment block's entries. The expansion must respect its
// capacity (every intermediate text included), leave the text as it was when a result does
// not fit, agree with a plain reading of its passes, and give the same in both variants.
#include "FuzzSupport.h"

#include "core/Expansion.h"
#include "core/Text.h"

#include <algorithm>
#include <cstdint>
#include <string>

using namespace vkr;
using vkr::fuzz::expect;

namespace {

constexpr std::int32_t kLargestCapacity = 70000;

// The built-in references in the order of their passes and the value each stands for,
// restated on purpose: the order is behaviour, a change to the core's table must show here.
constexpr std::pair<std::string_view, BuiltInValue> kBuiltIns[] = {
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
};

// One pass as a copy: every occurrence found from left to right in the pass's input is
// replaced; an inserted value is never searched by its own pass. longest: the largest text
// the in-place replacements make.
std::string referencePass(const std::string& text, std::string_view reference, std::string_view value,
                          std::size_t& longest) {
    std::string out;
    std::size_t position = 0;
    std::size_t current = text.size();
    for (std::size_t found; (found = text.find(reference, position)) != std::string::npos;) {
        current = current - reference.size() + value.size();
        longest = std::max(longest, current);
        out.append(text, position, found - position).append(value);
        position = found + reference.size();
    }
    return out.append(text, position);
}

std::string referenceExpansion(std::string text, const BuiltInValueTable<char>& values,
                               const std::vector<EnvironmentEntry<char>>& environment, std::size_t& longest) {
    longest = 0;
    for (const auto& [reference, value] : kBuiltIns)
        text = referencePass(text, reference, values[static_cast<std::size_t>(value)].text, longest);
    for (const EnvironmentEntry<char>& e : environment) {
        text = referencePass(text, "${" + e.name + "}", e.value, longest);
        text = referencePass(text, "${" + upperAsciiCopy<char>(e.name) + "}", e.value, longest);
    }
    return text;
}

// Every replacement's text fits the capacity at the moment it is made.
class CapacityWatch final : public ReplacementLog<char> {
public:
    explicit CapacityWatch(std::size_t capacity) : capacity_(capacity) {}
    void replaced(std::string_view, const ExpansionValue<char>&, std::string_view text) override {
        expect(text.size() < capacity_, "no intermediate text outgrows the capacity");
    }

private:
    std::size_t capacity_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const vkr::fuzz::Lines lines(vkr::fuzz::bytesOf(data, size));
    // At least room for the terminator.
    const auto capacity = static_cast<std::size_t>(std::clamp<std::int32_t>(parseConfigInt(lines[0]), 1, kLargestCapacity));
    const std::string original(lines[1]);
    BuiltInValueTable<char> values;
    for (std::size_t i = 0; i < kBuiltInValueCount; ++i) values[i] = {std::string(lines[2 + i]), true};
    std::string block;
    for (std::size_t i = 2 + kBuiltInValueCount; i < lines.size(); ++i) (block += lines[i]) += '\0';
    block += '\0';
    const std::vector<EnvironmentEntry<char>> environment = environmentEntries(block.c_str());
    for (const EnvironmentEntry<char>& e : environment)
        expect(!e.name.empty() && e.name.find('=', 1) == std::string::npos, "an entry's name ends at its first '='");

    std::string text = original;
    CapacityWatch watch(capacity);
    const bool fits = expandReferences(text, values, environment, capacity, &watch);
    std::size_t longest = 0;
    const std::string expected = referenceExpansion(original, values, environment, longest);
    if (fits)
        expect(text == expected && longest < capacity, "an expansion that fits is the plain reading of its passes");
    else
        expect(text == original && longest >= capacity, "an expansion that does not fit leaves the text as it was");

    // The UTF-16 variant follows the same rules.
    BuiltInValueTable<wchar_t> wideValues;
    for (std::size_t i = 0; i < kBuiltInValueCount; ++i) wideValues[i] = {widenBytes(values[i].text), true};
    std::vector<EnvironmentEntry<wchar_t>> wideEnvironment;
    for (const EnvironmentEntry<char>& e : environment) wideEnvironment.push_back({widenBytes(e.name), widenBytes(e.value)});
    std::wstring wide = widenBytes(original);
    expect(expandReferences(wide, wideValues, wideEnvironment, capacity) == fits && wide == widenBytes(text),
           "both variants expand alike");
    return 0;
}
