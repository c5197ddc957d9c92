#!/bin/sh
# Screenshots of every dialog state under Xvfb with openbox.
#   tests/ui/preview.sh BIN_DIR DISPLAY OUT.png [QT_SCALE_FACTOR]
set -eu
bin=$1 display=$2 out=$3 scale=${4:-1}
width=$((1000 * scale)) height=$((520 * scale))
Xvfb "$display" -screen 0 "${width}x${height}x24" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $wm $xvfb 2>/dev/null || true' EXIT
sleep 1
DISPLAY=$display openbox >/dev/null 2>&1 &
wm=$!
sleep 1
DISPLAY=$display QT_SCALE_FACTOR=$scale "$bin/pellandor-dialog-preview" 4 &
app=$!
sleep 2.5
import -window root -display "$display" "$out"
wait $app
