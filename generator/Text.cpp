#include "Text.h"

#include "core/Text.h"

#include <cstdint>
#include <cstdio>

namespace vkr::gen {
namespace {

std::string codePointName(char32_t c) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
  return buffer;
}

// Decodes one UTF-8 sequence at i; false for malformed input (overlong forms and
// surrogates included, as TOML parsers already refuse them).
bool decodeUtf8(const std::string& s, size_t& i, char32_t& c) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char b = byte(i);
  size_t extra;
  char32_t minimum;
  if (b < 0x80) {
    c = b;
    ++i;
    return true;
  } else if ((b & 0xE0) == 0xC0) {
    extra = 1, c = b & 0x1F, minimum = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    extra = 2, c = b & 0x0F, minimum = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    extra = 3, c = b & 0x07, minimum = 0x10000;
  } else {
    return false;
  }
  if (i + extra >= s.size()) return false;
  for (size_t k = 1; k <= extra; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return false;
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
  i += extra + 1;
  return true;
}


}  // namespace

std::filesystem::path pathFromUtf8(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string displayPath(const std::filesystem::path& path) {
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

bool utf8ToLatin1(const std::string& utf8, std::string& latin1, std::string& error) {
  latin1.clear();
  for (size_t i = 0; i < utf8.size();) {
    char32_t c;
    if (!decodeUtf8(utf8, i, c)) {
      error = "the text is not valid UTF-8";
      return false;
    }
    if (c > 0xFF) {
      error = "character " + codePointName(c) +
              " cannot be stored: configuration texts are ISO-8859-1 (up to U+00FF)";
      return false;
    }
    latin1 += static_cast<char>(c);
  }
  return true;
}

std::string latin1ToUtf8(const std::string& latin1) {
  std::string out;
  for (unsigned char b : latin1) appendUtf8(out, b);
  return out;
}

bool utf8ToUtf16(const std::string& utf8, std::u16string& utf16, std::string& error) {
  utf16.clear();
  for (size_t i = 0; i < utf8.size();) {
    char32_t c;
    if (!decodeUtf8(utf8, i, c)) {
      error = "the text is not valid UTF-8";
      return false;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      utf16 += static_cast<char16_t>(0xD800 | (c >> 10));
      utf16 += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
    } else {
      utf16 += static_cast<char16_t>(c);
    }
  }
  return true;
}

bool utf16ToUtf8(const std::u16string& utf16, std::string& utf8, std::string& error) {
  utf8.clear();
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      error = "unpaired surrogate " + codePointName(c) + " at code unit " + std::to_string(i);
      return false;
    }
    appendUtf8(utf8, c);
  }
  return true;
}

std::string tomlQuote(const std::string& utf8) {
  std::string out = "\"";
  for (size_t i = 0; i < utf8.size();) {
    size_t start = i;
    char32_t c;
    if (!decodeUtf8(utf8, i, c)) {  // callers pass valid UTF-8; keep going regardless
      c = 0xFFFD;
      i = start + 1;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default:
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
          out += buffer;
        } else {
          appendUtf8(out, c);
        }
    }
  }
  return out + "\"";
}

}  // namespace vkr::gen
