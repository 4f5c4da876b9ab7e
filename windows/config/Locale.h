#pragma once
// The user's locale as a Java locale name ("de_DE", "en", "no_NO_NY"), chosen once while the
// configuration block is loaded, so that the block's per-locale message overrides apply.
#include <cstddef>
#include <cstdint>

namespace vkr {

inline constexpr size_t kLocaleBufferSize = 16;

// The table lookup: exact LANGID first, then its primary language (LANGID & 0x3FF); nullptr
// when neither is in the table.
const char* localeNameForLangId(std::uint16_t langId) noexcept;
// Writes the selected locale (default "en") into a buffer of kLocaleBufferSize bytes.
void selectLocale(char* buffer);
void splitLocale(const char* locale);
const char* selectedLocale() noexcept;
// Two letters and a terminator into buffer (at least 3 bytes); false when none is set.
bool selectedLanguage(char* buffer);
bool selectedCountry(char* buffer);

// Test seams: the table's rows in order.
size_t localeTableSizeForTest() noexcept;
std::uint16_t localeTableLangIdForTest(size_t index) noexcept;
const char* localeTableNameForTest(size_t index) noexcept;

} // namespace vkr
