#!/bin/bash
# Records a long take (default 600 s) through the recorder from a private PulseAudio and prints
# peak memory, saved length against wall time, and Stop to saved file.
# usage: bench/recorder/long_take.sh [SECONDS] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-600}
build=${2:-build}
work=$(mktemp -d "${TMPDIR:-/tmp}/platterly-recbench.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Something plays into the null sink at a low latency all along, as on a desktop: an idle null
# sink renders in two-second blocks, and a new capture stream then waits for the next one.
tests/support/pulse-session.sh bash -c '
  pacat --latency-msec=30 < /dev/zero & player=$!
  "$0" "$1" "$2"; rc=$?
  kill $player; exit $rc' "$build/bench/bench_recorder_long_take" "$seconds" "$work"
