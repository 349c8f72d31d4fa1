#!/bin/bash
# Rips a 74-minute, 20-track image to WAV through the extraction thread and compares the
# throughput with a plain copy of the image's .bin on the same machine (target ratio >= 0.5), and
# with a rip that leaves the tracks' checksums out (target: checksums cost <= 3%, ratio <= 1.03).
# The same rip as the window's job runs it (bench_job) and through platterly-cli, whose ratio
# must be the job's within 5 %, and the CLI's info command (target < 100 ms). Then runs the normalisation benchmark (target >= 150
# MB/s).
# usage: bench/cd/compare.sh [BUILD_DIR]   (default: build)
set -euo pipefail
build=${1:-build}
bin="$build/bin"
work=$(mktemp -d "${TMPDIR:-/tmp}/platterly-cdbench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/discs" "$work/out"

# 74 minutes = 333000 sectors in 20 tracks of 16650 (3:42 each).
lengths=()
for _ in $(seq 20); do lengths+=(16650); done
"$bin/makedisc" "$work/discs" Long "${lengths[@]}"
image="$work/discs/Long.bin"
size=$(stat -c %s "$image")
cat "$image" > /dev/null # both runs start from a warm page cache; neither waits for the disk

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { print b - a }'; }
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }

# Best of five for each, interleaved, with the disk's write-back settled before every run, so
# none pays for another's (or the image's) pending writes.
cp_seconds="" rip_seconds="" plain_seconds="" job_seconds="" cli_seconds="" info_seconds=""
cli="$bin/platterly-cli"
for _ in 1 2 3 4 5; do
    sync
    t0=$(now)
    cp "$image" "$work/copy.bin"
    t1=$(now)
    cp_seconds=$(best "$cp_seconds" "$(elapsed "$t0" "$t1")")
    rm -f "$work/copy.bin"

    sync
    t0=$(now)
    out=$("$build/bench/bench_cd_rip" "$work/discs" Long "$work/out")
    t1=$(now)
    rip_seconds=$(best "$rip_seconds" "$(elapsed "$t0" "$t1")")
    rm -f "$work/out"/*.wav

    sync
    t0=$(now)
    # Without an options.ini the window and platterly-cli both run the parallel job (0: one
    # encoder per core): the job is timed as they run it.
    PLATTERLY_BENCH_PARALLEL=0 "$build/bench/bench_job" rip-wav "$work" "$work/out" > /dev/null 2>&1
    t1=$(now)
    job_seconds=$(best "$job_seconds" "$(elapsed "$t0" "$t1")")
    rm -f "$work/out"/*.wav

    sync
    t0=$(now)
    "$cli" rip --device "$work/discs/Long.cue" --format wav --output "$work/out" --lookup none \
        > /dev/null 2>&1
    t1=$(now)
    cli_seconds=$(best "$cli_seconds" "$(elapsed "$t0" "$t1")")
    rm -f "$work/out"/*.wav

    t0=$(now)
    "$cli" info --device "$work/discs/Long.cue" > /dev/null
    t1=$(now)
    info_seconds=$(best "$info_seconds" "$(elapsed "$t0" "$t1")")
done
echo "$out" | head -1

# The checksums' cost is a few per cent, below what one run scatters by here (the kernel's page
# work and write-back): eleven pairs with and without, taking turns at going first, compared by
# their medians and by their bests.
rip_once() {
    sync
    local t0 t1
    t0=$(now)
    "$build/bench/bench_cd_rip" "$work/discs" Long "$work/out" "$@" > /dev/null
    t1=$(now)
    rm -f "$work/out"/*.wav
    elapsed "$t0" "$t1"
}
on_runs=() off_runs=()
for pair in $(seq 11); do
    if ((pair % 2)); then
        on_runs+=("$(rip_once)")
        off_runs+=("$(rip_once --no-checksums)")
    else
        off_runs+=("$(rip_once --no-checksums)")
        on_runs+=("$(rip_once)")
    fi
done
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
lowest() { printf '%s\n' "$@" | sort -g | head -1; }
on_median=$(median "${on_runs[@]}") off_median=$(median "${off_runs[@]}")
plain_seconds=$(lowest "${off_runs[@]}")
on_best=$(lowest "${on_runs[@]}")
[[ -n ${CDBENCH_VERBOSE:-} ]] && echo "on: ${on_runs[*]}" && echo "off: ${off_runs[*]}"

awk -v s="$size" -v c="$cp_seconds" -v r="$rip_seconds" -v p="$plain_seconds" \
    -v j="$job_seconds" -v l="$cli_seconds" -v i="$info_seconds" -v om="$on_median" \
    -v fm="$off_median" -v ob="$on_best" 'BEGIN {
    printf "image: %.1f MB\n", s / 1e6
    printf "cp of the .bin:      %.3f s  %.1f MB/s\n", c, s / c / 1e6
    printf "rip of 20 tracks:    %.3f s  %.1f MB/s\n", r, s / r / 1e6
    printf "same, no checksums:  %.3f s  %.1f MB/s (best of 11)\n", p, s / p / 1e6
    printf "ratio rip/cp:        %.2f (target >= 0.5)\n", c / r
    printf "checksums on/off:    %.3f by the medians of 11 (target <= 1.03), %.3f by the bests\n", om / fm, ob / p
    printf "window job rip:      %.3f s  %.1f MB/s  ratio to cp %.2f\n", j, s / j / 1e6, c / j
    printf "platterly-cli rip:   %.3f s  %.1f MB/s  ratio to cp %.2f\n", l, s / l / 1e6, c / l
    printf "cli against job:     %.3f (target 0.95 to 1.05)\n", j / l
    printf "platterly-cli info:  %.0f ms (target < 100)\n", i * 1000
}'

"$build/bench/bench_cd" --benchmark_filter=BM_NormalizeWav50MB
