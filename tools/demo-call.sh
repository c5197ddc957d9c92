#!/usr/bin/env bash
# Places one call end to end without a real exchange: starts the exchange
# simulator on a loopback port the system picks, writes a throw-away settings
# file (account, exchange address, a North American dialling plan) and asks
# the simulator to make the desk phone dial a number as copied from a web page.
set -euo pipefail
bin=${1:-build/bin}
number=${2:-+1 (415) 555-1234}
work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$bin/pellandor-exchange-sim" --port 0 --bind 127.0.0.1 --log "$work/exchange.jsonl" >"$work/sim.out" 2>/dev/null &
sim_pid=$!
for _ in $(seq 100); do
  grep -q '^listening on ' "$work/sim.out" 2>/dev/null && break
  sleep 0.05
done
port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/sim.out")
[ -n "$port" ] || { echo "the exchange simulator did not start" >&2; exit 1; }

export PELLANDOR_SETTINGS="$work/pellandor_settings.ini"
cp "$(dirname "$0")/../resources/sample_settings.ini" "$PELLANDOR_SETTINGS"
"$bin/pellandor" config set USER_INFO ID alice
"$bin/pellandor" config set USER_INFO PW secret
"$bin/pellandor" config set USER_INFO PN 2001
"$bin/pellandor" config set SYS_INFO IP 127.0.0.1
"$bin/pellandor" config set SYS_INFO PORT "$port"

echo "Calling \"$number\" (dialled as $("$bin/pellandor" dial-string -- "$number")) through the exchange at 127.0.0.1:$port"
status=0
"$bin/pellandor" call -- "$number" || status=$?
python3 - "$work/exchange.jsonl" <<'PY' || true
import json, sys
for line in open(sys.argv[1]):
    r = json.loads(line)
    print(f"The exchange received: station {r['fields']['stnnum']} asks to dial "
          f"{r['destination']} ({r['call_type']}); it answered code {r['code']}")
PY
exit $status
