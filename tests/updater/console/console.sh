#!/usr/bin/env bash
# Updater_Console as an administrator's script uses it: its exit codes, its
# questions without a terminal, and a whole update of a sample installation
# against the private server, which stands for the Firebird service.
#
#   console.sh CONSOLE SOURCE_DIR SERVER_ROOT PORT WORK_DIR
set -u
console=$1 src=$2 root=$3 port=$4 work=$5
fails=0 passes=0
check() { # name expected actual
  if [[ "$3" == "$2" ]]; then passes=$((passes + 1)); echo "ok   $1"
  else fails=$((fails + 1)); echo "FAIL $1: expected [$2], got [$3]"; fi
}
fb="bash $src/scripts/fbserver.sh"
sql() { isql-fb -q -user SYSDBA -password "${FB_PASSWORD:-qelvormask}" "localhost/$port:$1"; }
run() { "$console" "$@" --language 3 --connect-prefix "localhost/$port:" </dev/null >"$work/out.txt" 2>&1; echo $?; }
server_options=(--server-dir "$root" --service-start "$fb start '$root' $port >/dev/null"
  --service-stop "$fb stop '$root' >/dev/null" --service-query "$fb status '$root' >/dev/null" --no-service-waits)

rm -rf "$work" && mkdir -p "$work"
inst=$work/TAMBER_RU
bash "$src/scripts/sample-installation.sh" "$inst" "$port" || exit 1
mkdir -p "$root/bin"

# Bad command lines: 64, and nothing is done. What every one of them wrote
# is kept, so that no secret given on a command line is ever echoed.
: >"$work/err.txt"
for line in "" "update" "update --project OTHER --location $inst" "update --project TAMBER" \
            "frobnicate --project TAMBER --location $inst" "update --project TAMBER --location $inst --password secret" \
            "update --project TAMBER --location $inst --password=secret" \
            "update --project TAMBER --location $inst --passwd=secret" \
            "update --project TAMBER --location $inst --language 7" \
            "update --project TAMBER --location $inst --server-type MIDDLE"; do
  # shellcheck disable=SC2086
  "$console" $line </dev/null >/dev/null 2>>"$work/err.txt"
  check "bad command line [$line]" 64 $?
done
check "a password given on the command line is not echoed" 0 "$(grep -c secret "$work/err.txt")"
check "the misspelt option is named" 1 "$(grep -c 'unknown option --passwd=' "$work/err.txt")"
"$console" --help >"$work/help.txt"
check "--help" 0 $?
check "--help documents the exit codes" 1 "$(grep -c '^  64  bad command line' "$work/help.txt")"

# Without a terminal and without --yes the first question is answered No.
check "no terminal, no --yes: cancelled" 2 "$(run update --project TAMBER --location "$inst" "${server_options[@]}")"
check "the question was put" 1 "$(grep -c 'Do you want to continue the update?' "$work/out.txt")"
check "nothing was changed" "" "$(ls -d "$inst"/Tmp\$* 2>/dev/null)"

# The mode commands.
check "shutdown" 0 "$(run shutdown --project TAMBER --location "$inst")"
check "shutdown again: already in that mode" 0 "$(run shutdown --project TAMBER --location "$inst")"
check "shutdown again: said so, in the log and in the box" 2 "$(grep -c 'The database is switched to single-user mode.' "$work/out.txt")"
check "online" 0 "$(run online --project TAMBER --location "$inst")"
echo wrong >"$work/password"
check "online with a wrong password file" 1 "$(run online --project TAMBER --location "$inst" --password-file "$work/password")"
check "the wrong password does not appear" 0 "$(grep -c wrong "$work/out.txt")"
check "an update of a missing folder" 1 "$(run update --project TAMBER --location "$work/none" --yes "${server_options[@]}")"

# The password file as editors save it: a byte-order mark in front, CR LF
# at the end. A file others can read is named in a warning, its content never.
printf '\xEF\xBB\xBF%s\r\n' "${FB_PASSWORD:-qelvormask}" >"$work/password-bom"
chmod 600 "$work/password-bom"
check "a password file with a byte-order mark and CR LF" 0 \
  "$(run online --project TAMBER --location "$inst" --password-file "$work/password-bom")"
check "a private password file draws no warning" 0 "$(grep -c 'can be read by other users' "$work/out.txt")"
chmod 644 "$work/password-bom"
check "a password file others can read: still used" 0 \
  "$(run online --project TAMBER --location "$inst" --password-file "$work/password-bom")"
check "a password file others can read: said once" 1 \
  "$(grep -c "the password file $work/password-bom can be read by other users" "$work/out.txt")"
check "the password is never shown" 0 "$(grep -c "${FB_PASSWORD:-qelvormask}" "$work/out.txt")"
# No password given: the default one, and the console says so once.
check "the default password" 0 "$(env -u UPDATER_PASSWORD "$console" online --project TAMBER --location "$inst" \
  --language 3 --connect-prefix "localhost/$port:" </dev/null >"$work/out.txt" 2>&1; echo $?)"
check "the default password is announced once" 1 \
  "$(grep -c 'no password given (--password-file or UPDATER_PASSWORD): the default system password is used' "$work/out.txt")"

# A whole update, unattended, with the password in UPDATER_PASSWORD: the
# service commands it starts (children of the updater) do not inherit it.
env_options=(--server-dir "$root" --service-start "env >>'$work/child-env.txt'; $fb start '$root' $port >/dev/null"
  --service-stop "env >>'$work/child-env.txt'; $fb stop '$root' >/dev/null"
  --service-query "$fb status '$root' >/dev/null" --no-service-waits)
: >"$work/child-env.txt"
check "update --yes" 0 "$(export UPDATER_PASSWORD="${FB_PASSWORD:-qelvormask}"
  run update --project TAMBER --location "$inst" --yes "${env_options[@]}")"
check "the service commands ran" 1 "$([ -s "$work/child-env.txt" ] && echo 1 || echo 0)"
check "no child inherited UPDATER_PASSWORD" 0 "$(grep -c UPDATER_PASSWORD "$work/child-env.txt")"
check "no child was given the password" 0 "$(grep -c "${FB_PASSWORD:-qelvormask}" "$work/child-env.txt")"
check "the outcome is told" 1 "$(grep -c 'The updating passed successfully' "$work/out.txt")"
check "the database is updated and online" "107 0" \
  "$(echo "set heading off; select version_no, mon\$shutdown_mode from project_info cross join mon\$database;" |
     sql "$inst/DB_Data/Tamber.fdb" | xargs)"
check "the log file beside the program has the run" 1 \
  "$(grep -c 'The database has been switched to multi-user mode' "$(ls -t "$(dirname "$console")"/Logs/*_Updater.log | head -1)")"

# The server does not start again after the free-space check: the database
# stays offline, and the user is told what to do.
inst2=$work/TAMBER_RU_2
bash "$src/scripts/sample-installation.sh" "$inst2" "$port" || exit 1
no_start=(--server-dir "$root" --service-start "false" --service-stop "$fb stop '$root' >/dev/null"
  --service-query "$fb status '$root' >/dev/null" --no-service-waits)
check "the server does not come back: the user is needed" 3 \
  "$(run update --project TAMBER --location "$inst2" --yes "${no_start[@]}")"
check "the user is told how to bring the database online" 1 \
  "$(grep -c 'To switch database (server) to multi-user mode manually please' "$work/out.txt")"
$fb start "$root" "$port" >/dev/null

echo "$passes passed, $fails failed"
[ "$fails" -eq 0 ]
