#!/usr/bin/env bash
# Exits 0 when this machine can run 32-bit Windows programs under Wine. Some
# kernels are started without 32-bit emulation; there the 32-bit Wine loader
# fails with "Exec format error" and i686 tests cannot run.
loader=$(bash "$(dirname "${BASH_SOURCE[0]}")/wine-loader.sh" 32 2>/dev/null) && "$loader" --version >/dev/null 2>&1
