// BarcodeFuzz - libFuzzer target for UDF_Get_Barcode: any bytes, made into a NUL-terminated
// text as the server passes them, go through the real export. The call must
// never crash, overrun or leak, and a text it returns must be a barcode:
// 8 or 18 characters from "0" to "o" in a buffer of exactly that length
// plus one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" char* UDF_Get_Barcode(const char* Input) noexcept;

namespace {
long LastRequest = -1;
}

// The server's allocator: plain malloc here, so AddressSanitizer sees the
// buffer's exact size.
extern "C" void* ib_util_malloc(long Size) {
  LastRequest = Size;
  return std::malloc(static_cast<size_t>(Size));
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  std::string input(reinterpret_cast<const char*>(Data), Size);
  LastRequest = -1;
  char* result = UDF_Get_Barcode(input.c_str());
  if (result == nullptr) return 0;
  std::size_t length = std::strlen(result);
  if (length != 8 && length != 18) std::abort();
  if (LastRequest != static_cast<long>(length + 1)) std::abort();
  for (std::size_t i = 0; i < length; ++i)
    if (result[i] < '0' || result[i] > 'o') std::abort();
  std::free(result);
  return 0;
}
