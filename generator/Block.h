// The configuration block a generated launcher carries behind its last section, the
// included-file records behind it, and the PE walk that finds where it starts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vkr::gen {

constexpr uint32_t kBlockMagic = 0xE8E413D5;
constexpr uint8_t kIncludedFileMask = 0xA7;
constexpr uint32_t kPaddedBlockSize = 4096;
// Every file position the launcher keeps is 32-bit and signed.
constexpr uint64_t kMaxExecutableSize = 0x7FFFFFFF;

constexpr int32_t kKeyIncludedCount = 2002;
constexpr int32_t kKeyIncludedNames = 2003;

struct TextEntry {
  int32_t key;
  std::string value;  // ISO-8859-1 bytes, stored as they are
};

struct MessageEntry {
  int32_t key;
  std::u16string text;
};

struct LocaleGroup {
  std::string prefix;  // ISO-8859-1
  std::vector<MessageEntry> messages;
};

struct IncludedFile {
  std::string name;  // relative to the extraction directory, ISO-8859-1
  std::string content;
};

// What a block holds, in file order. Keys 2002 and 2003 are among the texts.
struct Configuration {
  std::vector<TextEntry> texts;
  std::vector<MessageEntry> messages;
  std::vector<LocaleGroup> groups;
  std::vector<IncludedFile> files;
};

// Block, included-file records, end marker and padding, ready to be appended at the
// block offset of a launcher.
std::string encodeBlock(const Configuration& config);

// Random access to an executable's bytes; reads never go past size().
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  virtual bool read(uint64_t offset, void* destination, size_t count) = 0;
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(const std::string& bytes) : bytes_(bytes) {}
  uint64_t size() const override { return bytes_.size(); }
  bool read(uint64_t offset, void* destination, size_t count) override;

 private:
  const std::string& bytes_;
};

// Where the block of an executable starts, and the header fields that point at data a
// rebuild drops.
struct PeLayout {
  uint64_t blockOffset = 0;
  // File offsets of header fields to clear in the copy when what they describe lies at
  // or behind blockOffset: the COFF symbol table (pointer and count) and the
  // certificate table directory entry (offset and size). 0 when nothing is to clear.
  std::vector<std::pair<uint64_t, uint32_t>> fieldsToClear;  // offset, width in bytes
};

// Walks the headers the way the launcher does: e_lfanew at 60, the last section header's
// PointerToRawData + SizeOfRawData. Refuses what is not a PE file or whose headers or
// last section lie outside the file.
bool locateBlock(ByteSource& source, PeLayout& layout, std::string& error);

// Reads the block at offset and the included files behind it, checking every count and
// length against what the file still holds before allocating.
bool decodeBlock(ByteSource& source, uint64_t offset, Configuration& config,
                 std::string& error);

// The launcher's reading of a text as a number: leading white space, optional sign,
// digits up to the first other character, clamped to the 32-bit range; 0 without digits.
int32_t parseConfigInt(const std::string& text);

}  // namespace vkr::gen
