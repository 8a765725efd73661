// uBarcodeInput - input splitting and conversion of UDF_Get_Barcode
// (see uBarcodeInput.h).
#include "uBarcodeInput.h"

#include "uCode.h"

#include <cstring>
#include <new>

namespace {

// Bytes are compared unsigned: bytes above 127 (Cyrillic letters in WIN1251
// or UTF-8) are field characters, never separators.
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

} // namespace

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
  const std::vector<std::string> fields = SplitFields(Input, BarcodeFieldCount);
  std::int32_t v[BarcodeFieldCount];
  for (std::size_t n = 0; n < BarcodeFieldCount; ++n) {
    if (n >= fields.size()) ThrowIndex(n);
    std::optional<std::int32_t> value = ParseInt32(fields[n]);
    if (!value) ThrowInteger(fields[n]);
    v[n] = *value;
  }
  TTechCode code;
  return code.Encode(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11],
                     v[12], v[13], v[14], v[15], v[16], v[17]);
}

char* GetBarcodeBuffer(const char* Input, HostAlloc Alloc) {
  const std::string text = GetBarcode(Input);
  char* buffer = static_cast<char*>(Alloc(static_cast<long>(text.size() + 1)));
  if (buffer == nullptr) throw std::bad_alloc();
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return buffer;
}
