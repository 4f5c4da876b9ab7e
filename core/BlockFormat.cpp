#include "core/BlockFormat.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "core/Text.h"

namespace vkr {

namespace {

void putU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void putU64(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void putI32(std::string& out, std::int32_t v) { putU32(out, static_cast<std::uint32_t>(v)); }

void putString(std::string& out, const std::string& s) {
    putI32(out, static_cast<std::int32_t>(s.size()));
    out += s;
}

void putWString(std::string& out, const std::u16string& s) {
    putI32(out, static_cast<std::int32_t>(s.size() * 2));
    for (char16_t c : s) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
}

void putMessages(std::string& out, const std::vector<MessageEntry>& messages) {
    putI32(out, static_cast<std::int32_t>(messages.size()));
    for (const MessageEntry& m : messages) {
        putI32(out, m.key);
        putWString(out, m.text);
    }
}

std::uint32_t littleEndian(const unsigned char* b, int bytes) noexcept {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[i];
    return v;
}

bool readMessages(BlockReader& reader, std::vector<MessageEntry>& out, const char* what) {
    std::int32_t count = 0;
    if (!reader.readCount(count, 8, what)) return false;
    for (std::int32_t i = 0; i < count; ++i) {
        MessageEntry m{};
        if (!reader.readInt(m.key, "message key") || !reader.readWString(m.text, "message text")) return false;
        out.push_back(std::move(m));
    }
    return true;
}

} // namespace

std::size_t MemorySource::read(std::uint64_t offset, void* destination, std::size_t count) {
    if (offset >= bytes_.size()) return 0;
    const std::size_t available = std::min<std::uint64_t>(count, bytes_.size() - offset);
    std::memcpy(destination, bytes_.data() + offset, available);
    return available;
}

std::string ReadFailure::describe() const {
    const std::string at = std::string(what) + " at offset " + std::to_string(offset);
    switch (problem) {
    case ReadProblem::ShortRead:
        return at + " needs " + std::to_string(value) + " bytes, the file holds only " + std::to_string(remaining) +
               " more";
    case ReadProblem::Negative:
        return primitive == BlockPrimitive::Int ? at + " is negative (" + std::to_string(value) + ")"
                                                : at + " has a negative length (" + std::to_string(value) + ")";
    case ReadProblem::TooLarge:
        if (primitive == BlockPrimitive::Int)
            return at + " is " + std::to_string(value) + ", more than the rest of the file can hold";
        return at + " needs " + std::to_string(value) + " bytes, the file holds only " + std::to_string(remaining) +
               " more";
    case ReadProblem::OddLength:
        return at + " has an odd byte count (" + std::to_string(value) + ")";
    case ReadProblem::NoSections:
        return "the PE file has no sections";
    case ReadProblem::WrongMagic:
        return "no configuration block at offset " + std::to_string(offset) + " (wrong magic)";
    }
    return at;
}

std::uint64_t BlockReader::remaining() const noexcept {
    const std::uint64_t size = source_.size();
    return position_ < size ? size - position_ : 0;
}

bool BlockReader::fail(BlockPrimitive primitive, ReadProblem problem, std::uint64_t offset, std::int64_t value,
                       const char* what) {
    failure_ = ReadFailure{};
    failure_.primitive = primitive;
    failure_.problem = problem;
    failure_.offset = offset;
    failure_.value = value;
    failure_.what = what;
    return false;
}

bool BlockReader::readRaw(void* destination, std::size_t count, BlockPrimitive primitive, const char* what) {
    const std::uint64_t left = remaining();
    const std::size_t got = count == 0 ? 0 : source_.read(position_, destination, count);
    if (got < count) {
        fail(primitive, ReadProblem::ShortRead, position_, static_cast<std::int64_t>(count), what);
        failure_.remaining = left;
        failure_.got = got;
        return false;
    }
    position_ += count;
    return true;
}

bool BlockReader::readInt(std::int32_t& value, const char* what) {
    unsigned char b[4];
    if (!readRaw(b, 4, BlockPrimitive::Int, what)) return false;
    value = static_cast<std::int32_t>(littleEndian(b, 4));
    return true;
}

bool BlockReader::readShort(std::int16_t& value, const char* what) {
    unsigned char b[2];
    if (!readRaw(b, 2, BlockPrimitive::Short, what)) return false;
    value = static_cast<std::int16_t>(littleEndian(b, 2));
    return true;
}

bool BlockReader::readLong(std::int64_t& value, const char* what) {
    unsigned char b[8];
    if (!readRaw(b, 8, BlockPrimitive::Long, what)) return false;
    value = static_cast<std::int64_t>(static_cast<std::uint64_t>(littleEndian(b + 4, 4)) << 32 | littleEndian(b, 4));
    return true;
}

bool BlockReader::readCount(std::int32_t& count, std::uint64_t minEntryBytes, const char* what) {
    const std::uint64_t at = position_;
    if (!readInt(count, what)) return false;
    if (count < 0) return fail(BlockPrimitive::Int, ReadProblem::Negative, at, count, what);
    if (static_cast<std::uint64_t>(count) > remaining() / minEntryBytes) {
        fail(BlockPrimitive::Int, ReadProblem::TooLarge, at, count, what);
        failure_.remaining = remaining();
        return false;
    }
    return true;
}

bool BlockReader::readBytes(std::string& bytes, std::uint64_t count, BlockPrimitive primitive, const char* what) {
    // Checked before the allocation, not by the read.
    if (count > remaining()) {
        fail(primitive, ReadProblem::TooLarge, position_, static_cast<std::int64_t>(count), what);
        failure_.remaining = remaining();
        return false;
    }
    bytes.resize(static_cast<std::size_t>(count));
    return readRaw(bytes.data(), bytes.size(), primitive, what);
}

bool BlockReader::readString(std::string& value, const char* what) {
    const std::uint64_t at = position_;
    std::int32_t length = 0;
    if (!readInt(length, what)) return false;
    if (length < 0) return fail(BlockPrimitive::String, ReadProblem::Negative, at, length, what);
    if (!readBytes(value, static_cast<std::uint64_t>(length), BlockPrimitive::String, what)) {
        failure_.offset = at;
        return false;
    }
    return true;
}

bool BlockReader::readWString(std::u16string& value, const char* what) {
    const std::uint64_t at = position_;
    std::int32_t length = 0;
    if (!readInt(length, what)) return false;
    if (length < 0) return fail(BlockPrimitive::WString, ReadProblem::Negative, at, length, what);
    // An odd byte count is no UTF-16 text: a damaged block.
    if (length % 2 != 0) return fail(BlockPrimitive::WString, ReadProblem::OddLength, at, length, what);
    std::string raw;
    if (!readBytes(raw, static_cast<std::uint64_t>(length), BlockPrimitive::WString, what)) {
        failure_.offset = at;
        return false;
    }
    value.resize(raw.size() / 2);
    for (std::size_t i = 0; i < value.size(); ++i)
        value[i] = static_cast<char16_t>(static_cast<unsigned char>(raw[2 * i]) |
                                         (static_cast<unsigned char>(raw[2 * i + 1]) << 8));
    return true;
}

bool walkToBlock(BlockReader& reader, PeWalk& walk) {
    walk = PeWalk{};
    // A field outside the file is read where it would be: the read comes up short and fails with
    // its own primitive, never with a value from a wrong place.
    auto seek = [&](std::int64_t offset) { reader.seek(offset < 0 ? reader.position() + reader.remaining() : static_cast<std::uint64_t>(offset)); };
    seek(60);
    if (!reader.readInt(walk.peHeader, "e_lfanew")) return false;
    walk.reached = PeWalk::Stage::HeaderOffset;
    seek(static_cast<std::int64_t>(walk.peHeader) + 6);
    std::int16_t value = 0;
    if (!reader.readShort(value, "the section count")) return false;
    walk.sections = static_cast<std::uint16_t>(value);
    walk.reached = PeWalk::Stage::SectionCount;
    // Without a section there is no "last section": the walk would read the optional header.
    if (walk.sections == 0)
        return reader.fail(BlockPrimitive::Short, ReadProblem::NoSections, static_cast<std::uint64_t>(walk.peHeader) + 6,
                           0, "the section count");
    seek(static_cast<std::int64_t>(walk.peHeader) + 20);
    if (!reader.readShort(value, "the optional header's size")) return false;
    walk.optionalHeaderSize = static_cast<std::uint16_t>(value);
    walk.lastSectionHeader =
        static_cast<std::int64_t>(walk.peHeader) + 24 + walk.optionalHeaderSize + 40LL * (walk.sections - 1);
    walk.reached = PeWalk::Stage::OptionalHeaderSize;
    seek(walk.lastSectionHeader + 16);
    if (!reader.readInt(walk.rawDataSize, "SizeOfRawData")) return false;
    seek(walk.lastSectionHeader + 20);
    if (!reader.readInt(walk.rawDataOffset, "PointerToRawData")) return false;
    walk.reached = PeWalk::Stage::RawData;
    walk.blockOffset = static_cast<std::int64_t>(walk.rawDataOffset) + walk.rawDataSize;
    seek(walk.blockOffset);
    return true;
}

bool locateBlock(ByteSource& source, PeLayout& layout, std::string& error) {
    layout = PeLayout{};
    const std::uint64_t fileSize = source.size();
    unsigned char dos[64];
    if (source.read(0, dos, sizeof dos) < sizeof dos || dos[0] != 'M' || dos[1] != 'Z') {
        error = fileSize < sizeof dos ? "not a PE file: shorter than a DOS header"
                                      : "not a PE file: no MZ signature at offset 0";
        return false;
    }
    const auto peOffset = static_cast<std::int32_t>(littleEndian(dos + 60, 4));
    if (peOffset < 0 || static_cast<std::uint64_t>(peOffset) + 24 > fileSize) {
        error = "the PE header offset " + std::to_string(peOffset) + " (e_lfanew) lies outside the file (" +
                std::to_string(fileSize) + " bytes)";
        return false;
    }
    const auto pe = static_cast<std::uint64_t>(peOffset);
    unsigned char coff[24];
    source.read(pe, coff, sizeof coff);
    if (std::memcmp(coff, "PE\0\0", 4) != 0) {
        error = "not a PE file: no PE signature at offset " + std::to_string(pe);
        return false;
    }
    const std::uint32_t sections = littleEndian(coff + 6, 2);
    const std::uint32_t optionalSize = littleEndian(coff + 20, 2);
    if (sections == 0) {
        error = "the PE file has no sections";
        return false;
    }
    const std::uint64_t tableStart = pe + 24 + optionalSize;
    const std::uint64_t tableEnd = tableStart + 40ull * sections;
    if (tableEnd > fileSize) {
        error = "the section table (offsets " + std::to_string(tableStart) + " to " + std::to_string(tableEnd) +
                ") lies outside the file (" + std::to_string(fileSize) + " bytes)";
        return false;
    }

    // The same walk the launcher makes, so both always agree on where the block is.
    BlockReader reader(source, 0);
    PeWalk walk;
    if (!walkToBlock(reader, walk)) {
        error = reader.failure().describe();
        return false;
    }
    const auto block = static_cast<std::uint64_t>(static_cast<std::uint32_t>(walk.rawDataOffset)) +
                       static_cast<std::uint32_t>(walk.rawDataSize);
    if (block > fileSize) {
        error = "the last section's raw data ends at offset " + std::to_string(block) +
                ", behind the end of the file (" + std::to_string(fileSize) + " bytes)";
        return false;
    }
    // Found by fuzzing: a last section whose raw data ends inside the headers put the block
    // over the very headers the launcher walks to find it, and the header fields to clear
    // (behind the block offset) were written past the end of the copied image.
    if (block < tableEnd) {
        error = "the last section's raw data ends at offset " + std::to_string(block) +
                ", inside the headers (which end at offset " + std::to_string(tableEnd) + ")";
        return false;
    }
    if (block > kMaxExecutableSize) {
        error = "the last section's raw data ends beyond 2 GiB";
        return false;
    }
    layout.blockOffset = block;

    const std::uint32_t symbols = littleEndian(coff + 12, 4);
    if (symbols != 0 && symbols >= block) {
        layout.fieldsToClear.push_back({pe + 12, 4});
        layout.fieldsToClear.push_back({pe + 16, 4});
    }
    std::string optional(optionalSize, '\0');
    if (optionalSize >= 2 && source.read(pe + 24, optional.data(), optional.size()) == optional.size()) {
        const auto* o = reinterpret_cast<const unsigned char*>(optional.data());
        const std::uint32_t magic = littleEndian(o, 2);
        const std::size_t countAt = magic == 0x20b ? 108 : magic == 0x10b ? 92 : 0;
        if (countAt != 0 && countAt + 4 <= optional.size()) {
            const std::uint32_t directories = littleEndian(o + countAt, 4);
            const std::size_t certificateAt = countAt + 4 + 4 * 8;
            if (directories > 4 && certificateAt + 8 <= optional.size()) {
                const std::uint32_t certificates = littleEndian(o + certificateAt, 4);
                if (certificates != 0 && certificates >= block) layout.fieldsToClear.push_back({pe + 24 + certificateAt, 8});
            }
        }
    }
    return true;
}

bool readBlockHead(BlockReader& reader, BlockContents& contents) {
    const std::uint64_t at = reader.position();
    std::int32_t magic = 0;
    if (!reader.readInt(magic, "the block's magic")) return false;
    if (static_cast<std::uint32_t>(magic) != kBlockMagic)
        return reader.fail(BlockPrimitive::Magic, ReadProblem::WrongMagic, at, magic, "the block's magic");
    std::int32_t ignored = 0;
    std::int64_t length = 0;
    std::int32_t count = 0;
    if (!reader.readInt(ignored, "the block header") || !reader.readInt(ignored, "the block header") ||
        !reader.readLong(length, "the block length") || !reader.readCount(count, 8, "the number of texts"))
        return false;
    for (std::int32_t i = 0; i < count; ++i) {
        TextEntry t{};
        if (!reader.readInt(t.key, "text key") || !reader.readString(t.value, "text value")) return false;
        contents.texts.push_back(std::move(t));
    }
    return readMessages(reader, contents.messages, "the number of messages");
}

bool readLocaleGroups(BlockReader& reader, BlockContents& contents) {
    std::int32_t groups = 0;
    if (!reader.readCount(groups, 8, "the number of locale groups")) return false;
    for (std::int32_t i = 0; i < groups; ++i) {
        LocaleGroup g;
        if (!reader.readString(g.prefix, "locale prefix") ||
            !readMessages(reader, g.messages, "the number of group messages"))
            return false;
        contents.groups.push_back(std::move(g));
    }
    return true;
}

std::vector<std::string> includedFileNames(std::string_view names, std::int32_t count) {
    std::vector<std::string> list = splitList(names);
    if (count <= 0) return {};
    if (list.size() > static_cast<std::size_t>(count)) list.resize(static_cast<std::size_t>(count));
    return list;
}

bool readIncludedFileSize(BlockReader& reader, std::int64_t& size) { return reader.readLong(size, "included file size"); }

void unmaskIncludedBytes(char* bytes, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(bytes[i] ^ kIncludedFileMask);
}

std::string_view effectiveText(const BlockContents& contents, std::int32_t key) noexcept {
    std::string_view value;
    for (const TextEntry& t : contents.texts)
        if (t.key == key) value = t.value;
    return value;
}

bool decodeBlock(ByteSource& source, std::uint64_t offset, BlockContents& contents, std::string& error) {
    contents = BlockContents{};
    BlockReader reader(source, offset);
    if (!readBlockHead(reader, contents) || !readLocaleGroups(reader, contents)) {
        const ReadFailure& f = reader.failure();
        if (f.problem == ReadProblem::WrongMagic)
            error = f.describe();
        else if (f.offset == offset)
            error = "no configuration block: " + f.describe();
        else
            error = "damaged configuration block: " + f.describe();
        return false;
    }
    const std::int32_t count = parseConfigInt(effectiveText(contents, kIncludedCountKey));
    for (const std::string& name : includedFileNames(effectiveText(contents, kIncludedNamesKey), count)) {
        IncludedFile file{name, {}};
        std::int64_t size = 0;
        if (!readIncludedFileSize(reader, size) ||
            (size > 0 && !reader.readBytes(file.content, static_cast<std::uint64_t>(size), BlockPrimitive::Long,
                                           "included file content"))) {
            error = "damaged included file " + name + ": " + reader.failure().describe();
            return false;
        }
        unmaskIncludedBytes(file.content.data(), file.content.size());
        contents.files.push_back(std::move(file));
    }
    return true;
}

std::string encodeBlock(const BlockContents& contents) {
    std::string out;
    putU32(out, kBlockMagic);
    putU32(out, 0);
    putU32(out, 0);
    putU64(out, 0); // the length, filled in below
    putI32(out, static_cast<std::int32_t>(contents.texts.size()));
    for (const TextEntry& t : contents.texts) {
        putI32(out, t.key);
        putString(out, t.value);
    }
    putMessages(out, contents.messages);
    putI32(out, static_cast<std::int32_t>(contents.groups.size()));
    for (const LocaleGroup& g : contents.groups) {
        putString(out, g.prefix);
        putMessages(out, g.messages);
    }
    const std::uint64_t length = out.size() - 12;
    for (int i = 0; i < 8; ++i) out[static_cast<std::size_t>(12 + i)] = static_cast<char>((length >> (8 * i)) & 0xFF);

    for (const IncludedFile& f : contents.files) {
        putU64(out, f.content.size());
        const std::size_t start = out.size();
        out += f.content;
        unmaskIncludedBytes(out.data() + start, f.content.size());
    }
    putU32(out, kBlockEndMarker);
    if (out.size() < kPaddedBlockSize) out.resize(kPaddedBlockSize, '\0');
    return out;
}

} // namespace vkr
