#include "TomlConfig.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <sstream>

#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include "Settings.h"
#include "Text.h"

namespace vkr::gen {
namespace fs = std::filesystem;

namespace {

fs::path pathFromUtf8(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8FromPath(const fs::path& path) {
  std::u8string u = path.generic_u8string();
  return std::string(u.begin(), u.end());
}

const char* typeName(const toml::node& node) {
  switch (node.type()) {
    case toml::node_type::string: return "a text";
    case toml::node_type::integer: return "an integer";
    case toml::node_type::floating_point: return "a floating-point number";
    case toml::node_type::boolean: return "a boolean";
    case toml::node_type::array: return "a list";
    case toml::node_type::table: return "a table";
    default: return "a date or time";
  }
}

const char* typeName(SettingType type) {
  switch (type) {
    case SettingType::Text: return "a text";
    case SettingType::Integer: return "an integer";
    case SettingType::Boolean: return "a boolean";
    case SettingType::List: return "a list of texts";
  }
  return "?";
}

// A decimal number in the form the generator writes: no sign but "-", no leading zeros.
std::optional<int32_t> canonicalKey(std::string_view text) {
  int32_t value;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  if (std::to_string(value) != text) return std::nullopt;
  return value;
}

struct Parser {
  fs::path configPath;
  std::string file;
  std::string error;

  std::map<int32_t, std::string> texts;
  std::map<int32_t, std::string> textOwner;  // key -> setting that set it
  std::map<int32_t, std::u16string> messages;
  std::map<int32_t, std::string> messageOwner;
  uint64_t includedBytes = 0;

  bool fail(const toml::source_region& where, const std::string& setting,
            const std::string& what) {
    error = file + ":" + std::to_string(where.begin.line) + ": " + setting + ": " + what;
    return false;
  }

  bool setText(int32_t key, std::string value, const toml::source_region& where,
               const std::string& setting) {
    auto owner = textOwner.find(key);
    if (owner != textOwner.end())
      return fail(where, setting, "key " + std::to_string(key) + " is already set by " +
                                      owner->second);
    textOwner[key] = setting;
    texts[key] = std::move(value);
    return true;
  }

  bool latin1(const toml::node& node, const std::string& setting, std::string& out) {
    const auto* s = node.as_string();
    if (!s) return fail(node.source(), setting, std::string("expected a text, found ") + typeName(node));
    std::string why;
    if (!utf8ToLatin1(s->get(), out, why)) return fail(node.source(), setting, why);
    return true;
  }

  bool message(const toml::node& node, const std::string& setting, std::u16string& out) {
    const auto* s = node.as_string();
    if (!s) return fail(node.source(), setting, std::string("expected a text, found ") + typeName(node));
    std::string why;
    if (!utf8ToUtf16(s->get(), out, why)) return fail(node.source(), setting, why);
    return true;
  }

  bool typedValue(const Setting& setting, const toml::node& node, const std::string& name,
                  std::string& out) {
    auto wrongType = [&] {
      return fail(node.source(), name, std::string("expected ") + typeName(setting.type) +
                                           ", found " + typeName(node));
    };
    switch (setting.type) {
      case SettingType::Text:
        return latin1(node, name, out);
      case SettingType::Integer: {
        const auto* i = node.as_integer();
        if (!i) return wrongType();
        int64_t v = i->get();
        if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
          return fail(node.source(), name,
                      "value " + std::to_string(v) + " is out of the 32-bit range");
        out = std::to_string(v);
        return true;
      }
      case SettingType::Boolean: {
        const auto* b = node.as_boolean();
        if (!b) return wrongType();
        out = b->get() ? "1" : "0";
        return true;
      }
      case SettingType::List: {
        const auto* list = node.as_array();
        if (!list) return wrongType();
        out.clear();
        size_t index = 0;
        for (const auto& element : *list) {
          std::string item;
          std::string itemName = name + "[" + std::to_string(index + 1) + "]";
          if (!element.is_string())
            return fail(element.source(), itemName,
                        std::string("expected a text, found ") + typeName(element));
          if (!latin1(element, itemName, item)) return false;
          if (item.find(setting.separator) != std::string::npos)
            return fail(element.source(), itemName,
                        std::string("an entry must not contain the separator \"") +
                            setting.separator + "\"");
          if (index++ != 0) out += setting.separator;
          out += item;
        }
        return true;
      }
    }
    return false;
  }

  bool versionOptions(const toml::node& node) {
    const std::string name = "java.version-options";
    const auto* list = node.as_array();
    if (!list) return fail(node.source(), name, std::string("expected a list of tables ([[java.version-options]]), found ") + typeName(node));
    if (list->size() > 1000000) return fail(node.source(), name, "too many entries");
    int32_t i = 0;
    for (const auto& element : *list) {
      std::string entry = name + "[" + std::to_string(i + 1) + "]";
      const auto* table = element.as_table();
      if (!table) return fail(element.source(), entry, std::string("expected a table, found ") + typeName(element));
      std::string values[2];
      const char* fields[2] = {"pattern", "options"};
      for (auto&& [key, value] : *table) {
        int which = key.str() == "pattern" ? 0 : key.str() == "options" ? 1 : -1;
        if (which < 0)
          return fail(key.source(), entry + "." + std::string(key.str()), "unknown setting");
        if (!latin1(value, entry + "." + std::string(key.str()), values[which])) return false;
      }
      for (int k = 0; k < 2; ++k)
        if (!(*table)[fields[k]])
          return fail(element.source(), entry, std::string("missing ") + fields[k]);
      if (!setText(kKeyFirstVersionOption + 2 * i, values[0], element.source(), entry + ".pattern") ||
          !setText(kKeyFirstVersionOption + 2 * i + 1, values[1], element.source(), entry + ".options"))
        return false;
      ++i;
    }
    return setText(kKeyVersionOptionCount, std::to_string(i), node.source(), name);
  }

  bool section(const std::string& sectionName, const toml::node& node) {
    const auto* table = node.as_table();
    if (!table)
      return fail(node.source(), sectionName, std::string("expected a table, found ") + typeName(node));
    for (auto&& [key, value] : *table) {
      std::string name = sectionName + "." + std::string(key.str());
      if (name == "service.description") {
        std::u16string text;
        if (!message(value, name, text)) return false;
        messages[kMessageDescription] = text;
        messageOwner[kMessageDescription] = name;
        continue;
      }
      if (name == "java.version-options") {
        if (!versionOptions(value)) return false;
        continue;
      }
      const Setting* found = nullptr;
      for (const auto& s : settings())
        if (sectionName == s.section && key.str() == s.name) found = &s;
      if (!found) return fail(key.source(), name, "unknown setting");
      std::string stored;
      if (!typedValue(*found, value, name, stored) ||
          !setText(found->key, stored, value.source(), name))
        return false;
    }
    return true;
  }

  bool raw(const toml::node& node) {
    const auto* table = node.as_table();
    if (!table) return fail(node.source(), "raw", std::string("expected a table, found ") + typeName(node));
    for (auto&& [key, value] : *table) {
      std::string name = "raw." + std::string(key.str());
      auto number = canonicalKey(key.str());
      if (!number) return fail(key.source(), name, "a raw key must be a decimal 32-bit number");
      if (*number == kIncludedCountKey || *number == kIncludedNamesKey)
        return fail(key.source(), name, "key " + std::to_string(*number) +
                                            " is derived from the [[files]] list");
      std::string stored;
      if (!latin1(value, name, stored) || !setText(*number, stored, value.source(), name))
        return false;
    }
    return true;
  }

  bool messageTable(const toml::node& node, const std::string& tableName,
                    std::map<int32_t, std::u16string>& out, bool isDefaultSet) {
    const auto* table = node.as_table();
    if (!table) return fail(node.source(), tableName, std::string("expected a table, found ") + typeName(node));
    for (auto&& [key, value] : *table) {
      std::string name = tableName + "." + std::string(key.str());
      auto number = canonicalKey(key.str());
      if (!number) return fail(key.source(), name, "a message key must be a decimal 32-bit number");
      if (isDefaultSet && *number == kMessageDescription)
        return fail(key.source(), name, "message 20017 is set as service.description");
      std::u16string text;
      if (!message(value, name, text)) return false;
      out[*number] = text;
    }
    return true;
  }

  bool locales(const toml::node& node, std::vector<LocaleGroup>& groups) {
    const auto* list = node.as_array();
    if (!list) return fail(node.source(), "locale", std::string("expected a list of tables ([[locale]]), found ") + typeName(node));
    size_t index = 0;
    for (const auto& element : *list) {
      std::string entry = "locale[" + std::to_string(++index) + "]";
      const auto* table = element.as_table();
      if (!table) return fail(element.source(), entry, std::string("expected a table, found ") + typeName(element));
      LocaleGroup group;
      bool hasPrefix = false;
      for (auto&& [key, value] : *table) {
        std::string name = entry + "." + std::string(key.str());
        if (key.str() == "prefix") {
          if (!latin1(value, name, group.prefix)) return false;
          hasPrefix = true;
        } else if (key.str() == "messages") {
          std::map<int32_t, std::u16string> groupTexts;
          if (!messageTable(value, name, groupTexts, false)) return false;
          for (auto& [k, t] : groupTexts) group.messages.push_back({k, t});
        } else {
          return fail(key.source(), name, "unknown setting");
        }
      }
      if (!hasPrefix) return fail(element.source(), entry, "missing prefix");
      groups.push_back(std::move(group));
    }
    return true;
  }

  bool files(const toml::node& node, std::vector<IncludedFile>& out) {
    const auto* list = node.as_array();
    if (!list) return fail(node.source(), "files", std::string("expected a list of tables ([[files]]), found ") + typeName(node));
    size_t index = 0;
    for (const auto& element : *list) {
      std::string entry = "files[" + std::to_string(++index) + "]";
      const auto* table = element.as_table();
      if (!table) return fail(element.source(), entry, std::string("expected a table, found ") + typeName(element));
      for (auto&& [key, value] : *table)
        if (key.str() != "name" && key.str() != "source")
          return fail(key.source(), entry + "." + std::string(key.str()), "unknown setting");
      const toml::node* nameNode = table->get("name");
      const toml::node* sourceNode = table->get("source");
      if (!nameNode) return fail(element.source(), entry, "missing name");
      if (!sourceNode) return fail(element.source(), entry, "missing source");
      IncludedFile included;
      std::string why;
      if (!latin1(*nameNode, entry + ".name", included.name)) return false;
      if (!checkIncludedName(included.name, why)) return fail(nameNode->source(), entry + ".name", why);
      for (const auto& other : out)
        if (other.name == included.name)
          return fail(nameNode->source(), entry + ".name", "the name is already included");
      const auto* source = sourceNode->as_string();
      if (!source) return fail(sourceNode->source(), entry + ".source", std::string("expected a text, found ") + typeName(*sourceNode));
      if (source->get().empty())
        return fail(sourceNode->source(), entry + ".source",
                    "no source given for the included file (inspect prints an empty source "
                    "unless --extract-dir is used)");
      fs::path path = pathFromUtf8(source->get());
      if (path.is_relative()) path = configPath.parent_path() / path;
      std::error_code ec;
      if (!fs::is_regular_file(path, ec))
        return fail(sourceNode->source(), entry + ".source",
                    "included file not found: " + path.string());
      uint64_t size = fs::file_size(path, ec);
      if (ec || size > kMaxExecutableSize - includedBytes)
        return fail(sourceNode->source(), entry + ".source",
                    ec ? "cannot read " + path.string()
                       : "the included files together exceed 2 GiB");
      includedBytes += size;
      std::ifstream in(path, std::ios::binary);
      included.content.resize(static_cast<size_t>(size));
      if (!in.read(included.content.data(), static_cast<std::streamsize>(size)))
        return fail(sourceNode->source(), entry + ".source", "cannot read " + path.string());
      out.push_back(std::move(included));
    }
    return true;
  }
};

}  // namespace

bool checkIncludedName(const std::string& name, std::string& error) {
  if (name.empty()) {
    error = "an included file needs a name";
  } else if (name.find(';') != std::string::npos) {
    error = "the name must not contain \";\" (it separates the names in the block)";
  } else if (name.find('/') != std::string::npos) {
    error = "use \"\\\" to separate a directory from the file name";
  } else if (name.find(':') != std::string::npos || name.front() == '\\') {
    error = "the name must be relative to the extraction directory";
  } else if (std::count(name.begin(), name.end(), '\\') > 1) {
    error = "the launcher creates only one directory level: use \"file\" or \"dir\\file\"";
  } else {
    size_t slash = name.find('\\');
    std::string first = name.substr(0, slash);
    std::string rest = slash == std::string::npos ? "" : name.substr(slash + 1);
    bool bad = [&](std::initializer_list<std::string> parts) {
      for (const auto& p : parts)
        if (p == "." || p == "..") return true;
      return false;
    }({first, rest});
    if (slash != std::string::npos && (first.empty() || rest.empty())) {
      error = "the name has an empty directory or file part";
    } else if (bad) {
      error = "the name must not contain \".\" or \"..\" parts";
    } else {
      return true;
    }
  }
  error = "\"" + latin1ToUtf8(name) + "\": " + error;
  return false;
}

bool parseConfigurationToml(const std::string& text, const fs::path& configPath,
                            BlockContents& config, std::string& error) {
  config = BlockContents{};
  Parser p;
  p.configPath = configPath;
  p.file = configPath.string();
  toml::parse_result parsed = toml::parse(text, p.file);
  if (!parsed) {
    const auto& e = parsed.error();
    error = p.file + ":" + std::to_string(e.source().begin.line) + ": " +
            std::string(e.description());
    return false;
  }
  const toml::table& root = parsed.table();
  for (const auto& m : shippedMessages()) {
    std::u16string text16;
    std::string why;
    utf8ToUtf16(m.text, text16, why);
    p.messages[m.key] = text16;
  }
  bool ok = true;
  std::vector<LocaleGroup> groups;
  std::vector<IncludedFile> files;
  static const char* const kSections[] = {"service", "launcher", "instance", "java", "log", "splash"};
  // [raw] last, so a clash with a named setting is always reported at the raw key.
  std::vector<std::pair<const toml::key*, const toml::node*>> ordered;
  for (auto&& [key, value] : root)
    if (key.str() != "raw") ordered.push_back({&key, &value});
  for (auto&& [key, value] : root)
    if (key.str() == "raw") ordered.push_back({&key, &value});
  for (const auto& [keyPointer, valuePointer] : ordered) {
    const toml::key& key = *keyPointer;
    const toml::node& value = *valuePointer;
    std::string name(key.str());
    bool isSection = false;
    for (const char* s : kSections) isSection = isSection || name == s;
    if (isSection) ok = p.section(name, value);
    else if (name == "raw") ok = p.raw(value);
    else if (name == "messages") ok = p.messageTable(value, "messages", p.messages, true);
    else if (name == "locale") ok = p.locales(value, groups);
    else if (name == "files") ok = p.files(value, files);
    else ok = p.fail(key.source(), name, "unknown setting");
    if (!ok) {
      error = p.error;
      return false;
    }
  }
  for (const auto& s : settings())
    if (!p.texts.count(s.key)) p.texts[s.key] = s.shipped;
  if (!p.texts.count(kKeyVersionOptionCount)) p.texts[kKeyVersionOptionCount] = "0";
  std::string names;
  for (const auto& f : files) names += (names.empty() ? "" : ";") + f.name;
  p.texts[kIncludedCountKey] = std::to_string(files.size());
  p.texts[kIncludedNamesKey] = names;

  for (auto& [k, v] : p.texts) config.texts.push_back({k, std::move(v)});
  for (auto& [k, v] : p.messages) config.messages.push_back({k, std::move(v)});
  config.groups = std::move(groups);
  config.files = std::move(files);
  return true;
}

bool loadConfigurationToml(const fs::path& configPath, BlockContents& config,
                           std::string& error) {
  std::ifstream in(configPath, std::ios::binary);
  if (!in) {
    error = configPath.string() + ": cannot open the configuration file";
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return parseConfigurationToml(text.str(), configPath, config, error);
}

namespace {

bool isCanonicalInteger(const std::string& text) {
  return canonicalKey(text).has_value();
}

std::vector<std::string> split(const std::string& text, char separator) {
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

std::string quoteKey(int32_t key) { return "\"" + std::to_string(key) + "\""; }

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

  std::ostringstream out;
  out << "# BlockContents block printed by vkrgen inspect; `vkrgen build` of this file\n"
         "# writes the same block.\n";
  // Sections in the order of the settings table; the service description is a message
  // but reads best beside the service's name.
  std::vector<std::pair<std::string, std::string>> sections;
  auto body = [&](const std::string& name) -> std::string& {
    for (auto& [n, b] : sections)
      if (n == name) return b;
    sections.push_back({name, ""});
    return sections.back().second;
  };
  for (const auto& s : settings()) {
    std::string& lines = body(s.section);
    auto it = texts.find(s.key);
    if (it == texts.end()) continue;
    const std::string& v = it->second;
    std::string value;
    switch (s.type) {
      case SettingType::Text:
        value = tomlQuote(latin1ToUtf8(v));
        break;
      case SettingType::Integer:
        if (!isCanonicalInteger(v)) continue;  // printed under [raw]
        value = v;
        break;
      case SettingType::Boolean:
        if (v != "0" && v != "1") continue;
        value = v == "1" ? "true" : "false";
        break;
      case SettingType::List: {
        value = "[";
        bool first = true;
        for (const auto& part : split(v, s.separator)) {
          value += (first ? "" : ", ") + tomlQuote(latin1ToUtf8(part));
          first = false;
        }
        value += "]";
        break;
      }
    }
    lines += std::string(s.name) + " = " + value + "\n";
    texts.erase(it);
  }
  if (messages.count(kMessageDescription)) {
    std::string d;
    if (!formatMessage(messages[kMessageDescription], d, kMessageDescription, error)) return false;
    body("service") += "description = " + d + "\n";
    messages.erase(kMessageDescription);
  }
  for (const auto& [name, lines] : sections)
    if (!lines.empty()) out << "\n[" << name << "]\n" << lines;

  // Version-specific options print as a list only when the count and every pair it
  // announces are there and well-formed; anything else stays raw and rebuilds unchanged.
  auto count = texts.find(kKeyVersionOptionCount);
  if (count != texts.end() && isCanonicalInteger(count->second)) {
    int32_t n = *canonicalKey(count->second);
    bool complete = n >= 0;
    for (int64_t i = 0; complete && i < n; ++i)
      complete = texts.count(static_cast<int32_t>(kKeyFirstVersionOption + 2 * i)) &&
                 texts.count(static_cast<int32_t>(kKeyFirstVersionOption + 2 * i + 1));
    if (complete) {
      for (int32_t i = 0; i < n; ++i) {
        int32_t pattern = kKeyFirstVersionOption + 2 * i;
        out << "\n[[java.version-options]]\npattern = " << tomlQuote(latin1ToUtf8(texts[pattern]))
            << "\noptions = " << tomlQuote(latin1ToUtf8(texts[pattern + 1])) << "\n";
        texts.erase(pattern);
        texts.erase(pattern + 1);
      }
      texts.erase(kKeyVersionOptionCount);
    }
  }

  if (!texts.empty()) {
    out << "\n[raw]\n";
    for (const auto& [k, v] : texts) out << quoteKey(k) << " = " << tomlQuote(latin1ToUtf8(v)) << "\n";
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
    out << "\n[[locale]]\nprefix = " << tomlQuote(latin1ToUtf8(g.prefix)) << "\n";
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
    out << "\n[[files]]\nname = " << tomlQuote(latin1ToUtf8(config.files[i].name)) << "\n";
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
      error = target.string() + ": cannot write the included file";
      return false;
    }
    sources.push_back(utf8FromPath(target));
  }
  return true;
}

}  // namespace vkr::gen
