// IbUtilStandIn - A stand-in for the Firebird server's ib_util.dll, for the tests that load
// UDF_Marklet.dll outside a server. Besides ib_util_malloc it tells the test
// what was allocated and frees it again.
#include <atomic>
#include <cstdlib>

namespace {
std::atomic<long> Count{0};
std::atomic<long> LastSize{-1};
} // namespace

extern "C" {

void* ib_util_malloc(long Size) {
  ++Count;
  LastSize = Size;
  return std::malloc(static_cast<size_t>(Size));
}

long StandIn_Count() { return Count; }
long StandIn_LastSize() { return LastSize; }
void StandIn_Free(void* Buffer) { std::free(Buffer); }

} // extern "C"
