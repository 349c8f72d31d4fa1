#!/usr/bin/env bash
# Records a take of SECONDS (default 600) with the real program, driven on a virtual X display
# from a private sound server, and prints the program's peak resident memory (VmHWM), before
# and after the take, and the saved length.
# usage: bench/recorder/program_take.sh [SECONDS] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-600}
build=${2:-build}
exec tests/support/pulse-session.sh bash -c '
set -euo pipefail
seconds=$1 build=$2
drive=tests/recorder/xdrive.py
work=$(mktemp -d)
num=$work/display
Xvfb -displayfd 5 -screen 0 800x500x24 -nolisten tcp 5>"$num" >/dev/null 2>&1 & xvfb=$!
pacat --latency-msec=30 < /dev/zero & player=$!
prog=
trap "kill \$prog \$player \$xvfb 2>/dev/null || true; rm -rf \"$work\"" EXIT
for _ in $(seq 1 100); do [ -s "$num" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$num")"
cp -r "$build/bin/." "$work/"
QT_QPA_PLATFORM=xcb "$work/platterly" >/dev/null 2>&1 & prog=$!
hwm() { awk "/VmHWM/ { printf \"%.1f MB\", \$2 / 1024 }" /proc/$prog/status; }
$drive wait "Platterly 2.0" 90 >/dev/null
sleep 1
$drive click 153 45
read -r wx wy ww wh < <($drive wait Record 60)
sleep 0.5
$drive click $((wx + 48)) $((wy + wh - 26))
sleep 0.5
$drive key n
read -r dx dy dw dh < <($drive wait "New sound file" 30)
sleep 0.5
$drive click $((dx + dw - 138)) $((dy + dh - 23))
$drive wait "Record(NoName)" 30 >/dev/null
sleep 0.5
echo "peak RSS before the take: $(hwm)"
$drive click $((wx + 172)) $((wy + 70))
sleep "$seconds"
$drive click $((wx + 47)) $((wy + 70))
sleep 3
bytes=$(( $(stat -c %s "$work/MyNoName.wav") - 44 ))
echo "peak RSS after a ${seconds} s take: $(hwm); saved $(awk -v b=$bytes "BEGIN { printf \"%.3f\", b / 176400 }") s"
' bash "$seconds" "$build"
