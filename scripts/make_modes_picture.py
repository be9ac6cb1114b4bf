#!/usr/bin/env python3
"""Makes docs/guide/picture-modes.png, the user guide's picture of the four rendering modes.

Draws a photo-like test scene of its own (a lit sphere before a sky and a hazy ground, no
outside photo), writes it as a BMP, has pixelcast-convert render it with --smooth in each
of the four --dither modes at level 127 (--preview), and lays the four previews side by
side, each doubled in size, in one PNG. Needs only Python and a built pixelcast-convert.

    python3 scripts/make_modes_picture.py --program build/dev/pixelcast-convert
"""

import argparse
import math
import struct
import subprocess
import sys
import tempfile
import zlib
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
MODES = ["none", "floyd-steinberg", "atkinson", "ordered"]
WIDTH, HEIGHT = 512, 256
SCALE, GAP = 2, 6


def scene_pixel(x, y):
    """A sphere lit from the upper left, a sky getting lighter towards the horizon, and a
    ground of soft rolling bands: smooth tones everywhere, the case dithering is for."""
    u, v = x / WIDTH, y / HEIGHT
    horizon = 0.62 + 0.05 * math.sin(u * 7.0)
    if v < horizon:
        t = v / horizon
        colour = (70 + 120 * t, 110 + 110 * t, 190 + 50 * t)
    else:
        t = (v - horizon) / (1 - horizon)
        band = 0.5 + 0.5 * math.sin(u * 23.0 + t * 9.0)
        colour = (60 + 50 * band - 30 * t, 100 + 60 * band - 40 * t, 40 + 20 * band)
    cx, cy, r = 0.36 * WIDTH, 0.45 * HEIGHT, 0.3 * HEIGHT
    dx, dy = (x - cx) / r, (y - cy) / r
    if dx * dx + dy * dy <= 1.0:
        dz = math.sqrt(1.0 - dx * dx - dy * dy)
        light = max(0.0, (-dx * 0.5 - dy * 0.6 + dz * 0.62)) * 0.9 + 0.08
        colour = (230 * light, 180 * light, 120 * light)
    return tuple(max(0, min(255, int(c))) for c in colour)


def write_bmp(path):
    row_bytes = (WIDTH * 3 + 3) // 4 * 4
    rows = bytearray()
    for y in range(HEIGHT - 1, -1, -1):  # stored bottom up
        row = bytearray()
        for x in range(WIDTH):
            r, g, b = scene_pixel(x, y)
            row += bytes((b, g, r))
        rows += row + bytes(row_bytes - WIDTH * 3)
    header = b"BM" + struct.pack("<IHHI", 54 + len(rows), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    path.write_bytes(header + info + rows)


def read_png_rgb(path):
    """The pixels of an 8-bit RGB PNG, as rows of (r, g, b)."""
    data = path.read_bytes()
    at, idat, width, height = 8, b"", 0, 0
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            if (depth, colour) != (8, 2):
                raise ValueError(f"{path}: not an 8-bit RGB PNG")
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw = zlib.decompress(idat)
    stride, rows, previous = width * 3, [], bytearray(width * 3)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b = previous[i]
            c = previous[i - 3] if i >= 3 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        rows.append([tuple(line[x * 3:x * 3 + 3]) for x in range(width)])
        previous = line
    return rows


def write_png_rgb(path, rows):
    width, height = len(rows[0]), len(rows)
    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in rows)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    path.write_bytes(b"\x89PNG\r\n\x1a\n" +
                     chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                     chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", type=Path, default=REPO / "build/dev/pixelcast-convert")
    parser.add_argument("--output", type=Path, default=REPO / "docs/guide/picture-modes.png")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        scene = Path(folder) / "scene.bmp"
        write_bmp(scene)
        previews = []
        for mode in MODES:
            preview = Path(folder) / f"{mode}.png"
            subprocess.run([str(args.program), "--smooth", "--dither", mode, "--preview",
                            str(preview), str(scene)], check=True)
            previews.append(read_png_rgb(preview))
    panel_w, panel_h = len(previews[0][0]) * SCALE, len(previews[0]) * SCALE
    grey = (128, 128, 128)
    width = len(MODES) * panel_w + (len(MODES) + 1) * GAP
    canvas = [[grey] * width for _ in range(panel_h + 2 * GAP)]
    for n, rows in enumerate(previews):
        left = GAP + n * (panel_w + GAP)
        for y in range(panel_h):
            for x in range(panel_w):
                canvas[GAP + y][left + x] = rows[y // SCALE][x // SCALE]
    args.output.parent.mkdir(parents=True, exist_ok=True)
    write_png_rgb(args.output, canvas)
    print(f"wrote {args.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
