#!/bin/bash
# FLAC and Opus output against the reference tools on the same files, in one run, both pinned
# to the same core, best of three; each figure is given in wall-clock and in CPU time:
#  1. FLAC encoding of a 74-minute WAV (WAV to FLAC job) against `flac -5`: time ratio
#     (target <= 1.0, with verification off on both sides, as `flac -5` does not verify; the
#     default, verifying job is shown against `flac -5 -V`), and output size (within 1 %);
#  2. Opus encoding of the same WAV (WAV to Opus job) against `opusenc --bitrate 160`
#     (target <= 1.05);
#  3. a 20-track rip to FLAC against the rip to WAV plus `flac` alone on the 20 WAV files
#     (target <= 1.05), at the default settings of each (the job verifies, so `flac -V`).
# usage: bench/pipeline/compare-formats.sh [BUILD_DIR] [MINUTES] [CORE]  (defaults: build 74 1)
set -euo pipefail
build=$(realpath "${1:-build}")
minutes=${2:-74}
core=${3:-1}
job="$build/bench/bench_job"
makedisc="$build/bin/makedisc"
[ -x "$job" ] || { echo "no $job: build the bench_job target first" >&2; exit 1; }
for tool in flac opusenc sox taskset /usr/bin/time; do
    command -v $tool > /dev/null || { echo "$tool is needed" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/platterly-formatbench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Best of three runs of a command: "WALL CPU" in seconds, each the least of the three (CPU is
# user + system time of every thread: on a shared machine it shows the work when the wall
# clock shows the neighbours too). The command's output is dropped.
best_of_3() {
    local wall="" cpu="" t w c
    t=$(mktemp)
    for _ in 1 2 3; do
        /usr/bin/time -o "$t" -f "%e %U %S" taskset -c "$core" "$@" > /dev/null 2>&1
        w=$(awk '{ print $1 }' "$t")
        c=$(awk '{ print $2 + $3 }' "$t")
        if [ -z "$wall" ] || awk -v a="$w" -v b="$wall" 'BEGIN { exit !(a < b) }'; then wall=$w; fi
        if [ -z "$cpu" ] || awk -v a="$c" -v b="$cpu" 'BEGIN { exit !(a < b) }'; then cpu=$c; fi
    done
    rm -f "$t"
    printf '%.3f %.3f' "$wall" "$cpu"
}
# "wall W s (cpu C s)" of a measurement, and the ratios of two: "R (cpu R)".
show() { awk -v m="$1" 'BEGIN { split(m, v, " "); printf "%.3f s (cpu %.3f s)", v[1], v[2] }'; }
ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { split(a, x, " "); split(b, y, " ");
        printf "%.3f (cpu %.3f)", x[1] / y[1], x[2] / y[2] }'
}
sum() { awk -v a="$1" -v b="$2" 'BEGIN { split(a, x, " "); split(b, y, " ");
    printf "%.3f %.3f", x[1] + y[1], x[2] + y[2] }'; }

echo "Making a ${minutes}-minute stereo WAV in $work ..."
# A sweep on the left, pink noise on the right: neither codec gets it for free.
in="$work/in.wav"
sox -n -r 44100 -c 2 -b 16 "$in" synth $((minutes * 60)) sine 110-3520 pinknoise vol 0.5
mkdir -p "$work/job" "$work/tool"

echo "== FLAC: WAV to FLAC job against flac -5 =="
export PLATTERLY_BENCH_FLAC_VERIFY=0
flacjob=$(best_of_3 "$job" flac "$work/job" "$in")
flactool=$(best_of_3 flac -5 -f -s -o "$work/tool/in.flac" "$in")
jobsize=$(stat -c %s "$work/job/in.flac")
toolsize=$(stat -c %s "$work/tool/in.flac")
export PLATTERLY_BENCH_FLAC_VERIFY=1
flacjobv=$(best_of_3 "$job" flac "$work/job" "$in")
flactoolv=$(best_of_3 flac -5 -V -f -s -o "$work/tool/in.flac" "$in")
echo "job, no verification: $(show "$flacjob")   flac -5: $(show "$flactool")"
echo "    ratio $(ratio "$flacjob" "$flactool") (target <= 1.0)"
echo "job, verifying (default): $(show "$flacjobv")   flac -5 -V: $(show "$flactoolv")"
echo "    ratio $(ratio "$flacjobv" "$flactoolv")"
awk -v j="$jobsize" -v t="$toolsize" 'BEGIN {
    printf "size: job %d bytes, flac -5 %d bytes, difference %+.3f %% (target within 1 %%)\n",
        j, t, (j - t) * 100 / t }'
rm -f "$work"/job/* "$work"/tool/*

echo "== Opus: WAV to Opus job against opusenc --bitrate 160 =="
opusjob=$(best_of_3 "$job" opus "$work/job" "$in")
opustool=$(best_of_3 opusenc --quiet --bitrate 160 "$in" "$work/tool/in.opus")
echo "job: $(show "$opusjob")   opusenc: $(show "$opustool")"
echo "    ratio $(ratio "$opusjob" "$opustool") (target <= 1.05)"
rm -f "$in" "$work"/job/* "$work"/tool/*

echo "== 20-track rip to FLAC against the rip to WAV plus flac alone =="
mkdir -p "$work/prog/discs" "$work/rip"
tracks=()
for i in $(seq 1 20); do tracks+=("$((170 + 3 * i))s"); done
"$makedisc" "$work/prog/discs" Bench "${tracks[@]}" > /dev/null
ripflac=$(best_of_3 "$job" rip-flac "$work/prog" "$work/rip")
rm -f "$work"/rip/*
ripwav=$(best_of_3 "$job" rip-wav "$work/prog" "$work/rip")
flacalone=$(best_of_3 flac -5 -V -f -s "$work"/rip/*.wav)
both=$(sum "$ripwav" "$flacalone")
echo "rip to FLAC: $(show "$ripflac")"
echo "rip to WAV: $(show "$ripwav") + flac -V alone: $(show "$flacalone") = $(show "$both")"
echo "    ratio $(ratio "$ripflac" "$both") (target <= 1.05)"
