// uBarcodeInput - input reading and conversion of UDF_Get_Barcode
// (see uBarcodeInput.h).
#include "uBarcodeInput.h"

#include <cstring>
#include <new>

#if defined(__GNUC__)
#define ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define ALWAYS_INLINE inline
#endif

namespace {

const unsigned char EmptyText[] = "";

bool IsSeparator(unsigned char c) { return c >= 1 && c <= 32; }

const unsigned char* SkipSeparators(const unsigned char* p) {
  while (IsSeparator(*p)) ++p;
  return p;
}

// The plain field at p: one to ten decimal digits (longer ones, with zeros
// in front, are left to ParseInt32) up to the field's end, within the signed
// 32-bit range. Returns the
// end of the digits with their value in Value, or nullptr for any other
// field. The digits are added up while they are scanned: most fields of a
// barcode input are plain, and they cost one look at each byte.
ALWAYS_INLINE const unsigned char* PlainField(const unsigned char* p, std::int64_t& Value) {
  const unsigned char* begin = p;
  // 32 bits hold any nine digits (and are cheap on a 32-bit processor); a
  // sum of ten digits, which may have wrapped, is added up again in 64 bits.
  std::uint32_t sum = 0;
  for (unsigned digit; (digit = static_cast<unsigned>(*p) - '0') <= 9; ++p) sum = sum * 10 + digit;
  const auto digits = static_cast<std::size_t>(p - begin);
  if (digits - 1 >= 9) {
    if (digits != 10) return nullptr;
    std::uint64_t exact = 0;
    for (const unsigned char* q = begin; q != p; ++q) exact = exact * 10 + (*q - '0');
    if (exact > INT32_MAX) return nullptr;
    sum = static_cast<std::uint32_t>(exact);
  }
  if (*p > ' ' && *p != ',') return nullptr;
  Value = sum;
  return p;
}

// Any field at p (not the end of the text) into Field; returns the position
// behind it. A quoted field runs to the closing quote, which is skipped.
const unsigned char* ScanField(const unsigned char* p, TFieldScan& Field) {
  Field.DoubledQuotes = false;
  Field.Decimal = -1;
  if (*p != '"') {
    Field.Begin = p;
    while (*p > ' ' && *p != ',') ++p;
    Field.End = p;
    return p;
  }
  // To the closing quote: a quote not followed by another one.
  Field.Begin = ++p;
  for (;; ++p) {
    if (*p == '\0') break;
    if (*p == '"') {
      if (p[1] != '"') break;
      Field.DoubledQuotes = true;
      ++p;
    }
  }
  Field.End = p;
  return *p == '"' ? p + 1 : p;
}

// Behind a field: the separators, one comma and the separators after it.
// Sets TrailingEmpty when that comma was the last character of the text.
ALWAYS_INLINE const unsigned char* SkipDelimiter(const unsigned char* p, bool& TrailingEmpty) {
  p = SkipSeparators(p);
  if (*p == ',') {
    TrailingEmpty = p[1] == '\0';
    p = SkipSeparators(p + 1);
  }
  return p;
}

std::string FieldText(const TFieldScan& Field) {
  std::string text(reinterpret_cast<const char*>(Field.Begin),
                   static_cast<std::size_t>(Field.End - Field.Begin));
  if (Field.DoubledQuotes) {
    std::size_t to = 0;
    for (std::size_t from = 0; from < text.size(); ++from, ++to) {
      text[to] = text[from];
      if (text[from] == '"') ++from; // the first of a pair stands for both
    }
    text.resize(to);
  }
  return text;
}

// The value of a field as ParseInt32 gives it.
std::optional<std::int32_t> FieldValue(const TFieldScan& Field) {
  if (Field.Decimal >= 0) return static_cast<std::int32_t>(Field.Decimal);
  // A quote is no part of any integer.
  if (Field.DoubledQuotes) return std::nullopt;
  return ParseInt32(std::string_view(reinterpret_cast<const char*>(Field.Begin),
                                     static_cast<std::size_t>(Field.End - Field.Begin)));
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

} // namespace

TFieldCursor::TFieldCursor(const char* Input)
    : next_(SkipSeparators(Input ? reinterpret_cast<const unsigned char*>(Input) : EmptyText)) {}

bool TFieldCursor::Next() {
  if (trailingEmpty_) {
    trailingEmpty_ = false;
    field_ = TFieldScan{next_, next_, false, -1};
    return true;
  }
  if (*next_ == '\0') return false;
  const unsigned char* end = PlainField(next_, field_.Decimal);
  if (end != nullptr) {
    field_.Begin = next_;
    field_.End = end;
    field_.DoubledQuotes = false;
  } else {
    end = ScanField(next_, field_);
  }
  next_ = SkipDelimiter(end, trailingEmpty_);
  return true;
}

std::string TFieldCursor::Text() const { return FieldText(field_); }

std::optional<std::int32_t> TFieldCursor::Value() const { return FieldValue(field_); }

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

void ReadFields(const char* Input, std::int32_t (&Values)[BarcodeFieldCount]) {
  // TFieldCursor's steps, with the plain field's value stored at once.
  const unsigned char* p =
      SkipSeparators(Input ? reinterpret_cast<const unsigned char*>(Input) : EmptyText);
  for (std::size_t n = 0; n < BarcodeFieldCount; ++n) {
    std::int64_t plain;
    const unsigned char* end = PlainField(p, plain);
    if (end != nullptr) {
      Values[n] = static_cast<std::int32_t>(plain);
      // The common case: one comma, then the next field's first digit.
      if (*end == ',' && static_cast<unsigned>(end[1]) - '0' <= 9) {
        p = end + 1;
        continue;
      }
    } else {
      if (*p == '\0') ThrowIndex(n);
      TFieldScan field;
      end = ScanField(p, field);
      const std::optional<std::int32_t> value = FieldValue(field);
      if (!value) ThrowInteger(FieldText(field));
      Values[n] = *value;
    }
    bool trailingEmpty = false;
    p = SkipDelimiter(end, trailingEmpty);
    // A comma at the very end holds one more, empty, field: not an integer.
    if (trailingEmpty && n + 1 < BarcodeFieldCount) ThrowInteger(std::string());
  }
}

std::string GetBarcode(const char* Input) {
  std::int32_t values[BarcodeFieldCount];
  ReadFields(Input, values);
  const TTechCode code;
  const TBarcodeBits bits = code.Pack(values);
  char text[MaxBarcodeLength];
  code.WriteChars(bits, text);
  return std::string(text, static_cast<std::size_t>(bits.Length()));
}

char* GetBarcodeBuffer(const char* Input, HostAlloc Alloc) {
  std::int32_t values[BarcodeFieldCount];
  ReadFields(Input, values);
  const TTechCode code;
  const TBarcodeBits bits = code.Pack(values);
  // Every field was accepted: now the result's length is known and the
  // characters go straight into the host's buffer.
  const int length = bits.Length();
  char* buffer = static_cast<char*>(Alloc(length + 1));
  if (buffer == nullptr) throw std::bad_alloc();
  code.WriteChars(bits, buffer);
  buffer[length] = '\0';
  return buffer;
}
