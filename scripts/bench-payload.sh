#!/usr/bin/env bash
# Benchmarks of the update engine's file work, each side by side with a peer
# in one run, reported as ratios (not a test):
#   1. MyCopyDir of a tree of MB_TREE megabytes against "cp -a";
#   2. unpacking a payload program of MB_PAYLOAD megabytes against "unzip"
#      of a zip archive of the same files.
#
#   scripts/bench-payload.sh [MB_TREE] [MB_PAYLOAD] [ROUNDS]   (defaults 1024 64 3)
#
# Needs the native build (copydir_bench, PayloadExtractor). Works in
# build/bench and removes what it wrote.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
mb_tree=${1:-1024} mb_payload=${2:-64} rounds=${3:-3}
build=$here/build/native
cmake --build "$build" --target copydir_bench PayloadExtractor >/dev/null
work=$here/build/bench
rm -rf "$work" && mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

# A tree like an installation: folders of files of mixed sizes; half of the
# bytes random, half text (so that compression has something to do).
make_tree() { # folder megabytes
  local dir=$1 mb=$2 i=0 made=0
  while [ $made -lt $((mb * 1024)) ]; do
    local sub=$dir/folder$((i % 16))/sub$((i % 5))
    mkdir -p "$sub"
    local kb=$(( (i % 7 + 1) * 256 ))
    if [ $((i % 2)) -eq 0 ]; then head -c $((kb * 1024)) /dev/urandom > "$sub/file$i.bin"
    else yes "Tamber report line $i: the quick brown fox jumps over the lazy dog" | head -c $((kb * 1024)) > "$sub/file$i.txt"; fi
    made=$((made + kb)); i=$((i + 1))
  done
  echo "$i files"
}

seconds() { # command...
  local s e
  s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N)
  echo "$e - $s" | bc -l
}
best() { # rounds prepare-command measured-command...
  local n=$1 prep=$2; shift 2
  local b=""
  for _ in $(seq 1 "$n"); do
    eval "$prep"; sync
    local t; t=$(seconds "$@")
    if [ -z "$b" ] || [ "$(echo "$t < $b" | bc -l)" = 1 ]; then b=$t; fi
  done
  echo "$b"
}

echo "tree of $mb_tree MB: $(make_tree "$work/tree" "$mb_tree")"
ours=$(best "$rounds" 'rm -rf "$work/copy"' "$build/tests/copydir_bench" "$work/tree" "$work/copy")
diff -r "$work/tree" "$work/copy" >/dev/null || { echo "MyCopyDir copy differs" >&2; exit 1; }
peer=$(best "$rounds" 'rm -rf "$work/copy"' cp -a "$work/tree" "$work/copy")
rm -rf "$work/tree" "$work/copy"
printf 'MyCopyDir %.2f s, cp -a %.2f s, ratio %.2f\n' "$ours" "$peer" "$(echo "$ours / $peer" | bc -l)"

echo "payload of $mb_payload MB: $(make_tree "$work/files" "$mb_payload")"
python3 "$here/scripts/payload-build.py" "$build/payload/PayloadExtractor" "$work/files" "$work/payload"
(cd "$work/files" && zip -q -r -6 "$work/files.zip" .)
printf 'sizes: payload %s bytes, zip %s bytes\n' "$(stat -c %s "$work/payload")" "$(stat -c %s "$work/files.zip")"
mkdir -p "$work/out-ours" "$work/out-unzip"
cp "$work/payload" "$work/out-ours/payload"
ours=$(best "$rounds" 'find "$work/out-ours" -mindepth 1 ! -name payload -delete' "$work/out-ours/payload")
peer=$(best "$rounds" 'rm -rf "$work/out-unzip"; mkdir -p "$work/out-unzip"' unzip -q -o "$work/files.zip" -d "$work/out-unzip")
rm "$work/out-ours/payload"
diff -r "$work/files" "$work/out-ours" >/dev/null || { echo "unpacked payload differs" >&2; exit 1; }
printf 'payload %.2f s, unzip %.2f s, ratio %.2f\n' "$ours" "$peer" "$(echo "$ours / $peer" | bc -l)"
