#!/usr/bin/env bash
# Starts the built program on a virtual X display and saves a screenshot of it.
# usage: scripts/screenshot.sh [output.png] [build dir]
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/screenshot-main.png}"
build="${2:-build}"
display=":$((90 + RANDOM % 9))"
Xvfb "$display" -screen 0 800x560x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $prog $xvfb 2>/dev/null || true' EXIT
sleep 1
# A throw-away program folder keeps the build's settings untouched.
work=$(mktemp -d)
cp -r "$build/bin/." "$work/"
DISPLAY="$display" QT_QPA_PLATFORM=xcb "$work/platterly" >/dev/null 2>&1 &
prog=$!
sleep 3
DISPLAY="$display" /usr/bin/import -window root -crop 600x420+0+0 +repage "$out"
echo "wrote $out"
rm -rf "$work"
