// The configuration block from any bytes, read the three ways the project reads it: as the
// launcher does at every start (the walk through the PE headers, the head, the locale groups,
// the included-file records behind them), as the generator's inspect does (its stricter PE
// checks, then the whole block), and as a bare block at offset 0.
#include "FuzzSupport.h"
#include "SameBlock.h"

#include "core/BlockFormat.h"
#include "core/Text.h"

#include <algorithm>
#include <cstdint>

using namespace vkr;
using vkr::fuzz::expect;
using vkr::fuzz::sameContents;

namespace {

// Everything a reader hands out came from the input: nothing is made up or allocated ahead.
std::uint64_t decodedBytes(const BlockContents& c) {
    std::uint64_t total = 0;
    auto messages = [&total](const std::vector<MessageEntry>& list) {
        for (const MessageEntry& m : list) total += 4 + 4 + 2 * m.text.size();
    };
    for (const TextEntry& t : c.texts) total += 4 + 4 + t.value.size();
    messages(c.messages);
    for (const LocaleGroup& g : c.groups) {
        total += 4 + g.prefix.size() + 4;
        messages(g.messages);
    }
    for (const IncludedFile& f : c.files) total += 8 + f.content.size();
    return total;
}

void expectFailureDescribed(const BlockReader& reader) { expect(!reader.failure().describe().empty(), "a read failure is described"); }

// The launcher's path: it ends at the first failure with the failing primitive's message.
void readAsLauncher(ByteSource& source) {
    BlockReader reader(source, 0);
    PeWalk walk;
    if (!walkToBlock(reader, walk)) return expectFailureDescribed(reader);
    expect(walk.reached == PeWalk::Stage::RawData, "a successful walk reached the raw data fields");
    BlockContents contents;
    if (!readBlockHead(reader, contents) || !readLocaleGroups(reader, contents)) return expectFailureDescribed(reader);
    expect(decodedBytes(contents) <= source.size(), "the launcher's block holds no more than the file");

    const std::int32_t count = parseConfigInt(effectiveText(contents, kIncludedCountKey));
    const std::vector<std::string> names = includedFileNames(effectiveText(contents, kIncludedNamesKey), count);
    expect(names.size() <= static_cast<std::size_t>(std::max(count, 0)), "no more included files than counted");
    for (const std::string& name : names) {
        expect(!name.empty() && name.find(';') == std::string::npos, "an included file name is one list piece");
        std::int64_t size = 0;
        if (!readIncludedFileSize(reader, size)) return expectFailureDescribed(reader);
        // The launcher copies what arrives and stops at the end of the file.
        if (size > 0) reader.seek(reader.position() + std::min<std::uint64_t>(static_cast<std::uint64_t>(size), reader.remaining()));
    }
}

// A decoded block written again decodes to the same values, and its head is byte for byte
// what was read (the ignored header fields and the length aside).
void expectRoundTrip(std::string_view input, std::uint64_t offset, const BlockContents& contents) {
    expect(decodedBytes(contents) <= input.size() - offset, "the block holds no more than the bytes behind its offset");
    const std::string encoded = encodeBlock(contents);
    MemorySource again(encoded);
    BlockContents decoded;
    std::string error;
    expect(decodeBlock(again, 0, decoded, error), "an encoded block decodes");
    expect(sameContents(contents, decoded), "an encoded block decodes to the same values");

    BlockReader reader(again, 0);
    BlockContents head;
    expect(readBlockHead(reader, head) && readLocaleGroups(reader, head), "an encoded block's head reads");
    const auto headEnd = static_cast<std::size_t>(reader.position());
    expect(offset + headEnd <= input.size() &&
               input.substr(static_cast<std::size_t>(offset) + 20, headEnd - 20) ==
                   std::string_view(encoded).substr(20, headEnd - 20),
           "the head is written as it was read");
}

void readAsBareBlock(std::string_view input, ByteSource& source) {
    BlockContents contents;
    std::string error;
    if (!decodeBlock(source, 0, contents, error)) return expect(!error.empty(), "a refused block says why");
    expectRoundTrip(input, 0, contents);
}

void readAsGenerator(std::string_view input, ByteSource& source) {
    PeLayout layout;
    std::string error;
    if (!locateBlock(source, layout, error)) return expect(!error.empty(), "a refused executable says why");
    expect(layout.blockOffset <= source.size(), "the block offset lies inside the file");
    BlockReader reader(source, 0);
    PeWalk walk;
    expect(walkToBlock(reader, walk) && static_cast<std::uint64_t>(walk.blockOffset) == layout.blockOffset,
           "the generator and the launcher find the block at the same offset");
    for (const auto& [at, width] : layout.fieldsToClear)
        expect(at + width <= layout.blockOffset, "a header field to clear lies in front of the block");
    BlockContents contents;
    if (!decodeBlock(source, layout.blockOffset, contents, error)) return expect(!error.empty(), "a refused block says why");
    expectRoundTrip(input, layout.blockOffset, contents);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = vkr::fuzz::bytesOf(data, size);
    MemorySource source(input);
    readAsLauncher(source);
    readAsGenerator(input, source);
    readAsBareBlock(input, source);
    return 0;
}
