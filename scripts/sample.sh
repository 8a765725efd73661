#!/usr/bin/env bash
# The sample run: installs what is needed, builds the native tree and starts
# the updater's console host the way the program starts, in the system's
# language and then in every language of the catalog, showing the main
# window's captions, the log pane and the run log file it wrote.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
if [ "$(id -u)" -eq 0 ]; then bash scripts/install-deps.sh; else sudo bash scripts/install-deps.sh; fi
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)" --target Updater_Console
host=build/native/updater/Updater_Console

echo "=== start-up in the system's language"
"$host"
for lang in 2 4 5; do
  echo
  echo "=== language $lang"
  "$host" "$lang" | sed -n '/^Run log/,$p'
done
log=$(ls -t build/native/updater/Logs/*_Updater.log | head -1)
echo
echo "=== the newest run log file, $log (CR shown as \\r):"
sed 's/\r/\\r/g' "$log"
