#!/usr/bin/env bash
# The private Firebird server answers as the product's server does: over TCP
# as "localhost/PORT:<file>", with WIN1251 and UTF8, with the Services API's
# own messages, and with UDF libraries only from its own udf folder.
set -u
root=$1 port=$2
password=${FB_PASSWORD:-qelvormask}
data=$root/data
fails=0 passes=0
check() { # name expected actual
  if [[ "$3" == *"$2"* ]]; then passes=$((passes + 1)); echo "ok   $1"
  else fails=$((fails + 1)); echo "FAIL $1: expected to contain [$2], got [$3]"; fi
}
sql() { isql-fb -q -user SYSDBA -password "$password" "$@" 2>&1; }

for cs in WIN1251 UTF8; do
  db=$data/smoke_$cs.fdb
  rm -f "$db"
  out=$(printf "create database 'localhost/%s:%s' default character set %s;\nselect 'cs=' || trim(rdb\$character_set_name) from rdb\$database;\n" \
        "$port" "$db" "$cs" | sql)
  check "create a $cs database over TCP" "cs=$cs" "$out"
done

db=$data/smoke_WIN1251.fdb
out=$(fbsvcmgr "localhost/$port:service_mgr" -user SYSDBA -password "$password" \
      action_properties dbname "$db" prp_db_online 2>&1)
check "bringing an online database online again" "Target shutdown mode is invalid for database" "$out"

out=$(printf "select 1 from rdb\$database;\n" | isql-fb -q -user SYSDBA -password wrong "localhost/$port:$db" 2>&1)
check "a wrong password is refused" "Your user name and password are not defined" "$out"

# UDF libraries load from the server's own udf folder and from nowhere else.
cp /usr/lib/x86_64-linux-gnu/firebird/3.0/UDF/ib_udf.so "$root/udf/smoke_udf.so"
out=$(printf "declare external function smoke_abs double precision returns double precision by value entry_point 'IB_UDF_abs' module_name 'smoke_udf';\ncommit;\nselect 'abs=' || smoke_abs(-2) from rdb\$database;\n" |
      sql "localhost/$port:$db")
check "a UDF from the udf folder runs" "abs=2" "$out"
out=$(printf "declare external function smoke_far double precision returns double precision by value entry_point 'IB_UDF_abs' module_name '/usr/lib/x86_64-linux-gnu/firebird/3.0/UDF/ib_udf';\ncommit;\nselect smoke_far(-2) from rdb\$database;\n" |
      sql "localhost/$port:$db")
check "a UDF from elsewhere is denied" "is not allowed by server configuration" "$out"
rm -f "$root/udf/smoke_udf.so"

echo "$passes passed, $fails failed"
[ "$fails" -eq 0 ]
