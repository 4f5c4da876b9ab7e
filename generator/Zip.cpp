#include "Zip.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <limits>

#include "Text.h"

namespace vkr::gen {
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndSize = 22;
constexpr size_t kMaxComment = 0xFFFF;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
constexpr uint16_t kUtf8Names = 0x0800;  // general purpose flag bit 11
constexpr uint16_t kVersion = 20;        // 2.0: deflate, folders
constexpr uint32_t kFolderAttribute = 0x10;
constexpr uint32_t kArchiveAttribute = 0x20;
constexpr uint64_t kClassicLimit = 0xFFFFFFFF;
constexpr size_t kChunk = 64 * 1024;
// A central directory beyond this is not a jar anyone builds.
constexpr uint64_t kMaxCentralDirectory = 512ull * 1024 * 1024;

uint64_t get(const char* bytes, size_t width) {
  uint64_t value = 0;
  for (size_t i = 0; i < width; ++i) value |= static_cast<uint64_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
  return value;
}
uint16_t get16(const char* bytes) { return static_cast<uint16_t>(get(bytes, 2)); }
uint32_t get32(const char* bytes) { return static_cast<uint32_t>(get(bytes, 4)); }
uint64_t get64(const char* bytes) { return get(bytes, 8); }

void put(std::string& out, uint64_t value, size_t width) {
  for (size_t i = 0; i < width; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint32_t crcOf(uint32_t crc, const char* bytes, size_t count) {
  return static_cast<uint32_t>(crc32(crc, reinterpret_cast<const Bytef*>(bytes), static_cast<uInt>(count)));
}

bool hasNonAscii(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// DOS date and time of the archive's entries, in local time as zip tools show them.
void dosDateTime(std::time_t when, uint16_t& time, uint16_t& date) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &when);
#else
  localtime_r(&when, &local);
#endif
  if (local.tm_year < 80) {  // before 1980, which the format cannot hold: its start
    local.tm_year = 80;
    local.tm_mon = 0;
    local.tm_mday = 1;
    local.tm_hour = local.tm_min = local.tm_sec = 0;
  }
  time = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
  date = static_cast<uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
}

}  // namespace

bool ZipReader::readAt(uint64_t offset, void* destination, size_t count) {
  if (offset > fileSize_ || count > fileSize_ - offset) return false;
  in_.clear();
  in_.seekg(static_cast<std::streamoff>(offset));
  in_.read(static_cast<char*>(destination), static_cast<std::streamsize>(count));
  return static_cast<size_t>(in_.gcount()) == count;
}

bool ZipReader::open(const fs::path& path, std::string& error) {
  path_ = path;
  entries_.clear();
  const std::string name = displayPath(path);
  std::error_code ec;
  fileSize_ = fs::file_size(path, ec);
  in_.open(path, std::ios::binary);
  if (ec || !in_) {
    error = name + ": cannot open the file";
    return false;
  }
  auto damaged = [&](const std::string& what) {
    error = name + ": not a readable zip archive (" + what + ")";
    return false;
  };
  // The end record: the last signature within the largest comment's reach of the end.
  const uint64_t tailSize = std::min<uint64_t>(fileSize_, kEndSize + kMaxComment);
  std::string tail(static_cast<size_t>(tailSize), '\0');
  if (tailSize < kEndSize || !readAt(fileSize_ - tailSize, tail.data(), tail.size())) return damaged("too short");
  size_t end = std::string::npos;
  for (size_t i = tail.size() - kEndSize + 1; i-- > 0;)
    if (get32(tail.data() + i) == kEndSignature) {
      end = i;
      break;
    }
  if (end == std::string::npos) return damaged("no end of central directory");
  uint64_t count = get16(tail.data() + end + 10);
  uint64_t directorySize = get32(tail.data() + end + 12);
  uint64_t directoryOffset = get32(tail.data() + end + 16);
  // The central directory lies before the record that describes it.
  uint64_t directoryEnd = fileSize_ - tailSize + end;
  uint64_t prefix = 0;  // bytes before the archive, such as a script in front of a jar
  if (count == 0xFFFF || directorySize == kClassicLimit || directoryOffset == kClassicLimit) {
    char locator[20], record[56];
    if (directoryEnd < sizeof locator || !readAt(directoryEnd - sizeof locator, locator, sizeof locator) ||
        get32(locator) != kZip64LocatorSignature || !readAt(get64(locator + 8), record, sizeof record) ||
        get32(record) != kZip64EndSignature)
      return damaged("zip64 end record missing");
    directoryEnd = get64(locator + 8);
    count = get64(record + 32);
    directorySize = get64(record + 40);
    directoryOffset = get64(record + 48);
  } else if (directorySize <= directoryEnd && directoryEnd - directorySize > directoryOffset) {
    // The offsets count from the archive's start; java -jar runs such a file, so it is read.
    prefix = directoryEnd - directorySize - directoryOffset;
    directoryOffset += prefix;
  }
  if (directoryOffset > directoryEnd || directorySize > directoryEnd - directoryOffset ||
      directorySize > kMaxCentralDirectory || count > directorySize / kCentralHeaderSize)
    return damaged("central directory outside the file");
  std::string directory(static_cast<size_t>(directorySize), '\0');
  if (!readAt(directoryOffset, directory.data(), directory.size())) return damaged("central directory unreadable");
  size_t at = 0;
  for (uint64_t i = 0; i < count; ++i) {
    if (directory.size() - at < kCentralHeaderSize || get32(directory.data() + at) != kCentralHeaderSignature)
      return damaged("central directory entry " + std::to_string(i + 1));
    const char* header = directory.data() + at;
    ZipEntry entry;
    entry.method = get16(header + 10);
    entry.crc = get32(header + 16);
    entry.compressedSize = get32(header + 20);
    entry.size = get32(header + 24);
    const size_t nameLength = get16(header + 28), extraLength = get16(header + 30), commentLength = get16(header + 32);
    entry.localHeader = get32(header + 42);
    if (directory.size() - at - kCentralHeaderSize < nameLength + extraLength + commentLength)
      return damaged("central directory entry " + std::to_string(i + 1));
    entry.name.assign(header + kCentralHeaderSize, nameLength);
    // Values too large for their field are in the zip64 extra field, in this order.
    const char* extra = header + kCentralHeaderSize + nameLength;
    for (size_t e = 0; e + 4 <= extraLength;) {
      const uint16_t id = get16(extra + e), size = get16(extra + e + 2);
      if (e + 4 + size > extraLength) break;
      if (id == 0x0001) {
        size_t field = e + 4;
        for (uint64_t* value : {&entry.size, &entry.compressedSize, &entry.localHeader}) {
          if (*value != kClassicLimit) continue;
          if (field + 8 > e + 4 + size) return damaged("zip64 field of " + entry.name);
          *value = get64(extra + field);
          field += 8;
        }
      }
      e += 4 + size;
    }
    entry.localHeader += prefix;
    entries_.push_back(std::move(entry));
    at += kCentralHeaderSize + nameLength + extraLength + commentLength;
  }
  return true;
}

const ZipEntry* ZipReader::find(std::string_view name) const {
  for (const auto& entry : entries_)
    if (entry.name == name) return &entry;
  return nullptr;
}

bool ZipReader::read(const ZipEntry& entry, uint64_t maxSize, std::string& content, std::string& error) {
  const std::string where = displayPath(path_) + ": " + entry.name;
  auto damaged = [&](const std::string& what) {
    error = where + ": " + what;
    return false;
  };
  if (entry.size > maxSize) return damaged("larger than " + std::to_string(maxSize) + " bytes");
  if (entry.method != kStored && entry.method != kDeflated)
    return damaged("compression method " + std::to_string(entry.method) + " is not read here");
  char local[kLocalHeaderSize];
  if (!readAt(entry.localHeader, local, sizeof local) || get32(local) != kLocalHeaderSignature)
    return damaged("local header missing");
  uint64_t data = entry.localHeader + kLocalHeaderSize + get16(local + 26) + get16(local + 28);
  if (data > fileSize_ || entry.compressedSize > fileSize_ - data) return damaged("data outside the file");
  content.assign(static_cast<size_t>(entry.size), '\0');
  if (entry.method == kStored) {
    if (entry.compressedSize != entry.size || !readAt(data, content.data(), content.size()))
      return damaged("stored data unreadable");
  } else {
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return damaged("inflate cannot start");
    std::string chunk(kChunk, '\0');
    uint64_t consumed = 0;
    int rc = Z_OK;
    z.next_out = reinterpret_cast<Bytef*>(content.data());
    z.avail_out = static_cast<uInt>(content.size());
    while (rc == Z_OK && consumed < entry.compressedSize) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, entry.compressedSize - consumed));
      if (!readAt(data + consumed, chunk.data(), n)) break;
      consumed += n;
      z.next_in = reinterpret_cast<Bytef*>(chunk.data());
      z.avail_in = static_cast<uInt>(n);
      // More output than announced ends this with Z_BUF_ERROR: the buffer has no room left.
      while (rc == Z_OK && z.avail_in > 0) rc = inflate(&z, Z_NO_FLUSH);
    }
    if (rc == Z_OK) rc = inflate(&z, Z_FINISH);
    const bool complete = rc == Z_STREAM_END && z.total_out == entry.size;
    inflateEnd(&z);
    if (!complete) return damaged("deflated data damaged");
  }
  if (crcOf(0, content.data(), content.size()) != entry.crc) return damaged("CRC mismatch");
  return true;
}

bool ZipWriter::fail(const std::string& what, std::string& error) {
  error = displayPath(path_) + ": " + what;
  out_.close();
  return false;
}

bool ZipWriter::open(const fs::path& path, std::time_t modified, std::string& error) {
  path_ = path;
  written_.clear();
  dosDateTime(modified, dosTime_, dosDate_);
  out_.open(path, std::ios::binary | std::ios::trunc);
  return out_ || fail("cannot write the file", error);
}

bool ZipWriter::writeLocalHeader(const ZipEntry& entry, uint16_t flags) {
  std::string header;
  put(header, kLocalHeaderSignature, 4);
  put(header, kVersion, 2);
  put(header, flags, 2);
  put(header, entry.method, 2);
  put(header, dosTime_, 2);
  put(header, dosDate_, 2);
  put(header, entry.crc, 4);
  put(header, entry.compressedSize, 4);
  put(header, entry.size, 4);
  put(header, entry.name.size(), 2);
  put(header, 0, 2);
  header += entry.name;
  return static_cast<bool>(out_.write(header.data(), static_cast<std::streamsize>(header.size())));
}

bool ZipWriter::addDirectory(const std::string& name, std::string& error) {
  Written written{{name, kStored, 0, 0, 0, static_cast<uint64_t>(out_.tellp())}, true};
  if (written.entry.localHeader >= kClassicLimit) return fail("the archive would pass 4 GiB", error);
  if (!writeLocalHeader(written.entry, hasNonAscii(name) ? kUtf8Names : 0)) return fail("cannot write", error);
  written_.push_back(std::move(written));
  return true;
}

bool ZipWriter::addFile(const std::string& name, const fs::path& source, std::string& error) {
  std::ifstream in(source, std::ios::binary);
  if (!in) return fail("cannot read " + displayPath(source), error);
  Written written{{name, kDeflated, 0, 0, 0, static_cast<uint64_t>(out_.tellp())}, false};
  ZipEntry& entry = written.entry;
  if (entry.localHeader >= kClassicLimit) return fail("the archive would pass 4 GiB", error);
  const uint16_t flags = hasNonAscii(name) ? kUtf8Names : 0;
  if (!writeLocalHeader(entry, flags)) return fail("cannot write", error);

  z_stream z{};
  if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    return fail("deflate cannot start", error);
  std::string input(kChunk, '\0'), output(kChunk, '\0');
  bool ok = true;
  for (int flush = Z_NO_FLUSH; ok && flush != Z_FINISH;) {
    in.read(input.data(), static_cast<std::streamsize>(input.size()));
    const auto got = static_cast<size_t>(in.gcount());
    if (in.bad()) {
      ok = false;
      break;
    }
    flush = in.eof() ? Z_FINISH : Z_NO_FLUSH;
    entry.crc = crcOf(entry.crc, input.data(), got);
    entry.size += got;
    z.next_in = reinterpret_cast<Bytef*>(input.data());
    z.avail_in = static_cast<uInt>(got);
    do {
      z.next_out = reinterpret_cast<Bytef*>(output.data());
      z.avail_out = static_cast<uInt>(output.size());
      deflate(&z, flush);
      const size_t produced = output.size() - z.avail_out;
      entry.compressedSize += produced;
      ok = static_cast<bool>(out_.write(output.data(), static_cast<std::streamsize>(produced)));
    } while (ok && z.avail_out == 0);
  }
  deflateEnd(&z);
  if (!ok) return fail("cannot copy " + displayPath(source) + " into the archive", error);
  // 0xFFFFFFFF itself means "in the zip64 field" to a reader.
  if (entry.size >= kClassicLimit || entry.compressedSize >= kClassicLimit)
    return fail(displayPath(source) + " is larger than 4 GiB, beyond a classic zip archive", error);
  // The header written first held zeros for what only the data could tell.
  const auto end = out_.tellp();
  std::string patch;
  put(patch, entry.crc, 4);
  put(patch, entry.compressedSize, 4);
  put(patch, entry.size, 4);
  out_.seekp(static_cast<std::streamoff>(entry.localHeader + 14));
  if (!out_.write(patch.data(), static_cast<std::streamsize>(patch.size())) || !out_.seekp(end))
    return fail("cannot write", error);
  written_.push_back(std::move(written));
  return true;
}

bool ZipWriter::finish(std::string& error) {
  if (written_.size() > 0xFFFF) return fail("more than 65535 entries, beyond a classic zip archive", error);
  const auto directoryOffset = static_cast<uint64_t>(out_.tellp());
  std::string directory;
  for (const auto& [entry, folder] : written_) {
    put(directory, kCentralHeaderSignature, 4);
    put(directory, kVersion, 2);  // made by: MS-DOS attributes, version 2.0
    put(directory, kVersion, 2);
    put(directory, hasNonAscii(entry.name) ? kUtf8Names : 0, 2);
    put(directory, entry.method, 2);
    put(directory, dosTime_, 2);
    put(directory, dosDate_, 2);
    put(directory, entry.crc, 4);
    put(directory, entry.compressedSize, 4);
    put(directory, entry.size, 4);
    put(directory, entry.name.size(), 2);
    put(directory, 0, 2);  // extra
    put(directory, 0, 2);  // comment
    put(directory, 0, 2);  // disk
    put(directory, 0, 2);  // internal attributes
    put(directory, folder ? kFolderAttribute : kArchiveAttribute, 4);
    put(directory, entry.localHeader, 4);
    directory += entry.name;
  }
  const size_t directorySize = directory.size();
  if (directoryOffset + directorySize >= kClassicLimit) return fail("the archive would pass 4 GiB", error);
  put(directory, kEndSignature, 4);
  put(directory, 0, 2);
  put(directory, 0, 2);
  put(directory, written_.size(), 2);
  put(directory, written_.size(), 2);
  put(directory, directorySize, 4);
  put(directory, directoryOffset, 4);
  put(directory, 0, 2);
  if (!out_.write(directory.data(), static_cast<std::streamsize>(directory.size()))) return fail("cannot write", error);
  out_.close();
  if (!out_) return fail("cannot write", error);
  return true;
}

}  // namespace vkr::gen
