// Unicode - UTF-8 code points (see Unicode.h).
#include "os/Unicode.h"

namespace os {

char32_t NextCodePoint(std::string_view Utf8, std::size_t& Pos) {
  const unsigned char c = static_cast<unsigned char>(Utf8[Pos]);
  char32_t cp;
  std::size_t len;
  if (c < 0x80) { cp = c; len = 1; }
  else if (c >= 0xC2 && c <= 0xDF) { cp = c & 0x1F; len = 2; }
  else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; len = 3; }
  else if (c >= 0xF0 && c <= 0xF4) { cp = c & 0x07; len = 4; }
  else { ++Pos; return 0xFFFD; }
  if (Pos + len > Utf8.size()) { ++Pos; return 0xFFFD; }
  for (std::size_t k = 1; k < len; ++k) {
    const unsigned char d = static_cast<unsigned char>(Utf8[Pos + k]);
    if ((d & 0xC0) != 0x80) { ++Pos; return 0xFFFD; }
    cp = (cp << 6) | (d & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  static const char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) { ++Pos; return 0xFFFD; }
  Pos += len;
  return cp;
}


std::string EncodeUtf8(char32_t cp) {
  std::string out;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

std::string ValidUtf8(std::string_view Text) {
  std::string out;
  out.reserve(Text.size());
  for (std::size_t pos = 0; pos < Text.size();) {
    const std::size_t start = pos;
    if (NextCodePoint(Text, pos) == 0xFFFD) out += "\xEF\xBF\xBD"; // also for a U+FFFD that was there
    else out += Text.substr(start, pos - start);
  }
  return out;
}

} // namespace os
