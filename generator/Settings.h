// The readable TOML form of a configuration: which key each setting names, its type and
// the value a generated launcher gets when the setting is left out.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vkr::gen {

enum class SettingType { Text, Integer, Boolean, List };

struct Setting {
  const char* section;
  const char* name;
  int32_t key;
  SettingType type;
  char separator;       // lists only
  const char* shipped;  // stored form (ISO-8859-1) when the setting is left out
};

std::span<const Setting> settings();

constexpr int32_t kMessageDescription = 20017;
constexpr int32_t kKeyVersionOptionCount = 10200;
constexpr int32_t kKeyFirstVersionOption = 10201;

struct ShippedMessage {
  int32_t key;
  const char* text;  // UTF-8
};

std::span<const ShippedMessage> shippedMessages();

}  // namespace vkr::gen
