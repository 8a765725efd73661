#!/usr/bin/env bash
# Per-row cost of UDF_Get_Barcode inside a real Firebird server, side by side
# in one run with a trivial UDF that returns a constant (the cost of the UDF
# mechanism itself) and with the built-in REPLACE on the same input text.
#
#   scripts/bench-udf.sh [ROWS_THOUSANDS] [PORT] [REPEATS]   (default 1000, 3061, 3)
#
# Uses UDF_Marklet.so of build/native (built if needed), starts a private
# server of its own below build/bench (stopped at the end) and prints the
# best time of each query, the per-row costs above a baseline query that only
# builds the input texts, their ratios, and the server's memory.
# A benchmark, not a test: it never fails on a number.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
kilo=${1:-1000} port=${2:-3061} repeats=${3:-3}
password=${FB_PASSWORD:-qelvormask}
root=$here/build/bench/fbserver
rows=$((kilo * 1000))

[ -d "$here/build/native" ] || cmake --preset native -S "$here" >/dev/null
cmake --build "$here/build/native" --target UDF_Marklet -j2 >/dev/null
lib=$(find "$here/build/native/udf" -name UDF_Marklet.so | head -1)
sqlfile=$(dirname "$lib")/UDF_Marklet.sql

mkdir -p "$root/udf"
c++ -std=c++20 -O2 -shared -fPIC -fvisibility=hidden -o "$root/udf/bench_const.so" \
  "$here/tests/udf/bench/ConstUdf.cpp" -lib_util
cp "$lib" "$root/udf/UDF_Marklet.so"

bash "$here/scripts/fbserver.sh" start "$root" "$port" >/dev/null
trap 'bash "$here/scripts/fbserver.sh" stop "$root" >/dev/null' EXIT
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

# The server's own elapsed time of one query, in seconds.
elapsed() {
  sql "$conn" <<<"set stats on; $1;" | sed -n 's/^Elapsed time *= *\([0-9.]*\) sec.*/\1/p' | head -1
}

declare -A best
for q in "${order[@]}"; do elapsed "${query[$q]}" >/dev/null; done # warm-up: caches, library load
for _ in $(seq 1 "$repeats"); do
  for q in "${order[@]}"; do
    t=$(elapsed "${query[$q]}")
    if [ -z "${best[$q]:-}" ] || awk -v a="$t" -v b="${best[$q]}" 'BEGIN{exit !(a < b)}'; then best[$q]=$t; fi
  done
done

echo "rows per query: $rows, best of $repeats runs"
for q in "${order[@]}"; do
  awk -v q="$q" -v t="${best[$q]}" -v base="${best[baseline]}" -v n="$rows" \
    'BEGIN { printf "%-10s %8.3f s   %7.1f ns/row above baseline\n", q, t, (t - base) * 1e9 / n }'
done
awk -v r="${best[replace]}" -v c="${best[const_udf]}" -v g="${best[barcode]}" -v b="${best[baseline]}" 'BEGIN {
  printf "ratios of the per-row cost above baseline:\n"
  printf "  UDF_Get_Barcode / constant UDF : %.2f\n", (g - b) / (c - b)
  printf "  UDF_Get_Barcode / REPLACE      : %.2f\n", (g - b) / (r - b)
  printf "  constant UDF    / REPLACE      : %.2f\n", (c - b) / (r - b)
  printf "ratios of the whole query time:\n"
  printf "  barcode / constant UDF : %.2f   barcode / REPLACE : %.2f   barcode / baseline : %.2f\n", g / c, g / r, g / b
}'
grep -E '^Vm(HWM|RSS)' "/proc/$pid/status" | sed 's/^/server memory after the run: /'
