#!/usr/bin/env bash
# UDF_Marklet inside the private Firebird server: the library is copied into
# the server's udf folder, the function is declared from UDF_Marklet.sql, and
# SQL calls it.
#
#   server.sh CASE ROOT PORT LIBRARY
#
# CASE is one of
#   WIN1251, UTF8  a database of that character set: barcodes, NULL for every
#                  failure, Cyrillic bytes in the input
#   concurrent     several connections call it at the same time
#   bad-inputs     a long run of failing calls; the same server process still
#                  answers afterwards
set -u
case_name=$1 root=$(cd "$2" && pwd) port=$3 lib=$4
password=${FB_PASSWORD:-qelvormask}
sqlfile=$(dirname "$lib")/UDF_Marklet.sql
fails=0 passes=0
check() { # name expected actual
  if [[ "$3" == "$2" ]]; then passes=$((passes + 1)); echo "ok   $1"
  else fails=$((fails + 1)); echo "FAIL $1: expected [$2], got [$3]"; fi
}
sql() { isql-fb -q -user SYSDBA -password "$password" "$@" 2>&1; }
finish() { echo "$passes passed, $fails failed"; [ "$fails" -eq 0 ] && [ "$passes" -gt 0 ]; exit; }

# The server may have the library loaded already: replace it by renaming, so
# a mapped file is never overwritten in place.
if ! cmp -s "$lib" "$root/udf/UDF_Marklet.so"; then
  cp "$lib" "$root/udf/.UDF_Marklet.so.$$" && mv -f "$root/udf/.UDF_Marklet.so.$$" "$root/udf/UDF_Marklet.so"
fi

# A fresh database of character set $1 named after the case, with the
# function declared from UDF_Marklet.sql and a table NUMS of 0 .. 999.
new_db() {
  db=$root/data/udf_${case_name}_$1.fdb
  conn=localhost/$port:$db
  rm -f "$db"
  out=$(sql <<SQL
create database '$conn' default character set $1;
input '$sqlfile';
commit;
create table nums (n integer);
commit;
set term ^;
execute block as declare i integer = 0; begin while (i < 1000) do begin insert into nums values (:i); i = i + 1; end end^
set term ;^
commit;
select 'declared=' || count(*) from rdb\$functions where rdb\$function_name = 'UDF_GET_BARCODE';
SQL
)
  check "UDF_Marklet.sql declares the function in a $1 database" "declared=1" "$(grep -o 'declared=.*' <<<"$out" | tr -d ' ')"
}

worked=_1000009B71IP4?0D4
winput=15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1

case $case_name in
WIN1251|UTF8)
  cs=$case_name
  new_db "$cs"
  # input | expected ("<null>" for SQL NULL)
  cases=(
    "$winput|$worked"
    "15 3 200 0 2 0 0 1 2 0 123456 5 0 0 0 7 9 1|$worked"
    "15, 3, 200, 0, 2, 0, 0, 1, 2, 0, 123456, 5, 0, 0, 0, 7, 9, 1|$worked"
    "$winput,|$worked"
    "\$0F,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1|$worked"
    "15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1,Ж|$worked"
    "15,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0|?00000000000000000"
    "7,3,0,0,0,0,0,0,0,0,123456,5,0,0,0,0,0,1|W18a3051"
    "|<null>"
    "15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9|<null>"
    "15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,,1|<null>"
    "15,3,200abc,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1|<null>"
    "15,3,200,0,2,0,0,1,2,0,2147483648,5,0,0,0,7,9,1|<null>"
    "15,3,256,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1|<null>"
    "15,3,200,0,2,0,0,1,2,0,134217728,5,0,0,0,7,9,1|<null>"
    "32,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1|<null>"
    "15,3,200,0,2,0,0,1,2,0,-1,5,0,0,0,7,9,1|<null>"
    "Ж,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1|<null>"
    "\"unclosed|<null>"
  )
  script="set list on;"$'\n'
  for i in "${!cases[@]}"; do
    script+="select 'case$i=' || coalesce(udf_get_barcode('${cases[$i]%%|*}'), '<null>') as r from rdb\$database;"$'\n'
  done
  script+="select 'null=' || coalesce(udf_get_barcode(null), '<null>') as r from rdb\$database;"$'\n'
  # The client sends the texts in the database's own character set.
  if [ "$cs" = WIN1251 ]; then script=$(iconv -f UTF-8 -t CP1251 <<<"$script"); fi
  out=$(sql -ch "$cs" "$conn" <<<"$script")
  for i in "${!cases[@]}"; do
    got=$(sed -n "s/^R *case$i=//p" <<<"$out" | sed 's/ *$//')
    check "$cs: '${cases[$i]%%|*}'" "${cases[$i]#*|}" "$got"
  done
  check "$cs: NULL input" "<null>" "$(sed -n 's/^R *null=//p' <<<"$out" | sed 's/ *$//')"
  # A result is an ordinary text of the database: it compares and concatenates.
  out=$(sql -ch "$cs" "$conn" <<<"set list on; select 'eq=' || iif(udf_get_barcode('$winput') = '$worked', 'yes', 'no') || char_length(udf_get_barcode('$winput')) as r from rdb\$database;")
  check "$cs: the result compares as text" "yes18" "$(sed -n 's/^R *eq=//p' <<<"$out" | sed 's/ *$//')"
  ;;

concurrent)
  new_db UTF8
  # 100 000 calls per connection, every third input failing; the gate number
  # (100000 + 100 a + c) varies so that every good row has its own barcode,
  # and the row of gate 123456 is the worked example.
  query="set list on;
select 'rows=' || count(*) || ' good=' || count(b) || ' distinct=' || count(distinct b)
       || ' worked=' || coalesce(max(iif(g = 123456, b, null)), '<null>') as r
from (select 100000 + a.n * 100 + c.n as g,
             udf_get_barcode(iif(mod(a.n + c.n, 3) = 0, '15,3,256',
               '15,3,200,0,2,0,0,1,2,0,' || (100000 + a.n * 100 + c.n) || ',5,0,0,0,7,9,1')) as b
      from nums a cross join nums c where c.n < 100);"
  sessions=4
  tmp=$(mktemp -d)
  for s in $(seq 1 $sessions); do
    sql -ch UTF8 "$conn" <<<"$query" >"$tmp/$s.out" &
  done
  wait
  # Good rows: those with (a + c) mod 3 <> 0 out of 1000 x 100.
  expected_good=$(( (1000 * 100) - (1000 * 100 + 2) / 3 ))
  for s in $(seq 1 $sessions); do
    got=$(sed -n 's/^R *//p' "$tmp/$s.out" | sed 's/ *$//')
    [ -n "$got" ] || got=$(cat "$tmp/$s.out")
    check "connection $s of $sessions" "rows=100000 good=$expected_good distinct=$expected_good worked=$worked" "$got"
  done
  rm -rf "$tmp"
  ;;

bad-inputs)
  new_db WIN1251
  pid_before=$(cat "$root/firebird.pid")
  # Each kind of failure, 20 000 times, in one statement.
  out=$(sql -ch WIN1251 "$conn" <<SQL
set list on;
select 'results=' || count(udf_get_barcode(
         decode(mod(a.n, 8),
           0, '',
           1, '15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9',
           2, '15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,,1',
           3, '15,3,20x,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1',
           4, '15,3,200,0,2,0,0,1,2,0,99999999999,5,0,0,0,7,9,1',
           5, '15,3,256,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1',
           6, '"' || a.n || ',',
              lpad('', 250, '9') || ','))) || ' calls=' || count(*) as r
from nums a cross join nums c where c.n < 160;
SQL
)
  check "160 000 failing calls all return NULL" "results=0 calls=160000" "$(sed -n 's/^R *//p' <<<"$out" | sed 's/ *$//')"
  out=$(sql -ch WIN1251 "$conn" <<<"set list on; select 'after=' || udf_get_barcode('$winput') as r from rdb\$database;")
  check "the server still answers afterwards" "after=$worked" "$(sed -n 's/^R *//p' <<<"$out" | sed 's/ *$//')"
  check "it is the same server process" "$pid_before alive" "$(cat "$root/firebird.pid") $(kill -0 "$pid_before" 2>/dev/null && echo alive)"
  ;;
*) echo "unknown case $case_name" >&2; exit 2 ;;
esac
finish
