#include "SettingForms.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>

#include "SettingChecks.h"
#include "Text.h"
#include "core/ServiceOperations.h"
#include "core/Text.h"
#include "core/Tokenizer.h"

namespace vkr::gen {
namespace {

constexpr std::array<const char*, 4> kPathElementKinds = {"path", "directory", "scan", "env"};
constexpr std::array<const char*, 3> kSearchStepKinds = {"bundled", "home", "env"};

struct DurationUnit {
  const char* name;
  uint64_t milliseconds;
};
// Largest first: durationText takes the first that divides a duration.
constexpr std::array<DurationUnit, 5> kDurationUnits = {
    {{"d", 86400000}, {"h", 3600000}, {"min", 60000}, {"s", 1000}, {"ms", 1}}};

// Indexed by the launcher's ServiceAccount numbers.
constexpr std::array<const char*, 4> kAccountNames = {"local-system", "local-service", "network-service", "virtual"};

// Variables the launcher replaces itself; "${QUENTA_EXEDIR}" is a place, not an environment
// variable, so it stays a path.
constexpr std::array<const char*, 8> kBuiltInNames = {
    "QUENTA_EXEDIR",  "VELKOR_EXEDIR",  "QUENTA_TEMPDIR",           "VELKOR_TEMPDIR",
    "QUENTA_JVM_HOME", "VELKOR_JVM_HOME", "QUENTA_PATHLIST_SEPARATOR", "VELKOR_PATHLIST_SEPARATOR"};

// Built by appending: GCC 12 warns falsely (-Wrestrict) about "\"" + text + "\"".
std::string quoted(const std::string& latin1) {
  std::string out = "\"";
  out += latin1ToUtf8(latin1);
  out += '"';
  return out;
}
std::string tomlText(const std::string& latin1) { return tomlQuote(latin1ToUtf8(latin1)); }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && startsWithIgnoringAsciiCase(a, b);
}

// "${NAME}" standing alone for an environment variable: the name as the launcher's "${%s}"
// references take it (no braces, no built-in place, no "launcher:" form).
std::optional<std::string> variableReference(const std::string& text) {
  if (text.size() < 4 || text.compare(0, 2, "${") != 0 || text.back() != '}') return std::nullopt;
  std::string name = text.substr(2, text.size() - 3);
  if (name.empty() || name.find_first_of("${}:=;") != std::string::npos) return std::nullopt;
  for (const char* builtIn : kBuiltInNames)
    if (name == builtIn) return std::nullopt;
  return name;
}

// Class path: "dir\*", "dir/*" or "*" for a scanned folder.
std::optional<std::string> scannedFolder(const std::string& text) {
  if (text == "*") return std::string(".");
  if (text.size() >= 3 && text.back() == '*' && (text[text.size() - 2] == '\\' || text[text.size() - 2] == '/'))
    return text.substr(0, text.size() - 2);
  return std::nullopt;
}

bool isPathLetterCode(const std::string& text) {
  return text.size() >= 3 && std::string_view("ADES").find(text[0]) != std::string_view::npos &&
         (text[1] == '0' || text[1] == '1');
}

// The stored entry: letter, "1" or "0", name; the name must survive any code page.
bool storePathElement(char letter, const std::string& name, bool required, std::string& stored,
                      std::string& why) {
  if (letter == 'E') {
    if (!checkVariableName(name, why)) return false;
  } else {
    if (name.empty()) {
      why = "the element needs a path";
      return false;
    }
    if (!checkAnsiPath(name, why)) return false;
  }
  stored = std::string(1, letter) + (required ? "1" : "0") + name;
  return true;
}

std::string elementTable(const char* kind, const std::string& value, bool required) {
  return std::string("{ ") + kind + " = " + tomlText(value) + (required ? ", required = true }" : " }");
}

template <class Reader>
bool readsBackAs(Reader read, const std::string& stored) {
  std::string back, why;
  return read(back, why) && back == stored;
}

}  // namespace

std::span<const char* const> pathElementKinds() { return kPathElementKinds; }
std::span<const char* const> searchStepKinds() { return kSearchStepKinds; }

bool pathElementFromText(const std::string& text, std::string& stored, std::string& why) {
  if (text.empty()) {  // an empty piece, which the launcher skips (files written before)
    stored.clear();
    return true;
  }
  if (isPathLetterCode(text)) return storePathElement(text[0], text.substr(2), text[1] == '1', stored, why);
  if (auto name = variableReference(text)) return storePathElement('E', *name, false, stored, why);
  if (auto folder = scannedFolder(text)) return storePathElement('S', *folder, false, stored, why);
  if (text.find_first_of("*?") != std::string::npos) {
    why = quoted(text) + ": the launcher expands no wildcards in a path; \"lib\\\\*\" (a folder and "
          "\"\\\\*\" at the end) takes every .jar and .zip file of the folder";
    return false;
  }
  return storePathElement('A', text, false, stored, why);
}

bool pathElementFromTable(const ElementTable& table, std::string& stored, std::string& why) {
  const char letter = table.kind == "path" ? 'A' : table.kind == "directory" ? 'D' : table.kind == "scan" ? 'S'
                    : table.kind == "env"  ? 'E' : '\0';
  if (letter == '\0') {
    why = "unknown class path form \"" + table.kind + "\": use path, directory, scan or env";
    return false;
  }
  return storePathElement(letter, table.value, table.required, stored, why);
}

std::optional<std::string> pathElementToml(const std::string& stored) {
  if (stored.empty()) return std::string("\"\"");
  if (!isPathLetterCode(stored)) return std::nullopt;
  const char letter = stored[0];
  const bool required = stored[1] == '1';
  const std::string name = stored.substr(2);
  std::vector<std::string> texts;  // shorter forms first
  if (!required && letter == 'A') texts.push_back(name);
  if (!required && letter == 'S') texts.push_back(name + "\\*");
  if (!required && letter == 'E') texts.push_back("${" + name + "}");
  for (const auto& text : texts)
    if (readsBackAs([&](std::string& s, std::string& w) { return pathElementFromText(text, s, w); }, stored))
      return tomlText(text);
  const char* kind = letter == 'A' ? "path" : letter == 'D' ? "directory" : letter == 'S' ? "scan" : "env";
  ElementTable table{kind, name, required};
  if (readsBackAs([&](std::string& s, std::string& w) { return pathElementFromTable(table, s, w); }, stored))
    return elementTable(kind, name, required);
  return std::nullopt;
}

bool searchStepFromText(const std::string& text, std::string& stored, std::string& why) {
  if (text.empty()) {  // the shipped list ends with ";": an empty step, skipped
    stored.clear();
    return true;
  }
  if (equalsIgnoringCase(text, "registry")) {
    stored.assign(1, 'Y');  // not `= "Y"`: GCC 12 warns falsely (-Wrestrict) there
    return true;
  }
  if (equalsIgnoringCase(text, "path")) {
    stored.assign(1, 'S');
    return true;
  }
  if (auto name = variableReference(text)) return searchStepFromTable({"env", *name, false}, stored, why);
  for (const char* kind : kSearchStepKinds) {
    // "Bundled" would otherwise read as the letter code B with the folder "undled".
    if (equalsIgnoringCase(text, kind)) {
      why = std::string("the step ") + quoted(text) + " needs a value, as in { " + kind + " = " +
            (std::string(kind) == "env" ? "\"JAVA_HOME\"" : "\"jre\"") + " }";
      return false;
    }
  }
  switch (text[0]) {
    case 'A':
    case 'B':
    case 'R':
      if (!checkAnsiPath(text.substr(1), why)) return false;
      stored = text;
      return true;
    case 'E':
      if (!checkVariableName(text.substr(1), why)) return false;
      stored = text;
      return true;
    case 'S':
    case 'Y':  // the launcher reads nothing behind these letters
      stored = text;
      return true;
    default:
      why = "unknown search step " + quoted(text) +
            ": use { bundled = \"FOLDER\" }, { home = \"FOLDER\" }, { env = \"NAME\" }, \"registry\" or \"path\"";
      return false;
  }
}

bool searchStepFromTable(const ElementTable& table, std::string& stored, std::string& why) {
  if (table.kind == "env") {
    if (!checkVariableName(table.value, why)) return false;
    stored = "E" + table.value;
    return true;
  }
  if (table.kind != "bundled" && table.kind != "home") {
    why = "unknown search step \"" + table.kind + "\": use bundled, home or env";
    return false;
  }
  if (table.value.empty()) {
    why = "the step needs a folder";
    return false;
  }
  if (!checkAnsiPath(table.value, why)) return false;
  stored = (table.kind == "bundled" ? "B" : "A") + table.value;
  return true;
}

std::optional<std::string> searchStepToml(const std::string& stored) {
  auto fromText = [&](const std::string& text) {
    return readsBackAs([&](std::string& s, std::string& w) { return searchStepFromText(text, s, w); }, stored);
  };
  if (stored == "Y" || stored == "S") return tomlText(stored == "Y" ? "registry" : "path");
  if (!stored.empty()) {
    const char* kind = stored[0] == 'B' ? "bundled" : stored[0] == 'A' ? "home" : stored[0] == 'E' ? "env" : nullptr;
    ElementTable table{kind ? kind : "", stored.substr(1), false};
    if (kind && readsBackAs([&](std::string& s, std::string& w) { return searchStepFromTable(table, s, w); }, stored))
      return elementTable(kind, table.value, false);
  }
  if (fromText(stored)) return tomlText(stored);
  return std::nullopt;
}

bool joinOptions(const std::vector<std::string>& options, std::string& stored, size_t& failedIndex,
                 std::string& why) {
  stored.clear();
  for (size_t i = 0; i < options.size(); ++i) {
    const std::string& option = options[i];
    const bool doubleQuote = option.find('"') != std::string::npos;
    const bool singleQuote = option.find('\'') != std::string::npos;
    failedIndex = i;
    if (option.empty()) {
      why = "an empty element would reach the program as an empty option";
      return false;
    }
    if (doubleQuote && singleQuote) {
      why = quoted(option) + " holds both \" and ': the launcher's tokenizer cannot read that back "
            "as one element";
      return false;
    }
    const char quote = doubleQuote ? '\'' : '"';
    if (i != 0) stored += ' ';
    stored += quote + option + quote;
  }
  return true;
}

std::optional<std::vector<std::string>> splitOptions(const std::string& stored) {
  ArgumentVector tokens;
  tokenizeCommandLine(widenBytes(stored), tokens);
  std::vector<std::string> options;
  for (const auto& token : tokens) {
    std::string option;
    for (wchar_t unit : token) option += static_cast<char>(static_cast<unsigned char>(unit));
    options.push_back(std::move(option));
  }
  std::string joined, why;
  size_t failed = 0;
  if (!joinOptions(options, joined, failed, why) || joined != stored) return std::nullopt;
  return options;
}

bool kindFromParts(const KindParts& parts, int32_t& kind, KindPart& blame, std::string& why) {
  const bool messageBox = parts.errors == ErrorDisplay::MessageBox;
  if (parts.windowed && !messageBox) {
    blame = KindPart::Windowed;
    why = "a windowed launcher shows its errors in message boxes: set launcher.errors = \"message-box\"";
    return false;
  }
  if (parts.start == StartType::Automatic) {
    if (messageBox) {
      blame = KindPart::Errors;
      why = "message boxes and automatic start cannot be combined: the launcher registers an "
            "automatic-start service only for the kind that shows its errors on the console; set "
            "service.start = \"demand\" or launcher.errors = \"console\"";
      return false;
    }
    kind = 4;
    return true;
  }
  kind = !messageBox ? 0 : parts.windowed ? 1 : 5;
  return true;
}

std::optional<KindParts> kindParts(const std::string& stored) {
  if (stored == "4") return KindParts{StartType::Automatic, ErrorDisplay::Console, false};
  if (stored == "0") return KindParts{StartType::Demand, ErrorDisplay::Console, false};
  if (stored == "5") return KindParts{StartType::Demand, ErrorDisplay::MessageBox, false};
  if (stored == "1") return KindParts{StartType::Demand, ErrorDisplay::MessageBox, true};
  return std::nullopt;
}

bool durationFromText(const std::string& text, uint64_t& milliseconds, std::string& why) {
  size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  const std::string unit = text.substr(digits);
  const auto* found = std::find_if(kDurationUnits.begin(), kDurationUnits.end(),
                                   [&](const DurationUnit& u) { return unit == u.name; });
  // Ten digits keep every unit's product far inside 64 bits.
  if (digits == 0 || digits > 10 || found == kDurationUnits.end()) {
    why = quoted(text) + " is not a duration: write a whole number and a unit, as in \"30s\", \"2min\", "
          "\"1h\", \"1d\" or \"500ms\"";
    return false;
  }
  milliseconds = std::stoull(text.substr(0, digits)) * found->milliseconds;
  return true;
}

std::string durationText(uint64_t milliseconds) {
  for (const auto& unit : kDurationUnits)
    if (milliseconds % unit.milliseconds == 0 && (milliseconds != 0 || unit.milliseconds == 1000))
      return std::to_string(milliseconds / unit.milliseconds) + unit.name;
  return std::to_string(milliseconds) + "ms";
}

bool restartDelaysFromList(const std::vector<std::string>& delays, std::string& stored, size_t& failedIndex,
                           std::string& why) {
  failedIndex = 0;
  if (delays.empty() || delays.size() > kMaxRestartSteps) {
    failedIndex = delays.empty() ? 0 : kMaxRestartSteps;
    why = "give 1 to " + std::to_string(kMaxRestartSteps) +
          " delays (the service manager restarts the service after each failure, then leaves it stopped "
          "until the failures are counted from zero again)";
    return false;
  }
  std::vector<uint32_t> milliseconds;
  for (size_t i = 0; i < delays.size(); ++i) {
    failedIndex = i;
    uint64_t value = 0;
    if (!durationFromText(delays[i], value, why)) return false;
    if (value > kMaxRestartDelayMs) {
      why = quoted(delays[i]) + ": a restart waits at most a day";
      return false;
    }
    milliseconds.push_back(static_cast<uint32_t>(value));
  }
  stored = restartDelaysText(milliseconds);
  return true;
}

std::optional<std::vector<std::string>> restartDelaysTexts(const std::string& stored) {
  const auto delays = parseRestartDelays(stored);
  if (!delays || restartDelaysText(*delays) != stored) return std::nullopt;
  std::vector<std::string> texts;
  for (uint32_t delay : *delays) texts.push_back(durationText(delay));
  return texts;
}

bool resetPeriodFromText(const std::string& text, std::string& stored, std::string& why) {
  uint64_t milliseconds = 0;
  if (!durationFromText(text, milliseconds, why)) return false;
  // The launcher reads the seconds as a 32-bit number.
  if (milliseconds % 1000 != 0 || milliseconds / 1000 > static_cast<uint64_t>(INT32_MAX)) {
    why = quoted(text) + ": the service manager counts the reset period in whole seconds, up to " +
          std::to_string(INT32_MAX) + "s";
    return false;
  }
  stored = std::to_string(milliseconds / 1000);
  return true;
}

std::optional<std::string> resetPeriodText(const std::string& stored) {
  if (stored.empty() || stored.size() > 10 || stored.find_first_not_of("0123456789") != std::string::npos ||
      (stored.size() > 1 && stored[0] == '0'))
    return std::nullopt;
  const uint64_t seconds = std::stoull(stored);
  if (seconds > static_cast<uint64_t>(INT32_MAX)) return std::nullopt;
  return durationText(seconds * 1000);
}

bool accountFromName(const std::string& name, std::string& stored, std::string& why) {
  for (size_t i = 0; i < kAccountNames.size(); ++i) {
    if (name == kAccountNames[i]) {
      stored = std::to_string(i);
      return true;
    }
  }
  why = quoted(name) + " is not an account the service can run as without a password: use \"local-system\", "
        "\"local-service\", \"network-service\" or \"virtual\"";
  return false;
}

std::optional<std::string> accountName(const std::string& stored) {
  for (size_t i = 0; i < kAccountNames.size(); ++i)
    if (stored == std::to_string(i)) return std::string(kAccountNames[i]);
  return std::nullopt;
}

bool startTypeFromName(const std::string& name, StartType& start, std::string& why) {
  if (name == "automatic" || name == "demand") {
    start = name == "automatic" ? StartType::Automatic : StartType::Demand;
    return true;
  }
  why = quoted(name) + " is not a start type: use \"automatic\" (with Windows) or \"demand\" (by hand)";
  return false;
}

bool errorDisplayFromName(const std::string& name, ErrorDisplay& errors, std::string& why) {
  if (name == "console" || name == "message-box") {
    errors = name == "console" ? ErrorDisplay::Console : ErrorDisplay::MessageBox;
    return true;
  }
  why = quoted(name) + " is not an error display: use \"console\" or \"message-box\"";
  return false;
}

const char* startTypeName(StartType start) { return start == StartType::Automatic ? "automatic" : "demand"; }
const char* errorDisplayName(ErrorDisplay errors) {
  return errors == ErrorDisplay::Console ? "console" : "message-box";
}

}  // namespace vkr::gen
