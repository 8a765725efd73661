#!/usr/bin/env bash
# in-russian-locale.sh LOCALEDIR COMMAND...
# Runs COMMAND in the Russian UTF-8 locale, which under Wine makes 1251 the
# system's ANSI code page, as on a Russian Windows. The locale is compiled
# into LOCALEDIR (once) from the system's locale sources, so the machine
# needs no generated Russian locale. Exits with 77 (skipped) when the
# sources or localedef are missing.
set -u
dir=$1
shift
if [ ! -f "$dir/ru_RU.UTF-8/LC_CTYPE" ]; then
  command -v localedef >/dev/null && [ -f /usr/share/i18n/locales/ru_RU ] || {
    echo "in-russian-locale: no localedef or no ru_RU locale source; skipped"
    exit 77
  }
  mkdir -p "$dir"
  localedef -i ru_RU -f UTF-8 "$dir/ru_RU.UTF-8" || { echo "in-russian-locale: localedef failed"; exit 77; }
fi
LOCPATH=$dir LC_ALL=ru_RU.UTF-8 exec "$@"
