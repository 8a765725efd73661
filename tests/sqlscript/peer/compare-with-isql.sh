#!/usr/bin/env bash
# The engine and isql-fb run the same scripts on twin databases: the same
# statements must fail with the same SQLSTATE and the same messages, and the
# databases must end with the same metadata and rows.
#
#   compare-with-isql.sh RUNNER FBSERVER_ROOT
#
# RUNNER is sqlscript_run. Each script runs twice on each database, so the
# second pass adds the failures of objects that exist already. Firebird's
# employee example script is used when its package is installed.
set -u
runner=$1 root=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
port=$(awk '$1 == "RemoteServicePort" { print $3 }' "$root/firebird.conf")
password=${FB_PASSWORD:-qelvormask}
work=$root/tmp/peer.$$
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
fails=0

isql() { isql-fb -q -user SYSDBA -password "$password" -ch UTF8 "$@"; }
create() { rm -f "$1"; echo "create database 'localhost/$port:$1' default character set UTF8;" | isql; }

# isql: a failure runs from "Statement failed" to its "After line N in file"
# (an execution error) or "At line N in file" (a prepare error) line.
isql_failures() { awk '/^Statement failed/ { on = 1 } /^(After|At) line [0-9]+ in file/ { if (on) print "--"; on = 0; next } on' ; }
# The engine's runner: from "Statement failed" to its "Statement:" line.
engine_failures() { awk '/^Statement failed/ { on = 1 } /^Statement: / { if (on) print "--"; on = 0; next } on' ; }

# Metadata and the rows of every table, for comparing the two databases.
state() {
  isql-fb -x -user SYSDBA -password "$password" "localhost/$port:$1" 2>&1 | grep -v -i '^create database\|^/\* .*\*/$\|^$'
  local tables
  tables=$(echo "set heading off; select trim(rdb\$relation_name) from rdb\$relations where rdb\$system_flag = 0 and rdb\$view_blr is null order by 1;" |
           isql "localhost/$port:$1" | tr -s ' \n' ' ')
  for t in $tables; do
    echo "set heading off; select '$t', count(*) from \"$t\";" | isql "localhost/$port:$1"
  done
}

compare() { # name script
  local name=$1 script=$2 a=$work/$1_isql.fdb b=$work/$1_engine.fdb
  create "$a"; create "$b"
  local cs="db_name=localhost/$port:$b; password=$password; user_name=SYSDBA; lc_ctype=UTF8; sql_role_name=; sql_dialect=3; clientlib=\"libfbclient.so.2\""
  : > "$work/$name.isql"; : > "$work/$name.engine"
  for pass in 1 2; do
    isql -i "$script" "localhost/$port:$a" 2>&1 | isql_failures >> "$work/$name.isql"
    "$runner" "$cs" "$script" 2>/dev/null | tr -d '\r' | engine_failures >> "$work/$name.engine"
  done
  local n
  n=$(grep -c '^Statement failed' "$work/$name.isql")
  if diff -u "$work/$name.isql" "$work/$name.engine" > "$work/$name.diff"; then
    echo "ok   $name: the same $n failures, in order, with the same SQLSTATE and messages"
  else
    echo "FAIL $name: the failures differ (isql-fb first):"; cat "$work/$name.diff"; fails=$((fails + 1))
  fi
  state "$a" | sed "s|$a|DB|g" > "$work/$name.state_isql"
  state "$b" | sed "s|$b|DB|g" > "$work/$name.state_engine"
  if diff -u "$work/$name.state_isql" "$work/$name.state_engine" > "$work/$name.state_diff"; then
    echo "ok   $name: the databases end alike ($(wc -l < "$work/$name.state_isql") lines of metadata and row counts)"
  else
    echo "FAIL $name: the databases differ:"; cat "$work/$name.state_diff"; fails=$((fails + 1))
  fi
}

compare faults "$here/faults.sql"

employee=$(dpkg -L firebird3.0-examples 2>/dev/null | grep '/employee\.sql\.gz$' | head -1 || true)
if [ -n "$employee" ] && [ -f "$employee" ]; then
  # Without its CREATE DATABASE: both peers are given the database.
  zcat "$employee" | grep -v -i "^create database" > "$work/employee.sql"
  compare employee "$work/employee.sql"
else
  echo "skip employee: package firebird3.0-examples is not installed"
fi

[ "$fails" -eq 0 ]
