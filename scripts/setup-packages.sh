#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Pixelcast need.
# Quick when everything is already there: apt is only asked when a package is missing.
set -euo pipefail

packages=(
    # Build tools
    cmake ninja-build g++ pkg-config clang-format clang-tidy
    # Fuzzing: clang with its sanitizer and libFuzzer runtime
    clang libclang-rt-14-dev
    # Qt 6 and its translations (the file dialogs speak the user's language)
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-translations-l10n
    # Picture decoding (JPEG, GIF, PNG) and metafiles
    libjpeg62-turbo-dev libgif-dev libpng-dev libwmf-dev
    # SVG drawing (librsvg with cairo; libxml2 reads what it can of a damaged document,
    # zlib unpacks SVGZ), and rsvg-convert, which the benchmark compares with
    librsvg2-dev libcairo2-dev libxml2-dev zlib1g-dev librsvg2-bin
    # WebP (with its demuxer and animation decoder), AVIF and HEIF decoding
    libwebp-dev libavif-dev libheif-dev
    # The encoders the tests and fuzz seeds write WebP, AVIF and HEIC pictures with, and
    # the decoders the benchmarks compare with (dwebp, heif-convert)
    webp libavif-bin libheif-examples
    # Video clips (MP4, MOV, MKV, WebM, AVI) through FFmpeg's libraries, and ffmpeg itself,
    # which makes the tests' clips and is the benchmark's yardstick
    libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
    # Tests and benchmarks
    libgtest-dev libgmock-dev libbenchmark-dev
    # The checks of the installed desktop entry and AppStream metainfo
    desktop-file-utils appstream
    # The window's font (metric-compatible with Times New Roman), a screen for the
    # window tests and screenshots, and a second reader of the X bitmaps the converter writes
    fonts-liberation xvfb xauth imagemagick
    # The board's receiving sketch: the AVR compiler, the Arduino core it is built
    # against, and the simulated board (with its display part) that the tests run it on
    gcc-avr binutils-avr avr-libc arduino-core-avr libsimavr-dev libelf-dev
    # The Debian package: its dependencies computed from the binaries, its manual pages
    # made from the programs' --help, and the check of the finished package
    dpkg-dev help2man lintian
)

missing=()
for p in "${packages[@]}"; do
    [[ "$p" == \#* ]] && continue
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
        missing+=("$p")
    fi
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "Installing missing packages: ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
