#!/usr/bin/env bash
# Builds the native and both Windows presets and runs every test: natively
# (with the private Firebird server as a CTest fixture) and the Windows tests
# under Wine. Exits non-zero when a build or a test fails.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
export WINEDEBUG=${WINEDEBUG:--all}
jobs=${JOBS:-$(nproc)}
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
ctest --preset native -j "$jobs" || fail "native tests"

step "Wine prefix"
bash scripts/wine-init.sh || fail "wine prefix"
# Wine's own services must not inherit CTest's pipes, or CTest waits for them.
(wineserver -p; /usr/lib/wine/wine64 cmd /c exit) </dev/null >/dev/null 2>&1

step "tests: Windows x86_64 under Wine"
ctest --preset win64 || fail "win64 tests"

step "tests: Windows i686 under Wine"
if bash scripts/can-run-32bit.sh; then
  ctest --preset win32 || fail "win32 tests"
else
  echo "skipped: this kernel cannot run 32-bit code, so the i686 build is compiled and linked but its tests cannot run here"
fi
wineserver -k 2>/dev/null || true

echo
if [ $status -eq 0 ]; then echo "=== all builds and tests passed"; else echo "=== some builds or tests FAILED"; fi
exit $status
