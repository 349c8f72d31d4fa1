#!/usr/bin/env bash
# A picture of the sound recorder after a three-second recording, taken from the real program
# on a virtual X display with a private sound server, driven through XTest.
# usage: tests/recorder/screenshot.sh [output.png] [build dir]
set -euo pipefail
cd "$(dirname "$0")/../.."
out=$(realpath -m "${1:-docs/screenshot-recorder.png}")
build="${2:-build}"
exec tests/support/pulse-session.sh bash -c '
set -euo pipefail
out=$1 build=$2
drive=tests/recorder/xdrive.py
work=$(mktemp -d)
num=$work/display
# -displayfd picks a free display, so no other X server is ever driven by mistake.
Xvfb -displayfd 5 -screen 0 800x500x24 -nolisten tcp 5>"$num" >/dev/null 2>&1 & xvfb=$!
# Sound keeps flowing into the null sink, as on a desktop (an idle one starts capture late).
pacat --latency-msec=30 < /dev/zero & player=$!
trap "kill \$prog \$player \$xvfb 2>/dev/null || true; rm -rf \"$work\"" EXIT
prog=
for _ in $(seq 1 100); do [ -s "$num" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$num")"
cp -r "$build/bin/." "$work/"
QT_QPA_PLATFORM=xcb "$work/platterly" >/dev/null 2>&1 & prog=$!
$drive wait "Platterly 2.0" 90 >/dev/null
sleep 1
$drive click 153 45                                   # the toolbar'"'"'s Record
read -r wx wy ww wh < <($drive wait Record 60)
sleep 0.5
$drive click $((wx + 48)) $((wy + wh - 26))             # Start
sleep 0.5
$drive key n                                          # New...
read -r dx dy dw dh < <($drive wait "New sound file" 30)
sleep 0.5
$drive click $((dx + dw - 138)) $((dy + dh - 23))       # OK
$drive wait "Record(NoName)" 30 >/dev/null
sleep 0.5
$drive click $((wx + 172)) $((wy + 70))                 # Record
sleep 3.3
$drive click $((wx + 47)) $((wy + 70))                  # Stop
sleep 1.5
/usr/bin/import -window root -crop "${ww}x${wh}+${wx}+${wy}" +repage "$out"
echo "wrote $out"
' bash "$out" "$build"
