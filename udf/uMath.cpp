// uMath - the barcode character tables and BitsToChars (see uMath.h).
#include "uMath.h"

#include <algorithm>

namespace umath {
namespace {

constexpr std::array<char, 64> MakeChars() {
  std::array<char, 64> chars{};
  for (int v = 0; v < 64; ++v) chars[v] = static_cast<char>(48 + v);
  return chars;
}

constexpr std::array<std::array<char, 6>, 64> MakeSixBits() {
  std::array<std::array<char, 6>, 64> texts{};
  for (int v = 0; v < 64; ++v)
    for (int digit = 0; digit < 6; ++digit)
      texts[v][digit] = (v >> (5 - digit)) & 1 ? '1' : '0';
  return texts;
}

} // namespace

// Built at compile time: no start-up code runs when the server loads the
// library, and no thread can see a half-built table.
constexpr std::array<char, 64> Chars = MakeChars();
constexpr std::array<std::array<char, 6>, 64> SixBits = MakeSixBits();

} // namespace umath

namespace {

// The index of Group in the table of six-digit binary texts, or -1. The
// table is in ascending order as texts too, so a binary search finds it.
int SixBitsIndex(const std::array<char, 6>& Group) {
  const auto& table = umath::SixBits;
  auto at = std::lower_bound(table.begin(), table.end(), Group);
  if (at == table.end() || *at != Group) return -1;
  return static_cast<int>(at - table.begin());
}

} // namespace

std::string BitsToChars(std::string_view Bits) {
  std::string result;
  result.reserve((Bits.size() + 5) / 6);
  while (!Bits.empty()) {
    std::array<char, 6> group;
    if (Bits.size() >= 6) {
      std::copy(Bits.end() - 6, Bits.end(), group.begin());
      Bits.remove_suffix(6);
    } else {
      group.fill('0');
      std::copy(Bits.begin(), Bits.end(), group.end() - Bits.size());
      Bits = {};
    }
    result += static_cast<char>(48 + SixBitsIndex(group));
  }
  return result;
}
