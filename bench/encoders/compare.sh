#!/bin/bash
# Encodes the same ten WAV files (30 s each, 44.1 kHz stereo) to MP3 at the default settings
# twice: with lame alone, one file after the other, and through the MP3 runner (the program's
# process runner, watcher thread and parser), one after the other. Prints both wall times and
# their ratio (target <= 1.05: the runner must not slow the tool). Best of three runs each.
# Then runs the parser micro-benchmarks.
# usage: bench/encoders/compare.sh [BUILD_DIR]   (default: build)
set -euo pipefail
build=${1:-build}
work=$(mktemp -d "${TMPDIR:-/tmp}/platterly-encbench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/wav" "$work/alone" "$work/runner"

files=()
for i in $(seq -w 1 10); do
    f="$work/wav/track$i.wav"
    sox -n -r 44100 -c 2 -b 16 "$f" synth 30 sine $((200 + 40 * 10#$i)) sine $((300 + 30 * 10#$i)) gain -6
    files+=("$f")
done
cat "$work"/wav/*.wav > /dev/null

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { print b - a }'; }
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }

alone="" runner=""
for _ in 1 2 3; do
    t0=$(now)
    for f in "${files[@]}"; do
        lame -b 128 -m j "$f" "$work/alone/$(basename "${f%.wav}").mp3" 2> /dev/null
    done
    t1=$(now)
    alone=$(best "$alone" "$(elapsed "$t0" "$t1")")

    t0=$(now)
    out=$("$build/bench/bench_encoders_mp3" "$work/runner" "${files[@]}")
    t1=$(now)
    runner=$(best "$runner" "$(elapsed "$t0" "$t1")")
done
echo "$out"
for f in "$work"/alone/*.mp3; do
    cmp -s "$f" "$work/runner/$(basename "$f")" || { echo "outputs differ: $(basename "$f")"; exit 1; }
done

awk -v a="$alone" -v r="$runner" 'BEGIN {
    printf "lame alone, 10 files:    %.3f s\n", a
    printf "through the runner:      %.3f s\n", r
    printf "ratio runner/alone:      %.3f (target <= 1.05)\n", r / a
}'

"$build/bench/bench_encoders"
