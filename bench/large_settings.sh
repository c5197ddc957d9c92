#!/usr/bin/env bash
# Time and peak memory of `config set` and `config list` on a settings file of
# 60 MiB of empty lines (under the 64 MiB cap).
#   bench/large_settings.sh PELLANDOR_BINARY
set -euo pipefail
binary="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
python3 -c "
import sys
open(sys.argv[1], 'wb').write(b'[SYS_INFO]\nIP=127.0.0.1\n' + b'\n' * (60 * 1024 * 1024))" "$work/big.ini"
cp "$work/big.ini" "$work/set.ini"
/usr/bin/time -f "config set:  %e s, peak %M KB" "$binary" config set --settings "$work/set.ini" DLG_POS X 10
/usr/bin/time -f "config list: %e s, peak %M KB" "$binary" config list --settings "$work/big.ini" > /dev/null
