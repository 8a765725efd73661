#!/usr/bin/env bash
# check-exports.sh LIBRARY [IMPORTLIB] POINTERSIZE
# The script engine exports exactly Connect, ExecScriptFile and
# ExecScriptText, undecorated. For 32-bit Windows the import library must
# carry the __stdcall decorations Connect@8, ExecScriptFile@16 and
# ExecScriptText@16, which shows the calling convention and argument sizes.
set -u
lib=$1 implib=${2:-} ptr=${3:-8}
expected=$'Connect\nExecScriptFile\nExecScriptText'
case $lib in
*.dll)
  objdump=x86_64-w64-mingw32-objdump
  [ "$ptr" = 4 ] && objdump=i686-w64-mingw32-objdump
  names=$($objdump -p "$lib" | awk '/\[Ordinal\/Name Pointer\] Table/ { on = 1; next } on && /^[ \t]*\[/ { print $NF; next } on { exit }' | sort)
  ;;
*)
  names=$(nm -D --defined-only "$lib" | awk '$2 == "T" { print $3 }' | sort)
  ;;
esac
if [ "$names" != "$expected" ]; then
  echo "FAIL exports of $lib:"; echo "$names"; exit 1
fi
echo "ok   $lib exports: $(echo $names)"
if [ "$ptr" = 4 ] && [ -n "$implib" ]; then
  decorated=$(i686-w64-mingw32-nm "$implib" | grep -o '_\(Connect@8\|ExecScriptFile@16\|ExecScriptText@16\)$' | sort -u | tr '\n' ' ')
  if [ "$decorated" != "_Connect@8 _ExecScriptFile@16 _ExecScriptText@16 " ]; then
    echo "FAIL __stdcall decorations in $implib: $decorated"; exit 1
  fi
  echo "ok   __stdcall: $decorated"
fi
