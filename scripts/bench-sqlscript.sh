#!/usr/bin/env bash
# Benchmark (not a test): the script engine against isql-fb on one generated
# script of more than ten thousand statements (tables, procedures, inserts,
# procedure calls, updates, selects, commits), each on a fresh database of
# the private Firebird server, in one run. Each round runs both peers once,
# in turn; the script prints, for each peer, the median and the spread (min
# and max) of the rounds' elapsed times and peak memory, and the ratios of
# the medians engine / isql-fb.
#
#   scripts/bench-sqlscript.sh [BUILD_DIR] [PORT] [ROUNDS] [WRITES]
#
# BUILD_DIR defaults to build/native (it must hold sqlscript/sqlscript_run),
# PORT to 3063, ROUNDS to 5. WRITES is "sync" (the default: forced writes on,
# as a new database has them, so every page is written through to the disk)
# or "async" (forced writes off on both databases: the disk's flush times,
# which vary widely on a shared machine, drop out, and the clients, the
# protocol and the server's work remain). The server is started from
# BUILD_DIR/fbserver and stopped again when this script started it; a server
# already running there is used on its own port.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$here/build/native}" && pwd)
port=${2:-3063}
rounds=${3:-5}
writes=${4:-sync}
case $writes in sync|async) ;; *) echo "WRITES is sync or async" >&2; exit 2 ;; esac
root=$build/fbserver
runner=$build/sqlscript/sqlscript_run
password=${FB_PASSWORD:-qelvormask}
[ -x "$runner" ] || { echo "no $runner: build the native preset first" >&2; exit 1; }

started=0
if ! bash "$here/scripts/fbserver.sh" status "$root" >/dev/null 2>&1; then
  bash "$here/scripts/fbserver.sh" start "$root" "$port" >/dev/null
  started=1
else
  port=$(sed -n 's/^RemoteServicePort *= *//p' "$root/firebird.conf")
fi
work=$root/tmp/bench.$$
mkdir -p "$work"
cleanup() { rm -rf "$work"; [ "$started" = 1 ] && bash "$here/scripts/fbserver.sh" stop "$root" >/dev/null; }
trap cleanup EXIT

script=$work/bench.sql
python3 - "$script" <<'PY'
import sys
out = []
tables, procs, rows = 100, 100, 10000
for t in range(tables):
    out.append(f"create table bench_t{t} (id integer not null primary key, name varchar(40), amount numeric(12,2));")
out.append("set term ^ ;")
for p in range(procs):
    t = p % tables
    out.append(f"create procedure bench_p{p} (id integer, amount numeric(12,2)) as\n"
               f"begin\n  insert into bench_t{t} values (:id, 'by procedure; {p}', :amount);\n"
               f"  update bench_t{t} set amount = amount + 1 where id = :id;\nend^")
out.append("set term ; ^")
for r in range(rows):
    t = r % tables
    if r % 10 == 9:
        out.append(f"execute procedure bench_p{r % procs}({100000 + r}, {r}.5);")
    else:
        out.append(f"insert into bench_t{t} values ({r}, 'row ''{r}''; -- not a comment', {r}.25);")
    if r % 1000 == 999:
        out.append("commit;")
for t in range(tables):
    out.append(f"update bench_t{t} set amount = amount * 2 where id < 5000;")
    out.append(f"select count(*), sum(amount) from bench_t{t};")
out.append("commit;")
open(sys.argv[1], "w").write("\n".join(out) + "\n")
# Every entry is one statement but the two SET TERM lines.
open(sys.argv[1] + ".count", "w").write(str(len(out) - 2))
PY
statements=$(cat "$script.count")

create() {
  rm -f "$1"
  echo "create database 'localhost/$port:$1' default character set UTF8;" | isql-fb -q -user SYSDBA -password "$password"
  if [ "$writes" = async ]; then gfix -user SYSDBA -password "$password" -write async "localhost/$port:$1"; fi
}
measure() { # db command...: prints "seconds kilobytes"
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>"$work/err" || true
  cat "$work/time"
}
: > "$work/isql"; : > "$work/engine"
for round in $(seq 1 "$rounds"); do
  a=$work/isql_$round.fdb b=$work/engine_$round.fdb
  create "$a"; create "$b"
  measure isql-fb -q -user SYSDBA -password "$password" -i "$script" "localhost/$port:$a" >> "$work/isql"
  measure "$runner" "db_name=localhost/$port:$b; password=$password; user_name=SYSDBA; lc_ctype=UTF8; sql_role_name=; sql_dialect=3; clientlib=\"libfbclient.so.2\"" "$script" >> "$work/engine"
  # Both must have done the same work.
  q="set heading off; select sum(c) from (select count(*) c from bench_t0 union all select count(*) from bench_t99);"
  ra=$(echo "$q" | isql-fb -q -user SYSDBA -password "$password" "localhost/$port:$a" | tr -d ' \n')
  rb=$(echo "$q" | isql-fb -q -user SYSDBA -password "$password" "localhost/$port:$b" | tr -d ' \n')
  [ "$ra" = "$rb" ] || { echo "the peers disagree: isql-fb $ra rows, engine $rb rows" >&2; exit 1; }
  rm -f "$a" "$b"
done

# Prints "median min max" of the numbers on standard input.
stats() { sort -g | awk '{ v[NR] = $1 } END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1], v[NR] }'; }
read -r ti ti_lo ti_hi < <(cut -d' ' -f1 "$work/isql" | stats)
read -r te te_lo te_hi < <(cut -d' ' -f1 "$work/engine" | stats)
read -r mi mi_lo mi_hi < <(cut -d' ' -f2 "$work/isql" | stats)
read -r me me_lo me_hi < <(cut -d' ' -f2 "$work/engine" | stats)
echo "script: $statements statements ($(wc -c < "$script") bytes), $rounds rounds, $writes writes"
printf "%-10s %28s   %32s\n" "" "seconds: median (min - max)" "peak KiB: median (min - max)"
printf "%-10s %10s (%6s - %6s)   %12s (%7s - %7s)\n" isql-fb "$ti" "$ti_lo" "$ti_hi" "$mi" "$mi_lo" "$mi_hi"
printf "%-10s %10s (%6s - %6s)   %12s (%7s - %7s)\n" sqlscript "$te" "$te_lo" "$te_hi" "$me" "$me_lo" "$me_hi"
awk -v te="$te" -v ti="$ti" -v me="$me" -v mi="$mi" \
  'BEGIN { printf "ratio of the medians engine / isql-fb: time %.2f, peak memory %.2f\n", te / ti, me / mi }'
