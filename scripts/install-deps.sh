#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the sample run need.
# Safe to run again: packages already present are left as they are.
set -euo pipefail

packages=(
  cmake g++ make pkg-config python3
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
  zlib1g-dev libz-mingw-w64-dev
  googletest libgtest-dev libgmock-dev
  wine wine32:i386 wine64 xvfb xauth imagemagick fonts-wine fonts-dejavu-core
  firebird3.0-server firebird3.0-utils firebird-dev libib-util firebird3.0-examples
  # The end-to-end tests' client bridge: a Wine built-in DLL built with
  # winegcc, for 64 and 32 bits, linked with the Linux client of each.
  wine64-tools libwine-dev libwine-dev:i386 gcc-multilib libfbclient2 libfbclient2:i386
  fp-utils
  procps psmisc netcat-openbsd
  clang libclang-rt-14-dev
  zip unzip bc locales
  libbenchmark-dev linux-perf
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # The Debian Firebird server package must not start its own system service:
  # the tests run a private server of their own.
  printf '#!/bin/sh\nexit 101\n' > /usr/sbin/policy-rc.d
  chmod +x /usr/sbin/policy-rc.d
  trap 'rm -f /usr/sbin/policy-rc.d' EXIT
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The window tests start the program under a Russian and an English system
# locale; Wine takes them from the host's locales.
for locale in ru_RU en_US; do
  locale -a 2>/dev/null | grep -qix "$locale.utf-\?8" || localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
done
