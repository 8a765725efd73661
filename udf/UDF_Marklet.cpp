// UDF_Marklet - the library the Firebird server loads from its udf folder.
//
// Its one export, UDF_Get_Barcode, is a thin C function: it runs the
// library's C++ code inside a catch-all and turns every failure into a NULL
// result, which the server returns as SQL NULL. No exception may leave it:
// one that reached the server would end the server's process.
#include "uBarcodeInput.h"

#if defined(_WIN32)
#define UDF_EXPORT // exported through UDF_Marklet.def, undecorated
#else
#define UDF_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// From the server's ib_util library: memory the server frees after the call
// (the result is declared FREE_IT).
void* ib_util_malloc(long);

// Input: the address of a NUL-terminated text of eighteen integers (CSTRING
// by reference). Result: the barcode text in a buffer from ib_util_malloc,
// or NULL when the text is not a valid barcode input.
UDF_EXPORT char* UDF_Get_Barcode(const char* Input) noexcept {
  try {
    return GetBarcodeBuffer(Input, ib_util_malloc);
  } catch (...) {
    return nullptr;
  }
}

} // extern "C"
