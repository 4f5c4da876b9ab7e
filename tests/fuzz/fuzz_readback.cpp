// The generator's inspect over any file, with the included files extracted: it must refuse
// what it cannot read with a reason, write nothing outside the directory it was given, and
// print a configuration that builds a block with every value the file's block holds (as the
// launcher reads them: the last entry of a key wins). What the file's block leaves out the
// configuration cannot say, so the build fills it with the shipped launcher's values; the
// block built so is printed and built again to the same bytes.
#include "FuzzSupport.h"
#include "SameBlock.h"
#include "Scratch.h"

#include "Generator.h"
#include "TomlConfig.h"
#include "core/BlockFormat.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>

using namespace vkr;
using vkr::fuzz::expect;

namespace {

namespace fs = std::filesystem;

constexpr std::int32_t kServiceNameKey = 101;
constexpr std::int32_t kMainClassKey = 122;

// The scratch directory holds the input and the extraction directory, nothing else.
bool onlyInputAndExtraction(const fs::path& directory, const fs::path& input, const fs::path& extracted) {
    for (const fs::directory_entry& entry : fs::directory_iterator(directory))
        if (entry.path() != input && entry.path() != extracted) return false;
    return true;
}

template <class Entry, class Value>
std::map<std::int32_t, Value> effective(const std::vector<Entry>& entries, Value Entry::*value) {
    std::map<std::int32_t, Value> map;
    for (const Entry& e : entries) map[e.key] = e.*value;
    return map;
}

// Every value of block a, keys of the included-file list aside (the build derives them from
// the files), is the same in block b.
bool valuesKept(const BlockContents& a, const BlockContents& b) {
    std::map<std::int32_t, std::string> texts = effective(a.texts, &TextEntry::value);
    texts.erase(kIncludedCountKey);
    texts.erase(kIncludedNamesKey);
    const auto builtTexts = effective(b.texts, &TextEntry::value);
    const auto builtMessages = effective(b.messages, &MessageEntry::text);
    auto kept = [](const auto& given, const auto& built) {
        for (const auto& [key, value] : given) {
            const auto found = built.find(key);
            if (found == built.end() || found->second != value) return false;
        }
        return true;
    };
    return kept(texts, builtTexts) && kept(effective(a.messages, &MessageEntry::text), builtMessages) &&
           std::equal(a.groups.begin(), a.groups.end(), b.groups.begin(), b.groups.end(),
                      [](const LocaleGroup& x, const LocaleGroup& y) {
                          return x.prefix == y.prefix && effective(x.messages, &MessageEntry::text) ==
                                                             effective(y.messages, &MessageEntry::text);
                      }) &&
           vkr::fuzz::sameContents(BlockContents{{}, {}, {}, a.files}, BlockContents{{}, {}, {}, b.files});
}

bool inspect(const fs::path& file, const fs::path& extracted, std::string& toml, std::string& error) {
    std::error_code ignored;
    fs::remove_all(extracted, ignored);
    return gen::inspectExecutable(file, extracted, toml, error);
}

void write(const fs::path& file, std::string_view bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = vkr::fuzz::bytesOf(data, size);
    const fs::path& directory = vkr::fuzz::scratchDirectory();
    const fs::path input = directory / "input.exe";
    const fs::path extracted = directory / "extracted";
    write(input, bytes);

    std::string toml;
    std::string error;
    const bool inspected = inspect(input, extracted, toml, error);
    expect(onlyInputAndExtraction(directory, input, extracted), "inspect writes only below its extraction directory");
    if (!inspected) {
        expect(!error.empty(), "a refused file says why");
        return 0;
    }

    // The block as the core reads it from the same bytes.
    MemorySource source(bytes);
    PeLayout layout;
    BlockContents read;
    expect(locateBlock(source, layout, error) && decodeBlock(source, layout.blockOffset, read, error),
           "what inspect printed is a block the core reads");
    // A build refuses a configuration that names no service or no main class, so it writes
    // both into every block; a block without them cannot come from a build.
    if (effective(read.texts, &TextEntry::value).count(kServiceNameKey) == 0 ||
        effective(read.texts, &TextEntry::value).count(kMainClassKey) == 0)
        return 0;
    BlockContents built;
    expect(gen::parseConfigurationToml(toml, directory / "inspected.toml", built, error), "what inspect printed parses");
    expect(valuesKept(read, built), "what inspect printed builds every value it read");

    // The built block in the same executable: inspect and build give it back byte for byte.
    const std::string block = encodeBlock(built);
    write(input, std::string(bytes.substr(0, static_cast<std::size_t>(layout.blockOffset))) + block);
    expect(inspect(input, extracted, toml, error), "a built block is inspected");
    BlockContents again;
    expect(gen::parseConfigurationToml(toml, directory / "inspected.toml", again, error) && encodeBlock(again) == block,
           "a built block is printed so that it builds again to the same bytes");
    return 0;
}
