// uBarcodeInput - the library side of UDF_Get_Barcode: the input text is
// split into fields, the first eighteen become integers, TTechCode builds
// the barcode and the text is copied into memory the host frees.
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
#include <vector>

// The fields of Input, at most MaxFields of them (later ones are not split
// off). Characters with codes 1 to 32 separate fields as the comma does and
// runs of them are skipped; one comma ends a field, so two commas in a row
// hold an empty field, and a comma as the very last character adds one more,
// empty, field. A field that begins with a double quote runs to the closing
// double quote (two in a row stand for one) and may hold blanks and commas;
// an unclosed one runs to the end of the text. A NULL Input has no fields.
std::vector<std::string> SplitFields(const char* Input, std::size_t MaxFields = SIZE_MAX);

// The signed 32-bit integer written in Text: blanks, an optional "+" or "-",
// then decimal digits, or hexadecimal digits after "$", "x", "X", "0x" or
// "0X". Nothing may follow the digits. No value for anything else, the
// empty text included, and for values outside the signed 32-bit range.
std::optional<std::int32_t> ParseInt32(std::string_view Text);

// The barcode text of Input. Throws EBarcodeError with
// "List index out of bounds (N)" when field N is missing, with
// "'TEXT' is not a valid integer value" for the first field that is not an
// integer (fields are looked at in order, so a missing field after a bad
// one is not reported), and with the encoder's length message.
std::string GetBarcode(const char* Input);

// The memory allocator of the host: ib_util_malloc in the library.
using HostAlloc = void* (*)(long);

// GetBarcode(Input) as a NUL-terminated text in a buffer of exactly its
// length plus one bytes from Alloc. Throws EBarcodeError as GetBarcode does
// (nothing is allocated then) and std::bad_alloc when Alloc returns NULL.
char* GetBarcodeBuffer(const char* Input, HostAlloc Alloc);
