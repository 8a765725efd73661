#!/usr/bin/env bash
# Builds the native and both Windows presets and runs every test: natively
# (with the private Firebird server as a CTest fixture) and the Windows tests
# under Wine. Exits non-zero when a build or a test fails.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
export WINEDEBUG=${WINEDEBUG:--all}
jobs=${JOBS:-$(nproc)}
# The end-to-end tests under Wine (label e2e) take about four minutes a case,
# most of it the service's fixed waits of the product. They run in one
# Windows tree: the i686 product where 32-bit code runs, else x86_64.
# E2E=all runs every case, E2E=sample the bridge, the console, the whole
# update and the rollback, E2E=none none.
E2E=${E2E:-all}
e2e_sample='^(Bridge\.|ConsoleUpdate\.|WindowUpdate\.(YesToEachQuestion|AFailingScript))|^e2e\.(not-built|cannot-run)$'
status=0

step() { echo; echo "=== $*"; }
fail() { echo "*** FAILED: $*"; status=1; }

for preset in native win32 win64; do
  step "configure and build: $preset"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j "$jobs"; }; then
    fail "build $preset"
  fi
done

step "tests: native"
ctest --output-on-failure --preset native -j "$jobs" || fail "native tests"

step "Wine prefix"
bash scripts/wine-init.sh || fail "wine prefix"
# Wine's own services must not inherit CTest's pipes, or CTest waits for them.
(wineserver -p; "$(bash scripts/wine-loader.sh 64)" cmd /c exit) </dev/null >/dev/null 2>&1

e2e_tree=win32
bash scripts/can-run-32bit.sh || e2e_tree=win64
e2e() { # preset
  if [ "$1" != "$e2e_tree" ] || [ "$E2E" = none ]; then
    echo "note: the end-to-end tests (label e2e) run in the $e2e_tree tree only (E2E=$E2E)"
  elif [ "$E2E" = sample ]; then
    echo "note: a sample of the end-to-end tests (E2E=sample; E2E=all runs every case)"
    ctest --output-on-failure --preset "$1" -L e2e -R "$e2e_sample"
  else
    ctest --output-on-failure --preset "$1" -L e2e
  fi
}

# A Wine process that fails to start now and then (no output, a hundredth
# of a second) is tried once more; a test that fails twice fails.
wine_ctest() { ctest --output-on-failure --repeat until-pass:2 "$@"; }

step "tests: Windows x86_64 under Wine"
wine_ctest --preset win64 -LE e2e || fail "win64 tests"
e2e win64 || fail "win64 end-to-end tests"

step "tests: Windows i686 under Wine"
if ! bash scripts/can-run-32bit.sh; then
  echo "note: this kernel cannot run 32-bit code: the i686 test programs are built but not run;"
  echo "      the checks of the built i686 files (exports, imports) run"
fi
wine_ctest --preset win32 -LE e2e || fail "win32 tests"
e2e win32 || fail "win32 end-to-end tests"
wineserver -k 2>/dev/null || true

step "fuzzing UDF_Get_Barcode for ${FUZZ_SECONDS:=60} s"
bash scripts/fuzz-udf.sh "$FUZZ_SECONDS" || fail "UDF fuzzing"

echo
if [ $status -eq 0 ]; then echo "=== all builds and tests passed"; else echo "=== some builds or tests FAILED"; fi
exit $status
