// DifferentialFuzz - libFuzzer target that holds the library's input reading and encoder to a
// model of the same rules written the plain way: the input is split into a
// list of field texts, the first eighteen are converted one by one, each
// field is appended to a text of "0" and "1" digits, and that text is cut
// into groups of six looked up in the table of six-digit texts. For every
// input both must give the same barcode or fail with the same message, and
// the library's host buffer must hold the same text.
#include "uBarcodeInput.h"
#include "uCode.h"
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace model {

constexpr std::string_view NameBarcodeKind = "вид ШК ";
constexpr std::string_view NameEnterpriseCode = "код предприятия ";
constexpr std::string_view NameItemId = "ID ";
constexpr std::string_view NameSemiProductType = "тип полуфабриката";
constexpr std::string_view NamePackingPlaceType = "тип упаковочного места";
constexpr std::string_view NamePanelNumber = "номер панели";
constexpr std::string_view NameWicketPanelFlag = "признак калиточной панели";
constexpr std::string_view NamePalletNumber = "номер паллеты";
constexpr std::string_view NamePalletCount = " количество паллет";
constexpr std::string_view NamePackingKind = " Вид упаковки";
constexpr std::string_view NameGateNumber = "номер ворот";
constexpr std::string_view NameProductType = "тип изделия";
constexpr std::string_view NameCoverStripCount = "количество нащельников";
constexpr std::string_view NameMeasuringBar = "мерной планки";
constexpr std::string_view NameSealingInsert = " уплотнительной вставки";
constexpr std::string_view NamePackingPlaceNumber = "номер упаковочного места";
constexpr std::string_view NamePackingPlaceCount = "количество упаковочных мест";
constexpr std::string_view NameBarcodeVersion = "версия ШК";
constexpr std::string_view NameEmptyBits = " пустые биты";

// The largest width of a field (the gate number); an int32 never needs more
// than 31 digits.
constexpr int MaxDigits = 32;

[[noreturn]] void ThrowLength(std::string_view Name, int Width) {
  std::string message = "Длина параметра ";
  message += Name;
  message += "> ";
  message += std::to_string(Width);
  message += "!";
  throw EBarcodeError(message);
}

constexpr std::array<std::array<char, 6>, 64> MakeSixBits() {
  std::array<std::array<char, 6>, 64> texts{};
  for (int v = 0; v < 64; ++v)
    for (int digit = 0; digit < 6; ++digit)
      texts[v][digit] = (v >> (5 - digit)) & 1 ? '1' : '0';
  return texts;
}
constexpr std::array<std::array<char, 6>, 64> SixBitsTable = MakeSixBits();

// The index of Group in the table of six-digit binary texts, or -1. The
// table is in ascending order as texts too, so a binary search finds it.
int SixBitsIndex(const std::array<char, 6>& Group) {
  const auto& table = SixBitsTable;
  auto at = std::lower_bound(table.begin(), table.end(), Group);
  if (at == table.end() || *at != Group) return -1;
  return static_cast<int>(at - table.begin());
}

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

void Append(std::string& Bits, std::int32_t Value, int Width, std::string_view Name) {
  // Negative values have no binary text of a fixed width: they are reported
  // as not fitting their field, like a value that is too large.
  if (Value < 0 || Width < 0) ThrowLength(Name, Width);
  char digits[MaxDigits];
  int count = 0;
  // Repeated halving: each remainder is the next digit from the right; the
  // value 0 still gives the one digit "0".
  do {
    digits[count++] = static_cast<char>('0' + Value % 2);
    Value /= 2;
  } while (Value != 0);
  if (count > Width) ThrowLength(Name, Width);
  Bits.append(static_cast<size_t>(Width - count), '0');
  while (count > 0) Bits += digits[--count];
}

std::string Encode(std::int32_t BarcodeKind, std::int32_t EnterpriseCode,
                              std::int32_t ItemId, std::int32_t SemiProductType,
                              std::int32_t PackingPlaceType, std::int32_t PanelNumber,
                              std::int32_t WicketPanelFlag, std::int32_t PalletNumber,
                              std::int32_t PalletCount, std::int32_t PackingKind,
                              std::int32_t GateNumber, std::int32_t ProductType,
                              std::int32_t CoverStripCount, std::int32_t MeasuringBar,
                              std::int32_t SealingInsert, std::int32_t PackingPlaceNumber,
                              std::int32_t PackingPlaceCount, std::int32_t BarcodeVersion) {
  std::string bits;
  bits.reserve(108);

  // Head: in every barcode.
  Append(bits, BarcodeVersion, 4, NameBarcodeVersion);
  Append(bits, ProductType, 6, NameProductType);
  Append(bits, GateNumber, 27, NameGateNumber);

  // Body: 62 bits for kind 14 with semi-finished type 1 or 2 and for kind 15,
  // nothing for every other combination.
  if (BarcodeKind == 14) {
    if (SemiProductType == 1) {
      Append(bits, ItemId, 8, NameItemId);
      Append(bits, SemiProductType, 5, NameSemiProductType);
      Append(bits, PackingPlaceType, 4, NamePackingPlaceType);
      Append(bits, PanelNumber, 5, NamePanelNumber);
      Append(bits, WicketPanelFlag, 3, NameWicketPanelFlag);
      Append(bits, PalletNumber, 4, NamePalletNumber);
      Append(bits, PalletCount, 4, NamePalletCount);
      Append(bits, PackingKind, 3, NamePackingKind);
      Append(bits, 0, 26, NameEmptyBits);
    } else if (SemiProductType == 2) {
      Append(bits, ItemId, 8, NameItemId);
      Append(bits, SemiProductType, 5, NameSemiProductType);
      Append(bits, PackingPlaceType, 4, NamePackingPlaceType);
      Append(bits, CoverStripCount, 4, NameCoverStripCount);
      Append(bits, MeasuringBar, 4, NameMeasuringBar);
      Append(bits, SealingInsert, 4, NameSealingInsert);
      Append(bits, 0, 33, NameEmptyBits);
    }
  } else if (BarcodeKind == 15) {
    Append(bits, ItemId, 8, NameItemId);
    Append(bits, PackingPlaceType, 4, NamePackingPlaceType);
    Append(bits, PackingPlaceNumber, 5, NamePackingPlaceNumber);
    Append(bits, PackingPlaceCount, 5, NamePackingPlaceCount);
    Append(bits, PalletNumber, 4, NamePalletNumber);
    Append(bits, PalletCount, 4, NamePalletCount);
    Append(bits, 0, 32, NameEmptyBits);
  }

  // Tail: in every barcode; the kind is checked last.
  Append(bits, EnterpriseCode, 4, NameEnterpriseCode);
  Append(bits, BarcodeKind, 5, NameBarcodeKind);

  return BitsToChars(bits);
}

bool IsSeparator(unsigned char c) { return c >= 1 && c <= 32; }

const unsigned char* SkipSeparators(const unsigned char* p) {
  while (IsSeparator(*p)) ++p;
  return p;
}

// The quoted field at p (p points at the opening quote); p is left behind
// the closing quote, or at the end of the text when there is none.
std::string QuotedField(const unsigned char*& p) {
  std::string field;
  ++p;
  for (;;) {
    if (*p == '\0') return field;
    if (*p == '"') {
      if (p[1] != '"') { ++p; return field; }
      p += 2;
      field += '"';
      continue;
    }
    const unsigned char* run = p;
    while (*p != '\0' && *p != '"') ++p;
    field.append(reinterpret_cast<const char*>(run), static_cast<size_t>(p - run));
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

[[noreturn]] void ThrowIndex(std::size_t Position) {
  throw EBarcodeError("List index out of bounds (" + std::to_string(Position) + ")");
}

[[noreturn]] void ThrowInteger(const std::string& Field) {
  throw EBarcodeError("'" + Field + "' is not a valid integer value");
}

std::vector<std::string> SplitFields(const char* Input, std::size_t MaxFields) {
  std::vector<std::string> fields;
  if (Input == nullptr) return fields;
  const unsigned char* p = SkipSeparators(reinterpret_cast<const unsigned char*>(Input));
  while (*p != '\0' && fields.size() < MaxFields) {
    if (*p == '"') {
      fields.push_back(QuotedField(p));
    } else {
      const unsigned char* start = p;
      while (*p > ' ' && *p != ',') ++p;
      fields.emplace_back(reinterpret_cast<const char*>(start), static_cast<size_t>(p - start));
    }
    p = SkipSeparators(p);
    if (*p == ',') {
      if (p[1] == '\0' && fields.size() < MaxFields) fields.emplace_back();
      p = SkipSeparators(p + 1);
    }
  }
  return fields;
}

std::optional<std::int32_t> ParseInt32(std::string_view Text) {
  size_t i = 0;
  while (i < Text.size() && Text[i] == ' ') ++i;
  bool negative = false;
  if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) negative = Text[i++] == '-';
  int base = 10;
  if (i < Text.size() && (Text[i] == '$' || Text[i] == 'x' || Text[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < Text.size() && Text[i] == '0' && (Text[i + 1] == 'x' || Text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == Text.size()) return std::nullopt; // no digits
  // The magnitude may reach 2^31 for a negative value; anything larger is
  // outside the range whatever the sign, so the loop stops there.
  constexpr std::int64_t limit = std::int64_t{1} << 31;
  std::int64_t magnitude = 0;
  for (; i < Text.size(); ++i) {
    int digit = base == 16 ? HexDigit(Text[i]) : (Text[i] >= '0' && Text[i] <= '9' ? Text[i] - '0' : -1);
    if (digit < 0) return std::nullopt;
    magnitude = magnitude * base + digit;
    if (magnitude > limit) return std::nullopt;
  }
  if (negative) return static_cast<std::int32_t>(-magnitude);
  if (magnitude == limit) return std::nullopt;
  return static_cast<std::int32_t>(magnitude);
}

std::string GetBarcode(const char* Input) {
  // Fields behind the eighteenth are never looked at, so they are not split
  // off either: a long tail costs nothing.
  const std::vector<std::string> fields = SplitFields(Input, std::size_t{18});
  std::int32_t v[18];
  for (std::size_t n = 0; n < std::size_t{18}; ++n) {
    if (n >= fields.size()) ThrowIndex(n);
    std::optional<std::int32_t> value = ParseInt32(fields[n]);
    if (!value) ThrowInteger(fields[n]);
    v[n] = *value;
  }
  return Encode(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11],
                v[12], v[13], v[14], v[15], v[16], v[17]);
}

} // namespace model

namespace {

template <class F> std::string Outcome(F Call) {
  try {
    return "barcode " + Call();
  } catch (const EBarcodeError& e) {
    return std::string("error ") + e.what();
  }
}

[[noreturn]] void Differ(const std::string& Input, const std::string& Library, const std::string& Model) {
  std::fprintf(stderr, "input [%s]\nlibrary: %s\nmodel:   %s\n", Input.c_str(), Library.c_str(), Model.c_str());
  std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string input(reinterpret_cast<const char*>(Data), Size);
  const std::string library = Outcome([&] { return GetBarcode(input.c_str()); });
  const std::string expected = Outcome([&] { return model::GetBarcode(input.c_str()); });
  if (library != expected) Differ(input, library, expected);
  // The host buffer holds the same text, or nothing is allocated.
  const std::string buffered = Outcome([&] {
    char* buffer = GetBarcodeBuffer(input.c_str(), [](long Size) { return std::malloc(static_cast<size_t>(Size)); });
    std::string text = buffer;
    std::free(buffer);
    return text;
  });
  if (buffered != expected) Differ(input, buffered, expected);
  return 0;
}
