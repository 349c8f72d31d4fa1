#!/usr/bin/env bash
# Pictures of the options dialog's tabs and the two tag dialogs, taken on a virtual X display.
# usage: tests/options/screenshots.sh [output folder] [build dir]
set -euo pipefail
cd "$(dirname "$0")/../.."
out="${1:-docs}"
build="${2:-build}"
display=":$((70 + RANDOM % 9))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
sleep 1
DISPLAY="$display" QT_QPA_PLATFORM=xcb "$build/tests/options_screenshots" "$out"
