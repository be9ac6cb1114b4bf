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
# The picture targets read AVIF and HEIF through the library built beside them.
export PIXELCAST_PHOTO_READERS=$PWD/build/fuzz/pixelcast-photos.so

# Small WebP, AVIF and HEIF pictures, made from a few test pictures with Debian's encoders:
# still (lossy, lossless, alpha), animated, turned, and cut short.
seeds_made=build/fuzz/seeds
mkdir -p "$seeds_made"
make_seeds() {
    local src=$1 name
    name=$(basename "$src" .png)
    cwebp -quiet "$src" -o "$seeds_made/$name.webp"
    cwebp -quiet -lossless "$src" -o "$seeds_made/$name-lossless.webp"
    avifenc -s 10 "$src" "$seeds_made/$name.avif" >/dev/null
    avifenc -s 10 --irot 1 --imir 1 "$src" "$seeds_made/$name-turned.avif" >/dev/null
    heif-enc -q 30 "$src" -o "$seeds_made/$name.heic" >/dev/null
}
pngs=(tests/data/interlaced-24x12.png)
for p in basn6a08 basn2c08 tbrn2c08; do
    [[ -f ../shared/peers/png/$p.png ]] && pngs+=("../shared/peers/png/$p.png")
done
for png in "${pngs[@]}"; do
    make_seeds "$png"
done
img2webp -loop 2 -lossy -d 30 "${pngs[0]}" -d 70 "${pngs[0]}" -o "$seeds_made/animated.webp" >/dev/null
avifenc -s 10 --fps 10 "${pngs[0]}" "${pngs[0]}" "$seeds_made/sequence.avifs" >/dev/null
for f in "$seeds_made"/*.*; do
    size=$(stat -c %s "$f")
    [[ $f == *-cut.* ]] || head -c $((size * 3 / 4)) "$f" >"${f%.*}-cut.${f##*.}"
done

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
    seeds=(tests/data "$seeds_made")
    [[ $name == fuzz_video_clip ]] && seeds=("$clips")
    # The public picture suites beside the project, where they are, seed the picture targets.
    if [[ $name == fuzz_svg_drawing ]]; then
        [[ -d ../shared/peers/svg ]] && seeds+=(../shared/peers/svg)
    elif [[ $name != fuzz_metafile_drawing && $name != fuzz_video_clip && -d ../shared/peers ]]; then
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
