#!/usr/bin/env bash
# Runs a window test program under Wine on a virtual desktop of its own, on a
# virtual X screen: starts Xvfb (xvfb-run -a picks a free display), then a
# Wine virtual desktop, then the test program, which joins that desktop
# (WINDOW_TEST_DESKTOP) and starts the program under test there. Exits with
# the test program's exit code. Listing the tests needs no screen.
#
#   window-test.sh <wine loader> <test program> [arguments...]
set -u
wine=$1
shift
export WINEDEBUG=${WINEDEBUG:--all}
for arg in "$@"; do
  if [ "$arg" = --gtest_list_tests ]; then exec "$wine" "$@"; fi
done
exec xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  wine=$1
  shift
  # A desktop name of its own: the desktop of an earlier run may still be
  # going away.
  export WINDOW_TEST_DESKTOP=UpdaterWindowTest-$$
  log=$(mktemp)
  "$wine" explorer /desktop=$WINDOW_TEST_DESKTOP,1024x768 </dev/null >"$log" 2>&1 &
  desktop=$!
  "$wine" "$@"
  status=$?
  if ! kill $desktop 2>/dev/null; then
    echo "window-test: the virtual desktop had ended before the test did; its output:" >&2
    cat "$log" >&2
  fi
  wait $desktop 2>/dev/null
  rm -f "$log"
  exit $status
' window-test "$wine" "$@"
