#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh made, without installing it: its
# files, the dependencies dpkg-shlibdeps computed, a converter extracted from it that
# converts a metafile with the helper beside it, a WebP, an AVIF and a HEIC with the
# library of photo readers, and two pictures into one header, manual
# pages that name every option the programs accept and have their hand-written sections,
# the user's guide (its links and pictures, in the source tree and in the package), the
# installed README, and lintian.
set -euo pipefail
cd "$(dirname "$0")/.."

debs=(build/release/pixelcast_*_amd64.deb)
[[ -f "${debs[0]}" ]] || { echo "no package in build/release; run scripts/package.sh"; exit 1; }
deb=${debs[0]}
status=0
fail() { echo "FAIL: $*"; status=1; }

echo "== $deb"
contents=$(dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./|/|')
for file in /usr/bin/pixelcast /usr/bin/pixelcast-convert /usr/bin/pixelcast-wmf /usr/bin/pixelcast-svg \
    "/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/pixelcast/pixelcast-photos.so" \
    /usr/share/applications/pixelcast.desktop \
    /usr/share/metainfo/io.github.pixelcast.Pixelcast.metainfo.xml \
    /usr/share/icons/hicolor/64x64/apps/pixelcast.png \
    /usr/share/doc/pixelcast/copyright /usr/share/doc/pixelcast/changelog.Debian.gz \
    /usr/share/doc/pixelcast/README /usr/share/doc/pixelcast/guide/index.html \
    /usr/share/man/man1/pixelcast.1.gz /usr/share/man/man1/pixelcast-convert.1.gz \
    /usr/share/man/man1/pixelcast-wmf.1.gz /usr/share/man/man1/pixelcast-svg.1.gz \
    /usr/share/pixelcast/board/pixelcast_receiver/pixelcast_receiver.ino \
    /usr/share/pixelcast/board/pixelcast_receiver/pixelcast_display.h \
    /usr/share/pixelcast/board/pixelcast_player/pixelcast_player.ino \
    /usr/share/pixelcast/board/pixelcast_player/pixelcast_display.h \
    /usr/share/pixelcast/board/pixelcast_player/animation.h \
    /usr/share/pixelcast/board/shared/pixelcast_display.h \
    /usr/share/pixelcast/board/pixelcast_link/pixelcast_link.ino \
    /usr/share/pixelcast/board/pixelcast_link/pixelcast_display.h \
    /usr/share/pixelcast/board/LINK.md; do
    grep -qxF "$file" <<<"$contents" || fail "the package lacks $file"
done

depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
for library in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libjpeg62-turbo \
    libgif7 libpng16-16 libwmf-0.2-7 librsvg2-2 libwebp7 libwebpdemux2 libavif15 libheif1 \
    libavformat59 libavcodec59 libswscale6 libavutil57; do
    grep -qE "(^|, )$library( |,|$)" <<<"$depends" || fail "Depends lacks $library"
done
[[ $(dpkg-deb --field "$deb" Section) == graphics ]] || fail "the section is not graphics"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
# The metafile is drawn by the helper the extracted converter finds beside itself.
(unset PIXELCAST_WMF_HELPER
 "$root/usr/bin/pixelcast-convert" tests/data/shapes-200x100.wmf "$root/shapes.bin" &&
     "$root/usr/bin/pixelcast-convert" tests/data/plasma-64x64.jpg "$root/plasma.bin") ||
    fail "the extracted converter failed"
for array in "$root/shapes.bin" "$root/plasma.bin"; do
    [[ -f "$array" && $(stat -c %s "$array") -eq 1024 ]] || fail "$array is not 1024 bytes"
done
cmp -s "$root/shapes.bin" <(build/release/pixelcast-convert tests/data/shapes-200x100.wmf -) ||
    fail "the extracted converter's metafile array differs from the build's"
# WebP in the converter itself; AVIF and HEIF through the library it finds in its lib folder.
small=$(mktemp -d)
cwebp -quiet tests/data/interlaced-24x12.png -o "$small/p.webp" &&
    avifenc -s 10 tests/data/interlaced-24x12.png "$small/p.avif" >/dev/null &&
    heif-enc tests/data/interlaced-24x12.png -o "$small/p.heic" >/dev/null ||
    fail "the encoders of the small pictures failed"
for picture in "$small"/p.*; do
    (unset PIXELCAST_PHOTO_READERS
     "$root/usr/bin/pixelcast-convert" "$picture" "$small/out.bin") &&
        [[ $(stat -c %s "$small/out.bin") -eq 1024 ]] ||
        fail "the extracted converter did not convert $(basename "$picture")"
done
rm -rf "$small"
# Several pictures into one header, chosen by the extension, each array named after its file.
"$root/usr/bin/pixelcast-convert" tests/data/plasma-64x64.jpg tests/data/one-bit-16x8.bmp \
    "$root/two.h" && grep -q '^PIXELCAST_SHARED const uint8_t\* const display_array_all\[2\]' "$root/two.h" &&
    grep -q '^PIXELCAST_SHARED const uint8_t one_bit_16x8\[1024\] PROGMEM' "$root/two.h" ||
    fail "the extracted converter did not make a header of two pictures"

# Every option a program's parser knows is in its manual page.
manual_page_names() { zcat "$1" | sed 's/\\-/-/g; s/\\f[BIRP]//g'; }
check_options() {
    local page=$1
    shift
    local text
    text=$(manual_page_names "$root/usr/share/man/man1/$page.1.gz")
    local options
    options=$(grep -ohE '"--[a-z][a-z-]*", (true|false)' "$@" | cut -d'"' -f2 | sort -u)
    [[ -n $options ]] || fail "no options found in $*"
    for option in $options; do
        grep -qF -- "$option" <<<"$text" || fail "$page.1 does not mention $option"
    done
}
# The window takes the picture and the display options, as the converter does.
check_options pixelcast pipeline/picture_options.h
check_options pixelcast-convert cli/arguments.cpp pipeline/picture_options.h

# The sections written by hand beside --help: examples, error numbers, see also; and for
# the converter the byte layouts, each by name.
for page in pixelcast pixelcast-convert; do
    text=$(zcat "$root/usr/share/man/man1/$page.1.gz")
    for section in EXAMPLES "ERROR NUMBERS" "SEE ALSO"; do
        grep -q "^\.SH \"\?$section\"\?\$" <<<"$text" || fail "$page.1 has no $section section"
    done
    grep -q '^\.B 4002$' <<<"$text" || fail "$page.1 does not list the error numbers"
done
text=$(zcat "$root/usr/share/man/man1/pixelcast-convert.1.gz")
for layout in vertical pages rows xbm; do
    grep -q "^\.B $layout\$" <<<"$text" || fail "pixelcast-convert.1 does not describe the $layout layout"
done

# The user's guide: every local link and picture it names is beside it in docs/guide/ and
# in the package, and every fragment it links to is an id on the page.
guide=docs/guide/index.html
guide_dir=/usr/share/doc/pixelcast/guide
links=$(grep -oE '(href|src)="[^"]*"' "$guide" | cut -d'"' -f2 | sort -u)
pictures=0
for link in $links; do
    case $link in
    http:* | https:* | mailto:*) continue ;;
    \#*)
        grep -qF "id=\"${link#\#}\"" "$guide" || fail "the guide links to $link, which it lacks"
        continue
        ;;
    esac
    file=${link%%#*}
    [[ -f docs/guide/$file ]] || fail "the guide names docs/guide/$file, which does not exist"
    grep -qxF "$guide_dir/$file" <<<"$contents" || fail "the guide names $file, not in the package"
    [[ $file == *.png ]] && pictures=$((pictures + 1))
done
((pictures > 0)) || fail "the guide shows no pictures: are its links read?"
for picture in docs/guide/*.png; do
    grep -qF "src=\"$(basename "$picture")\"" "$guide" ||
        echo "note: $picture is installed but the guide does not show it"
done
# The installed README and the guide name only installed files. The README of the
# repository, with its build scripts and LICENSE, is not installed.
if grep -qxF /usr/share/doc/pixelcast/README.md <<<"$contents"; then
    fail "the package installs the developers' README.md"
fi
for document in usr/share/doc/pixelcast/README usr/share/doc/pixelcast/guide/index.html; do
    for named in $(grep -oE '/usr/[A-Za-z0-9_./-]*[A-Za-z0-9_/]' "$root/$document" | sort -u); do
        [[ -e "$root$named" ]] || fail "/$document names $named, which the package lacks"
    done
done

lintian --fail-on error "$deb" || fail "lintian"

((status == 0)) && echo "The package is complete."
exit $status
