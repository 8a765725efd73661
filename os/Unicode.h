// Unicode - UTF-8 code points.
// Reading and writing single code points of UTF-8 texts, for the places that
// must name a character (the one a code page cannot hold, say). Portable.
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

} // namespace os
