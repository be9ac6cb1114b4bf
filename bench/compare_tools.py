#!/usr/bin/env python3
"""Whole-process timing of pixelcast-convert against the tools a user would pick instead.

Makes its test pictures with ImageMagick, then times, run after run in turn:
  - pixelcast-convert IN OUT.bin (level 127)
  - pixelcast-convert --smooth --dither floyd-steinberg IN OUT.bin
  - ImageMagick: convert IN -sample 128x64! -colorspace Gray -threshold 50% -depth 1 gray:OUT
  - the same with -define jpeg:size=256x128 (JPEG inputs; lets libjpeg decode reduced)
  - djpeg -scale 1/8 IN (JPEG inputs; decoding alone, the floor for a big JPEG)
and, for an animated GIF (40 frames of 160 x 120, a figure moving over a still photo-like
background, stored as ImageMagick optimises it: changed rectangles with disposals):
  - pixelcast-convert --frames all IN OUT.bin
  - convert IN -coalesce -sample 128x64! -colorspace Gray -threshold 50% -depth 1 gray:OUT
and, for the 1920 x 1080 JPEG on a 128 x 32 module and as a 16 x 16 icon:
  - pixelcast-convert --size WxH IN OUT.bin
  - convert IN -sample WxH! -colorspace Gray -threshold 50% -depth 1 gray:OUT
and, for 100 icons of 32 x 32 pixels in PNG files:
  - pixelcast-convert --size 32x32 --layout rows ICON... OUT.h (one run, one header)
  - a shell loop of 100 runs of pixelcast-convert --size 32x32 --layout rows ICON OUT.h
  - a shell loop of 100 runs of ImageMagick's convert ICON -sample 32x32! ... gray:OUT
and, for an SVG logo (a gradient, a clip path, a CSS class, strokes and a word of text) drawn
at 128 x 64:
  - pixelcast-convert IN OUT.bin (the drawing is done by its helper, pixelcast-svg)
  - rsvg-convert -w 128 -h 64 IN -o OUT.png (librsvg's own converter)
  - pixelcast-svg alone, as pixelcast-convert starts it (the child's share of the time)
and, for a 4000 x 3000 lossy WebP (cwebp -q 80) and a 12-megapixel HEIC (heif-enc -q 50):
  - pixelcast-convert IN OUT.bin, and the smooth, dithered conversion
  - dwebp IN (WebP: decoding alone, writing nothing)
  - heif-convert IN OUT.png (HEIC: libheif's own converter to a picture file)
and, for H.264 clips of 640 x 480 at 25 frames a second (ffmpeg's testsrc2), 30 s long
for the time and 10 s and 60 s long to show that memory does not grow with the length:
  - pixelcast-convert --frames all --format c IN - (every frame into an animation header,
    written to /dev/null as ffmpeg's output is)
  - ffmpeg -i IN -vf scale=128:64 -f rawvideo /dev/null
and reports medians of wall-clock and CPU time (user + system), peak resident memory,
and the ratios of pixelcast-convert (default options) to each other tool, then those of
the smooth, dithered conversion to djpeg's decoding alone.

Needs the Debian packages imagemagick (for /usr/bin/convert-im6.q16), libjpeg-turbo-progs
(for djpeg, only when JPEG inputs are timed), librsvg2-bin (for rsvg-convert, only when the
SVG logo is timed), webp (cwebp, dwebp) and libheif-examples (heif-enc, heif-convert) for
the WebP and HEIC inputs, ffmpeg (only when clips are timed), and time (GNU time, for peak
memory; without
it memory is not reported); it installs nothing. Reports only; never fails on a missed
target.
"""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

IMAGEMAGICK = "/usr/bin/convert-im6.q16"
DJPEG = "/usr/bin/djpeg"
RSVG_CONVERT = "/usr/bin/rsvg-convert"
SVG_HELPER_ALONE = "pixelcast-svg alone"
CWEBP = "/usr/bin/cwebp"
DWEBP = "/usr/bin/dwebp"
HEIF_ENC = "/usr/bin/heif-enc"
HEIF_CONVERT = "/usr/bin/heif-convert"
FFMPEG = "/usr/bin/ffmpeg"
GNU_TIME = "/usr/bin/time"
REPO = Path(__file__).resolve().parent.parent
SMOOTH = "pixelcast-convert --smooth --dither floyd-steinberg"

# name, width, height, ImageMagick output format and its options
INPUTS = [
    ("photo-4000x3000.jpg", 4000, 3000, "JPEG", ["-quality", "90"]),
    ("photo-1920x1080.jpg", 1920, 1080, "JPEG", ["-quality", "90"]),
    ("photo-4000x3000.bmp", 4000, 3000, "BMP3", []),
    ("photo-800x600.gif", 800, 600, "GIF", []),
    ("photo-128x64.bmp", 128, 64, "BMP3", []),
    # Written by the formats' own encoders from a PNG of the master.
    ("photo-4000x3000.webp", 4000, 3000, "WEBP", []),
    ("photo-4000x3000.heic", 4000, 3000, "HEIC", []),
    ("anim-160x120x40.gif", 160, 120, "GIF", []),
    ("icons-100x32x32.png", 32, 32, "PNG", []),
    # Another display's size for a picture made above: "display-WxH-of-PICTURE".
    ("display-128x32-of-photo-1920x1080.jpg", 128, 32, None, []),
    ("display-16x16-of-photo-1920x1080.jpg", 16, 16, None, []),
    ("logo.svg", 400, 200, "SVG", []),
    # "clip-WxH-Ns.mp4": made by ffmpeg, N seconds long.
    ("clip-640x480-30s.mp4", 640, 480, "CLIP", []),
    ("clip-640x480-10s.mp4", 640, 480, "CLIP", []),
    ("clip-640x480-60s.mp4", 640, 480, "CLIP", []),
]

LOGO = """<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="400" height="200" viewBox="0 0 400 200">
  <style>.word { font: bold 56px sans-serif; fill: #1b1b1b; } .ring { fill: none;
    stroke: #1b1b1b; stroke-width: 6; }</style>
  <defs>
    <linearGradient id="sky" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#ffffff"/><stop offset="1" stop-color="#9a9a9a"/>
    </linearGradient>
    <clipPath id="disc"><circle cx="90" cy="100" r="70"/></clipPath>
  </defs>
  <rect width="400" height="200" rx="24" fill="url(#sky)"/>
  <g clip-path="url(#disc)">
    <rect x="20" y="30" width="140" height="140" fill="#2a2a2a"/>
    <path d="M20 140 L60 90 L90 120 L130 70 L160 110 L160 170 L20 170 Z" fill="#f2f2f2"/>
  </g>
  <circle class="ring" cx="90" cy="100" r="70"/>
  <text class="word" x="180" y="120">Pixel</text>
  <path d="M180 140 H380" stroke="#1b1b1b" stroke-width="4" stroke-dasharray="12 6"/>
</svg>
"""
ANIMATION_FRAMES = 40
ICONS = 100
ICON_LOOP = "pixelcast-convert, 100 runs"


def make_animation(master: Path, target: Path, width: int, height: int) -> None:
    """A white disc crossing a still background, one step a frame, optimised by ImageMagick
    into the changed rectangles of each frame."""
    background = ["(", str(master), "-resize", f"{width}x{height}!", ")"]
    frames = []
    for i in range(ANIMATION_FRAMES):
        x = 10 + i * (width - 20) // ANIMATION_FRAMES
        y = height // 2 + (i % 10) - 5
        frames += ["(", "-clone", "0", "-fill", "white", "-draw",
                   f"circle {x},{y} {x + 8},{y}", ")"]
    subprocess.run([IMAGEMAGICK, *background, *frames, "-delete", "0", "-delay", "5",
                    "-loop", "0", "-layers", "Optimize", f"GIF:{target}"], check=True)


def icon_files(folder: Path):
    return [folder / "icons" / f"icon-{i:03d}.png" for i in range(ICONS)]


def make_icons(master: Path, folder: Path, width: int, height: int) -> None:
    """A hundred icons cut from the photo-like master shrunk to 10 x 10 icons' size."""
    (folder / "icons").mkdir(exist_ok=True)
    subprocess.run([IMAGEMAGICK, str(master), "-resize", f"{10 * width}x{10 * height}!",
                    "-crop", f"{width}x{height}", "+repage",
                    f"PNG:{folder / 'icons' / 'icon-%03d.png'}"], check=True)


def make_inputs(folder: Path) -> None:
    """A plasma fractal is photo-like: smooth areas, noise and no repeating pattern, so it
    compresses as a photo does (about 3 MB for the 4000 x 3000 JPEG at quality 90)."""
    master = folder / "plasma-4000x3000.ppm"
    if not master.exists():
        subprocess.run([IMAGEMAGICK, "-seed", "8", "-size", "4000x3000", "plasma:fractal",
                        str(master)], check=True)
    for name, width, height, kind, extra in INPUTS:
        if kind is None:
            continue
        target = folder / name
        if target.exists() or (name.startswith("icons-") and
                               all(icon.exists() for icon in icon_files(folder))):
            continue
        if name.startswith("anim-"):
            make_animation(master, target, width, height)
            continue
        if kind == "CLIP":
            seconds = name.rsplit("-", 1)[1].removesuffix("s.mp4")
            subprocess.run([FFMPEG, "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                            f"testsrc2=size={width}x{height}:rate=25:duration={seconds}",
                            "-c:v", "libx264", "-pix_fmt", "yuv420p", str(target)], check=True)
            continue
        if name.startswith("icons-"):
            make_icons(master, folder, width, height)
            continue
        if kind == "SVG":
            target.write_text(LOGO)
            continue
        if kind in ("WEBP", "HEIC"):
            png = folder / "plasma-4000x3000.png"
            if not png.exists():
                subprocess.run([IMAGEMAGICK, str(master), f"PNG:{png}"], check=True)
            encode = ([CWEBP, "-quiet", "-q", "80", str(png), "-o", str(target)]
                      if kind == "WEBP" else [HEIF_ENC, "-q", "50", str(png), "-o", str(target)])
            subprocess.run(encode, check=True, stdout=subprocess.DEVNULL)
            continue
        resize = [] if (width, height) == (4000, 3000) else ["-resize", f"{width}x{height}!"]
        subprocess.run([IMAGEMAGICK, str(master), *resize, *extra, f"{kind}:{target}"],
                       check=True)


def commands(program: Path, picture: Path, out: Path):
    if picture.name.startswith("display-"):
        size = picture.name.split("-")[1]
        source = picture.parent / picture.name.split("-of-", 1)[1]
        return {
            "pixelcast-convert": [str(program), "--size", size, str(source),
                                  str(out / "pixelcast.bin")],
            "ImageMagick": [IMAGEMAGICK, str(source), "-sample", f"{size}!", "-colorspace",
                            "Gray", "-threshold", "50%", "-depth", "1",
                            f"gray:{out / 'im.gray'}"],
        }
    if picture.name.startswith("icons-"):
        icons = [str(icon) for icon in icon_files(picture.parent)]
        options = ["--size", "32x32", "--layout", "rows"]
        # $0 is the program, the icons are the loop's arguments.
        ours = f'for icon; do "$0" {" ".join(options)} "$icon" "{out}/$(basename "$icon" .png).h"; done'
        theirs = ('for icon; do "$0" "$icon" -sample 32x32! -colorspace Gray -threshold 50% '
                  f'-depth 1 "gray:{out}/$(basename "$icon" .png).gray"; done')
        return {
            "pixelcast-convert": [str(program), *options, *icons, str(out / "icons.h")],
            ICON_LOOP: ["sh", "-c", ours, str(program), *icons],
            "ImageMagick, 100 runs": ["sh", "-c", theirs, IMAGEMAGICK, *icons],
        }
    if picture.suffix == ".svg":
        helper = program.parent / "pixelcast-svg"
        return {
            "pixelcast-convert": [str(program), str(picture), str(out / "pixelcast.bin")],
            "rsvg-convert": [RSVG_CONVERT, "-w", "128", "-h", "64", str(picture), "-o",
                             str(out / "rsvg.png")],
            # The panel colour, as pixelcast-convert gives it by default.
            SVG_HELPER_ALONE: ["sh", "-c", f'exec "$0" f0f0f0 128 64 fill < "$1" > "$2"',
                               str(helper), str(picture), str(out / "helper.out")],
        }
    if picture.name.startswith("clip-"):
        return {
            # The header to standard output, which is /dev/null here as ffmpeg's output is: a
            # file would add the disk's flush (QSaveFile syncs on commit) to the time.
            "pixelcast-convert": [str(program), "--frames", "all", "--format", "c",
                                  str(picture), "-"],
            "ffmpeg": [FFMPEG, "-nostdin", "-loglevel", "error", "-i", str(picture), "-vf",
                       "scale=128:64", "-f", "rawvideo", "-y", os.devnull],
        }
    if picture.name.startswith("anim-"):
        return {
            "pixelcast-convert": [str(program), "--frames", "all", str(picture),
                                  str(out / "pixelcast.bin")],
            "ImageMagick": [IMAGEMAGICK, str(picture), "-coalesce", "-sample", "128x64!",
                            "-colorspace", "Gray", "-threshold", "50%", "-depth", "1",
                            f"gray:{out / 'im.gray'}"],
        }
    tools = {
        "pixelcast-convert": [str(program), str(picture), str(out / "pixelcast.bin")],
        # The area-mean stretch reads every row (or every row of the reduced JPEG), so its
        # time and memory are measured on every input beside the nearest-pixel default.
        SMOOTH: [str(program), "--smooth", "--dither", "floyd-steinberg", str(picture),
                 str(out / "pixelcast-smooth.bin")],
        "ImageMagick": [IMAGEMAGICK, str(picture), "-sample", "128x64!", "-colorspace", "Gray",
                        "-threshold", "50%", "-depth", "1", f"gray:{out / 'im.gray'}"],
    }
    if picture.suffix in (".webp", ".heic"):
        # ImageMagick 6 as Debian builds it reads neither; the formats' own tools instead.
        del tools["ImageMagick"]
    if picture.suffix == ".webp":
        tools["dwebp"] = [DWEBP, str(picture)]
    if picture.suffix == ".heic":
        tools["heif-convert to PNG"] = [HEIF_CONVERT, str(picture), str(out / "heif.png")]
    if picture.suffix == ".jpg":
        tools["ImageMagick jpeg:size"] = [
            IMAGEMAGICK, "-define", "jpeg:size=256x128", str(picture), "-sample", "128x64!",
            "-colorspace", "Gray", "-threshold", "50%", "-depth", "1",
            f"gray:{out / 'im-hint.gray'}"]
        tools["djpeg -scale 1/8"] = [DJPEG, "-scale", "1/8", "-outfile", os.devnull,
                                     str(picture)]
    return tools


def run_once(command):
    """Wall time and CPU time (user + system) of one run, in seconds."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    errors = process.stderr.read()
    process.stderr.close()
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        raise RuntimeError(f"{command[0]} failed ({code}): {errors.decode()}")
    return wall, usage.ru_utime + usage.ru_stime


def peak_memory_kib(command):
    """The child's maximum resident set, measured through GNU time. A child of this
    Python process itself would report at least Python's own size: Linux carries the
    resident high-water mark of the forking process across exec."""
    result = subprocess.run([GNU_TIME, "-f", "%M", *command], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, check=True)
    return int(result.stderr.decode().strip().splitlines()[-1])


def measure(tools, runs, warmups):
    results = {name: {"wall": [], "cpu": [], "rss": []} for name in tools}
    order = list(tools)
    for round_number in range(warmups + runs):
        random.shuffle(order)  # interleaved, in a fresh order each round
        for name in order:
            wall, cpu = run_once(tools[name])
            if round_number >= warmups:
                results[name]["wall"].append(wall)
                results[name]["cpu"].append(cpu)
    if os.access(GNU_TIME, os.X_OK):
        for name in order:
            results[name]["rss"] = [peak_memory_kib(tools[name]) for _ in range(3)]
    return results


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", type=Path, default=REPO / "build/dev/pixelcast-convert",
                        help="the pixelcast-convert to time (default: %(default)s)")
    parser.add_argument("--runs", type=int, default=21, help="timed runs of each tool")
    parser.add_argument("--warmups", type=int, default=2, help="untimed runs first")
    parser.add_argument("--clip-runs", type=int, default=5,
                        help="timed runs of each tool on a clip, whose runs take seconds")
    parser.add_argument("--pictures", type=Path,
                        default=Path(tempfile.gettempdir()) / "pixelcast-bench",
                        help="folder for the test pictures, kept between runs")
    parser.add_argument("--only", help="time only the inputs whose name contains this")
    args = parser.parse_args()

    selected = [name for name, *_ in INPUTS if not args.only or args.only in name]
    needed = [(IMAGEMAGICK, "imagemagick")]
    if any(name.startswith("photo-") and name.endswith(".jpg") for name in selected):
        needed.append((DJPEG, "libjpeg-turbo-progs"))
    if any(name.endswith(".svg") for name in selected):
        needed.append((RSVG_CONVERT, "librsvg2-bin"))
    if any(name.endswith(".webp") for name in selected):
        needed += [(CWEBP, "webp"), (DWEBP, "webp")]
    if any(name.endswith(".heic") for name in selected):
        needed += [(HEIF_ENC, "libheif-examples"), (HEIF_CONVERT, "libheif-examples")]
    if any(name.startswith("clip-") for name in selected):
        needed.append((FFMPEG, "ffmpeg"))
    missing = [f"{tool} (Debian package {package})" for tool, package in needed
               if not os.access(tool, os.X_OK)]
    if not args.program.is_file():
        missing.append(f"{args.program} (build it: cmake --build --preset dev)")
    if missing:
        print("This comparison needs:\n  " + "\n  ".join(missing), file=sys.stderr)
        return 2

    args.pictures.mkdir(parents=True, exist_ok=True)
    make_inputs(args.pictures)
    out = Path(tempfile.mkdtemp(prefix="pixelcast-bench-out-"))
    try:
        print(f"{args.runs} interleaved runs each after {args.warmups} warm-up runs; "
              f"medians; peak memory is the largest maximum resident set of three more "
              f"runs.\n")
        print("| input | tool | wall ms | CPU ms | peak MiB | pixelcast wall ratio "
              "| pixelcast CPU ratio |")
        print("|---|---|---:|---:|---:|---:|---:|")
        summary = []
        clip_peaks = {}
        for name in selected:
            tools = commands(args.program, args.pictures / name, out)
            clip = name.startswith("clip-")
            results = measure(tools, args.clip_runs if clip else args.runs,
                              1 if clip else args.warmups)
            if clip:
                clip_peaks[name] = max(results["pixelcast-convert"]["rss"], default=0) / 1024
            ours_wall = statistics.median(results["pixelcast-convert"]["wall"])
            ours_cpu = statistics.median(results["pixelcast-convert"]["cpu"])
            for tool, r in results.items():
                wall = statistics.median(r["wall"])
                cpu = statistics.median(r["cpu"])
                own = tool in ("pixelcast-convert", SMOOTH, SVG_HELPER_ALONE)
                ratio_wall = "" if own else f"{ours_wall / wall:.2f}x"
                ratio_cpu = "" if own else f"{ours_cpu / cpu:.2f}x"
                peak = f"{max(r['rss']) / 1024:.1f}" if r["rss"] else "n/a"
                print(f"| {name} | {tool} | {wall * 1000:.1f} | {cpu * 1000:.1f} "
                      f"| {peak} | {ratio_wall} | {ratio_cpu} |", flush=True)
            if ICON_LOOP in results:
                ratios = [statistics.median(results["pixelcast-convert"][kind]) /
                          statistics.median(results[ICON_LOOP][kind]) for kind in ("wall", "cpu")]
                summary.append(f"{name}: one run at {ratios[0]:.2f}x the wall time and "
                               f"{ratios[1]:.2f}x the CPU time of 100 runs")
            if SVG_HELPER_ALONE in results:
                ratios = [statistics.median(results[SVG_HELPER_ALONE][kind]) /
                          statistics.median(results["pixelcast-convert"][kind])
                          for kind in ("wall", "cpu")]
                summary.append(f"{name}: the pixelcast-svg child takes {ratios[0]:.0%} of "
                               f"pixelcast-convert's wall time and {ratios[1]:.0%} of its CPU "
                               f"time")
            for floor in ("dwebp", "heif-convert to PNG"):
                if floor in results:
                    ratios = [statistics.median(results["pixelcast-convert"][kind]) /
                              statistics.median(results[floor][kind]) for kind in ("wall", "cpu")]
                    summary.append(f"{name}: pixelcast-convert at {ratios[0]:.2f}x the wall "
                                   f"time and {ratios[1]:.2f}x the CPU time of {floor}")
            if "djpeg -scale 1/8" in results:
                ratios = [statistics.median(results[SMOOTH][kind]) /
                          statistics.median(results["djpeg -scale 1/8"][kind])
                          for kind in ("wall", "cpu")]
                summary.append(f"{name}: {SMOOTH} at {ratios[0]:.2f}x the wall time and "
                               f"{ratios[1]:.2f}x the CPU time of djpeg -scale 1/8")
        if len(clip_peaks) > 1:
            summary.append("pixelcast-convert's peak memory on the clips: " + ", ".join(
                f"{name} {peak:.1f} MiB" for name, peak in sorted(clip_peaks.items())))
        print()
        for line in summary:
            print(line)
    finally:
        shutil.rmtree(out, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
