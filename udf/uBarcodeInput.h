// uBarcodeInput - the library side of UDF_Get_Barcode: the input text is
// read field by field, the first eighteen fields become integers, TTechCode
// packs them, and the barcode characters are written straight into memory
// the host frees.
//
// A good input costs no allocation but the host's one for the result: fields
// are looked at where they stand in the input, and decimal fields are
// converted while they are scanned. Only a failure builds texts (its message).
//
// Everything here reports failures with EBarcodeError; the exported function
// turns every failure into a NULL result so that nothing is thrown into the
// database server.
#pragma once

#include "uCode.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Where a field stands in the input text.
struct TFieldScan {
  const unsigned char* Begin; // the field's bytes (without its quotes)
  const unsigned char* End;
  bool DoubledQuotes;         // a quoted field with "" inside: its text differs
  std::int64_t Decimal;       // the value of a field of decimal digits only, or -1
};

// The fields of an input text, one after the other, by the rules ReadFields
// reads them with. Characters with codes 1 to 32 separate fields as the comma
// does and runs of them are skipped; one comma ends a field, so two commas in
// a row hold an empty field, and a comma as the very last character adds one
// more, empty, field. A field that
// begins with a double quote runs to the closing double quote (two in a row
// stand for one) and may hold blanks and commas; an unclosed one runs to the
// end of the text. A NULL input has no fields. Bytes are compared unsigned:
// bytes above 127 are field characters, never separators.
//
// The cursor only reads the input, which must outlive it; it looks at no
// more of the text than the fields it was asked for.
class TFieldCursor {
public:
  explicit TFieldCursor(const char* Input);

  // Moves to the next field; false when there is none left.
  bool Next();

  // The current field's text (quotes removed, doubled quotes made single).
  std::string Text() const;

  // The current field as a signed 32-bit integer (ParseInt32 of its text).
  std::optional<std::int32_t> Value() const;

private:
  const unsigned char* next_;  // where the next field's search starts
  bool trailingEmpty_ = false; // the text ended in a comma: one empty field follows
  TFieldScan field_{};
};

// The signed 32-bit integer written in Text: blanks, an optional "+" or "-",
// then decimal digits, or hexadecimal digits after "$", "x", "X", "0x" or
// "0X". Nothing may follow the digits. No value for anything else, the
// empty text included, and for values outside the signed 32-bit range.
std::optional<std::int32_t> ParseInt32(std::string_view Text);

// The eighteen integer fields of Input into Values. Throws EBarcodeError with
// "List index out of bounds (N)" when field N is missing and with
// "'TEXT' is not a valid integer value" for the first field that is not an
// integer; fields are looked at in order, so a missing field after a bad
// one is not reported. Fields behind the eighteenth are not looked at.
void ReadFields(const char* Input, std::int32_t (&Values)[BarcodeFieldCount]);

// The barcode text of Input: ReadFields, then the encoder (which adds its
// length message to the failures).
std::string GetBarcode(const char* Input);

// The memory allocator of the host: ib_util_malloc in the library.
using HostAlloc = void* (*)(long);

// GetBarcode(Input) as a NUL-terminated text in a buffer of exactly its
// length plus one bytes from Alloc. Throws EBarcodeError as GetBarcode does
// (nothing is allocated then) and std::bad_alloc when Alloc returns NULL.
char* GetBarcodeBuffer(const char* Input, HostAlloc Alloc);
