#!/usr/bin/env bash
# Exits 0 when this machine can run 32-bit Windows programs under Wine. Some
# kernels are started without 32-bit emulation; there the 32-bit Wine loader
# fails with "Exec format error" and i686 tests cannot run.
[ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
