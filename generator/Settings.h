// The readable TOML form of a configuration: which key each setting names, the form its
// value takes, the rule it must pass, and the value a generated launcher gets when the
// setting is left out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace vkr::gen {

enum class SettingType {
  Text,
  Integer,
  Boolean,
  List,        // texts joined with the separator
  Letter,      // one ASCII letter; the launcher reads only the first character
  PathList,    // class path or module path elements (SettingForms.h)
  SearchList,  // steps of the runtime search (SettingForms.h)
  OptionList,  // a list of options or arguments, quoted for the launcher's tokenizer; or its text
  Start,       // key 107, in parts: how /install registers the service
  Errors,      //   how errors are shown
  Windowed,    //   the windowed java executable and main's first parameter
  RestartDelays,  // durations before the service manager restarts a failed service
  ResetPeriod,    // a duration in whole seconds
  Account,        // the account the service runs as, by name
};

// What a value must satisfy beyond its type (SettingChecks.h).
enum class Rule {
  None,
  AnsiPath,     // read as a path in the ANSI code page: ASCII only
  Version,      // readable by the launcher's version rules
  ServiceName,  // accepted by the service manager
  MainClass,    // a class name (in module mode "module/class")
  KindRange,    // the launcher's executable kinds 0 to 5
};

struct Setting {
  const char* section;
  const char* name;
  int32_t key;
  SettingType type;
  char separator;       // List only
  const char* shipped;  // stored form (ISO-8859-1) when the setting is left out
  Rule rule = Rule::None;
  // An older name, still read; inspect prints it only when the current one cannot show the
  // value.
  bool legacy = false;
  // Left out, the configuration is refused: every application has its own.
  bool required = false;
};

std::span<const Setting> settings();

constexpr int32_t kKeyServiceName = 101;
constexpr int32_t kKeyKind = 107;
constexpr int32_t kKeyMainClass = 122;
constexpr int32_t kKeyMinVersion = 126;
constexpr int32_t kKeyMaxVersion = 127;
constexpr int32_t kKeyModuleMode = 133;
constexpr int32_t kKeyFlavour = 2001;
constexpr int32_t kMessageDescription = 20017;
constexpr int32_t kKeyVersionOptionCount = 10200;
constexpr int32_t kKeyFirstVersionOption = 10201;
// Below the operations settings' keys, with room to spare.
constexpr size_t kMaxVersionOptions = 9000;

struct ShippedMessage {
  int32_t key;
  const char* text;  // UTF-8
};

std::span<const ShippedMessage> shippedMessages();

}  // namespace vkr::gen
