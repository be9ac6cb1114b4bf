#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, address and undefined-behaviour sanitizers) and runs
# each for a bounded time, seeded with the test pictures (and the public picture suites in
# ../shared/peers when they are there). A crash, leak or hang fails the
# run and leaves its input in build/fuzz/findings/.
#
#   scripts/fuzz.sh            about a minute per target (what the test command runs)
#   scripts/fuzz.sh 1800       half an hour per target, for a release
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}

cmake --preset fuzz
cmake --build --preset fuzz

export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen

# Tiny clips of each container (three 16 x 16 frames) seed the video target.
clips=build/fuzz/seeds/clips
if [[ ! -d $clips ]]; then
    mkdir -p "$clips"
    pattern=(-loglevel error -y -f lavfi -i testsrc=size=16x16:rate=5:duration=0.6)
    ffmpeg "${pattern[@]}" -pix_fmt yuv420p "$clips/h264.mp4"
    ffmpeg "${pattern[@]}" -c:v mjpeg "$clips/mjpeg.mov"
    ffmpeg "${pattern[@]}" -f lavfi -i sine=duration=0.6 "$clips/h264-audio.mkv"
    ffmpeg "${pattern[@]}" -c:v libvpx "$clips/vp8.webm"
    ffmpeg "${pattern[@]}" "$clips/mpeg4.avi"
fi

findings=build/fuzz/findings
mkdir -p "$findings"
status=0
for target in build/fuzz/fuzz/fuzz_*; do
    [[ -x "$target" && -f "$target" ]] || continue
    name=$(basename "$target")
    corpus=build/fuzz/corpus/$name
    mkdir -p "$corpus"
    seeds=(tests/data)
    [[ $name == fuzz_video_clip ]] && seeds=("$clips")
    # The public picture suites beside the project, where they are, seed the picture targets.
    if [[ $name != fuzz_metafile_drawing && -d ../shared/peers ]]; then
        seeds+=(../shared/peers)
    fi
    dict=()
    [[ -f "fuzz/$name.dict" ]] && dict=(-dict="fuzz/$name.dict")
    echo "== $name for ${seconds}s"
    if ! "$target" "$corpus" "${seeds[@]}" "${dict[@]}" \
        -max_total_time="$seconds" -timeout=25 -rss_limit_mb=4096 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$findings/$name-" 2>"build/fuzz/$name.log"; then
        echo "!! $name found a problem; see build/fuzz/$name.log and $findings/"
        tail -n 40 "build/fuzz/$name.log"
        status=1
    else
        grep -E '^stat::(number_of_executed_units|peak_rss_mb)|cov:' "build/fuzz/$name.log" | tail -n 3
    fi
done
exit $status
