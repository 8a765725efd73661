#!/usr/bin/env bash
# Makes a sample installation of Tamber, as the maker's installer and an
# earlier update would have left it:
#
#   scripts/sample-installation.sh DIR PORT
#
#   DIR/Program     an old Tamber.exe (a small script that says so) and grids.ini
#   DIR/Resources   an old Logo.bmp
#   DIR/DB_Data     Tamber.fdb, a WIN1251 database of version 106.1 made on the
#                   Firebird server at localhost/PORT from sample-database.sql
#
# An existing DIR is replaced. SYSDBA's password is FB_PASSWORD, else the
# default system password.
set -euo pipefail
dir=$1 port=$2
password=${FB_PASSWORD:-qelvormask}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

rm -rf "$dir"
mkdir -p "$dir"/{Program,Resources,DB_Data}
dir=$(cd "$dir" && pwd)
printf '#!/bin/sh\necho "Tamber 106.1 (the old client program)"\n' > "$dir/Program/Tamber.exe"
chmod +x "$dir/Program/Tamber.exe"
printf '[Customers]\r\nColumns=ID;NAME\r\n' > "$dir/Program/grids.ini"
printf 'old logo' > "$dir/Resources/Logo.bmp"

db=$dir/DB_Data/Tamber.fdb
out=$( { printf "create database 'localhost/%s:%s' user 'SYSDBA' password '%s' default character set WIN1251;\n" \
           "$port" "$db" "$password"
         cat "$here/sample-database.sql"; } | isql-fb -q -ch UTF8 2>&1)
if [ -n "$out" ]; then echo "sample-installation: $out" >&2; exit 1; fi
