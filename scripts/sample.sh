#!/usr/bin/env bash
# The sample: the console updater updates a sample Tamber installation end to
# end, natively. A private Firebird server plays the Firebird service (the
# updater stops and starts it through scripts/fbserver.sh); the run uses the
# payload programs the build made. Then it shows, from the updated database,
# the new version, the kept data and a barcode the UDF computes inside the
# server. Last, an update that fails in its script, and its rollback.
#
# SAMPLE_PORT sets the server's port (default 3051); SKIP_DEPS=1 skips the
# package installation.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
if [ "${SKIP_DEPS:-0}" != 1 ]; then
  if [ "$(id -u)" -eq 0 ]; then bash scripts/install-deps.sh; else sudo bash scripts/install-deps.sh; fi
fi
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)" --target Updater_Console UDF_Marklet >/dev/null

port=${SAMPLE_PORT:-3051}
work=$PWD/build/sample
server=$work/fbserver
fbserver="bash $PWD/scripts/fbserver.sh"
console=$PWD/build/native/updater/console/Updater_Console
password=${FB_PASSWORD:-qelvormask}
export UPDATER_PASSWORD=$password

trap '$fbserver stop "$server" >/dev/null' EXIT
$fbserver start "$server" "$port" >/dev/null
mkdir -p "$server/bin" # the server's folder as the updater knows it: bin/ and udf/

title() { printf '\n\033[1m=== %s\033[0m\n' "$*"; }
sql() { isql-fb -q -ch UTF8 -user SYSDBA -password "$password" "localhost/$port:$1"; }
update() {
  "$console" update --project TAMBER --location "$1" --yes --language 3 \
    --connect-prefix "localhost/$port:" --server-dir "$server" --server-type SUPER \
    --service-start "$fbserver start '$server' $port >/dev/null" \
    --service-stop "$fbserver stop '$server' >/dev/null" \
    --service-query "$fbserver status '$server' >/dev/null" \
    --no-service-waits
}
show_database() {
  sql "$1" <<'SQL'
set list on;
select version_no || '.' || release_no as "Database version",
       iif(mon$shutdown_mode = 0, 'online', 'shut down') as "Mode"
  from project_info cross join mon$database;
set list off;
select id, name from customers order by id;
SQL
}

title "A sample Tamber installation (version 106.1)"
inst=$work/TAMBER_RU
bash scripts/sample-installation.sh "$inst" "$port"
listing() { (cd "$1" && find Program Resources DB_Data -maxdepth 1 -type f -printf '  %p  %s bytes\n' | sort); }
listing "$inst"

title "Updater_Console update --project TAMBER --location $inst --yes"
start=$(date +%s)
if update "$inst"; then code=0; else code=$?; fi
echo "Exit code $code after $(( $(date +%s) - start )) s"

title "The updated installation: the new client program and pictures, the updated database"
listing "$inst"
show_database "$inst/DB_Data/Tamber.fdb"
echo "A barcode computed by UDF_Get_Barcode inside the server:"
sql "$inst/DB_Data/Tamber.fdb" <<'SQL'
set list on;
select '7,3,0,0,0,0,0,0,0,0,123456,5,0,0,0,0,0,1' as "Fields",
       udf_get_barcode('7,3,0,0,0,0,0,0,0,0,123456,5,0,0,0,0,0,1') as "Barcode"
  from rdb$database;
SQL

title "An update that fails: someone had added the column the update script adds"
failing=$work/TAMBER_RU_2
bash scripts/sample-installation.sh "$failing" "$port"
echo "alter table customers add label_code varchar(80);" | sql "$failing/DB_Data/Tamber.fdb"
if update "$failing"; then code=0; else code=$?; fi
echo "Exit code $code (1: failed, and nothing is left changed)"

title "After the rollback: the installation as it was (grids.ini goes, as in every update)"
listing "$failing"
show_database "$failing/DB_Data/Tamber.fdb"
echo "The run log: $(ls -t build/native/updater/console/Logs/*_Updater.log | head -1)"

title "The window: Updater_Tamber.exe under Wine on a virtual screen"
# The x86_64 build runs on every machine of this kind (the i686 product needs
# 32-bit emulation). The window's test program drives the real program: it
# opens the window, switches through the five languages, and runs a
# client-only update with Start and Yes, one with No, and one whose main
# stage fails and is rolled back, taking screenshots as it goes.
if cmake --preset win64 >/dev/null 2>&1 && cmake --build --preset win64 -j "$(nproc)" --target window_tests >/dev/null &&
   bash scripts/wine-init.sh >/dev/null; then
  shots=build/win64/tests/window-screenshots
  rm -f "$shots"/*.png
  (wineserver -p; "$(bash scripts/wine-loader.sh 64)" cmd /c exit) </dev/null >/dev/null 2>&1
  cases='WindowTest.TheLanguageMenuRelabels|ClientOnlyUpdate.(YesUpdates|NoAtTheFirst|AFailedMainStage)'
  if ctest --preset win64 -R "$cases" >/dev/null 2>&1; then
    echo "A client-only update through the window succeeded, No at the first question interrupted one,"
    echo "and one whose client payload program was stopped was rolled back."
  else
    echo "The window run failed: ctest --preset win64 -L window --output-on-failure tells why."
  fi
  wineserver -k 2>/dev/null || true
  echo "Screenshots:"
  ls "$PWD/$shots"/*.png 2>/dev/null | sed 's/^/  /'
else
  echo "The Windows build or the Wine prefix could not be made; the window part is skipped."
fi
