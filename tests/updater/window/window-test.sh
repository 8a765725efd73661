#!/usr/bin/env bash
# Runs a window test program under Wine on a virtual desktop of its own, on a
# virtual X screen: starts Xvfb (xvfb-run -a picks a free display), then a
# Wine virtual desktop, then the test program, which joins that desktop
# (WINDOW_TEST_DESKTOP) and starts the program under test there. Exits with
# the test program's exit code. Listing the tests needs no screen.
# WINDOW_TEST_SCREEN sets the size of the screen and the desktop (default
# 1024x768; the window at a high DPI needs more).
#
#   window-test.sh <wine loader> <test program> [arguments...]
set -u
wine=$1
shift
export WINEDEBUG=${WINEDEBUG:--all}
for arg in "$@"; do
  if [ "$arg" = --gtest_list_tests ]; then exec "$wine" "$@"; fi
done
export WINDOW_TEST_SCREEN=${WINDOW_TEST_SCREEN:-1024x768}
exec xvfb-run -a -s "-screen 0 ${WINDOW_TEST_SCREEN}x24" bash -c '
  wine=$1
  shift
  # A desktop name of its own: the desktop of an earlier run may still be
  # going away.
  export WINDOW_TEST_DESKTOP=UpdaterWindowTest-$$
  log=$(mktemp)
  "$wine" explorer /desktop=$WINDOW_TEST_DESKTOP,$WINDOW_TEST_SCREEN </dev/null >"$log" 2>&1 &
  desktop=$!
  # A test program that crashes under Wine may still end with 0; only one
  # that printed its summary has finished.
  out=$(mktemp)
  "$wine" "$@" | tee "$out"
  status=${PIPESTATUS[0]}
  if [ "$status" -eq 0 ] && ! grep -q "^\[==========\] .* ran\." "$out"; then
    echo "window-test: the test program ended without its summary: it did not finish" >&2
    status=1
  fi
  rm -f "$out"
  if ! kill $desktop 2>/dev/null; then
    echo "window-test: the virtual desktop had ended before the test did; its output:" >&2
    cat "$log" >&2
  fi
  wait $desktop 2>/dev/null
  rm -f "$log"
  exit $status
' window-test "$wine" "$@"
