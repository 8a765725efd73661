// Unicode - UTF-8 code points.
// Reading and writing single code points of UTF-8 texts, for the places that
// must name a character (the one a code page cannot hold, say), and making a
// text that claims to be UTF-8 safe to keep. Portable.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace os {

// The next code point of a UTF-8 text at Pos, which moves past it; a byte
// that does not start a well-formed sequence gives U+FFFD and moves by one.
char32_t NextCodePoint(std::string_view Utf8, std::size_t& Pos);

// The code point as UTF-8.
std::string EncodeUtf8(char32_t CodePoint);

// The text with every byte that does not start a well-formed sequence (as
// NextCodePoint reads it) replaced by U+FFFD; well-formed UTF-8 comes back
// unchanged. For texts from outside that should be UTF-8 but may not be,
// before they reach a log or a window.
std::string ValidUtf8(std::string_view Text);

} // namespace os
