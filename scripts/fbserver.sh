#!/usr/bin/env bash
# A private Firebird 3 server for the tests and the sample run.
#
#   scripts/fbserver.sh start [ROOT] [PORT]   set up ROOT (once) and start the server
#   scripts/fbserver.sh stop  [ROOT]          stop the server this script started
#   scripts/fbserver.sh status [ROOT]
#
# ROOT defaults to build/fbserver in the repository, PORT to 3051. The server
# listens on 127.0.0.1 only, has its own security database with SYSDBA's
# password "qelvormask" (FB_PASSWORD overrides it), and may load UDF libraries
# only from ROOT/udf. It answers "localhost/PORT:<path>" as the product's
# server does.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cmd=${1:-status}
root=${2:-$here/build/fbserver}
port=${3:-3051}
password=${FB_PASSWORD:-qelvormask}
fbhome=/usr/lib/x86_64-linux-gnu/firebird/3.0
[ -d "$fbhome" ] || fbhome=$(dirname "$(dirname "$(readlink -f "$(dpkg -L firebird3.0-server | grep '/plugins/libEngine12.so$' | head -1)")")")
server=/usr/sbin/firebird
pidfile=$root/firebird.pid

port_answers() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

running() {
  [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null
}

setup() {
  mkdir -p "$root"/{udf,data,lock,tmp}
  root=$(cd "$root" && pwd)
  pidfile=$root/firebird.pid
  for f in plugins lib firebird.msg; do
    [ -e "$root/$f" ] || ln -s "$fbhome/$f" "$root/$f"
  done
  # The character sets must be a real folder: a symlinked one fails to load WIN1251.
  [ -d "$root/intl" ] || cp -r "$fbhome/intl" "$root/intl"
  [ -f "$root/plugins.conf" ] || cp "$fbhome/plugins.conf" "$root/plugins.conf"
  [ -f "$root/databases.conf" ] || : > "$root/databases.conf"
  cat > "$root/firebird.conf" <<CONF
RemoteServicePort = $port
RemoteBindAddress = 127.0.0.1
IpcName = FIREBIRD_TEST_$port
ServerMode = Super
SecurityDatabase = $root/security3.fdb
UdfAccess = Restrict $root/udf
DatabaseAccess = Full
AuthServer = Srp, Legacy_Auth
AuthClient = Srp, Legacy_Auth
UserManager = Srp
WireCrypt = Enabled
CONF
  if [ ! -f "$root/security3.fdb" ]; then
    cp /var/lib/firebird/3.0/system/security3.fdb "$root/security3.fdb"
    chmod 600 "$root/security3.fdb"
    # Embedded access to the new security database sets SYSDBA's password.
    printf "create or alter user SYSDBA password '%s' using plugin Srp;\ncommit;\n" "$password" |
      FIREBIRD=$root FIREBIRD_LOCK=$root/lock FIREBIRD_TMP=$root/tmp \
        isql-fb -q -user SYSDBA "$root/security3.fdb" >/dev/null
  fi
}

case $cmd in
start)
  if running; then echo "fbserver: already running (pid $(cat "$pidfile"))"; exit 0; fi
  if port_answers "$port"; then echo "fbserver: port $port is taken by another program" >&2; exit 1; fi
  setup
  FIREBIRD=$root FIREBIRD_LOCK=$root/lock FIREBIRD_TMP=$root/tmp \
    setsid "$server" -p "$port" </dev/null >"$root/server.out" 2>&1 &
  echo $! > "$pidfile"
  for _ in $(seq 1 300); do
    if port_answers "$port"; then echo "fbserver: listening on 127.0.0.1:$port (root $root)"; exit 0; fi
    if ! running; then echo "fbserver: the server ended at start:" >&2; cat "$root/server.out" "$root/firebird.log" 2>/dev/null >&2; exit 1; fi
    sleep 0.1
  done
  echo "fbserver: the port did not answer within 30 s" >&2
  exit 1
  ;;
stop)
  if running; then
    pid=$(cat "$pidfile")
    kill "$pid"
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
    echo "fbserver: stopped (pid $pid)"
  fi
  rm -f "$pidfile"
  ;;
status)
  if running; then echo "fbserver: running (pid $(cat "$pidfile"))"; else echo "fbserver: not running"; exit 1; fi
  ;;
*)
  echo "usage: $0 start|stop|status [ROOT] [PORT]" >&2
  exit 2
  ;;
esac
