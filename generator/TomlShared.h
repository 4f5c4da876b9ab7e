// What reading and printing the TOML form share.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "Settings.h"

namespace vkr::gen {

// A decimal number in the form the generator writes: no sign but "-", no leading zeros.
std::optional<int32_t> canonicalKey(std::string_view text);
// "section.name".
std::string settingName(const Setting& setting);
// Key 133 as the launcher reads it.
bool isModuleMode(const std::map<int32_t, std::string>& texts);
// Reads one TOML value as the setting reads it from a file, its rules included (the main
// class's, which depends on module-mode, aside); stored receives the bytes.
bool readSettingValue(const Setting& setting, const std::string& tomlValue, std::string& stored);

}  // namespace vkr::gen
