#!/usr/bin/env bash
# The whole fault campaign: a whole update run and the database mode commands
# with a fault at every OS call and every client call, once and for good,
# checked against the invariants after every run; CTest runs only a sample
# of the fault points. Prints a line per run as it ends (with the invariants
# it broke) and the campaign's report at the end; exits non-zero when a run
# broke an invariant.
#
#   scripts/fault-campaign.sh [BUILD_DIR] [PORT]
#
# BUILD_DIR defaults to build/native (built with the native preset), PORT to
# the port the build was configured with (FBSERVER_PORT), else 3051.
# FAULT_CAMPAIGN_KINDS=os,client,payload,service,undo picks the kinds of fault of the
# whole update's campaign (all when unset). The
# private server of BUILD_DIR/fbserver is started when it is not running,
# and stopped again at the end when this script started it.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$here/build/native}" && pwd)
port=${2:-$(sed -n 's/^FBSERVER_PORT:STRING=//p' "$build/CMakeCache.txt")}
port=${port:-3051}
root=$build/fbserver
program=$build/tests/updater/campaign/fault_campaign_tests
[ -x "$program" ] || { echo "fault-campaign: $program is not built" >&2; exit 2; }

started=0
if ! bash "$here/scripts/fbserver.sh" status "$root" >/dev/null 2>&1; then
  bash "$here/scripts/fbserver.sh" start "$root" "$port"
  started=1
fi
stop() { [ "$started" = 1 ] && bash "$here/scripts/fbserver.sh" stop "$root" >/dev/null || true; }
trap stop EXIT

cd "$(dirname "$program")"
begin=$(date +%s)
status=0
FBSERVER_ROOT=$root FBSERVER_PORT=$port UPDATER_SOURCE_DIR=$here FAULT_CAMPAIGN=all FAULT_CAMPAIGN_PROGRESS=1 \
  "$program" --gtest_filter='Campaigns.*' || status=$?
echo "fault-campaign: $(( $(date +%s) - begin )) s"
exit $status
