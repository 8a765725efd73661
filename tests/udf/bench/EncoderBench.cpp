// EncoderBench - the cost of one UDF_Get_Barcode call without the server: the library's
// path from the input text to the filled result buffer, on the inputs of the
// input tests that give a barcode, beside a peer that only does what every
// UDF result needs (allocate the buffer, copy a constant 18-character text
// into it, free it). The allocator is malloc, as ib_util_malloc's is.
#include "uBarcodeInput.h"
#include "uCode.h"

#include "../BarcodeInputCases.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void* HostAlloc(long Size) { return std::malloc(static_cast<size_t>(Size)); }

std::vector<const char*> GoodInputs() {
  std::vector<const char*> inputs;
  for (const TBarcodeInputCase& c : BarcodeInputCases)
    if (c.Succeeds()) inputs.push_back(c.Input);
  return inputs;
}

// Each iteration is one call; the calls go round the inputs.
void GetBarcodeBufferCall(benchmark::State& State) {
  const std::vector<const char*> inputs = GoodInputs();
  std::size_t next = 0;
  for (auto _ : State) {
    char* buffer = GetBarcodeBuffer(inputs[next], HostAlloc);
    benchmark::DoNotOptimize(buffer);
    std::free(buffer);
    if (++next == inputs.size()) next = 0;
  }
}

void ConstantResult(benchmark::State& State) {
  static const char text[] = "_1000009B71IP4?0D4";
  for (auto _ : State) {
    benchmark::DoNotOptimize(text);
    char* buffer = static_cast<char*>(HostAlloc(sizeof text));
    std::memcpy(buffer, text, sizeof text);
    benchmark::DoNotOptimize(buffer);
    std::free(buffer);
  }
}

// The two halves of a call: reading the eighteen fields, and the encoder
// from the values to the characters.
void ReadFieldsCall(benchmark::State& State) {
  const std::vector<const char*> inputs = GoodInputs();
  std::size_t next = 0;
  std::int32_t values[BarcodeFieldCount];
  for (auto _ : State) {
    ReadFields(inputs[next], values);
    benchmark::DoNotOptimize(values);
    if (++next == inputs.size()) next = 0;
  }
}

void PackAndWriteCall(benchmark::State& State) {
  struct TValues {
    std::int32_t V[BarcodeFieldCount];
  };
  std::vector<TValues> all;
  for (const char* input : GoodInputs()) ReadFields(input, all.emplace_back().V);
  const TTechCode code;
  std::size_t next = 0;
  char text[MaxBarcodeLength];
  for (auto _ : State) {
    code.WriteChars(code.Pack(all[next].V), text);
    benchmark::DoNotOptimize(text);
    if (++next == all.size()) next = 0;
  }
}

double Min(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }
double Max(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }

} // namespace

BENCHMARK(GetBarcodeBufferCall)->ComputeStatistics("min", Min)->ComputeStatistics("max", Max);
BENCHMARK(ConstantResult)->ComputeStatistics("min", Min)->ComputeStatistics("max", Max);
BENCHMARK(ReadFieldsCall)->ComputeStatistics("min", Min)->ComputeStatistics("max", Max);
BENCHMARK(PackAndWriteCall)->ComputeStatistics("min", Min)->ComputeStatistics("max", Max);

BENCHMARK_MAIN();
