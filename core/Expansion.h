#pragma once
// References in configured texts to places known only at run time: the built-in variables
// ("%QUENTA_EXEDIR%", "${launcher:sys.jvmHome}", ...) and every environment variable as
// "${NAME}", replaced in place, pass after pass, in a fixed order. The substitution itself;
// the launcher supplies the values and its process environment.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vkr {

// What a built-in reference stands for.
enum class BuiltInValue { ExecutableDirectory, ExtractionDirectory, Separator, JvmHome, TempDirectory };
inline constexpr std::size_t kBuiltInValueCount = 5;

// A value as inserted, and whether it is an 8-bit value (the launcher logs 8-bit and UTF-16
// values in different formats).
template <class Char>
struct ExpansionValue {
    std::basic_string<Char> text;
    bool narrow = false;
};

template <class Char>
using BuiltInValueTable = std::array<ExpansionValue<Char>, kBuiltInValueCount>;

template <class Char>
struct EnvironmentEntry {
    std::basic_string<Char> name;
    std::basic_string<Char> value;
};

// The entries of an environment block (NAME=VALUE texts, each ended by a zero, the block by
// an empty one), in the block's order; none for a null block. The name ends at the first "="
// behind its first character: the block's hidden per-drive entries ("=C:=C:\dir") are named
// "=C:"; splitting them at their leading "=" would make "${}" an alias for "C:=C:\dir". An
// entry without such an "=" is skipped.
template <class Char>
std::vector<EnvironmentEntry<Char>> environmentEntries(const Char* block);

// Told of every replacement, with the whole text after it.
template <class Char>
class ReplacementLog {
public:
    virtual void replaced(std::basic_string_view<Char> reference, const ExpansionValue<Char>& value,
                          std::basic_string_view<Char> text) = 0;

protected:
    ~ReplacementLog() = default;
};

// The 21 built-in references in their order, then "${NAME}" and "${UPPER-CASED NAME}" for
// each environment entry in order. Each pass goes on behind the value it inserted, so a value
// is searched only by the passes after its own. capacity: the caller's limit in characters,
// terminator included; every intermediate text must fit as well, as the expansion works in
// the caller's buffer. A result that would not fit is not cut: the text is left as it was
// and false is returned.
template <class Char>
bool expandReferences(std::basic_string<Char>& text, const BuiltInValueTable<Char>& values,
                      const std::vector<EnvironmentEntry<Char>>& environment, std::size_t capacity,
                      ReplacementLog<Char>* log = nullptr);

} // namespace vkr
