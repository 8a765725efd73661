// uCode - the barcode encoder (see uCode.h).
#include "uCode.h"

#include "uMath.h"

namespace {

// The names of the fields in the length message, in the maker's vocabulary.
// Leading and trailing blanks are part of the names.
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

} // namespace

void TTechCode::Append(std::string& Bits, std::int32_t Value, int Width, std::string_view Name) {
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

std::string TTechCode::FieldBits(std::int32_t Value, int Width, std::string_view Name) {
  std::string bits;
  Append(bits, Value, Width, Name);
  return bits;
}

std::string TTechCode::Encode(std::int32_t BarcodeKind, std::int32_t EnterpriseCode,
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
