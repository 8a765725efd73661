#!/usr/bin/env bash
# A run killed at each of its steps that change the live installation, and
# the next starts of the console: the first puts the installation in order
# (here through the online command, which changes nothing else), the second
# updates it. After each, the installation must be whole: the database under
# its name, attachable and online; the program, its resources and the server
# files all from before the run or all new, matching the database's version;
# nothing left under a "_" name; the run's backup kept.
#
#   kill-at-every-step.sh CONSOLE_TEST SOURCE_DIR SERVER_ROOT PORT WORK_DIR
#
# CONSOLE_TEST is the console's test build (UPDATER_TEST_KILL_AT=K ends it
# before the K-th record of the run's journal).
set -u
console=$1 src=$2 root=$3 port=$4 work=$5
fails=0 passes=0
check() { # name expected actual
  if [[ "$3" == "$2" ]]; then passes=$((passes + 1))
  else fails=$((fails + 1)); echo "FAIL $1: expected [$2], got [$3]"; fi
}
fb="bash $src/scripts/fbserver.sh"
sql() { isql-fb -q -user SYSDBA -password "${FB_PASSWORD:-qelvormask}" "localhost/$port:$1"; }
server=$work/server # the server's folder as the updater knows it (bin/, udf/)
console_run() { # command, then more options; prints the exit code
  "$console" "$@" --project TAMBER --location "$work/TAMBER_RU" --yes --language 3 \
    --connect-prefix "localhost/$port:" --server-dir "$server" \
    --service-start "$fb start '$root' $port >/dev/null" --service-stop "$fb stop '$root' >/dev/null" \
    --service-query "$fb status '$root' >/dev/null" --no-service-waits </dev/null >>"$work/out.txt" 2>&1
  echo $?
}

rm -rf "$work" && mkdir -p "$work"
$fb start "$root" "$port" >/dev/null
bash "$src/scripts/sample-installation.sh" "$work/template" "$port" || exit 1
mkdir -p "$work/server-template/bin" "$work/server-template/udf"
printf 'old support file' >"$work/server-template/bin/udf_trans_p\$2_l\$0.fpd"
printf 'old QRX_UDF' >"$work/server-template/udf/QRX_UDF.dll"

# A fresh installation and server folder from the templates; the database
# is copied while the server is down, so no page of it is in flight.
fresh() {
  $fb stop "$root" >/dev/null
  rm -rf "$work/TAMBER_RU" "$work/TAMBER_RU_" "$server"
  cp -a "$work/template" "$work/TAMBER_RU"
  cp -a "$work/server-template" "$server"
  $fb start "$root" "$port" >/dev/null
}

# The trees a whole installation is made of, as one listing of names and
# checksums: the program, the resources and the server files.
trees() {
  (cd "$work/TAMBER_RU" && find Program Resources -type f ! -name '*.journal' -print0 | sort -z | xargs -0 sha1sum)
  (cd "$server" && find . -type f -print0 | sort -z | xargs -0 sha1sum)
}
version() {
  echo "set heading off; select version_no, mon\$shutdown_mode from project_info cross join mon\$database;" |
    sql "$work/TAMBER_RU/DB_Data/Tamber.fdb" 2>&1 | xargs
}

# The installation before and after a run that nobody killed.
fresh
trees >"$work/before.txt"
code=$(console_run update)
[ "$code" = 0 ] || { echo "the run without a kill failed ($code):"; cat "$work/out.txt"; exit 1; }
trees >"$work/after.txt"
check "the run without a kill updates" "107 0" "$(version)"

whole() { # what: the installation is whole, from before the run or new
  local what=$1 v
  v=$(version)
  case "$v" in
    "106 0") check "$what: the program, resources and server files are those from before" "" \
               "$(trees | diff - "$work/before.txt")" ;;
    "107 0") check "$what: the program, resources and server files are the new ones" "" \
               "$(trees | diff - "$work/after.txt")" ;;
    *) check "$what: the database is under its name, attachable and online" "106 0 or 107 0" "$v" ;;
  esac
  check "$what: nothing under a \"_\" name" "" \
    "$(ls -d "$work/TAMBER_RU_" "$work"/TAMBER_RU/DB_Data/Tamber.fdb_* 2>/dev/null)"
  check "$what: no journal left" "" "$(ls "$work/TAMBER_RU/Updater.journal" 2>/dev/null)"
}

steps=0
for k in $(seq 1 40); do
  fresh
  : >"$work/out.txt"
  code=$(UPDATER_TEST_KILL_AT=$k console_run update)
  if [ "$code" = 0 ]; then break; fi # the run has fewer steps than K
  steps=$k
  check "step $k: the run was killed" 137 "$code"
  # The server is not left to the killed run: it may be up or down, as a
  # real kill leaves it, and the next start must cope with either.
  check "step $k: the next start puts the installation in order" 0 "$(console_run online)"
  whole "step $k, put in order"
  check "step $k: the run's backup is kept" "$(ls -d "$work"/TAMBER_RU/Tmp\$* 2>/dev/null | wc -l)" \
    "$(ls -d "$work"/TAMBER_RU/Tmp\$*/Old 2>/dev/null | wc -l)"
  if [ "$(version)" = "106 0" ]; then
    check "step $k: an update after it" 0 "$(console_run update)"
    check "step $k: updated" "107 0" "$(version)"
    check "step $k: updated throughout" "" "$(trees | diff - "$work/after.txt")"
  else
    # The update was finished: another one finds the database too new and
    # changes nothing.
    check "step $k: an update after it finds nothing to do" 1 "$(console_run update)"
    whole "step $k, updated again"
  fi
  [ "$fails" -eq 0 ] || { echo "--- output of step $k:"; cat "$work/out.txt"; break; }
done

$fb start "$root" "$port" >/dev/null
echo "killed at each of $steps steps: $passes checks passed, $fails failed"
[ "$fails" -eq 0 ] && [ "$steps" -gt 0 ]
