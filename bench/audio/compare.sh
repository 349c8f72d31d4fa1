#!/usr/bin/env bash
# Times the audio library's hot paths against the usual tools on the same files, in one run,
# both pinned to the same core: resampling (sox), ADPCM decoding (ffmpeg), Vorbis encoding
# (oggenc). Usage: bench/audio/compare.sh [build-dir] [minutes] [core]
# The build needs -DPLATTERLY_BUILD_BENCH=ON (the default) and should be an optimised one.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
minutes=${2:-10}
core=${3:-1}
bench=$build/bench/bench_audio
[ -x "$bench" ] || { echo "no $bench: build the bench_audio target first" >&2; exit 1; }
for tool in sox ffmpeg oggenc jq; do
    command -v $tool >/dev/null || { echo "$tool is needed" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
secs=$((minutes * 60))
echo "Making ${minutes}-minute stereo test files in $work ..."
# A sweep on the left, pink noise on the right: busy enough to keep the codecs honest.
sox -n -r 44100 -c 2 -b 16 "$work/in44100.wav" synth $secs sine 110-3520 pinknoise vol 0.5
sox -n -r 22050 -c 2 -b 16 "$work/in22050.wav" synth $secs sine 110-3520 pinknoise vol 0.5
ffmpeg -v error -y -i "$work/in44100.wav" -c:a adpcm_ima_wav "$work/ima.wav"
ffmpeg -v error -y -i "$work/in44100.wav" -c:a adpcm_ms "$work/ms.wav"

# Best of three wall-clock runs of a command, in seconds.
best_of_3() {
    local best="" s e d
    for _ in 1 2 3; do
        s=$(date +%s.%N)
        taskset -c "$core" "$@" >/dev/null 2>&1
        e=$(date +%s.%N)
        d=$(echo "$e - $s" | bc -l)
        if [ -z "$best" ] || [ "$(echo "$d < $best" | bc -l)" = 1 ]; then best=$d; fi
    done
    printf '%.3f' "$best"
}

# Best single iteration of one of our benchmarks, in seconds.
ours() {
    PLATTERLY_BENCH_AUDIO_DIR="$work" taskset -c "$core" "$bench" --benchmark_filter="^$1\$" \
        --benchmark_min_time=0 --benchmark_repetitions=3 --benchmark_format=json 2>/dev/null |
        jq '[.benchmarks[] | select(.run_type == "iteration") | .real_time] | min / 1000' |
        xargs printf '%.3f'
}

report() { # name ours anchor anchor-name
    printf '%-34s ours %7ss  %-28s %7ss  speed-up over anchor %.2f\n' "$1" "$2" "$4" "$3" "$(echo "$3 / $2" | bc -l)"
}

echo "Core $core, ${secs}s of audio per file; times are best of three."
r_ours=$(ours BM_Resample22050To44100File/real_time)
r_sox=$(best_of_3 sox "$work/in22050.wav" -r 44100 "$work/sox_out.wav")
report "resample 22050->44100 stereo N=30" "$r_ours" "$r_sox" "sox in.wav -r 44100 out.wav"
printf '%-34s %.0f x real time (ours), %.0f x (sox)\n' "" "$(echo "$secs / $r_ours" | bc -l)" "$(echo "$secs / $r_sox" | bc -l)"

i_ours=$(ours BM_DecodeImaAdpcm/real_time)
i_ff=$(best_of_3 ffmpeg -i "$work/ima.wav" -f s16le -y /dev/null)
report "IMA ADPCM decode" "$i_ours" "$i_ff" "ffmpeg -f s16le /dev/null"

m_ours=$(ours BM_DecodeMsAdpcm/real_time)
m_ff=$(best_of_3 ffmpeg -i "$work/ms.wav" -f s16le -y /dev/null)
report "Microsoft ADPCM decode" "$m_ours" "$m_ff" "ffmpeg -f s16le /dev/null"

v_ours=$(ours BM_VorbisQuality02File/real_time)
v_ogg=$(best_of_3 oggenc -Q -q 2 -o "$work/oggenc.ogg" "$work/in44100.wav")
report "Vorbis quality 0.2 encode" "$v_ours" "$v_ogg" "oggenc -q 2"
