#!/usr/bin/env bash
# Fuzzes UDF_Get_Barcode with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer for a bounded time, with two targets:
#   barcode_fuzz  the exported function: no crash, overrun or leak, and any
#                 text it returns is a barcode in a buffer of its exact size;
#   model_fuzz    the library's reading and encoding against a plain model of
#                 the same rules: same barcode or same message for every input.
#
#   scripts/fuzz-udf.sh [SECONDS]     (default 60, shared by the two targets)
#
# Builds into build/fuzz of the repository, starts from a small corpus of
# valid and failing inputs, and ends with a non-zero status when a fuzzer
# found a crash, an overrun, a leak, a wrong result or a difference; the
# input that shows it is left in build/fuzz as crash-* / leak-*.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
out=$here/build/fuzz
mkdir -p "$out/corpus" "$out/corpus-model"
cxx=${CXX_FUZZ:-clang++}
flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer
       -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I"$here/udf")
library=("$here/udf/uMath.cpp" "$here/udf/uCode.cpp" "$here/udf/uBarcodeInput.cpp")

"$cxx" "${flags[@]}" "${library[@]}" "$here/udf/UDF_Marklet.cpp" \
  "$here/tests/udf/fuzz/BarcodeFuzz.cpp" -o "$out/barcode_fuzz"
"$cxx" "${flags[@]}" "${library[@]}" \
  "$here/tests/udf/fuzz/DifferentialFuzz.cpp" -o "$out/model_fuzz"

seed() { printf '%s' "$2" > "$out/corpus/seed-$1"; printf '%s' "$2" > "$out/corpus-model/seed-$1"; }
seed worked '15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1'
seed blanks '15 3 200 0 2 0 0 1 2 0 123456 5 0 0 0 7 9 1'
seed k14s1 '14,9,77,1,5,19,3,6,10,4,98765432,42,0,0,0,0,0,11'
seed k14s2 '14,9,77,2,5,0,0,0,0,0,98765432,42,13,6,9,0,0,11'
seed k7 '7,3,0,0,0,0,0,0,0,0,123456,5,0,0,0,0,0,1'
seed quoted '"15",$03,"2""00",x0,0x2,0,0,1,2,0,123456,5,0,0,0,7,9,1,'
seed short '15,3'
seed wide '15,3,256,0,2,0,0,1,2,0,134217728,5,0,0,0,7,9,1'
seed trailing '15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,'
seed big '15,3,200,0,2,0,0,1,2,0,2147483647,5,0,0,0,7,9,0000000001'

cd "$out"
options=(-max_len=4096 -timeout=5 -rss_limit_mb=1024 -dict="$here/tests/udf/fuzz/barcode.dict"
         -print_final_stats=1)
./barcode_fuzz -max_total_time=$(( (seconds + 1) / 2 )) "${options[@]}" corpus
./model_fuzz -max_total_time=$(( seconds / 2 > 0 ? seconds / 2 : 1 )) "${options[@]}" corpus-model
