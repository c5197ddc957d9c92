#!/usr/bin/env bash
# Places one call end to end without a real exchange: starts the exchange
# simulator on a loopback port the system picks, writes a throw-away settings
# file (account, exchange address, a North American dialling plan) and asks
# the simulator to make the desk phone dial a number as copied from a web page.
# BIN is a build's bin folder or an installed one (/usr/bin).
set -euo pipefail
bin=${1:-build/bin}
number=${2:-+1 (415) 555-1234}
sample="$(dirname "$0")/../resources/sample_settings.ini"
for program in pellandor pellandor-exchange-sim; do
  if [ ! -x "$bin/$program" ]; then
    echo "demo-call: $bin/$program is missing; build it first or give the folder that holds it" >&2
    exit 1
  fi
done

work=$(mktemp -d)
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

"$bin/pellandor-exchange-sim" --port 0 --bind 127.0.0.1 --log "$work/exchange.jsonl" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
# Making its certificate takes a moment on a busy machine; stop waiting as
# soon as it has exited.
for _ in $(seq 400); do
  grep -q '^listening on ' "$work/sim.out" 2>/dev/null && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.05
done
port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/sim.out")
if [ -z "$port" ]; then
  echo "demo-call: the exchange simulator did not start:" >&2
  cat "$work/sim.err" "$work/sim.out" >&2
  exit 1
fi

export PELLANDOR_SETTINGS="$work/pellandor_settings.ini"
cp "$sample" "$PELLANDOR_SETTINGS"
"$bin/pellandor" config set USER_INFO ID alice
"$bin/pellandor" config set USER_INFO PW secret
"$bin/pellandor" config set USER_INFO PN 2001
"$bin/pellandor" config set SYS_INFO IP 127.0.0.1
"$bin/pellandor" config set SYS_INFO PORT "$port"

echo "Calling \"$number\" (dialled as $("$bin/pellandor" dial-string -- "$number")) through the exchange at 127.0.0.1:$port"
status=0
"$bin/pellandor" call -- "$number" || status=$?
python3 - "$work/exchange.jsonl" <<'PY' || true
import json, os, sys
if not os.path.exists(sys.argv[1]):
    sys.exit("The exchange received no request.")
for line in open(sys.argv[1]):
    r = json.loads(line)
    print(f"The exchange received: station {r['fields']['stnnum']} asks to dial "
          f"{r['destination']} ({r['call_type']}); it answered code {r['code']}")
PY
exit $status
