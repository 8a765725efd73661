// ConstUdf - the benchmark's yardstick: a UDF with the signature of UDF_Get_Barcode
// (CSTRING by reference in, CSTRING FREE_IT out) that ignores its input and
// returns a constant 18-character text, so its cost is that of the server's
// UDF mechanism itself.
#include <cstring>

extern "C" {
void* ib_util_malloc(long);

__attribute__((visibility("default"))) char* Bench_Const(const char*) noexcept {
  static const char text[] = "_1000009B71IP4?0D4";
  char* buffer = static_cast<char*>(ib_util_malloc(sizeof text));
  if (buffer) std::memcpy(buffer, text, sizeof text);
  return buffer;
}
}
