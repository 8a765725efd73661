// uMath - the character tables of the barcode text and the conversion of a
// bit text into barcode characters.
//
// A barcode character stands for six bits: the group with binary value v
// (0 to 63) is the character with code 48 + v, so the alphabet runs from "0"
// (48) to "o" (111). Both tables are constants, ready before the first call
// and shared by every thread without locking.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace umath {

// The 64 barcode characters in code order: "0" ... "9", ":" ... "@",
// "A" ... "Z", "[" ... "`", "a" ... "o".
extern const std::array<char, 64> Chars;

// The six-digit binary texts "000000", "000001", ... "111111" in ascending
// order: the index of a group's text is the group's value.
extern const std::array<std::array<char, 6>, 64> SixBits;

} // namespace umath

// The barcode characters of a text of "0" and "1" digits. The text is cut
// into groups of six from its right-hand end; a shorter group left over at
// the front is filled with "0" in front of it. The characters come out in
// the order the groups were taken, so the result begins with the character
// of the last six bits. A group that is not a six-digit binary text becomes
// the character with code 47 (one before the alphabet).
std::string BitsToChars(std::string_view Bits);
