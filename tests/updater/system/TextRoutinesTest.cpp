// TextRoutinesTest - the text routines of uQrxRout: two-digit numbers, the start-up language
// and repeated replacement.
#include "TestHosts.h"
#include "uQrxRout.h"

#include <gtest/gtest.h>

TEST(IntToStr2, PadsOneDigitAndKeepsTheLastTwoOfLongerTexts) {
  const std::pair<int, const char*> cases[] = {
      {0, "00"}, {7, "07"}, {9, "09"}, {10, "10"}, {59, "59"}, {99, "99"},
      {100, "00"}, {2025, "25"}, {2099, "99"}, {2100, "00"},
  };
  for (auto [value, expected] : cases) EXPECT_EQ(IntToStr2(value), expected) << value;
}

TEST(GetSystemLanguage, MapsThePrimaryLanguageToTheCatalogIndex) {
  struct Case {
    std::uint16_t LangId;
    int Expected;
    const char* What;
  } cases[] = {
      {0x0419, 1, "Russian"},       {0x0407, 3, "German"},    {0x0807, 3, "Swiss German"},
      {0x040C, 4, "French"},        {0x080C, 4, "Belgian French"},
      {0x0409, 2, "English (US)"},  {0x0809, 2, "English (UK)"},
      {0x0410, 2, "Italian"},       {0x0422, 2, "Ukrainian"}, {0x0000, 2, "neutral"},
  };
  LanguageSys sys;
  os::ScopedApi use(sys);
  for (const Case& c : cases) {
    sys.Id = c.LangId;
    EXPECT_EQ(GetSystemLanguage(), c.Expected) << c.What;
  }
}

TEST(ReplaceAll, ReplacesEveryOccurrenceCaseSensitively) {
  struct Case {
    const char *Text, *Pattern, *Replacement, *Expected;
  } cases[] = {
      {"C:\\Program Files\\A.fdb", "\\", "{5C}", "C:{5C}Program Files{5C}A.fdb"},
      {"C:{5C}x", "{5C}", "\\", "C:\\x"},
      {"C:\\x", ":", "{3A}", "C{3A}\\x"},
      {"aAaA", "a", "b", "bAbA"},
      {"no match", "\\", "{5C}", "no match"},
      {"", "x", "y", ""},
      {"keep", "", "y", "keep"},
      {"xxx", "xx", "y", "yx"},
      {"abc", "b", "", "ac"},
      // A replacement containing the pattern ends (the scan moves past it).
      {"a\\b", "\\", "\\\\", "a\\\\b"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReplaceAll(c.Text, c.Pattern, c.Replacement), c.Expected) << c.Text << " / " << c.Pattern;
}
