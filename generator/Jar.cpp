#include "Jar.h"

#include <algorithm>

#include "Zip.h"
#include "core/Text.h"

namespace vkr::gen {
namespace {

// A manifest is a few kilobytes; a class file's header is its first bytes, but the entry is
// read whole, and a generous bound keeps a hostile jar from asking for gigabytes.
constexpr uint64_t kMaxManifest = 1024 * 1024;
constexpr uint64_t kMaxClassFile = 64 * 1024 * 1024;
constexpr int kFirstClassFileMajor = 45;  // Java 1.1
constexpr int kJava8ClassFileMajor = 52;
// Later releases keep counting one major per release; beyond this the header is no class file's.
constexpr int kLastKnownClassFileMajor = 255;

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string percentDecoded(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::string manifestAttribute(const std::string& manifest, const std::string& name) {
  // Lines end with CR LF, LF or CR; a line that starts with one blank continues the one
  // before; the main section ends at the first empty line.
  std::vector<std::string> lines;
  for (size_t i = 0; i < manifest.size();) {
    size_t end = manifest.find_first_of("\r\n", i);
    if (end == std::string::npos) end = manifest.size();
    std::string line = manifest.substr(i, end - i);
    i = end;
    if (i < manifest.size() && manifest[i] == '\r') ++i;
    if (i < manifest.size() && manifest[i] == '\n') ++i;
    if (line.empty()) break;
    if (line[0] == ' ' && !lines.empty()) lines.back() += line.substr(1);
    else lines.push_back(line);
  }
  for (const auto& line : lines) {
    const size_t colon = line.find(": ");
    if (colon == std::string::npos || colon != name.size()) continue;
    if (!startsWithIgnoringAsciiCase<char>(line, name)) continue;
    return line.substr(colon + 2);
  }
  return {};
}

std::vector<std::string> manifestClassPath(const std::string& value) {
  std::vector<std::string> entries;
  for (const auto& piece : splitList(value, ' ')) entries.push_back(percentDecoded(piece));
  return entries;
}

std::string javaVersionForClassFile(int major) {
  if (major < kFirstClassFileMajor || major > kLastKnownClassFileMajor) return {};
  if (major <= kJava8ClassFileMajor) return "1." + std::to_string(major - kFirstClassFileMajor + 1);
  return std::to_string(major - 44);
}

bool readJarFacts(const std::filesystem::path& jar, JarFacts& facts, std::string& error) {
  facts = JarFacts{};
  ZipReader zip;
  if (!zip.open(jar, error)) return false;
  const ZipEntry* manifestEntry = zip.find("META-INF/MANIFEST.MF");
  if (!manifestEntry) return true;
  std::string manifest;
  if (!zip.read(*manifestEntry, kMaxManifest, manifest, error)) return false;
  std::string mainClass = manifestAttribute(manifest, "Main-Class");
  // Trailing blanks are a common slip in hand-written manifests; the JVM trims them too.
  while (!mainClass.empty() && (mainClass.back() == ' ' || mainClass.back() == '\t')) mainClass.pop_back();
  facts.mainClass = mainClass;
  facts.classPath = manifestClassPath(manifestAttribute(manifest, "Class-Path"));
  if (facts.mainClass.empty()) return true;
  std::string classFile = facts.mainClass;
  std::replace(classFile.begin(), classFile.end(), '.', '/');
  const ZipEntry* classEntry = zip.find(classFile + ".class");
  std::string bytes, ignored;
  // A class that cannot be read leaves the version open: the jar may still be fine.
  if (classEntry && zip.read(*classEntry, kMaxClassFile, bytes, ignored) && bytes.size() >= 8 &&
      bytes.compare(0, 4, "\xCA\xFE\xBA\xBE") == 0)
    facts.classFileMajor = static_cast<unsigned char>(bytes[6]) << 8 | static_cast<unsigned char>(bytes[7]);
  return true;
}

}  // namespace vkr::gen
