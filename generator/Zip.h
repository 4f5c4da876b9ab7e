// Zip archives, as far as the generator needs them: reading single entries of a jar (its
// manifest, a class file's header) and writing the folder `vkrgen package` lays out.
// Deflate comes from zlib; the container format is here.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace vkr::gen {

struct ZipEntry {
  std::string name;  // as stored: "/"-separated, UTF-8 or the archive's own code page
  uint16_t method = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t size = 0;
  uint64_t localHeader = 0;
};

class ZipReader {
 public:
  // Reads the central directory (zip64 included); error names the file and the fault.
  bool open(const std::filesystem::path& path, std::string& error);
  const std::vector<ZipEntry>& entries() const { return entries_; }
  const ZipEntry* find(std::string_view name) const;
  // An entry's bytes, stored or deflated, checked against its CRC. Entries larger than
  // maxSize are refused before anything is inflated: a jar is not trusted input.
  bool read(const ZipEntry& entry, uint64_t maxSize, std::string& content, std::string& error);

 private:
  bool readAt(uint64_t offset, void* destination, size_t count);

  std::filesystem::path path_;
  std::ifstream in_;
  uint64_t fileSize_ = 0;
  std::vector<ZipEntry> entries_;
};

// Writes entries one after another, each deflated while it streams from its file; the
// local header is completed once the entry's CRC and sizes are known. Archives beyond the
// classic format's limits (4 GiB, 65535 entries) are refused rather than written as zip64.
class ZipWriter {
 public:
  bool open(const std::filesystem::path& path, std::time_t modified, std::string& error);
  // name: "/"-separated, UTF-8; a folder's name ends with "/".
  bool addDirectory(const std::string& name, std::string& error);
  bool addFile(const std::string& name, const std::filesystem::path& source, std::string& error);
  bool finish(std::string& error);

 private:
  struct Written {
    ZipEntry entry;
    bool directory = false;
  };
  bool writeLocalHeader(const ZipEntry& entry, uint16_t flags);
  bool fail(const std::string& what, std::string& error);

  std::filesystem::path path_;
  std::ofstream out_;
  uint16_t dosTime_ = 0;
  uint16_t dosDate_ = 0;
  std::vector<Written> written_;
};

}  // namespace vkr::gen
