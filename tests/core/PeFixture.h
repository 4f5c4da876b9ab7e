// Hand-made PE images for the block format tests: only the fields the generator and the
// launcher look at are filled in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vkr::test {

struct SectionShape {
  uint32_t rawOffset;
  uint32_t rawSize;
};

struct PeShape {
  std::vector<SectionShape> sections = {{0x200, 0x200}, {0x400, 0x100}};
  uint32_t symbolTable = 0;       // PointerToSymbolTable
  uint32_t certificateTable = 0;  // file offset in the security directory entry
  uint32_t certificateSize = 0;
  size_t fileSize = 0x500;        // zero-filled up to here (section bytes get a pattern)
};

inline void put16(std::string& b, size_t at, uint32_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

inline void put32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

inline uint32_t get32(const std::string& b, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

constexpr size_t kPeOffset = 0x40;
constexpr size_t kOptionalSize = 240;

inline std::string makePe(const PeShape& shape) {
  std::string b(shape.fileSize, '\0');
  b[0] = 'M';
  b[1] = 'Z';
  put32(b, 60, kPeOffset);
  b.replace(kPeOffset, 4, std::string("PE\0\0", 4));
  put16(b, kPeOffset + 4, 0x8664);
  put16(b, kPeOffset + 6, static_cast<uint32_t>(shape.sections.size()));
  put32(b, kPeOffset + 12, shape.symbolTable);
  put32(b, kPeOffset + 16, shape.symbolTable ? 7 : 0);
  put16(b, kPeOffset + 20, kOptionalSize);
  size_t optional = kPeOffset + 24;
  put16(b, optional, 0x20b);
  put32(b, optional + 108, 16);
  put32(b, optional + 112 + 32, shape.certificateTable);
  put32(b, optional + 112 + 36, shape.certificateSize);
  size_t table = optional + kOptionalSize;
  for (size_t i = 0; i < shape.sections.size(); ++i) {
    size_t h = table + 40 * i;
    b.replace(h, 5, ".sec" + std::to_string(i));
    put32(b, h + 16, shape.sections[i].rawSize);
    put32(b, h + 20, shape.sections[i].rawOffset);
    for (size_t at = shape.sections[i].rawOffset;
         at < b.size() && at < size_t{shape.sections[i].rawOffset} + shape.sections[i].rawSize; ++at)
      b[at] = static_cast<char>(0x11 + i);
  }
  return b;
}

}  // namespace vkr::test
