#pragma once
// The user's locale as a Java locale name ("de_DE", "en", "no_NO_NY"), chosen once while the
// configuration block is loaded, so that the block's per-locale message overrides apply.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vkr {

// The table lookup: exact LANGID first, then its primary language (LANGID & 0x3FF); nullptr
// when neither is in the table.
const char* localeNameForLangId(std::uint16_t langId) noexcept;
// Selects the locale from the user's UI language (default "en"), logs it and keeps it with its
// language and country.
void selectLocale();
// Keeps a locale and its parts: the first two characters are the language when there are at
// least two; a five-character name has the country in its last two.
void splitLocale(std::string_view locale);
const std::string& selectedLocale() noexcept;
// Two letters, or "" when none is set.
const std::string& selectedLanguage() noexcept;
const std::string& selectedCountry() noexcept;

// Test seams: the table's rows in order.
size_t localeTableSizeForTest() noexcept;
std::uint16_t localeTableLangIdForTest(size_t index) noexcept;
const char* localeTableNameForTest(size_t index) noexcept;

} // namespace vkr
