#!/usr/bin/env bash
# A Windows program that must run on its own imports only DLLs that every
# Windows has: no MinGW runtime, no zlib1.dll beside it.
#   check-imports.sh OBJDUMP FILE...
set -u
objdump=$1; shift
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|SHELL32|COMCTL32|OLE32|msvcrt|ucrtbase|api-ms-win-.*)\.dll$'
fails=0 passes=0
for f in "$@"; do
  bad=$("$objdump" -p "$f" | sed -n 's/^\s*DLL Name: //p' | grep -Eiv "$allowed")
  if [ -n "$bad" ]; then echo "FAIL $f imports: $bad"; fails=$((fails + 1)); else echo "ok   $f"; passes=$((passes + 1)); fi
done
echo "$passes passed, $fails failed"
[ "$fails" -eq 0 ]
