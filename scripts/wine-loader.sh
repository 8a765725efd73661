#!/usr/bin/env bash
# Prints the Wine loader that runs Windows programs of the given bitness;
# exits 1 (with a note on stderr) when there is none. The one place that
# chooses it: the toolchain files (the test emulator), wine-init.sh,
# run-tests.sh and can-run-32bit.sh all ask here.
#
#   wine-loader.sh 64|32
#
# The loaders are called directly rather than through "wine": Debian's
# "wine" is a wrapper that picks the 32-bit loader whenever wine32 is
# installed, so it would start 64-bit programs with the wrong loader, and
# that loader cannot start at all on a kernel without 32-bit emulation.
# Debian installs the 64-bit loader as /usr/lib/wine/wine64 (package wine64)
# and the 32-bit one as /usr/lib/wine/wine (package wine32:i386); where that
# layout is found without the 32-bit loader, there is none ("wine" would be
# the wrapper falling back to the 64-bit one). Elsewhere the loaders on PATH
# are used.
set -u
case ${1:-} in
64) candidates=(/usr/lib/wine/wine64 /usr/lib64/wine/wine64 wine64 wine) ;;
32) candidates=(/usr/lib/wine/wine)
    [ -e /usr/lib/wine/wine64 ] || candidates+=(wine) ;;
*) echo "usage: wine-loader.sh 64|32" >&2; exit 2 ;;
esac
for c in "${candidates[@]}"; do
  if loader=$(command -v "$c"); then
    echo "$loader"
    exit 0
  fi
done
echo "wine-loader: no $1-bit Wine loader found (tried ${candidates[*]})" >&2
exit 1
