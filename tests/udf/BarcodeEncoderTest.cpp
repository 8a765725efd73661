// BarcodeEncoderTest - the barcode encoder: layouts, widths, the order in which fields are
// checked, the length message, and the character conversion.
#include "uCode.h"
#include "uMath.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdint>
#include <string>

namespace {

using Fields = std::array<std::int32_t, 18>;

std::string Encode(const Fields& f) {
  TTechCode code;
  return code.Encode(f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9], f[10], f[11],
                     f[12], f[13], f[14], f[15], f[16], f[17]);
}

// The message of a failed Encode, or "" when it succeeded.
std::string EncodeError(const Fields& f) {
  try {
    Encode(f);
  } catch (const EBarcodeError& e) {
    return e.what();
  }
  return "";
}

// The worked example: kind 15, fields by position 0 to 17.
constexpr Fields Worked = {15, 3, 200, 0, 2, 0, 0, 1, 2, 0, 123456, 5, 0, 0, 0, 7, 9, 1};

} // namespace

TEST(BarcodeTables, HoldTheAlphabetAndTheSixBitTextsInOrder) {
  std::string chars(umath::Chars.begin(), umath::Chars.end());
  EXPECT_EQ(chars, "0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmno");
  for (int v = 0; v < 64; ++v) {
    std::string text(umath::SixBits[v].begin(), umath::SixBits[v].end());
    EXPECT_EQ(std::stoi(text, nullptr, 2), v) << text;
    EXPECT_EQ(text.find_first_not_of("01"), std::string::npos) << text;
  }
}

TEST(BitsToChars, TakesGroupsFromTheRightAndPadsTheLastOne) {
  struct Case {
    const char *Bits, *Expected;
  } cases[] = {
      {"", ""},
      {"000000", "0"},
      {"111111", "o"},
      {"101111", "_"},
      {"1", "1"},                  // a short group gets zeros in front
      {"11", "3"},
      {"000001111111", "o1"},      // the last six bits come out first
      {"1000000", "01"},           // seven bits: "000000" then "000001"
      {"0001000101", "51"},        // a 10-bit head: "000101", then "0001" padded
      {"0000-1", "/"},             // not a binary group: code 47
  };
  for (const Case& c : cases) EXPECT_EQ(BitsToChars(c.Bits), c.Expected) << c.Bits;
}

// The packed bits give the characters their bit text gives; the two lengths
// of the layouts are written by their own code, any other by a loop.
TEST(WriteChars, GivesTheCharactersOfTheBitText) {
  struct Case {
    std::uint64_t High, Low;
    int Count;
  } cases[] = {
      {0x00000A3456789ABCu, 0xDEF0FEDCBA987654u, 108}, {0x00000FFFFFFFFFFFu, ~0ull, 108},
      {0, 0x00003FFFFFFFFFFFu, 46},                    {0, 0x0000123456789ABCu, 46},
      {0, 0x5, 3},   {0, 0x3F, 6},  {0, 0xFFF, 12},     {0x1, 0x0123456789ABCDEFu, 65},
      {~0ull, ~0ull, 128},                              {0, 0, 0},
  };
  TTechCode code;
  for (const Case& c : cases) {
    std::string bits;
    for (int i = c.Count - 1; i >= 0; --i)
      bits += ((i >= 64 ? c.High >> (i - 64) : c.Low >> i) & 1) ? '1' : '0';
    TBarcodeBits packed;
    packed.High = c.High;
    packed.Low = c.Low;
    packed.Count = c.Count;
    char text[22] = {};
    code.WriteChars(packed, text);
    EXPECT_EQ(std::string(text, static_cast<std::size_t>(packed.Length())), BitsToChars(bits)) << bits;
  }
}

TEST(FieldBits, WritesFixedWidthBinaryOrFailsWithTheLengthMessage) {
  struct Case {
    std::int32_t Value;
    int Width;
    const char* Name;
    const char* Expected; // bits, or the message
  } cases[] = {
      {0, 1, "x", "0"},
      {0, 4, "x", "0000"},
      {5, 6, "x", "000101"},
      {255, 8, "ID ", "11111111"},
      {256, 8, "ID ", "Длина параметра ID > 8!"},
      {134217727, 27, "номер ворот", "111111111111111111111111111"},
      {134217728, 27, "номер ворот", "Длина параметра номер ворот> 27!"},
      {INT32_MAX, 31, "x", "1111111111111111111111111111111"},
      {INT32_MAX, 40, "x", "0000000001111111111111111111111111111111"},
      {1, 0, " пустые биты", "Длина параметра  пустые биты> 0!"},
      // Negative values are reported as not fitting their field.
      {-1, 4, "версия ШК", "Длина параметра версия ШК> 4!"},
      {INT32_MIN, 27, "номер ворот", "Длина параметра номер ворот> 27!"},
  };
  TTechCode code;
  for (const Case& c : cases) {
    std::string got;
    try {
      got = code.FieldBits(c.Value, c.Width, c.Name);
    } catch (const EBarcodeError& e) {
      got = e.what();
    }
    EXPECT_EQ(got, c.Expected) << c.Value << " in " << c.Width;
  }
}

TEST(Encode, BuildsTheTextOfEveryLayout) {
  struct Case {
    const char* What;
    Fields Values;
    const char* Expected;
  } cases[] = {
      {"worked example", Worked, "_1000009B71IP4?0D4"},
      {"kind 15, all other fields 0", {15}, "?00000000000000000"},
      {"14/1, every field at its largest (others ignored)",
       {14, 15, 255, 1, 15, 31, 7, 15, 15, 7, 134217727, 63, 999, 999, 999, 999, 999, 15},
       "^7000PoooOhooooooo"},
      {"14/2, every field at its largest (others ignored)",
       {14, 15, 255, 2, 15, 999, 999, 999, 999, 999, 134217727, 63, 15, 15, 15, 999, 999, 15},
       "^700000oo_hooooooo"},
      {"15, every field at its largest (others ignored)",
       {15, 15, 255, 999, 15, 999, 999, 15, 15, 999, 134217727, 63, 999, 999, 999, 31, 31, 15},
       "_70000Pooooooooooo"},
      {"14/1, mixed values",
       {14, 9, 77, 1, 5, 19, 3, 6, 10, 4, 98765432, 42, 0, 0, 0, 0, 0, 11},
       "^40000ZfVEX9lDHlZ^"},
      {"14/2, mixed values",
       {14, 9, 77, 2, 5, 0, 0, 0, 0, 0, 98765432, 42, 13, 6, 9, 0, 0, 11},
       "^400000YeUX9lDHlZ^"},
      // No body: positions 2 to 9 and 12 to 16 are ignored whatever they hold.
      {"kind 14, semi-finished type 3",
       {14, 3, 999, 3, 999, 999, 999, 999, 999, 999, 123456, 5, 999, 999, 999, 999, 999, 1},
       "^18a3051"},
      {"kind 7, negative values outside the layout",
       {7, 3, -5, -1, 999, 999, 999, 999, 999, 999, 123456, 5, -7, 999, 999, 999, 999, 1},
       "W18a3051"},
      {"kind 31, the largest kind, no body",
       {31, 15, 0, 0, 0, 0, 0, 0, 0, 0, 134217727, 63, 0, 0, 0, 0, 0, 15},
       "ooooooo?"},
  };
  for (const Case& c : cases) {
    std::string got;
    try {
      got = Encode(c.Values);
    } catch (const EBarcodeError& e) {
      got = e.what();
    }
    EXPECT_EQ(got, c.Expected) << c.What;
  }
}

// One more than the largest value of each field fails with that field's
// message, in every layout that holds the field.
TEST(Encode, RejectsEachFieldOneAboveItsLargestValue) {
  constexpr Fields k14s1 = {14, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  constexpr Fields k14s2 = {14, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  constexpr Fields k15 = {15};
  constexpr Fields k7 = {7};
  struct Case {
    const Fields* Base;
    int Position;
    std::int32_t Value;
    const char* Expected;
  } cases[] = {
      {&k15, 17, 16, "Длина параметра версия ШК> 4!"},
      {&k15, 11, 64, "Длина параметра тип изделия> 6!"},
      {&k15, 10, 134217728, "Длина параметра номер ворот> 27!"},
      {&k14s1, 2, 256, "Длина параметра ID > 8!"},
      {&k14s1, 4, 16, "Длина параметра тип упаковочного места> 4!"},
      {&k14s1, 5, 32, "Длина параметра номер панели> 5!"},
      {&k14s1, 6, 8, "Длина параметра признак калиточной панели> 3!"},
      {&k14s1, 7, 16, "Длина параметра номер паллеты> 4!"},
      {&k14s1, 8, 16, "Длина параметра  количество паллет> 4!"},
      {&k14s1, 9, 8, "Длина параметра  Вид упаковки> 3!"},
      {&k14s2, 2, 256, "Длина параметра ID > 8!"},
      {&k14s2, 4, 16, "Длина параметра тип упаковочного места> 4!"},
      {&k14s2, 12, 16, "Длина параметра количество нащельников> 4!"},
      {&k14s2, 13, 16, "Длина параметра мерной планки> 4!"},
      {&k14s2, 14, 16, "Длина параметра  уплотнительной вставки> 4!"},
      {&k15, 2, 256, "Длина параметра ID > 8!"},
      {&k15, 4, 16, "Длина параметра тип упаковочного места> 4!"},
      {&k15, 15, 32, "Длина параметра номер упаковочного места> 5!"},
      {&k15, 16, 32, "Длина параметра количество упаковочных мест> 5!"},
      {&k15, 7, 16, "Длина параметра номер паллеты> 4!"},
      {&k15, 8, 16, "Длина параметра  количество паллет> 4!"},
      {&k7, 1, 16, "Длина параметра код предприятия > 4!"},
      {&k7, 0, 32, "Длина параметра вид ШК > 5!"},
      // Negative values fail as too wide, in the layouts that hold them.
      {&k15, 10, -1, "Длина параметра номер ворот> 27!"},
      {&k15, 16, -1, "Длина параметра количество упаковочных мест> 5!"},
      {&k7, 0, -14, "Длина параметра вид ШК > 5!"},
  };
  for (const Case& c : cases) {
    Fields f = *c.Base;
    f[c.Position] = c.Value;
    EXPECT_EQ(EncodeError(f), c.Expected) << "position " << c.Position << " = " << c.Value;
  }
}

TEST(Encode, ReportsTheFirstFieldThatDoesNotFitInWritingOrder) {
  struct Case {
    const char* What;
    Fields Values;
    const char* Expected;
  } cases[] = {
      {"the gate number before every later field",
       {32, 16, 256, 1, 16, 0, 0, 0, 0, 0, 134217728, 0, 0, 0, 0, 0, 0, 0},
       "Длина параметра номер ворот> 27!"},
      {"the version before the product type and the gate",
       {32, 0, 0, 0, 0, 0, 0, 0, 0, 0, 134217728, 64, 0, 0, 0, 0, 0, 16},
       "Длина параметра версия ШК> 4!"},
      {"the body before the tail",
       {15, 16, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       "Длина параметра  количество паллет> 4!"},
      {"within the 15 body: item id first",
       {15, 0, 256, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 32, 0},
       "Длина параметра ID > 8!"},
      {"within the 15 body: packing place count before pallet number",
       {15, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0},
       "Длина параметра количество упаковочных мест> 5!"},
      {"the enterprise code before the kind",
       {32, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       "Длина параметра код предприятия > 4!"},
      {"kind 32 has no body: only head, enterprise code and kind are checked",
       {32, 0, 999, 999, 999, 999, 999, 999, 999, 999, 0, 0, 999, 999, 999, 999, 999, 0},
       "Длина параметра вид ШК > 5!"},
  };
  for (const Case& c : cases) EXPECT_EQ(EncodeError(c.Values), c.Expected) << c.What;
}
