// Printing a block as TOML, so that reading the print gives the same block.
#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "SettingChecks.h"
#include "SettingForms.h"
#include "Settings.h"
#include "Text.h"
#include "TomlConfig.h"
#include "TomlShared.h"
#include "core/ServiceOperations.h"

namespace vkr::gen {
namespace fs = std::filesystem;

namespace {

std::string genericUtf8(const fs::path& path) {
  std::u8string u = path.generic_u8string();
  return std::string(u.begin(), u.end());
}

std::vector<std::string> splitKeepingEmpty(const std::string& text, char separator) {
  std::vector<std::string> parts;
  if (text.empty()) return parts;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

// Built by appending: GCC 12 warns falsely (-Wrestrict) about "\"" + text + "\"".
std::string quoteKey(int32_t key) {
  std::string out = "\"";
  out += std::to_string(key);
  out += '"';
  return out;
}

std::string tomlText(const std::string& latin1) { return tomlQuote(latin1ToUtf8(latin1)); }

bool formatMessage(const std::u16string& text, std::string& out, int32_t key,
                   std::string& error) {
  std::string utf8, why;
  if (!utf16ToUtf8(text, utf8, why)) {
    error = "message " + std::to_string(key) + " cannot be written as TOML: " + why;
    return false;
  }
  out = tomlQuote(utf8);
  return true;
}

std::string listToml(const std::vector<std::string>& printed) {
  std::string value = "[";
  for (size_t i = 0; i < printed.size(); ++i) value += (i ? ", " : "") + printed[i];
  return value + "]";
}

// The TOML value that shows a stored text as the setting, or nothing when no value of the
// setting reads back as exactly these bytes.
std::optional<std::string> renderValue(const Setting& s, const std::string& v) {
  switch (s.type) {
    case SettingType::Text:
    case SettingType::Letter:
      return tomlText(v);
    case SettingType::Integer:
      if (!canonicalKey(v)) return std::nullopt;
      return v;
    case SettingType::Boolean:
      if (v != "0" && v != "1") return std::nullopt;
      return std::string(v == "1" ? "true" : "false");
    case SettingType::List: {
      std::vector<std::string> printed;
      for (const auto& part : splitKeepingEmpty(v, s.separator)) printed.push_back(tomlText(part));
      return listToml(printed);
    }
    case SettingType::PathList:
    case SettingType::SearchList: {
      std::vector<std::string> printed;
      for (const auto& part : splitKeepingEmpty(v, s.separator)) {
        auto one = s.type == SettingType::PathList ? pathElementToml(part) : searchStepToml(part);
        if (!one) return std::nullopt;
        printed.push_back(*one);
      }
      return listToml(printed);
    }
    case SettingType::OptionList: {
      auto options = splitOptions(v);
      if (!options) return tomlText(v);
      std::vector<std::string> printed;
      for (const auto& option : *options) printed.push_back(tomlText(option));
      return listToml(printed);
    }
    case SettingType::RestartDelays: {
      auto delays = restartDelaysTexts(v);
      if (!delays) return std::nullopt;
      std::vector<std::string> printed;
      for (const auto& delay : *delays) printed.push_back(tomlText(delay));
      return listToml(printed);
    }
    case SettingType::ResetPeriod:
    case SettingType::Account: {
      auto text = s.type == SettingType::Account ? accountName(v) : resetPeriodText(v);
      if (!text) return std::nullopt;
      return tomlText(*text);
    }
    case SettingType::Start:
    case SettingType::Errors:
    case SettingType::Windowed:
      break;  // key 107 is printed in parts by the caller
  }
  return std::nullopt;
}

// Reads a printed value back as the setting would be read from a file: only a value that
// passes every rule of the setting and gives the same bytes is printed under its name.
bool readsBack(const Setting& s, const std::string& printed, const std::string& stored, bool moduleMode) {
  std::string back, why;
  if (!readSettingValue(s, printed, back) || back != stored) return false;
  return s.rule != Rule::MainClass || checkMainClass(stored, moduleMode, why);
}

// Settings grouped by section in the order of the settings table.
class SectionPrinter {
 public:
  void add(const Setting& setting, const std::string& line) {
    const auto index = static_cast<size_t>(&setting - settings().data());
    lines_[setting.section].push_back({index, line});
    if (std::find(order_.begin(), order_.end(), setting.section) == order_.end()) order_.push_back(setting.section);
  }
  void print(std::ostream& out) {
    std::sort(order_.begin(), order_.end(), [](const std::string& a, const std::string& b) {
      return firstIndex(a) < firstIndex(b);
    });
    for (const auto& section : order_) {
      auto& entries = lines_[section];
      std::stable_sort(entries.begin(), entries.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
      out << "\n[" << section << "]\n";
      for (const auto& [index, line] : entries) out << line << "\n";
    }
  }

 private:
  static size_t firstIndex(const std::string& section) {
    for (size_t i = 0; i < settings().size(); ++i)
      if (section == settings()[i].section) return i;
    return settings().size();
  }
  std::map<std::string, std::vector<std::pair<size_t, std::string>>> lines_;
  std::vector<std::string> order_;
};

const Setting* findSetting(SettingType type) {
  for (const auto& s : settings())
    if (s.type == type) return &s;
  return nullptr;
}

// Key 107 as its named parts when it is one of the kinds they describe, else under the
// older name when it is in range; false leaves it to [raw].
bool printKind(const std::string& stored, SectionPrinter& printer) {
  if (auto parts = kindParts(stored)) {
    printer.add(*findSetting(SettingType::Start), std::string("start = ") + tomlText(startTypeName(parts->start)));
    printer.add(*findSetting(SettingType::Errors), std::string("errors = ") + tomlText(errorDisplayName(parts->errors)));
    printer.add(*findSetting(SettingType::Windowed), std::string("windowed = ") + (parts->windowed ? "true" : "false"));
    return true;
  }
  for (const auto& s : settings()) {
    if (s.key != kKeyKind || s.type != SettingType::Integer) continue;
    auto value = renderValue(s, stored);
    if (value && readsBack(s, *value, stored, false)) {
      printer.add(s, std::string(s.name) + " = " + *value);
      return true;
    }
  }
  return false;
}

// Every key a named setting can show, under the first setting that shows it, current names
// before older ones; returns the keys printed.
std::set<int32_t> printSettings(const std::map<int32_t, std::string>& texts, bool moduleMode,
                                const std::set<int32_t>& skip, SectionPrinter& printer) {
  std::set<int32_t> printed;
  for (bool legacy : {false, true}) {
    for (const auto& s : settings()) {
      if (s.legacy != legacy || printed.count(s.key) || skip.count(s.key)) continue;
      auto it = texts.find(s.key);
      if (it == texts.end()) continue;
      if (s.key == kKeyKind) {
        if (printKind(it->second, printer)) printed.insert(s.key);
        continue;
      }
      auto value = renderValue(s, it->second);
      if (!value || !readsBack(s, *value, it->second, moduleMode)) continue;
      printer.add(s, std::string(s.name) + " = " + *value);
      printed.insert(s.key);
    }
  }
  return printed;
}

}  // namespace

bool formatConfigurationToml(const BlockContents& config,
                             const std::vector<std::string>& fileSources, std::string& toml,
                             std::string& error) {
  // A key that occurs twice keeps its later value, as in the launcher.
  std::map<int32_t, std::string> texts;
  for (const auto& t : config.texts) texts[t.key] = t.value;
  std::map<int32_t, std::u16string> messages;
  for (const auto& m : config.messages) messages[m.key] = m.text;
  texts.erase(kIncludedCountKey);
  texts.erase(kIncludedNamesKey);
  const bool moduleMode = isModuleMode(texts);

  std::ostringstream out;
  out << "# Configuration block printed by vkrgen inspect; `vkrgen build` of this file\n"
         "# writes the same block.\n";
  // Bounds that are each readable but together accept nothing stay apart, so the printed
  // file builds: the maximum then goes to [raw].
  // So do operations settings that a build refuses in this configuration (a delayed start
  // without an automatic start, a reset period without restarts).
  std::set<int32_t> skip;
  auto kind = texts.find(kKeyKind);
  if (texts.count(kDelayedStartKey) && texts[kDelayedStartKey] == "1" && (kind == texts.end() || kind->second != "4"))
    skip.insert(kDelayedStartKey);
  if (texts.count(kFailureResetKey) && !texts.count(kRestartDelaysKey)) skip.insert(kFailureResetKey);
  SectionPrinter printer;
  std::set<int32_t> printed = printSettings(texts, moduleMode, skip, printer);
  std::string why;
  if (printed.count(kKeyMinVersion) && printed.count(kKeyMaxVersion) &&
      !checkVersionRange(texts[kKeyMinVersion], texts[kKeyMaxVersion], why)) {
    skip.insert(kKeyMaxVersion);
    printer = SectionPrinter{};
    printed = printSettings(texts, moduleMode, skip, printer);
  }
  for (int32_t key : printed) texts.erase(key);
  if (messages.count(kMessageDescription)) {
    std::string d;
    if (!formatMessage(messages[kMessageDescription], d, kMessageDescription, error)) return false;
    for (const auto& s : settings())
      if (std::string(s.section) == "service" && std::string(s.name) == "name") printer.add(s, "description = " + d);
    messages.erase(kMessageDescription);
  }
  printer.print(out);

  // Version-specific options print as a list only when the count and every pair it
  // announces are there and well-formed; anything else stays raw and rebuilds unchanged.
  auto count = texts.find(kKeyVersionOptionCount);
  if (count != texts.end() && canonicalKey(count->second)) {
    int32_t n = *canonicalKey(count->second);
    bool complete = n >= 0;
    for (int64_t i = 0; complete && i < n; ++i)
      complete = texts.count(static_cast<int32_t>(kKeyFirstVersionOption + 2 * i)) &&
                 texts.count(static_cast<int32_t>(kKeyFirstVersionOption + 2 * i + 1));
    if (complete) {
      for (int32_t i = 0; i < n; ++i) {
        int32_t pattern = kKeyFirstVersionOption + 2 * i;
        auto options = splitOptions(texts[pattern + 1]);
        std::string optionsValue = tomlText(texts[pattern + 1]);
        if (options) {
          std::vector<std::string> each;
          for (const auto& o : *options) each.push_back(tomlText(o));
          optionsValue = listToml(each);
        }
        out << "\n[[java.version-options]]\npattern = " << tomlText(texts[pattern])
            << "\noptions = " << optionsValue << "\n";
        texts.erase(pattern);
        texts.erase(pattern + 1);
      }
      texts.erase(kKeyVersionOptionCount);
    }
  }

  if (!texts.empty()) {
    out << "\n[raw]\n";
    for (const auto& [k, v] : texts) out << quoteKey(k) << " = " << tomlText(v) << "\n";
  }
  if (!messages.empty()) {
    out << "\n[messages]\n";
    for (const auto& [k, v] : messages) {
      std::string m;
      if (!formatMessage(v, m, k, error)) return false;
      out << quoteKey(k) << " = " << m << "\n";
    }
  }
  for (const auto& g : config.groups) {
    out << "\n[[locale]]\nprefix = " << tomlText(g.prefix) << "\n";
    std::map<int32_t, std::u16string> groupMessages;
    for (const auto& m : g.messages) groupMessages[m.key] = m.text;
    out << "[locale.messages]\n";
    for (const auto& [k, v] : groupMessages) {
      std::string m;
      if (!formatMessage(v, m, k, error)) return false;
      out << quoteKey(k) << " = " << m << "\n";
    }
  }
  for (size_t i = 0; i < config.files.size(); ++i) {
    out << "\n[[files]]\nname = " << tomlText(config.files[i].name) << "\n";
    if (i < fileSources.size() && !fileSources[i].empty()) {
      out << "source = " << tomlQuote(fileSources[i]) << "\n";
    } else {
      out << "# " << config.files[i].content.size()
          << " bytes, not extracted: run inspect with --extract-dir DIR to write them out\n"
             "source = \"\"\n";
    }
  }
  toml = out.str();
  return true;
}

bool extractIncludedFiles(const BlockContents& config, const fs::path& dir,
                          std::vector<std::string>& sources, std::string& error) {
  sources.clear();
  std::error_code ec;
  for (const auto& f : config.files) {
    std::string why;
    if (!checkIncludedName(f.name, why)) {
      error = "included file not extracted: " + why;
      return false;
    }
    std::string relative = f.name;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    fs::path target = fs::absolute(dir / pathFromUtf8(latin1ToUtf8(relative)), ec);
    fs::create_directories(target.parent_path(), ec);
    std::ofstream outFile(target, std::ios::binary | std::ios::trunc);
    if (!outFile || !outFile.write(f.content.data(), static_cast<std::streamsize>(f.content.size()))) {
      error = displayPath(target) + ": cannot write the included file";
      return false;
    }
    sources.push_back(genericUtf8(target));
  }
  return true;
}

}  // namespace vkr::gen
