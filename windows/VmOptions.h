#pragma once
// The option entries of the JVM and where they come from: the VM options file beside the
// executable (and the files it includes), the configured VM parameters, the version-specific
// option lines, "-J" arguments and the locale argument. Every entry either becomes a JVM option
// or sets one of the class path overrides that the class path is later built with.
#include "core/Tokenizer.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vkr {

// The three class path texts option entries may set (8-bit); a later setting of a kind
// replaces an earlier one.
struct ClassPathOverrides {
    std::optional<std::string> replacement;
    std::optional<std::string> prepended;
    std::optional<std::string> appended;
};

// What one assembly collects: the JVM options in their order (8-bit, in the file-API code
// page) and the class path overrides.
struct OptionAssembly {
    std::vector<std::string> options;
    ClassPathOverrides overrides;
    // How many "-include-options" files deep the entry being added lies.
    int includeDepth = 0;
};

// Nested VM options files beyond this many levels are not read (a file that includes itself
// would otherwise repeat its entries until no file can be opened any more).
inline constexpr int kMaxIncludeDepth = 10;
// A line of a VM options file holds at most this many bytes (line end excluded); a longer
// line is skipped, and logged, rather than cut into options nobody wrote.
inline constexpr size_t kMaxVmOptionsLine = 29999;

// An open VM options file, closed with the owner.
struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using VmOptionsFile = std::unique_ptr<std::FILE, FileCloser>;

// includingFile: the VM options file the entry was read from (relative include paths resolve
// against its directory), or nullptr for the executable's own file and configured entries.
void addOptionEntry(const wchar_t* includingFile, std::wstring_view entry, OptionAssembly& assembly);
void addOptionTokens(const ArgumentVector& tokens, OptionAssembly& assembly);
// Reads every line of an open file (nothing when there is none) and closes it.
void readVmOptionsFile(const wchar_t* includingFile, VmOptionsFile file, OptionAssembly& assembly);
// The executable's VM options file: app.vmoptions beside app.exe, else app.exe.vmoptions,
// first for the long path, then for the path the system reports for the module.
VmOptionsFile openDefaultVmOptionsFile();
// The configured VM parameters (key 123), the first matching version-specific line (keys
// 10200 and up), "-J" arguments (key 125) and the locale argument, in that order.
void collectConfiguredOptions(const ArgumentVector& arguments, OptionAssembly& assembly);

} // namespace vkr
