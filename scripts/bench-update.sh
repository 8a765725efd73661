#!/usr/bin/env bash
# Benchmark of a whole update run (not a test): the console updater updates an
# installation with a large database and program folder, the fixed service
# waits off, side by side with "cp -a" of the same installation twice (the
# run's backup and working copies are its two copies of everything). Reported:
# the run's time without the time its scripts ran, as a ratio to cp -a.
#
#   scripts/bench-update.sh [DB_MB] [PROGRAM_MB] [PORT] [ROUNDS]   (defaults 1024 200 3051 3)
#
# Needs the native build. A private Firebird server plays the Firebird
# service. Works in build/bench-update and removes what it wrote.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
db_mb=${1:-1024} program_mb=${2:-200} port=${3:-3051} rounds=${4:-3}
build=$here/build/native
cmake --build "$build" --target Updater_Console UDF_Marklet >/dev/null
console=$build/updater/console/Updater_Console
work=$here/build/bench-update
server=$work/fbserver
fbserver="bash $here/scripts/fbserver.sh"
password=${FB_PASSWORD:-qelvormask}
export UPDATER_PASSWORD=$password
rm -rf "$work" && mkdir -p "$work"
trap '$fbserver stop "$server" >/dev/null; [ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
$fbserver start "$server" "$port" >/dev/null
mkdir -p "$server/bin"

# The installation: the sample, its database grown with rows that the
# server's record compression cannot shrink, its program folder with files.
master=$work/master
bash "$here/scripts/sample-installation.sh" "$master" "$port"
rows=$(( db_mb * 1024 / 4 ))
isql-fb -q -user SYSDBA -password "$password" "localhost/$port:$master/DB_Data/Tamber.fdb" <<SQL
create table filler (id integer not null, pad varchar(3900) character set none);
commit;
set term ^;
execute block as
  declare i integer = 0;
begin
  while (i < $rows) do
  begin
    insert into filler values (:i, rpad(uuid_to_char(gen_uuid()), 3900, uuid_to_char(gen_uuid())));
    i = i + 1;
  end
end^
set term ;^
commit;
SQL
for i in $(seq 1 "$program_mb"); do head -c 1048576 /dev/urandom > "$master/Program/module$i.dll"; done
echo "installation: database $(du -m "$master/DB_Data/Tamber.fdb" | cut -f1) MB, program folder $(du -sm "$master/Program" | cut -f1) MB"

# Every output line with the moment it appeared.
stamped() { while IFS= read -r line; do printf '%s %s\n' "$(date +%s.%N)" "$line"; done; }
# The time between each script's start line and the line after it.
script_seconds() {
  awk '
    started { total += $1 - start; started = 0 }
    /Run the check script project\.|Runs a script check the database version|Выполняется скрипт проверки проекта|Выполненяется скрипт/ { start = $1; started = 1 }
    END { printf "%.3f", total }' "$1"
}

# The time of the server's own stops, starts and shutdown (with the 2-second
# wait after the shutdown request): the lines after which the run waits for
# the server.
server_seconds() {
  awk '
    started { total += $1 - start; started = 0 }
    /FireBird service is being stopped\.|The FireBird service is being started\.|Остановка службы FireBird\.|Запуск службы FireBird\.|has been deleted|Switch database to multi-user mode \(OnLine\)|Switch database to single-user mode \(Shutdown\)/ { start = $1; started = 1 }
    END { printf "%.3f", total }' "$1"
}

best_cp="" best_run="" best_scripts="" best_server=""
for round in $(seq 1 "$rounds"); do
  rm -rf "$work/inst" "$work/copy1" "$work/copy2"
  cp -a "$master" "$work/inst"
  sync
  s=$(date +%s.%N)
  cp -a "$work/inst" "$work/copy1" && cp -a "$work/inst" "$work/copy2"
  sync
  cp_s=$(echo "$(date +%s.%N) - $s" | bc -l)
  rm -rf "$work/copy1" "$work/copy2"
  sync
  s=$(date +%s.%N)
  "$console" update --project TAMBER --location "$work/inst" --yes --language 3 \
    --connect-prefix "localhost/$port:" --server-dir "$server" --server-type SUPER \
    --service-start "$fbserver start '$server' $port >/dev/null" \
    --service-stop "$fbserver stop '$server' >/dev/null" \
    --service-query "$fbserver status '$server' >/dev/null" \
    --no-service-waits 2>&1 | stamped > "$work/run.log"
  sync
  run_s=$(echo "$(date +%s.%N) - $s" | bc -l)
  grep -q "The updating passed successfully" "$work/run.log" || { echo "the update failed:"; cut -d' ' -f2- "$work/run.log"; exit 1; }
  scripts_s=$(script_seconds "$work/run.log")
  server_s=$(server_seconds "$work/run.log")
  printf 'round %d: cp -a twice %.2f s; update run %.2f s, of which scripts %.2f s, server stops, starts and shutdown %.2f s\n' \
    "$round" "$cp_s" "$run_s" "$scripts_s" "$server_s"
  if [ -z "$best_cp" ] || (( $(echo "$cp_s < $best_cp" | bc -l) )); then best_cp=$cp_s; fi
  net=$(echo "$run_s - $scripts_s" | bc -l)
  if [ -z "$best_run" ] || (( $(echo "$net < $best_run" | bc -l) )); then best_run=$net; best_scripts=$scripts_s; best_server=$server_s; fi
done
printf 'best: cp -a twice %.2f s; update run without its scripts %.2f s (scripts %.2f s)\n' "$best_cp" "$best_run" "$best_scripts"
printf 'update run without scripts / cp -a twice: %.2f\n' "$(echo "$best_run / $best_cp" | bc -l)"
printf 'update run without scripts and server stops, starts and shutdown / cp -a twice: %.2f\n' \
  "$(echo "($best_run - $best_server) / $best_cp" | bc -l)"
