#pragma once
// References in configured texts to places known only at run time: the built-in variables
// ("%QUENTA_EXEDIR%", "${launcher:sys.jvmHome}", ...) and every environment variable as
// "${NAME}", replaced in place, pass after pass, in a fixed order. The substitution rules are
// the portable core's (core/Expansion.h); this is where the process supplies the values.
#include "core/Limits.h"

#include <string>

namespace vkr {

// What the built-in references stand for besides the executable's directory. The caller
// knows them (the extraction directory and the JVM's home belong to the layers above) and
// decides what a missing temp directory means; each expansion asks for the temp directory
// first, whether its text refers to it or not.
class BuiltInValues {
public:
    virtual std::string tempDirectory8() const = 0;
    virtual std::wstring tempDirectoryWide() const = 0;
    virtual std::string extractionDirectory() const = 0;
    virtual std::string jvmHome() const = 0;

protected:
    ~BuiltInValues() = default;
};

// The UTF-16 expansion's directory values: in their 8-bit form widened byte by byte (what an
// 8-bit consumer such as the JVM's options can carry), or in their long UTF-16 form.
enum class DirectoryValues { AnsiSafe, Long };

// capacity: the caller's limit in characters, terminator included. A result that would not
// fit is not cut: the text is left as it was before the expansion and false is returned (and
// logged).
bool expandVariables(std::string& text, const BuiltInValues& values, size_t capacity = kMaxPath);
bool expandVariablesW(std::wstring& text, DirectoryValues form, const BuiltInValues& values,
                      size_t capacity = kMaxPath);

} // namespace vkr
