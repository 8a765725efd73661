// uCode - the barcode encoder (see uCode.h).
#include "uCode.h"

#include "uMath.h"

#include <array>
#include <initializer_list>

namespace {

// The names of the fields in the length message, in the maker's vocabulary,
// by input position. Leading and trailing blanks are part of the names.
constexpr std::array<std::string_view, BarcodeFieldCount> FieldNames = {
    "вид ШК ",                     // 0  barcode kind
    "код предприятия ",            // 1  enterprise code
    "ID ",                         // 2  item id
    "тип полуфабриката",           // 3  semi-finished product type
    "тип упаковочного места",      // 4  packing place type
    "номер панели",                // 5  panel number
    "признак калиточной панели",   // 6  wicket panel flag
    "номер паллеты",               // 7  pallet number
    " количество паллет",          // 8  pallet count
    " Вид упаковки",               // 9  packing kind
    "номер ворот",                 // 10 gate number
    "тип изделия",                 // 11 product type
    "количество нащельников",      // 12 cover strip count
    "мерной планки",               // 13 measuring bar
    " уплотнительной вставки",     // 14 sealing insert
    "номер упаковочного места",    // 15 packing place number
    "количество упаковочных мест", // 16 packing place count
    "версия ШК",                   // 17 barcode version
};

// Input positions of the fields the layouts name.
enum : std::int8_t {
  Kind = 0, Enterprise = 1, ItemId = 2, SemiProduct = 3, PlaceType = 4, Panel = 5, Wicket = 6,
  PalletNo = 7, Pallets = 8, PackingKind = 9, Gate = 10, Product = 11, CoverStrips = 12,
  MeasuringBar = 13, SealingInsert = 14, PlaceNo = 15, Places = 16, Version = 17,
  Empty = -1, // a run of zero bits
};

// One piece of a layout: the field at Position (or zero bits) in Width bits.
struct TPiece {
  std::int8_t Position;
  std::int8_t Width;
};

// A layout: its pieces from the first bit of the text to the last, and the
// number of bits they make.
struct TLayout {
  std::array<TPiece, 14> Pieces{};
  int Count = 0;
  int BitCount = 0;
};

constexpr TLayout MakeLayout(std::initializer_list<TPiece> Pieces) {
  TLayout layout;
  for (const TPiece& piece : Pieces) {
    layout.Pieces[layout.Count++] = piece;
    layout.BitCount += piece.Width;
  }
  return layout;
}

// The layouts, one table of pieces each. The head (version, product type,
// gate number) opens every layout and the tail (enterprise code, kind)
// closes it.
constexpr TLayout Layout14Semi1 = MakeLayout({
    {Version, 4}, {Product, 6}, {Gate, 27},
    {ItemId, 8}, {SemiProduct, 5}, {PlaceType, 4}, {Panel, 5}, {Wicket, 3}, {PalletNo, 4},
    {Pallets, 4}, {PackingKind, 3}, {Empty, 26},
    {Enterprise, 4}, {Kind, 5}});
constexpr TLayout Layout14Semi2 = MakeLayout({
    {Version, 4}, {Product, 6}, {Gate, 27},
    {ItemId, 8}, {SemiProduct, 5}, {PlaceType, 4}, {CoverStrips, 4}, {MeasuringBar, 4},
    {SealingInsert, 4}, {Empty, 33},
    {Enterprise, 4}, {Kind, 5}});
constexpr TLayout Layout15 = MakeLayout({
    {Version, 4}, {Product, 6}, {Gate, 27},
    {ItemId, 8}, {PlaceType, 4}, {PlaceNo, 5}, {Places, 5}, {PalletNo, 4}, {Pallets, 4},
    {Empty, 32},
    {Enterprise, 4}, {Kind, 5}});
// Every other kind, and kind 14 with another semi-finished type: no body.
constexpr TLayout LayoutNoBody = MakeLayout({
    {Version, 4}, {Product, 6}, {Gate, 27},
    {Enterprise, 4}, {Kind, 5}});

static_assert(Layout14Semi1.BitCount == 108 && Layout14Semi2.BitCount == 108 &&
              Layout15.BitCount == 108 && LayoutNoBody.BitCount == 46);
// Pack shifts by a piece's width within 128 bits: 1 to 63 bits at a time.
constexpr bool WidthsFit(const TLayout& L) {
  for (int i = 0; i < L.Count; ++i)
    if (L.Pieces[i].Width < 1 || L.Pieces[i].Width > 63) return false;
  return L.BitCount <= 128;
}
static_assert(WidthsFit(Layout14Semi1) && WidthsFit(Layout14Semi2) && WidthsFit(Layout15) &&
              WidthsFit(LayoutNoBody));

const TLayout& LayoutOf(std::int32_t BarcodeKind, std::int32_t SemiProductType) {
  if (BarcodeKind == 14) {
    if (SemiProductType == 1) return Layout14Semi1;
    if (SemiProductType == 2) return Layout14Semi2;
    return LayoutNoBody;
  }
  return BarcodeKind == 15 ? Layout15 : LayoutNoBody;
}

[[noreturn]] void ThrowLength(std::string_view Name, int Width) {
  std::string message = "Длина параметра ";
  message += Name;
  message += "> ";
  message += std::to_string(Width);
  message += "!";
  throw EBarcodeError(message);
}

} // namespace

TBarcodeBits TTechCode::Pack(const std::int32_t (&Values)[BarcodeFieldCount]) const {
  const TLayout& layout = LayoutOf(Values[Kind], Values[SemiProduct]);
  std::uint64_t high = 0, low = 0;
  for (int i = 0; i < layout.Count; ++i) {
    const TPiece piece = layout.Pieces[i];
    std::uint64_t value = 0;
    if (piece.Position != Empty) {
      const std::int32_t v = Values[piece.Position];
      // Negative values have no binary text of a fixed width: they are
      // reported as not fitting their field, like a value that is too large.
      if (v < 0 || (static_cast<std::uint64_t>(v) >> piece.Width) != 0)
        ThrowLength(FieldNames[piece.Position], piece.Width);
      value = static_cast<std::uint64_t>(v);
    }
    // Shift the 128 bits left by the width and put the piece in.
    high = high << piece.Width | low >> (64 - piece.Width);
    low = low << piece.Width | value;
  }
  TBarcodeBits bits;
  bits.High = high;
  bits.Low = low;
  bits.Count = layout.BitCount;
  return bits;
}

void TTechCode::WriteChars(const TBarcodeBits& Bits, char* Out) const {
  // Groups of six from the lowest bits up; the bits above Count are zero, so
  // the last, shorter, group comes out filled with zeros in front.
  std::uint64_t low = Bits.Low, high = Bits.High;
  const int length = Bits.Length();
  for (int i = 0; i < length; ++i) {
    Out[i] = umath::Chars[low & 63];
    low = low >> 6 | high << 58;
    high >>= 6;
  }
}

std::string TTechCode::Encode(std::int32_t BarcodeKind, std::int32_t EnterpriseCode,
                              std::int32_t ItemId, std::int32_t SemiProductType,
                              std::int32_t PackingPlaceType, std::int32_t PanelNumber,
                              std::int32_t WicketPanelFlag, std::int32_t PalletNumber,
                              std::int32_t PalletCount, std::int32_t PackingKind,
                              std::int32_t GateNumber, std::int32_t ProductType,
                              std::int32_t CoverStripCount, std::int32_t MeasuringBar,
                              std::int32_t SealingInsert, std::int32_t PackingPlaceNumber,
                              std::int32_t PackingPlaceCount, std::int32_t BarcodeVersion) const {
  const std::int32_t values[BarcodeFieldCount] = {
      BarcodeKind, EnterpriseCode,  ItemId,       SemiProductType, PackingPlaceType,
      PanelNumber, WicketPanelFlag, PalletNumber, PalletCount,     PackingKind,
      GateNumber,  ProductType,     CoverStripCount, MeasuringBar, SealingInsert,
      PackingPlaceNumber, PackingPlaceCount, BarcodeVersion};
  const TBarcodeBits bits = Pack(values);
  char text[MaxBarcodeLength];
  WriteChars(bits, text);
  return std::string(text, static_cast<std::size_t>(bits.Length()));
}

std::string TTechCode::FieldBits(std::int32_t Value, int Width, std::string_view Name) const {
  if (Value < 0 || Width < 0) ThrowLength(Name, Width);
  // Repeated halving: each remainder is the next digit from the right; the
  // value 0 still gives the one digit "0".
  char digits[32];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + Value % 2);
    Value /= 2;
  } while (Value != 0);
  if (count > Width) ThrowLength(Name, Width);
  std::string bits(static_cast<std::size_t>(Width - count), '0');
  while (count > 0) bits += digits[--count];
  return bits;
}
