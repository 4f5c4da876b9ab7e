#include "SettingChecks.h"

#include <climits>
#include <cstdio>
#include <vector>

#include "Text.h"
#include "core/JavaVersion.h"

namespace vkr::gen {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isVersionSeparator(char c) { return c == '.' || c == '_' || c == '-' || c == '+'; }

// Built by appending: GCC 12 warns falsely (-Wrestrict) about "\"" + text + "\"".
std::string quoted(const std::string& latin1) {
  std::string out = "\"";
  out += latin1ToUtf8(latin1);
  out += '"';
  return out;
}

std::string codePoint(unsigned char c) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
  return buffer;
}

// Identifier characters of a Java name; any character beyond ASCII is left to the JVM (the
// check is here for the common slips: slashes, blanks, file names, empty parts).
bool isIdentifierPart(char c) {
  auto u = static_cast<unsigned char>(c);
  return u >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c) || c == '_' || c == '$';
}

bool isDottedName(const std::string& name) {
  if (name.empty()) return false;
  bool atStart = true;
  for (char c : name) {
    if (c == '.') {
      if (atStart) return false;
      atStart = true;
    } else if (!isIdentifierPart(c) || (atStart && isDigit(c))) {
      return false;
    } else {
      atStart = false;
    }
  }
  return !atStart;
}

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

size_t firstNonAscii(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i)
    if (static_cast<unsigned char>(text[i]) >= 0x80) return i;
  return std::string::npos;
}

}  // namespace

bool checkAnsiPath(const std::string& text, std::string& why) {
  size_t at = firstNonAscii(text);
  if (at == std::string::npos) return true;
  why = quoted(text) + " holds the non-ASCII character " + codePoint(static_cast<unsigned char>(text[at])) +
        ": the launcher reads this setting as a path in the ANSI code page, so on a machine "
        "with another code page the same byte names another file";
  return false;
}

bool checkVersionText(const std::string& text, std::string& why) {
  if (text.empty()) return true;
  bool expectDigit = true;
  long long piece = 0;
  std::vector<long long> pieces;
  for (char c : text) {
    if (isDigit(c)) {
      piece = piece * 10 + (c - '0');
      if (piece > INT_MAX) {
        why = quoted(text) + " holds a number beyond what the launcher's version rules read "
              "(2147483647)";
        return false;
      }
      expectDigit = false;
    } else if (isVersionSeparator(c) && !expectDigit) {
      pieces.push_back(piece);
      piece = 0;
      expectDigit = true;
    } else {
      why = quoted(text) + " is not a version the launcher can read: write numbers separated "
            "by \".\", \"_\", \"-\" or \"+\", as in \"1.8\", \"11\" or \"17.0.2\" (the launcher "
            "reads anything else as 0)";
      return false;
    }
  }
  if (expectDigit) {
    why = quoted(text) + " ends with a separator: write numbers separated by \".\", \"_\", "
          "\"-\" or \"+\", as in \"1.8\", \"11\" or \"17.0.2\"";
    return false;
  }
  pieces.push_back(piece);
  // Runtimes up to Java 8 report 1.N (1.8.0_292): a bound "8" would refuse Java 8 itself.
  if (pieces.front() >= 2 && pieces.front() <= 8) {
    std::string n = std::to_string(pieces.front());
    why = quoted(text) + " would refuse Java " + n + " itself: Java " + n +
          " reports its version as 1." + n + " (as in 1.8.0_292), so write \"1." + n + "\"";
    return false;
  }
  return true;
}

bool checkVersionRange(const std::string& minimum, const std::string& maximum, std::string& why) {
  VersionComponents low = parseVersion(minimum), high = parseVersion(maximum);
  if (low.empty() || high.empty()) return true;
  // The bounds compare component by component up to the shorter one's length (a maximum
  // "11" accepts 11.0.2); nothing fits only when the first difference puts the minimum above.
  for (size_t i = 0; i < low.size() && i < high.size(); ++i) {
    if (low[i] < high[i]) return true;
    if (low[i] > high[i]) {
      why = "no Java version is at least " + quoted(minimum) + " and at most " + quoted(maximum) +
            ": the launcher would accept no runtime";
      return false;
    }
  }
  return true;
}

bool checkServiceName(const std::string& name, std::string& why) {
  // CreateService: at most 256 characters, no "/" or "\".
  constexpr size_t kMaxServiceName = 256;
  if (name.find_first_not_of(' ') == std::string::npos) {
    why = "the service needs a name";
    return false;
  }
  if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) {
    why = quoted(name) + " holds \"/\" or \"\\\", which the service manager refuses in a service name";
    return false;
  }
  if (name.size() > kMaxServiceName) {
    why = "the name has " + std::to_string(name.size()) +
          " characters; the service manager accepts at most 256";
    return false;
  }
  return true;
}

bool checkMainClass(const std::string& name, bool moduleMode, std::string& why) {
  if (name.find_first_not_of(' ') == std::string::npos) {
    why = "the application needs a main class, such as \"com.example.Main\"";
    return false;
  }
  if (endsWith(name, ".class") || endsWith(name, ".java")) {
    why = quoted(name) + " names a file: give the class name, such as \"com.example.Main\"";
    return false;
  }
  size_t slash = name.find('/');
  if (moduleMode) {
    if (slash == std::string::npos || !isDottedName(name.substr(0, slash)) ||
        !isDottedName(name.substr(slash + 1))) {
      why = quoted(name) + " is not of the form \"module/class\" that java.module-mode needs, "
            "such as \"com.example.app/com.example.app.Main\"";
      return false;
    }
    return true;
  }
  if (slash != std::string::npos) {
    why = quoted(name) + " holds \"/\": write the class name with dots, such as "
          "\"com.example.Main\" (\"module/class\" needs java.module-mode)";
    return false;
  }
  if (!isDottedName(name)) {
    why = quoted(name) + " is not a Java class name, such as \"com.example.Main\"";
    return false;
  }
  return true;
}

bool checkVariableName(const std::string& name, std::string& why) {
  if (name.empty()) {
    why = "an environment variable needs a name";
    return false;
  }
  if (name.find('=') != std::string::npos || name.find(';') != std::string::npos) {
    why = quoted(name) + " is not an environment variable name (\"=\" and \";\" cannot be part of one)";
    return false;
  }
  size_t at = firstNonAscii(name);
  if (at != std::string::npos) {
    why = quoted(name) + " holds the non-ASCII character " + codePoint(static_cast<unsigned char>(name[at])) +
          ": the launcher looks the variable up in the ANSI code page, where that byte is another "
          "character on a machine with another code page";
    return false;
  }
  return true;
}

}  // namespace vkr::gen
