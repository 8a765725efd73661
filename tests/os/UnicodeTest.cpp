// UnicodeTest - making a text that should be UTF-8 safe to keep: what is
// well-formed stays byte for byte, every byte that starts no well-formed
// sequence becomes one U+FFFD and nothing after it is lost.
#include "os/Unicode.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ValidUtf8, KeepsWellFormedTextAndReplacesEachBadByte) {
  const std::string r = "\xEF\xBF\xBD"; // U+FFFD
  struct {
    const char* Name;
    std::string Text, Expected;
  } cases[] = {
      {"empty", "", ""},
      {"ASCII with controls", std::string("a\r\nb\0c", 6), std::string("a\r\nb\0c", 6)},
      {"Cyrillic, a Western letter, a three- and a four-byte character", "Тамбер Données 日 \xF0\x9F\x98\x80",
       "Тамбер Données 日 \xF0\x9F\x98\x80"},
      {"a replacement character that was there", r, r},
      {"a single-byte code page's letters", "C:\\Donn\xE9" "es\\\xD2\xE0\xEC", "C:\\Donn" + r + "es\\" + r + r + r},
      {"a sequence cut short, the next character kept", "\xD0" "A\xE6\x97" "B", r + "A" + r + r + "B"},
      {"a sequence cut short at the end", "ok\xF0\x9F\x98", "ok" + r + r + r},
      {"a lone continuation byte", "\x80x", r + "x"},
      {"an overlong form", "\xC0\xAF", r + r},
      {"an encoded surrogate", "\xED\xA0\x80", r + r + r},
      {"past U+10FFFF", "\xF4\x90\x80\x80", r + r + r + r},
      {"bytes that never occur", "\xFE\xFF", r + r},
  };
  for (const auto& c : cases) EXPECT_EQ(os::ValidUtf8(c.Text), c.Expected) << c.Name;
}

} // namespace
