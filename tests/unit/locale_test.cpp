#include "config/Locale.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>

using namespace vkr;

namespace {

std::string nameOf(std::uint16_t langId) {
    const char* name = localeNameForLangId(langId);
    return name ? name : "<none>";
}

TEST(LocaleTable, LookupTable) {
    struct Case {
        std::uint16_t langId;
        const char* name;
    } cases[] = {
        {0x0407, "de_DE"},    {0x0C07, "de_AT"},  {0x1007, "de_LU"},    {0x0807, "de_CH"},
        {0x4407, "de"},       {0x0814, "no_NO_NY"}, {0x0409, "en_US"},  {0x2409, "en"},
        {0x0809, "en_GB"},    {0x040D, "iw_IL"},  {0x0421, "in_ID"},    {0x041A, "hr_HR"},
        {0x081A, "sr_CS"},    {0x0C1A, "sr_CS"},  {0x0412, "ko_KR"},    {0x0812, "ko_KR"},
        {0x040A, "es_ES"},    {0x0C0A, "es_ES"},  {0x500A, "es_PR"},    {0x0456, "gl_ES"},
        {0x0009, "en"},       {0x0056, "gl"},     {0x0001, "ar"},       {0x4001, "ar_QA"},
        {0x5001, "ar"},       {0x0444, "tt"},     {0x0844, "tt"},       {0x0431, "ts"},
        // Unknown primary languages have no row at all.
        {0x007F, "<none>"},   {0x0028, "<none>"}, {0x0428, "<none>"},   {0x0000, "<none>"},
        {0xFFFF, "<none>"},
    };
    for (const Case& c : cases) EXPECT_EQ(nameOf(c.langId), c.name) << std::hex << c.langId;
}

TEST(LocaleTable, ShapeOfTheTable) {
    ASSERT_EQ(localeTableSizeForTest(), 215u);
    std::set<std::uint16_t> ids;
    size_t primaries = 0;
    std::set<std::string> oddFull;
    for (size_t i = 0; i < localeTableSizeForTest(); ++i) {
        std::uint16_t id = localeTableLangIdForTest(i);
        std::string name = localeTableNameForTest(i);
        EXPECT_TRUE(ids.insert(id).second) << "LANGID twice: " << std::hex << id;
        if (id < 0x400) {
            ++primaries;
            EXPECT_EQ(name.size(), 2u) << name;
        } else if (name.size() != 5) {
            oddFull.insert(std::to_string(id) + "=" + name);
        }
    }
    EXPECT_EQ(primaries, 71u);
    std::set<std::string> expected = {
        std::to_string(0x0431) + "=ts", std::to_string(0x0434) + "=xh", std::to_string(0x0435) + "=zu",
        std::to_string(0x043D) + "=yi", std::to_string(0x0444) + "=tt", std::to_string(0x2409) + "=en",
        std::to_string(0x0814) + "=no_NO_NY",
    };
    EXPECT_EQ(oddFull, expected);
}

TEST(Locale, SplitLocale) {
    struct Case {
        const char* locale;
        const char* language;
        const char* country;
    } cases[] = {
        {"de_DE", "de", "DE"}, {"en", "en", ""}, {"no_NO_NY", "no", ""}, {"en_US", "en", "US"}, {"", "", ""},
    };
    for (const Case& c : cases) {
        splitLocale(c.locale);
        EXPECT_EQ(selectedLocale(), c.locale);
        EXPECT_EQ(selectedLanguage(), c.language) << c.locale;
        EXPECT_EQ(selectedCountry(), c.country) << c.locale;
    }
}

} // namespace
