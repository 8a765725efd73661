// StringExtras - the small text helpers every layer shares: ASCII letter
// case, comparisons that ignore it, and trimming. Portable; UTF-8 texts pass
// through unchanged except for the ASCII letters.
#pragma once

#include <string>
#include <string_view>

namespace os {

// The ASCII letter in the other case; every other byte (the bytes of UTF-8
// sequences included) as it is. Unlike std::tolower, independent of the
// locale in force.
constexpr char LowerAscii(char C) { return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C; }
constexpr char UpperAscii(char C) { return C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C; }

// Text with its ASCII letters in lower or upper case.
std::string LowerAscii(std::string Text);
std::string UpperAscii(std::string Text);

// A and B equal, or ordered byte by byte, with ASCII letter case ignored.
bool EqualsIgnoringAsciiCase(std::string_view A, std::string_view B);
// Negative, zero or positive as A sorts before, with or after B.
int CompareIgnoringAsciiCase(std::string_view A, std::string_view B);

// Text without the blanks and control characters (bytes up to ' ') at both
// ends.
std::string_view Trim(std::string_view Text);

} // namespace os
