#include "Block.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>

namespace vkr::gen {
namespace {

void putU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void putU64(std::string& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void putI32(std::string& out, int32_t v) { putU32(out, static_cast<uint32_t>(v)); }

void putString(std::string& out, const std::string& s) {
  putI32(out, static_cast<int32_t>(s.size()));
  out += s;
}

void putWString(std::string& out, const std::u16string& s) {
  putI32(out, static_cast<int32_t>(s.size() * 2));
  for (char16_t c : s) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
}

void putMessages(std::string& out, const std::vector<MessageEntry>& messages) {
  putI32(out, static_cast<int32_t>(messages.size()));
  for (const auto& m : messages) {
    putI32(out, m.key);
    putWString(out, m.text);
  }
}

// Sequential reads over a ByteSource that refuse, with the offset in the message,
// anything that would run past the end of the file.
class Reader {
 public:
  Reader(ByteSource& source, uint64_t offset) : source_(source), position_(offset) {}

  uint64_t position() const { return position_; }
  uint64_t remaining() const {
    return position_ < source_.size() ? source_.size() - position_ : 0;
  }

  bool bytes(std::string& out, uint64_t count, const char* what) {
    if (count > remaining()) {
      error = std::string(what) + " at offset " + std::to_string(position_) + " needs " +
              std::to_string(count) + " bytes, the file holds only " +
              std::to_string(remaining()) + " more";
      return false;
    }
    out.resize(static_cast<size_t>(count));
    if (count != 0 && !source_.read(position_, out.data(), out.size())) {
      error = std::string("cannot read ") + what + " at offset " + std::to_string(position_);
      return false;
    }
    position_ += count;
    return true;
  }

  bool u32(uint32_t& v, const char* what) {
    std::string b;
    if (!bytes(b, 4, what)) return false;
    v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[i]);
    return true;
  }

  bool i32(int32_t& v, const char* what) {
    uint32_t u;
    if (!u32(u, what)) return false;
    v = static_cast<int32_t>(u);
    return true;
  }

  bool i64(int64_t& v, const char* what) {
    std::string b;
    if (!bytes(b, 8, what)) return false;
    uint64_t u = 0;
    for (int i = 7; i >= 0; --i) u = (u << 8) | static_cast<unsigned char>(b[i]);
    v = static_cast<int64_t>(u);
    return true;
  }

  // A count of entries that each take at least minimumEntrySize bytes: a negative count
  // or one the rest of the file cannot hold is refused before anything is reserved.
  bool count(int32_t& n, uint64_t minimumEntrySize, const char* what) {
    uint64_t at = position_;
    if (!i32(n, what)) return false;
    if (n < 0) {
      error = std::string(what) + " at offset " + std::to_string(at) + " is negative (" +
              std::to_string(n) + ")";
      return false;
    }
    if (static_cast<uint64_t>(n) * minimumEntrySize > remaining()) {
      error = std::string(what) + " at offset " + std::to_string(at) + " is " +
              std::to_string(n) + ", more than the rest of the file can hold";
      return false;
    }
    return true;
  }

  bool string(std::string& s, const char* what) {
    uint64_t at = position_;
    int32_t length;
    if (!i32(length, what)) return false;
    if (length < 0) {
      error = std::string(what) + " at offset " + std::to_string(at) +
              " has a negative length (" + std::to_string(length) + ")";
      return false;
    }
    return bytes(s, static_cast<uint64_t>(length), what);
  }

  bool wstring(std::u16string& s, const char* what) {
    uint64_t at = position_;
    std::string raw;
    if (!string(raw, what)) return false;
    if (raw.size() % 2 != 0) {
      error = std::string(what) + " at offset " + std::to_string(at) +
              " has an odd byte count (" + std::to_string(raw.size()) + ")";
      return false;
    }
    s.resize(raw.size() / 2);
    for (size_t i = 0; i < s.size(); ++i)
      s[i] = static_cast<char16_t>(static_cast<unsigned char>(raw[2 * i]) |
                                   (static_cast<unsigned char>(raw[2 * i + 1]) << 8));
    return true;
  }

  bool messages(std::vector<MessageEntry>& out, const char* what) {
    int32_t n;
    if (!count(n, 8, what)) return false;
    for (int32_t i = 0; i < n; ++i) {
      MessageEntry m;
      if (!i32(m.key, "message key") || !wstring(m.text, "message text")) return false;
      out.push_back(std::move(m));
    }
    return true;
  }

  std::string error;

 private:
  ByteSource& source_;
  uint64_t position_;
};

}  // namespace

bool MemorySource::read(uint64_t offset, void* destination, size_t count) {
  if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
  std::memcpy(destination, bytes_.data() + offset, count);
  return true;
}

std::string encodeBlock(const Configuration& config) {
  std::string out;
  putU32(out, kBlockMagic);
  putU32(out, 0);
  putU32(out, 0);
  putU64(out, 0);  // length, filled in below
  putI32(out, static_cast<int32_t>(config.texts.size()));
  for (const auto& t : config.texts) {
    putI32(out, t.key);
    putString(out, t.value);
  }
  putMessages(out, config.messages);
  putI32(out, static_cast<int32_t>(config.groups.size()));
  for (const auto& g : config.groups) {
    putString(out, g.prefix);
    putMessages(out, g.messages);
  }
  uint64_t length = out.size() - 12;
  for (int i = 0; i < 8; ++i) out[12 + i] = static_cast<char>((length >> (8 * i)) & 0xFF);

  for (const auto& f : config.files) {
    putU64(out, f.content.size());
    for (char c : f.content) out += static_cast<char>(c ^ kIncludedFileMask);
  }
  out += "\xE8\xE4\x13\xD5";
  if (out.size() < kPaddedBlockSize) out.resize(kPaddedBlockSize, '\0');
  return out;
}

bool locateBlock(ByteSource& source, PeLayout& layout, std::string& error) {
  layout = PeLayout{};
  Reader r(source, 0);
  std::string dos;
  if (!r.bytes(dos, 64, "the DOS header")) {
    error = "not a PE file: " + r.error;
    return false;
  }
  if (dos[0] != 'M' || dos[1] != 'Z') {
    error = "not a PE file: no MZ signature at offset 0";
    return false;
  }
  Reader header(source, 60);
  int32_t peOffset;
  if (!header.i32(peOffset, "e_lfanew")) {
    error = header.error;
    return false;
  }
  uint64_t fileSize = source.size();
  if (peOffset < 0 || static_cast<uint64_t>(peOffset) + 24 > fileSize) {
    error = "the PE header offset " + std::to_string(peOffset) +
            " (e_lfanew) lies outside the file (" + std::to_string(fileSize) + " bytes)";
    return false;
  }
  uint64_t pe = static_cast<uint64_t>(peOffset);
  Reader coff(source, pe);
  std::string signature, fields;
  if (!coff.bytes(signature, 4, "PE signature") || !coff.bytes(fields, 20, "COFF header")) {
    error = coff.error;
    return false;
  }
  if (signature != std::string("PE\0\0", 4)) {
    error = "not a PE file: no PE signature at offset " + std::to_string(pe);
    return false;
  }
  auto u16At = [&](size_t i) {
    return static_cast<uint32_t>(static_cast<unsigned char>(fields[i]) |
                                 (static_cast<unsigned char>(fields[i + 1]) << 8));
  };
  auto u32At = [](const std::string& b, size_t i) {
    uint32_t v = 0;
    for (int k = 3; k >= 0; --k) v = (v << 8) | static_cast<unsigned char>(b[i + k]);
    return v;
  };
  uint32_t sections = u16At(2);
  uint32_t optionalSize = u16At(16);
  if (sections == 0) {
    error = "the PE file has no sections";
    return false;
  }
  uint64_t tableStart = pe + 24 + optionalSize;
  uint64_t tableEnd = tableStart + 40ull * sections;
  if (tableEnd > fileSize) {
    error = "the section table (offsets " + std::to_string(tableStart) + " to " +
            std::to_string(tableEnd) + ") lies outside the file (" + std::to_string(fileSize) +
            " bytes)";
    return false;
  }
  std::string last;
  Reader lastHeader(source, tableStart + 40ull * (sections - 1));
  if (!lastHeader.bytes(last, 40, "last section header")) {
    error = lastHeader.error;
    return false;
  }
  uint64_t rawSize = u32At(last, 16);
  uint64_t rawOffset = u32At(last, 20);
  uint64_t block = rawOffset + rawSize;
  if (block > fileSize) {
    error = "the last section's raw data ends at offset " + std::to_string(block) +
            ", behind the end of the file (" + std::to_string(fileSize) + " bytes)";
    return false;
  }
  if (block > kMaxExecutableSize) {
    error = "the last section's raw data ends beyond 2 GiB";
    return false;
  }
  layout.blockOffset = block;

  uint32_t symbols = u32At(fields, 8);
  if (symbols != 0 && symbols >= block) {
    layout.fieldsToClear.push_back({pe + 12, 4});
    layout.fieldsToClear.push_back({pe + 16, 4});
  }
  std::string optional;
  Reader opt(source, pe + 24);
  if (optionalSize >= 2 && opt.bytes(optional, optionalSize, "optional header")) {
    uint32_t magic = static_cast<unsigned char>(optional[0]) |
                     (static_cast<unsigned char>(optional[1]) << 8);
    size_t countAt = magic == 0x20b ? 108 : magic == 0x10b ? 92 : 0;
    if (countAt != 0 && countAt + 4 <= optional.size()) {
      uint32_t directories = u32At(optional, countAt);
      size_t certificateAt = countAt + 4 + 4 * 8;
      if (directories > 4 && certificateAt + 8 <= optional.size()) {
        uint32_t certificates = u32At(optional, certificateAt);
        if (certificates != 0 && certificates >= block)
          layout.fieldsToClear.push_back({pe + 24 + certificateAt, 8});
      }
    }
  }
  return true;
}

int32_t parseConfigInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 0x80000000LL) value = 0x80000000LL;
  }
  if (negative) value = -value;
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

bool decodeBlock(ByteSource& source, uint64_t offset, Configuration& config,
                 std::string& error) {
  config = Configuration{};
  Reader r(source, offset);
  uint32_t magic, ignored;
  int64_t length;
  if (!r.u32(magic, "the block's magic")) {
    error = "no configuration block: " + r.error;
    return false;
  }
  if (magic != kBlockMagic) {
    error = "no configuration block at offset " + std::to_string(offset) + " (wrong magic)";
    return false;
  }
  int32_t n;
  bool ok = r.u32(ignored, "block header") && r.u32(ignored, "block header") &&
            r.i64(length, "block length") && r.count(n, 8, "the number of texts");
  for (int32_t i = 0; ok && i < n; ++i) {
    TextEntry t;
    ok = r.i32(t.key, "text key") && r.string(t.value, "text value");
    if (ok) config.texts.push_back(std::move(t));
  }
  ok = ok && r.messages(config.messages, "the number of messages");
  int32_t groups = 0;
  ok = ok && r.count(groups, 8, "the number of locale groups");
  for (int32_t i = 0; ok && i < groups; ++i) {
    LocaleGroup g;
    ok = r.string(g.prefix, "locale prefix") && r.messages(g.messages, "the number of group messages");
    if (ok) config.groups.push_back(std::move(g));
  }
  if (!ok) {
    error = "damaged configuration block: " + r.error;
    return false;
  }

  std::map<int32_t, std::string> effective;
  for (const auto& t : config.texts) effective[t.key] = t.value;
  int32_t fileCount = parseConfigInt(effective[kKeyIncludedCount]);
  const std::string& names = effective[kKeyIncludedNames];
  size_t start = 0;
  while (fileCount > 0 && static_cast<int32_t>(config.files.size()) < fileCount &&
         start <= names.size()) {
    size_t end = std::min(names.find(';', start), names.size());
    std::string name = names.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    IncludedFile f;
    f.name = name;
    int64_t size;
    if (!r.i64(size, "included file size")) {
      error = "damaged included file " + name + ": " + r.error;
      return false;
    }
    if (size > 0 && !r.bytes(f.content, static_cast<uint64_t>(size), "included file content")) {
      error = "damaged included file " + name + ": " + r.error;
      return false;
    }
    for (auto& c : f.content) c = static_cast<char>(c ^ kIncludedFileMask);
    config.files.push_back(std::move(f));
  }
  return true;
}

}  // namespace vkr::gen
