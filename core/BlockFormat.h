#pragma once
// The configuration block a generated launcher carries behind its executable's last section,
// and the included-file records behind it: the one definition of the format, shared by the
// launcher (which reads it at every start), the generator (which writes and inspects it) and
// their tests. No system calls: bytes come from a ByteSource, the launcher's over its own
// file, the generator's over a buffer or a file.
//
// Layout (all integers little-endian):
//   u32 magic 0xE8E413D5, u32 0, u32 0, u64 length from offset 12 to the block's end,
//   i32 N, N x (i32 key, string), i32 W, W x (i32 key, wide string),
//   i32 G, G x (string prefix, i32 M, M x (i32 key, wide string)),
// then one record per included file (i64 size, size bytes XOR 0xA7), the end marker
// E8 E4 13 D5 and zero padding up to 4096 bytes from the block's start. A string is an i32
// byte count and the bytes; a wide string an i32 byte count (even) and UTF-16LE units.
#include "core/Text.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vkr {

inline constexpr std::uint32_t kBlockMagic = 0xE8E413D5u;
// Behind the included-file records: the magic's bytes in the other order (E8 E4 13 D5).
inline constexpr std::uint32_t kBlockEndMarker = 0xD513E4E8u;
inline constexpr unsigned char kIncludedFileMask = 0xA7;
inline constexpr std::uint32_t kPaddedBlockSize = 4096;
// Every file position the launcher keeps is 32-bit and signed.
inline constexpr std::uint64_t kMaxExecutableSize = 0x7FFFFFFF;

inline constexpr std::int32_t kIncludedCountKey = 2002;
inline constexpr std::int32_t kIncludedNamesKey = 2003;

struct TextEntry {
    std::int32_t key;
    std::string value; // 8-bit bytes, stored as they are
};

struct MessageEntry {
    std::int32_t key;
    std::u16string text;
};

struct LocaleGroup {
    std::string prefix;
    std::vector<MessageEntry> messages;
};

struct IncludedFile {
    std::string name; // relative to the extraction directory
    std::string content;
};

// What a block holds, in file order. The included-file keys are among the texts.
struct BlockContents {
    std::vector<TextEntry> texts;
    std::vector<MessageEntry> messages;
    std::vector<LocaleGroup> groups;
    std::vector<IncludedFile> files;
};

// Random access to an executable's bytes.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads up to count bytes at offset; returns how many arrived (fewer at the end of the
    // source or on a read error).
    virtual std::size_t read(std::uint64_t offset, void* destination, std::size_t count) = 0;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    std::size_t read(std::uint64_t offset, void* destination, std::size_t count) override;

private:
    std::string_view bytes_;
};

// The primitive a failed read belongs to: the launcher shows "Internal Error: <primitive>".
enum class BlockPrimitive { Int, Long, Short, String, WString, Magic };

enum class ReadProblem {
    ShortRead,   // fewer bytes than needed were left or arrived
    Negative,    // a count or length below zero
    TooLarge,    // a count or length the rest of the file cannot hold
    OddLength,   // a wide string with an odd byte count
    NoSections,  // a PE file without a section table
    WrongMagic,
};

struct ReadFailure {
    BlockPrimitive primitive = BlockPrimitive::Int;
    ReadProblem problem = ReadProblem::ShortRead;
    std::uint64_t offset = 0;   // where the failing item starts
    std::int64_t value = 0;     // the count or length read, where there is one
    std::uint64_t remaining = 0; // bytes left behind the item's size field
    std::size_t got = 0;         // bytes that arrived for a short read
    std::string what;           // the item's name, for the generator's messages

    // "the number of texts at offset 20 is negative (-1)", ...
    std::string describe() const;
};

// Sequential reads that check every count and length against what the source still holds
// before anything is allocated for it: a damaged block must never ask for gigabytes.
class BlockReader {
public:
    BlockReader(ByteSource& source, std::uint64_t position) noexcept : source_(source), position_(position) {}

    std::uint64_t position() const noexcept { return position_; }
    void seek(std::uint64_t position) noexcept { position_ = position; }
    std::uint64_t remaining() const noexcept;

    bool readInt(std::int32_t& value, const char* what = "int");
    bool readLong(std::int64_t& value, const char* what = "long");
    bool readShort(std::int16_t& value, const char* what = "short");
    bool readString(std::string& value, const char* what = "string");
    bool readWString(std::u16string& value, const char* what = "wide string");
    // A count of entries of at least minEntryBytes each; fails (as an Int) when negative or
    // when the rest of the source cannot hold that many.
    bool readCount(std::int32_t& count, std::uint64_t minEntryBytes, const char* what = "count");
    bool readBytes(std::string& bytes, std::uint64_t count, BlockPrimitive primitive, const char* what);
    // Records a failure found by a caller (a wrong magic, a PE file without sections).
    bool fail(BlockPrimitive primitive, ReadProblem problem, std::uint64_t offset, std::int64_t value, const char* what);

    const ReadFailure& failure() const noexcept { return failure_; }

private:
    bool readRaw(void* destination, std::size_t count, BlockPrimitive primitive, const char* what);

    ByteSource& source_;
    std::uint64_t position_;
    ReadFailure failure_;
};

// The walk to the block as the launcher does it: e_lfanew at 60, the section count at
// e_lfanew + 6, the optional header's size at e_lfanew + 20, the last section header's
// SizeOfRawData and PointerToRawData. The block starts where that section's data ends (not at
// the end of the file, so a signature appended later does not move it). Every field read is
// kept for the caller's log, so far as the walk got.
struct PeWalk {
    enum class Stage { None, HeaderOffset, SectionCount, OptionalHeaderSize, RawData };
    Stage reached = Stage::None;
    std::int32_t peHeader = 0;
    int sections = 0;
    int optionalHeaderSize = 0;
    std::int64_t lastSectionHeader = 0;
    std::int32_t rawDataSize = 0;
    std::int32_t rawDataOffset = 0;
    std::int64_t blockOffset = 0;
};
bool walkToBlock(BlockReader& reader, PeWalk& walk);

// The generator's stricter view of the same walk: refuses what is not a PE file or whose
// headers or last section lie outside the file, and finds the header fields that point at
// data a rebuild drops (the COFF symbol table; the certificate directory entry).
struct PeLayout {
    std::uint64_t blockOffset = 0;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> fieldsToClear; // file offset, width in bytes
};
bool locateBlock(ByteSource& source, PeLayout& layout, std::string& error);

// The block's head: the magic, the ignored header fields, the texts and the messages.
bool readBlockHead(BlockReader& reader, BlockContents& contents);
// The locale override groups behind the head. The launcher chooses its locale in between.
bool readLocaleGroups(BlockReader& reader, BlockContents& contents);
// The names of the included files as the block's texts give them: the ";"-separated names
// of key 2003 without empty pieces, at most as many as key 2002 counts.
std::vector<std::string> includedFileNames(std::string_view names, std::int32_t count);
// The size field of one included-file record.
bool readIncludedFileSize(BlockReader& reader, std::int64_t& size);
void unmaskIncludedBytes(char* bytes, std::size_t count) noexcept;

// Reads a whole block and the included files behind it (the generator's view).
bool decodeBlock(ByteSource& source, std::uint64_t offset, BlockContents& contents, std::string& error);
// Block, included-file records, end marker and padding, ready to be appended at the block
// offset of a launcher.
std::string encodeBlock(const BlockContents& contents);

// The effective value of a key: the last entry with that key wins, absent gives "".
std::string_view effectiveText(const BlockContents& contents, std::int32_t key) noexcept;

} // namespace vkr
