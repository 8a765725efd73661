#!/usr/bin/env bash
# Checks what a built library or program offers and needs: the names it
# exports, the calling convention of those exports on i686 Windows, the
# DLLs and entries it imports, and whether an ELF file looks for libraries in
# a path of its own. add_pe_check and add_elf_check
# (BinaryCheck.cmake) register the calls as tests.
#
#   binary-check.sh pe  OBJDUMP FILE [OPTION...]
#   binary-check.sh elf NM      FILE [OPTION...]
#
#   --export NAME          FILE exports NAME by exactly this name (on Windows
#                          no _ prefix or @n suffix; in ELF a function)
#   --exact-exports        ... and exports nothing else
#   --cdecl NAME           (pe) NAME is exported; on i686 every return of it
#                          is a plain "ret": the caller removes the arguments
#   --stdcall NAME=BYTES   (pe) NAME is exported; on i686 every return of it
#                          is "ret $BYTES": it removes its BYTES of arguments
#   --import DLL:NAME      (pe) NAME is imported from DLL, by name
#   --system-dlls          (pe) imports come only from DLLs every Windows has
#   --allow-dll DLL        (pe) imports from DLL are allowed as well
#   --import-library FILE  (pe) the import library of FILE: it offers every
#                          export, on i686 as _NAME@BYTES for --stdcall
#   --no-runpath READELF   (elf) FILE, read with READELF, carries no RUNPATH
#                          or RPATH: the system's search alone finds the
#                          libraries it needs, so none of them can be one that
#                          lies in a build folder
#
# The PE file is read from one "objdump -p"; the calling conventions from
# "objdump -d" of each checked export, up to the next symbol. Every failed
# check is reported; the exit status is 1 if any failed.
set -u
export LC_ALL=C
format=${1:-} tool=${2:-} file=${3:-}
[ $# -ge 3 ] || { echo "usage: binary-check.sh pe|elf TOOL FILE [OPTION...]" >&2; exit 2; }
shift 3

# DLLs present on every Windows (and under Wine): a program that imports only
# these runs with no DLL beside it. Names compare without regard to case.
system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|comctl32|comdlg32|ole32|oleaut32|shlwapi|version|ws2_32|msvcrt|ucrtbase|api-ms-win-.*)\.dll$'

exports=() exact=0 cdecl=() stdcall=() imports=() only_system=0 allowed=() implib= readelf=
while [ $# -gt 0 ]; do
  case $1 in
  --export) exports+=("$2"); shift ;;
  --exact-exports) exact=1 ;;
  --cdecl) cdecl+=("$2"); exports+=("$2"); shift ;;
  --stdcall)
    [[ $2 =~ ^([A-Za-z_][A-Za-z0-9_]*)=([0-9]+)$ ]] || { echo "--stdcall takes NAME=BYTES, not '$2'" >&2; exit 2; }
    stdcall+=("$2"); exports+=("${BASH_REMATCH[1]}"); shift ;;
  --import) [[ $2 == *:* ]] || { echo "--import takes DLL:NAME, not '$2'" >&2; exit 2; }
    imports+=("$2"); shift ;;
  --system-dlls) only_system=1 ;;
  --allow-dll) allowed+=("$2"); shift ;;
  --import-library) implib=$2; shift ;;
  --no-runpath) readelf=$2; shift ;;
  *) echo "unknown option '$1'" >&2; exit 2 ;;
  esac
  shift
done

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
[ -f "$file" ] || { echo "FAIL: $file does not exist"; exit 1; }
echo "checking $file"

# Compares the exported names (one a line, sorted) with the expected ones.
check_export_names() {
  local found=$1 name
  echo "exported names: $(echo ${found:-(none)})"
  for name in "${exports[@]}"; do
    grep -qxF -- "$name" <<<"$found" || fail "$name is not exported by that name"
  done
  if [ $exact = 1 ]; then
    local expected extra
    expected=$(printf '%s\n' "${exports[@]}" | sort -u)
    extra=$(comm -13 <(echo "$expected") <(echo "$found") | grep -v '^$')
    [ -z "$extra" ] || fail "exports more than ${exports[*]}: $(echo $extra)"
  fi
}

if [ "$format" = elf ]; then
  [ ${#cdecl[@]} -eq 0 ] && [ ${#stdcall[@]} -eq 0 ] && [ ${#imports[@]} -eq 0 ] &&
    [ $only_system = 0 ] && [ ${#allowed[@]} -eq 0 ] && [ -z "$implib" ] ||
    { echo "elf takes only --export, --exact-exports and --no-runpath" >&2; exit 2; }
  if [ ${#exports[@]} -gt 0 ] || [ $exact = 1 ]; then
    # "VALUE TYPE NAME" of each defined dynamic symbol; the version nodes of a
    # version script show as absolute (A) symbols and are not exports.
    symbols=$("$tool" -D --defined-only "$file") || { echo "FAIL: $tool cannot read $file"; exit 1; }
    symbols=$(awk 'NF == 3 && $2 != "A" { print $2, $3 }' <<<"$symbols")
    check_export_names "$(awk '{ print $2 }' <<<"$symbols" | sort -u)"
    for name in "${exports[@]}"; do
      grep -qxF -- "T $name" <<<"$symbols" || ! grep -q " $name\$" <<<"$symbols" ||
        fail "$name is exported, but not as a function: $(grep " $name\$" <<<"$symbols")"
    done
  fi
  if [ -n "$readelf" ]; then
    dynamic=$("$readelf" -d "$file") || { echo "FAIL: $readelf cannot read $file"; exit 1; }
    echo "needed libraries: $(sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p' <<<"$dynamic" | tr '\n' ' ')"
    paths=$(grep -E '\((RUNPATH|RPATH)\)' <<<"$dynamic")
    [ -z "$paths" ] || fail "finds libraries through a path of its own, not only the system's search: $(echo $paths)"
  fi
elif [ "$format" = pe ]; then
  [ -z "$readelf" ] || { echo "pe does not take --no-runpath" >&2; exit 2; }
  dump=$("$tool" -p "$file") || { echo "FAIL: $tool cannot read $file"; exit 1; }
  # One pass over the dump, one record a line:
  #   format F | imagebase HEX | eat INDEX RVA | name INDEX NAME | dll DLL | import DLL NAME
  records=$(awk '
    / file format / { print "format", $NF; next }
    $1 == "ImageBase" { print "imagebase", $2; next }
    /^Export Address Table --/ { part = "eat"; next }
    /^\[Ordinal\/Name Pointer\] Table/ { part = "names"; next }
    /^[ \t]*DLL Name:/ { dll = $3; print "dll", dll; part = "imports"; next }
    /^[ \t]*$/ { part = ""; next }
    part == "eat" && match($0, /\[ *[0-9]+\] \+base\[ *[0-9]+\] +[0-9a-fA-F]+ +(Export|Forwarder) RVA/) {
      split(substr($0, RSTART), f, /[][ \t]+/); print "eat", f[2], f[5]; next }
    part == "names" && match($0, /^[ \t]*\[ *[0-9]+\] /) {
      split($0, f, /[][ \t]+/); print "name", f[2], $NF; next }
    part == "imports" && $1 != "vma:" && NF >= 3 { print "import", dll, $3; next }
  ' <<<"$dump")
  pe_format=$(awk '$1 == "format" { print $2; exit }' <<<"$records")
  echo "format: $pe_format"
  case $pe_format in pei-i386|pei-x86-64) ;; *) fail "not a PE file of i686 or x86_64 ($pe_format)"; exit 1 ;; esac

  # Exports: the name table, and no entry reachable by ordinal only.
  names=$(awk '$1 == "name" { print $3 }' <<<"$records" | sort)
  entries=$(grep -c '^eat ' <<<"$records")
  check_export_names "$names"
  if [ $exact = 1 ] && [ "$entries" -ne "$(grep -c . <<<"$names")" ]; then
    fail "the export address table has $entries entries for $(grep -c . <<<"$names") names"
  fi

  # Calling conventions on i686: every return of the export up to the next
  # symbol; in a file without symbols (objdump then labels the start as
  # <.text+0x...>) only the first return, as the end is not known.
  returns_of() {
    local name=$1 index rva base start
    index=$(awk -v n="$name" '$1 == "name" && $3 == n { print $2; exit }' <<<"$records")
    rva=$(awk -v i="$index" '$1 == "eat" && $2 == i { print $3; exit }' <<<"$records")
    base=$(awk '$1 == "imagebase" { print $2; exit }' <<<"$records")
    [ -n "$index" ] && [ -n "$rva" ] && [ -n "$base" ] || return 1
    start=$((0x$base + 0x$rva))
    "$tool" -d --no-show-raw-insn --start-address="$start" --stop-address=$((start + 4096)) "$file" | awk '
      /^[0-9a-f]+ <.*>:$/ { if (labels++) exit; bounded = $0 !~ /\+0x[0-9a-f]+>:$/; next }
      match($0, /^ *[0-9a-f]+:\t/) {
        insn = substr($0, RLENGTH + 1)
        if (insn ~ /(^|[ \t])ret[lw]?([ \t]|$)/) {
          sub(/^.*ret[lw]?[ \t]*/, "ret ", insn); sub(/[ \t]+$/, "", insn); print insn
          if (!bounded) exit
        }
      }'
  }
  # A name missing from the export table has been reported above.
  not_located() {
    ! grep -qxF -- "$1" <<<"$names" || fail "the code of the export $1 cannot be found"
  }
  if [ "$pe_format" = pei-i386 ]; then
    for name in "${cdecl[@]}"; do
      rets=$(returns_of "$name") || { not_located "$name"; continue; }
      echo "returns of $name: $(echo $rets)"
      [ -n "$rets" ] || { fail "no return instruction found in $name"; continue; }
      bad=$(grep -vx 'ret' <<<"$rets" | sort -u)
      [ -z "$bad" ] || fail "$name removes its arguments ($(echo $bad)): stdcall, expected cdecl"
    done
    for item in "${stdcall[@]}"; do
      name=${item%=*} bytes=${item#*=}
      rets=$(returns_of "$name") || { not_located "$name"; continue; }
      echo "returns of $name: $(echo $rets)"
      [ -n "$rets" ] || { fail "no return instruction found in $name"; continue; }
      expected="ret \$$(printf '0x%x' "$bytes")"
      [ "$bytes" -ne 0 ] || expected=ret   # no arguments to remove
      bad=$(grep -vxF -- "$expected" <<<"$rets" | sort -u)
      [ -z "$bad" ] || fail "$name returns with '$(echo $bad)', expected stdcall '$expected' ($bytes bytes of arguments)"
    done
  elif [ ${#cdecl[@]} -gt 0 ] || [ ${#stdcall[@]} -gt 0 ]; then
    echo "calling conventions: x86_64 has one, nothing to check"
  fi

  # The import library: what a caller that links to FILE gets.
  if [ -n "$implib" ]; then
    [ -f "$implib" ] || { fail "import library $implib does not exist"; implib=; }
  fi
  if [ -n "$implib" ]; then
    # Defined global symbols of the archive's members.
    offered=$("$tool" -t "$implib" | awk '/\(scl +2\)/ && !/\(sec +0\)/ { print $NF }' | sort -u)
    for name in "${exports[@]}"; do
      symbol=$name
      if [ "$pe_format" = pei-i386 ]; then
        symbol=_$name
        for item in "${stdcall[@]}"; do
          [ "${item%=*}" = "$name" ] && symbol=_$name@${item#*=}
        done
      fi
      if grep -qxF -- "$symbol" <<<"$offered" && grep -qxF -- "__imp_$symbol" <<<"$offered"; then
        echo "import library offers $symbol"
      else
        fail "the import library $implib does not offer $symbol and __imp_$symbol (it has: $(grep -F "$name" <<<"$offered" | tr '\n' ' '))"
      fi
    done
  fi

  # Imports.
  dlls=$(awk '$1 == "dll" { print $2 }' <<<"$records" | sort -u)
  echo "imported DLLs: $(echo $dlls)"
  for item in "${imports[@]}"; do
    want_dll=${item%%:*} want=${item#*:}
    if awk -v d="${want_dll,,}" -v n="$want" '$1 == "import" && tolower($2) == d && $3 == n { found = 1 } END { exit !found }' <<<"$records"; then
      echo "imports $want from $want_dll"
    else
      fail "$want is not imported from $want_dll"
    fi
  done
  if [ $only_system = 1 ] || [ ${#allowed[@]} -gt 0 ]; then
    for dll in $dlls; do
      ok=0
      [ $only_system = 1 ] && grep -qiE "$system_dlls" <<<"$dll" && ok=1
      for a in "${allowed[@]}"; do [ "${a,,}" = "${dll,,}" ] && ok=1; done
      [ $ok = 1 ] || fail "imports $dll, which is not $([ $only_system = 1 ] && echo "a system DLL")$([ $only_system = 1 ] && [ ${#allowed[@]} -gt 0 ] && echo " or ")$([ ${#allowed[@]} -gt 0 ] && echo "one of ${allowed[*]}")"
    done
  fi
else
  echo "unknown format '$format'" >&2; exit 2
fi

if [ $failures -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "ok"
