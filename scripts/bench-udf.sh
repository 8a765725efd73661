#!/usr/bin/env bash
# Benchmark (not a test) of UDF_Get_Barcode, in two parts, each side by side
# with a peer in one run:
#
# 1. The library alone (Google Benchmark, udf_encoder_bench): one call from
#    the input text to the filled result buffer, going round the inputs of
#    the input tests that give a barcode, beside a peer that only allocates
#    the result buffer, copies a constant text into it and frees it. CPU time
#    per call.
# 2. Inside a real Firebird server: the per-row cost of UDF_Get_Barcode over
#    ROWS_THOUSANDS thousand rows, beside a UDF that returns a constant (the
#    cost of the server's UDF mechanism itself) and the built-in REPLACE on the
#    same input text. The per-row cost is the query's time above a baseline
#    query that only builds the input texts. Two times of each query: the
#    elapsed time the server reports, and the CPU time the server's process
#    spent on it (from /proc), which other work on the machine disturbs less.
#
#   scripts/bench-udf.sh [ROWS_THOUSANDS] [PORT] [ROUNDS]   (default 1000, 3062, 5)
#
# Each round runs every peer once, in turn. For each peer the script prints
# the median and the spread (min and max) of the rounds, then the ratios of
# the medians (and, for the server, of the best rounds too). Uses
# build/native (configured and built as needed) and starts a private server
# of its own below build/bench on PORT, stopped at the end.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
kilo=${1:-1000} port=${2:-3062} rounds=${3:-5}
password=${FB_PASSWORD:-qelvormask}
root=$here/build/bench/fbserver
rows=$((kilo * 1000))
build=$here/build/native
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

[ -f "$build/CMakeCache.txt" ] || cmake --preset native -S "$here" >/dev/null
cmake --build "$build" --target UDF_Marklet -j2 >/dev/null
lib=$(find "$build/udf" -name UDF_Marklet.so | head -1)
sqlfile=$(dirname "$lib")/UDF_Marklet.sql

# Prints "median min max" of the numbers on standard input.
stats() { sort -g | awk '{ v[NR] = $1 } END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1], v[NR] }'; }

echo "== the library alone: CPU time per call, $rounds rounds (Google Benchmark)"
if ! cmake --build "$build" --target udf_encoder_bench -j2 >/dev/null 2>&1; then
  echo "skipped: udf_encoder_bench is built where Google Benchmark (libbenchmark-dev) is installed"
else
  bench=$(find "$build/tests/udf" -name udf_encoder_bench -type f | head -1)
  "$bench" --benchmark_repetitions="$rounds" --benchmark_min_time=0.5 \
    --benchmark_format=json --benchmark_out="$work/encoder.json" >/dev/null 2>&1
  python3 - "$work/encoder.json" <<'PY'
import json, statistics, sys
runs = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("run_type") == "iteration":
        runs.setdefault(b["run_name"], []).append(b["cpu_time"])
print(f"{'call':<22} {'median':>10} {'min':>10} {'max':>10}")
for name, t in runs.items():
    print(f"{name:<22} {statistics.median(t):8.1f} ns {min(t):7.1f} ns {max(t):7.1f} ns")
m = {n: statistics.median(t) for n, t in runs.items()}
print(f"ratio of the medians: GetBarcodeBufferCall / ConstantResult : {m['GetBarcodeBufferCall'] / m['ConstantResult']:.2f}")
PY
fi
echo
echo "== inside the server: $rows rows per query, $rounds rounds"
mkdir -p "$root/udf"
c++ -std=c++20 -O2 -shared -fPIC -fvisibility=hidden -o "$root/udf/bench_const.so" \
  "$here/tests/udf/bench/ConstUdf.cpp" -lib_util
cp "$lib" "$root/udf/UDF_Marklet.so"

bash "$here/scripts/fbserver.sh" start "$root" "$port" >/dev/null
trap 'bash "$here/scripts/fbserver.sh" stop "$root" >/dev/null; rm -rf "$work"' EXIT
pid=$(cat "$root/firebird.pid")

db=$root/data/bench.fdb
conn=localhost/$port:$db
sql() { isql-fb -q -user SYSDBA -password "$password" "$@" 2>&1; }
rm -f "$db"
sql <<SQL >/dev/null
create database '$conn' default character set WIN1251;
input '$sqlfile';
declare external function bench_const cstring(255) returns cstring(32) free_it
  entry_point 'Bench_Const' module_name 'bench_const';
commit;
create table nums (n integer);
commit;
set term ^;
execute block as declare i integer = 0; begin while (i < 1000) do begin insert into nums values (:i); i = i + 1; end end^
set term ;^
commit;
SQL

# Every query reads the same rows and builds the same input text per row;
# only the function applied to it differs.
input="'15,3,200,0,2,0,0,1,2,0,' || (100000 + a.n * 1000 + b.n) || ',5,0,0,0,7,9,1'"
from="from nums a cross join nums b where b.n < $kilo"
declare -A query=(
  [baseline]="select sum(char_length($input)) $from"
  [replace]="select sum(char_length(replace($input, ',', ' '))) $from"
  [const_udf]="select sum(char_length(bench_const($input))) $from"
  [barcode]="select sum(char_length(udf_get_barcode($input))) $from"
)
order=(baseline replace const_udf barcode)

# The server's own elapsed time of one query and the CPU time its process
# spent meanwhile, in seconds.
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
measure() {
  local before after t
  before=$(ticks)
  t=$(sql "$conn" <<<"set stats on; $1;" | sed -n 's/^Elapsed time *= *\([0-9.]*\) sec.*/\1/p' | head -1)
  after=$(ticks)
  echo "$t $(awk -v a="$after" -v b="$before" -v hz="$hz" 'BEGIN { printf "%.2f", (a - b) / hz }')"
}

for q in "${order[@]}"; do measure "${query[$q]}" >/dev/null; done # warm-up: caches, library load
for _ in $(seq 1 "$rounds"); do
  for q in "${order[@]}"; do measure "${query[$q]}" >> "$work/$q"; done
done

declare -A median best
for kind in elapsed cpu; do
  column=$([ "$kind" = elapsed ] && echo 1 || echo 2)
  echo "-- $kind time of the server"
  printf "%-10s %9s %9s %9s   %s\n" query median min max "median per row above baseline"
  for q in "${order[@]}"; do
    read -r median[$q] best[$q] worst < <(cut -d' ' -f"$column" "$work/$q" | stats)
    awk -v q="$q" -v m="${median[$q]}" -v lo="${best[$q]}" -v hi="$worst" -v base="${median[baseline]}" -v n="$rows" \
      'BEGIN { printf "%-10s %7.3f s %7.3f s %7.3f s   %7.1f ns\n", q, m, lo, hi, (m - base) * 1e9 / n }'
  done
  awk -v r="${median[replace]}" -v c="${median[const_udf]}" -v g="${median[barcode]}" -v b="${median[baseline]}" \
      -v rb="${best[replace]}" -v cb="${best[const_udf]}" -v gb="${best[barcode]}" -v bb="${best[baseline]}" 'BEGIN {
    printf "ratios of the per-row cost above baseline     medians  best rounds\n"
    printf "  UDF_Get_Barcode / constant UDF             %7.2f  %7.2f\n", (g - b) / (c - b), (gb - bb) / (cb - bb)
    printf "  UDF_Get_Barcode / REPLACE                  %7.2f  %7.2f\n", (g - b) / (r - b), (gb - bb) / (rb - bb)
    printf "  constant UDF    / REPLACE                  %7.2f  %7.2f\n", (c - b) / (r - b), (cb - bb) / (rb - bb)
    printf "ratio of the whole query time (medians): barcode / constant UDF %.2f\n", g / c
  }'
done
grep -E '^Vm(HWM|RSS)' "/proc/$pid/status" | sed 's/^/server memory after the run: /'
