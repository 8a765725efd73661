// uCode - the barcode encoder: eighteen field values of a manufactured item
// or package become one short text of barcode characters.
//
// Each field is written as a fixed-width binary number into one bit text in
// an order chosen by the barcode kind (and, for kind 14, by the semi-finished
// product type); every six bits of it become one character. Kinds 14 and 15
// give 108 bits (18 characters), every other combination 46 bits
// (8 characters).
//
// The library's own path packs the fields into a TBarcodeBits and writes the
// characters straight into the caller's buffer, so a call allocates nothing
// unless it fails. Encode and FieldBits give the same results as texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// The number of integer fields of a barcode input.
constexpr std::size_t BarcodeFieldCount = 18;

// The error of a barcode that cannot be built. Its message is the text the
// library reports for the failed call (UTF-8).
class EBarcodeError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The bit text of a barcode as a number of Count bits (at most 128): the
// first bit of the text is the most significant one, and the bits above
// Count are zero. High holds the bits above the lowest 64.
struct TBarcodeBits {
  std::uint64_t High = 0;
  std::uint64_t Low = 0;
  int Count = 0;

  // The number of barcode characters: one per six bits, the last group
  // filled with zeros in front.
  int Length() const { return (Count + 5) / 6; }
};

// The longest barcode text: 108 bits.
constexpr int MaxBarcodeLength = 18;

class TTechCode {
public:
  // The barcode text of the eighteen fields, given in input order. Fields
  // are checked and written head first (version, product type, gate number),
  // then the body of the layout, then the enterprise code and the kind, so
  // the first field that does not fit is the one reported. Fields outside
  // the chosen layout are neither checked nor written. Throws EBarcodeError
  // with the length message of the first field that does not fit.
  std::string Encode(std::int32_t BarcodeKind, std::int32_t EnterpriseCode, std::int32_t ItemId,
                     std::int32_t SemiProductType, std::int32_t PackingPlaceType,
                     std::int32_t PanelNumber, std::int32_t WicketPanelFlag,
                     std::int32_t PalletNumber, std::int32_t PalletCount,
                     std::int32_t PackingKind, std::int32_t GateNumber, std::int32_t ProductType,
                     std::int32_t CoverStripCount, std::int32_t MeasuringBar,
                     std::int32_t SealingInsert, std::int32_t PackingPlaceNumber,
                     std::int32_t PackingPlaceCount, std::int32_t BarcodeVersion) const;

  // The bits of the eighteen fields, by input position, in the layout their
  // kind chooses; checked in the same order as Encode, with its message.
  TBarcodeBits Pack(const std::int32_t (&Values)[BarcodeFieldCount]) const;

  // The Bits.Length() characters of Bits into Out (no NUL is added). The
  // first character is that of the last six bits.
  void WriteChars(const TBarcodeBits& Bits, char* Out) const;

  // Value as exactly Width binary digits, most significant first, with "0"
  // in front as needed. A value that needs more than Width digits, and any
  // negative value, throws EBarcodeError with the message
  // "Длина параметра " + Name + "> " + Width + "!" (nothing else added:
  // blanks at the ends of Name show in the message).
  std::string FieldBits(std::int32_t Value, int Width, std::string_view Name) const;
};
