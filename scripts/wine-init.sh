#!/usr/bin/env bash
# Prepares the Wine prefix for the Windows tests, once: a 64-bit prefix set
# up by the 64-bit loader (this also works where the kernel cannot run 32-bit
# code), and the fonts the window needs. Safe to run again.
set -euo pipefail
export WINEDEBUG=${WINEDEBUG:--all}
prefix=${WINEPREFIX:-$HOME/.wine}
wine64=$(bash "$(dirname "${BASH_SOURCE[0]}")/wine-loader.sh" 64)

if [ ! -f "$prefix/system.reg" ]; then
  "$wine64" wineboot -i </dev/null >/dev/null 2>&1 || true
  # wineboot returns before the prefix is finished: wait until its wineserver
  # has ended (bounded, in case another program keeps a wineserver running).
  timeout 180 wineserver -w || true
fi
# Wine's own fonts (Debian's fonts-wine puts them in /usr/share/wine/fonts;
# older packages used /usr/share/fonts/truetype/wine): without them in the
# prefix the window's caption glyphs (Marlett) are missing.
fonts=$prefix/drive_c/windows/Fonts
for dir in /usr/share/wine/fonts /usr/share/fonts/truetype/wine; do
  if [ -d "$dir" ] && [ -d "$fonts" ]; then
    cp -n "$dir"/*.ttf "$fonts"/ 2>/dev/null || true
  fi
done
[ -f "$prefix/system.reg" ] || { echo "wine-init: the prefix $prefix was not created" >&2; exit 1; }
# The window's font, "Microsoft Sans Serif", is not among Wine's fonts, and
# the fallback Wine finds on the host is much wider, so that texts which fit
# on Windows wrap. Tahoma, which Wine has, has nearly the same metrics.
if ! grep -q '^"Microsoft Sans Serif"="Tahoma"' "$prefix/system.reg"; then
  "$wine64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
    /v "Microsoft Sans Serif" /d Tahoma /f </dev/null >/dev/null 2>&1 || true
  timeout 60 wineserver -w || true
fi
echo "wine-init: prefix ready ($prefix)"
