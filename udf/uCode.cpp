// uCode - the barcode encoder (see uCode.h).
#include "uCode.h"

#include "uMath.h"

#include <array>
#include <initializer_list>
#include <utility>

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

[[noreturn]] void ThrowLength(std::string_view Name, int Width) {
  std::string message = "Длина параметра ";
  message += Name;
  message += "> ";
  message += std::to_string(Width);
  message += "!";
  throw EBarcodeError(message);
}

// The pieces' checks, one after the other: throws the length message of the
// first field of Layout that does not fit.
[[noreturn]] void ThrowFirstTooWide(const TLayout& Layout,
                                    const std::int32_t (&Values)[BarcodeFieldCount]) {
  for (int i = 0; i < Layout.Count; ++i) {
    const TPiece piece = Layout.Pieces[i];
    if (piece.Position == Empty) continue;
    const std::int32_t v = Values[piece.Position];
    // Negative values have no binary text of a fixed width: they are
    // reported as not fitting their field, like a value that is too large.
    if (v < 0 || (static_cast<std::uint64_t>(v) >> piece.Width) != 0)
      ThrowLength(FieldNames[piece.Position], piece.Width);
  }
  throw std::logic_error("no field of the layout is too wide");
}

// The number of bits of Layout behind piece I: where the piece's lowest bit
// lies, counted from the end of the text.
constexpr int Offset(const TLayout& Layout, int I) {
  int behind = 0;
  for (int i = I + 1; i < Layout.Count; ++i) behind += Layout.Pieces[i].Width;
  return behind;
}

// Field widths are below 32, so a value fits when no bit at or above its
// width is set; a negative value has bit 31 set.
constexpr bool FieldsBelow32(const TLayout& L) {
  for (int i = 0; i < L.Count; ++i)
    if (L.Pieces[i].Position != Empty && L.Pieces[i].Width >= 32) return false;
  return true;
}
static_assert(FieldsBelow32(Layout14Semi1) && FieldsBelow32(Layout14Semi2) &&
              FieldsBelow32(Layout15) && FieldsBelow32(LayoutNoBody));

// Piece I of Layout put into its place: each piece's place is a constant,
// so the pieces do not wait for one another. Bits of a value that does not
// fit are collected in TooWide.
template <const TLayout& Layout, int I>
void PutPiece(const std::int32_t (&Values)[BarcodeFieldCount], std::uint64_t& High,
              std::uint64_t& Low, std::uint32_t& TooWide) {
  constexpr TPiece piece = Layout.Pieces[I];
  if constexpr (piece.Position != Empty) {
    constexpr int offset = Offset(Layout, I);
    const auto v = static_cast<std::uint32_t>(Values[piece.Position]);
    TooWide |= v >> piece.Width;
    const std::uint64_t value = v;
    if constexpr (offset >= 64) {
      High |= value << (offset - 64);
    } else {
      Low |= value << offset;
      if constexpr (offset + piece.Width > 64) High |= value >> (64 - offset);
    }
  }
}

template <const TLayout& Layout, int... I>
TBarcodeBits PackPieces(const std::int32_t (&Values)[BarcodeFieldCount],
                        std::integer_sequence<int, I...>) {
  TBarcodeBits bits;
  std::uint32_t tooWide = 0;
  (PutPiece<Layout, I>(Values, bits.High, bits.Low, tooWide), ...);
  if (tooWide != 0) ThrowFirstTooWide(Layout, Values);
  bits.Count = Layout.BitCount;
  return bits;
}

template <const TLayout& Layout>
TBarcodeBits PackLayout(const std::int32_t (&Values)[BarcodeFieldCount]) {
  return PackPieces<Layout>(Values, std::make_integer_sequence<int, Layout.Count>{});
}

// Character I of the text: the six bits from bit 6 I on (from the end of
// the text), looked up in the alphabet.
template <int I> char Character(std::uint64_t High, std::uint64_t Low) {
  constexpr int at = 6 * I;
  std::uint64_t group;
  if constexpr (at >= 64) group = High >> (at - 64);
  else if constexpr (at + 6 <= 64) group = Low >> at;
  else group = Low >> at | High << (64 - at);
  return umath::Chars[group & 63];
}

template <int... I>
void WriteCharacters(const TBarcodeBits& Bits, char* Out, std::integer_sequence<int, I...>) {
  ((Out[I] = Character<I>(Bits.High, Bits.Low)), ...);
}

} // namespace

TBarcodeBits TTechCode::Pack(const std::int32_t (&Values)[BarcodeFieldCount]) const {
  if (Values[Kind] == 14) {
    if (Values[SemiProduct] == 1) return PackLayout<Layout14Semi1>(Values);
    if (Values[SemiProduct] == 2) return PackLayout<Layout14Semi2>(Values);
  } else if (Values[Kind] == 15) {
    return PackLayout<Layout15>(Values);
  }
  return PackLayout<LayoutNoBody>(Values);
}

void TTechCode::WriteChars(const TBarcodeBits& Bits, char* Out) const {
  // The bits above Count are zero, so the last, shorter, group comes out
  // filled with zeros in front.
  switch (Bits.Length()) {
  case 18: return WriteCharacters(Bits, Out, std::make_integer_sequence<int, 18>{});
  case 8: return WriteCharacters(Bits, Out, std::make_integer_sequence<int, 8>{});
  default: {
    std::uint64_t low = Bits.Low, high = Bits.High;
    for (int i = 0; i < Bits.Length(); ++i) {
      Out[i] = umath::Chars[low & 63];
      low = low >> 6 | high << 58;
      high >>= 6;
    }
  }
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
