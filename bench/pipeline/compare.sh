#!/bin/bash
# Whole-job benchmarks against the tools doing the same work alone, in one run:
#  1. ripping a 10-track image to MP3 at the default settings, against lame alone on the same
#     ten WAV files one after the other (target: job <= 1.05 x lame alone);
#  2. converting ten 22050 Hz stereo WAV files of 3 minutes to OGG, against sox resampling plus
#     oggenc -q 2 on each file one after the other (target: job <= 1.15 x the tools);
#  3. the parallel job (ParallelEncoders 0: one encoder per core) ripping 10 tracks of 30 s to
#     MP3, against the rip to WAV plus lame alone on the ten files one after another
#     (target: <= 0.60 on two cores);
#  4. twenty picked 44100 Hz WAV files of 30 s to OGG, the parallel job against the sequential
#     one (target: <= 0.60);
#  5. Stop during the parallel rip to MP3: until every encoder process is gone (target < 200 ms);
#  6. peak memory of the parallel OGG job with ParallelEncoders 8 (clamped to twice the cores;
#     target < 100 MB).
# usage: bench/pipeline/compare.sh [BUILD_DIR]   (default: build)
set -euo pipefail
build=$(realpath "${1:-build}")
job="$build/bench/bench_job"
makedisc="$build/bin/makedisc"
work=$(mktemp -d "${TMPDIR:-/tmp}/platterly-jobbench.XXXXXX")
trap 'rm -rf "$work"' EXIT
now() { date +%s.%N; }
secs() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }

echo "== rip 10 tracks to MP3 =="
mkdir -p "$work/prog/discs" "$work/ripout" "$work/alone"
"$makedisc" "$work/prog/discs" Bench 30s 31s 32s 33s 34s 35s 36s 37s 38s 39s > /dev/null
cp "$build/bin/WM8EUTIL" "$work/prog/" 2> /dev/null || true
t0=$(now); "$job" rip-mp3 "$work/prog" "$work/ripout"; t1=$(now)
ripjob=$(secs "$t0" "$t1")
# The same tracks as WAV files (header + the .bin's sectors), for lame alone.
mkdir -p "$work/wavsrc"
python3 - "$work/prog/discs/Bench.bin" "$work/wavsrc" <<'PY'
import struct, sys
binpath, out = sys.argv[1], sys.argv[2]
data = open(binpath, 'rb').read()
secs = [30 + i for i in range(10)]
pos = 0
for i, s in enumerate(secs, 1):
    n = s * 75 * 2352
    pcm = data[pos:pos + n]; pos += n
    hdr = b'RIFF' + struct.pack('<I', 36 + n) + b'WAVEfmt ' + struct.pack('<IHHIIHH', 16, 1, 2, 44100, 176400, 4, 16) + b'data' + struct.pack('<I', n)
    open(f"{out}/Track{i:02d}.wav", 'wb').write(hdr + pcm)
PY
t0=$(now)
for f in "$work"/wavsrc/*.wav; do lame -b 128 -m j "$f" "$work/alone/$(basename "${f%.wav}").mp3" 2> /dev/null; done
t1=$(now)
alone=$(secs "$t0" "$t1")
awk -v j="$ripjob" -v a="$alone" 'BEGIN {
    printf "rip job (extract + lame, 10 tracks): %.3f s\n", j
    printf "lame alone on the 10 WAV files:      %.3f s\n", a
    printf "ratio job/lame:                      %.3f (target <= 1.05)\n", j / a }'

echo "== ten 22050 Hz WAV files of 3 minutes to OGG =="
mkdir -p "$work/in" "$work/oggout" "$work/tools"
files=()
for i in $(seq -w 1 10); do
    f="$work/in/song$i.wav"
    sox -n -r 22050 -c 2 -b 16 "$f" synth 180 sine $((220 + 20 * 10#$i)) sine $((330 + 10 * 10#$i)) gain -6
    files+=("$f")
done
t0=$(now); "$job" ogg "$work/oggout" "${files[@]}"; t1=$(now)
oggjob=$(secs "$t0" "$t1")
t0=$(now)
for f in "${files[@]}"; do
    sox "$f" -r 44100 "$work/tools/tmp.wav"
    oggenc -Q -q 2 -o "$work/tools/$(basename "${f%.wav}").ogg" "$work/tools/tmp.wav"
done
t1=$(now)
tools=$(secs "$t0" "$t1")
awk -v j="$oggjob" -v t="$tools" 'BEGIN {
    printf "OGG job (resample + encode, 10 files): %.3f s\n", j
    printf "sox + oggenc -q 2 on the same files:   %.3f s\n", t
    printf "ratio job/tools:                       %.3f (target <= 1.15)\n", j / t }'

echo "== parallel: rip 10 tracks of 30 s to MP3 =="
mkdir -p "$work/pprog/discs" "$work/pwav" "$work/pmp3" "$work/palone"
"$makedisc" "$work/pprog/discs" Bench 30s 30s 30s 30s 30s 30s 30s 30s 30s 30s > /dev/null
t0=$(now); PLATTERLY_BENCH_PARALLEL=0 "$job" rip-mp3 "$work/pprog" "$work/pmp3"; t1=$(now)
pjob=$(secs "$t0" "$t1")
t0=$(now); "$job" rip-wav "$work/pprog" "$work/pwav"; t1=$(now)
pwav=$(secs "$t0" "$t1")
t0=$(now)
for f in "$work"/pwav/*.wav; do lame -b 128 -m j "$f" "$work/palone/$(basename "${f%.wav}").mp3" 2> /dev/null; done
t1=$(now)
plame=$(secs "$t0" "$t1")
awk -v j="$pjob" -v w="$pwav" -v l="$plame" -v c="$(nproc)" 'BEGIN {
    printf "parallel rip job to MP3 (%d cores):    %.3f s\n", c, j
    printf "rip to WAV + lame alone, one by one:   %.3f s + %.3f s\n", w, l
    printf "ratio job/(rip + lame):                %.3f (target <= 0.60)\n", j / (w + l) }'

echo "== parallel: twenty 30 s WAV files to OGG =="
mkdir -p "$work/in20" "$work/ogg1" "$work/oggp"
files20=()
for i in $(seq -w 1 20); do
    f="$work/in20/take$i.wav"
    sox -n -r 44100 -c 2 -b 16 "$f" synth 30 sine $((220 + 20 * 10#$i)) gain -6
    files20+=("$f")
done
t0=$(now); PLATTERLY_BENCH_PARALLEL=1 "$job" ogg "$work/ogg1" "${files20[@]}"; t1=$(now)
seq1=$(secs "$t0" "$t1")
t0=$(now); PLATTERLY_BENCH_PARALLEL=0 "$job" ogg "$work/oggp" "${files20[@]}"; t1=$(now)
par1=$(secs "$t0" "$t1")
awk -v s="$seq1" -v p="$par1" 'BEGIN {
    printf "sequential OGG job, 20 files:          %.3f s\n", s
    printf "parallel OGG job, 20 files:            %.3f s\n", p
    printf "ratio parallel/sequential:             %.3f (target <= 0.60)\n", p / s }'

echo "== parallel: Stop while the drive and every encoder run =="
rm -rf "$work/pmp3" && mkdir -p "$work/pmp3"
PLATTERLY_BENCH_PARALLEL=0 PLATTERLY_BENCH_STOP_MS=1000 "$job" rip-mp3 "$work/pprog" "$work/pmp3" |
    grep "stop to every"
echo "(target < 200 ms)"

echo "== parallel: peak memory with ParallelEncoders 8 =="
rm -rf "$work/oggp" && mkdir -p "$work/oggp"
PLATTERLY_BENCH_PARALLEL=8 /usr/bin/time -f "peak RSS: %M kB (target < 100 MB)" \
    "$job" ogg "$work/oggp" "${files20[@]}" > /dev/null
