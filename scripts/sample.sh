#!/usr/bin/env bash
# The sample run: installs what is needed, builds the native tree and runs
# the updater's console host as the program starts, in the system's language,
# then in Russian, German and French. Then the database steps of an update on
# a sample database in a private Firebird server: attached users (another
# attachment is open), shutdown, the server payload unpacked and its script
# run, online, and online once more. Last it shows the run log file.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
if [ "$(id -u)" -eq 0 ]; then bash scripts/install-deps.sh; else sudo bash scripts/install-deps.sh; fi
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)" --target Updater_Console payload_server
host=build/native/updater/Updater_Console

echo "=== start-up in the system's language"
"$host"
for lang in 2 4 5; do
  echo
  echo "=== language $lang"
  "$host" "$lang" | sed -n '/^Run log/,$p'
done

echo
echo "=== database steps on a sample database"
root=$PWD/build/sample/fbserver
port=${SAMPLE_PORT:-3051}
trap 'bash scripts/fbserver.sh stop "$root" >/dev/null' EXIT
bash scripts/fbserver.sh start "$root" "$port"
db=$root/data/Tamber.fdb
rm -f "$db"
printf "create database 'localhost/%s:%s' user 'SYSDBA' password 'qelvormask' default character set WIN1251;\n" "$port" "$db" | isql-fb -q
newdir=$PWD/build/sample/NewDir
rm -rf "$newdir" && mkdir -p "$newdir"
cp build/native/updater/resources/payloads/files "$newdir/files"
(cd "$newdir" && ./files) && echo "server payload unpacked: $(ls "$newdir" | wc -l) files in $newdir"
# Another user works in the database until the shutdown cuts the attachment.
{ echo "select 'attached' from rdb\$database;"; sleep 10; } |
  isql-fb -q -user SYSDBA -password qelvormask "localhost/$port:$db" >/dev/null 2>&1 &
sleep 1
"$host" 0 "localhost/$port:$db" "$newdir/script.sql" | sed -n '/^Run log/,$p'
printf "select 'procedure from the payload script: ' || version_no from sample_structure_version;\n" |
  isql-fb -q -user SYSDBA -password qelvormask "localhost/$port:$db"

log=$(ls -t build/native/updater/Logs/*_Updater.log | head -1)
echo
echo "=== the newest run log file, $log (CR shown as \\r):"
sed 's/\r/\\r/g' "$log"
