#!/usr/bin/env bash
# UDF_Marklet exports exactly one function, UDF_Get_Barcode, by that plain
# name; on i686 Windows it is cdecl (the caller removes the argument, so the
# function returns with a plain "ret", not "ret $4" as stdcall would). The
# Windows library imports ib_util_malloc from ib_util.dll and needs no DLL
# that a Firebird server folder does not have.
#
#   exportcheck.sh LIBRARY elf NM
#   exportcheck.sh LIBRARY pe  OBJDUMP
set -u
lib=$1 format=$2 tool=$3
fail() { echo "FAIL: $*"; exit 1; }

case $format in
elf)
  exports=$("$tool" -D --defined-only "$lib" | awk '$2 ~ /^[TtWwiDdBbVv]$/ {print $2, $3}')
  echo "dynamic symbols defined by $lib:"; echo "$exports"
  [ "$exports" = "T UDF_Get_Barcode" ] || fail "expected only 'T UDF_Get_Barcode'"
  ;;
pe)
  dump=$("$tool" -p "$lib")
  # The rows of the export name table: "[ordinal] name" after "[Ordinal/Name Pointer] Table".
  names=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] \(.*\)$/\1/p')
  echo "exported names of $lib:"; echo "$names"
  [ "$names" = "UDF_Get_Barcode" ] || fail "expected the one name UDF_Get_Barcode"
  entries=$(printf '%s\n' "$dump" | sed -n '/^Export Address Table/,/^$/p' | grep -c 'Export RVA')
  [ "$entries" -eq 1 ] || fail "expected one entry in the export address table, found $entries"
  # The imports: ib_util_malloc from ib_util.dll, by its plain name.
  imports=$(printf '%s\n' "$dump" | sed -n '/DLL Name: ib_util.dll/,/^$/p')
  printf '%s\n' "$imports" | grep -qw 'ib_util_malloc' || fail "ib_util_malloc is not imported from ib_util.dll"
  # The server's folder holds no MinGW runtime: only system DLLs and ib_util.dll.
  dlls=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort | tr '\n' ' ')
  echo "imported DLLs: $dlls"
  for dll in $dlls; do
    case ${dll,,} in kernel32.dll|msvcrt.dll|ib_util.dll) ;; *) fail "imports $dll" ;; esac
  done
  if printf '%s\n' "$dump" | grep -q 'file format pei-i386'; then
    base=$(printf '%s\n' "$dump" | awk '$1 == "ImageBase" {print $2}')
    rva=$(printf '%s\n' "$dump" | sed -n 's/.*\] *\([0-9a-fA-F]*\) Export RVA.*/\1/p')
    start=$(printf '0x%x' $((0x$base + 0x$rva)))
    stop=$(printf '0x%x' $((0x$base + 0x$rva + 4096)))
    first_ret=$("${tool}" -d --no-show-raw-insn --start-address="$start" --stop-address="$stop" "$lib" |
                grep -m1 -E '[[:space:]]ret[lw]?([[:space:]]|$)')
    echo "first return of UDF_Get_Barcode: $first_ret"
    [ -n "$first_ret" ] || fail "no return instruction found"
    printf '%s\n' "$first_ret" | grep -qE 'ret[lw]?[[:space:]]+\$' && fail "UDF_Get_Barcode removes its argument (stdcall), expected cdecl"
  fi
  ;;
*) fail "unknown format $format" ;;
esac
echo "ok"
