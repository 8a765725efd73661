// uCode - the barcode encoder: eighteen field values of a manufactured item
// or package become one short text of barcode characters.
//
// Each field is written as a fixed-width binary number into one bit text in
// an order chosen by the barcode kind (and, for kind 14, by the semi-finished
// product type); uMath turns the bit text into characters. Kinds 14 and 15
// give 108 bits (18 characters), every other combination 46 bits
// (8 characters).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// The error of a barcode that cannot be built. Its message is the text the
// library reports for the failed call (UTF-8).
class EBarcodeError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

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
                     std::int32_t PackingPlaceCount, std::int32_t BarcodeVersion);

  // Value as exactly Width binary digits, most significant first, with "0"
  // in front as needed. A value that needs more than Width digits, and any
  // negative value, throws EBarcodeError with the message
  // "Длина параметра " + Name + "> " + Width + "!" (nothing else added:
  // blanks at the ends of Name show in the message).
  std::string FieldBits(std::int32_t Value, int Width, std::string_view Name);

private:
  void Append(std::string& Bits, std::int32_t Value, int Width, std::string_view Name);
};
