#!/usr/bin/env python3
"""Makes docs/guide/window.png, the user guide's picture of the window.

Starts a screen of its own (Xvfb, which scripts/setup-packages.sh installs), runs the window
program on it with the test scene of make_modes_picture.py loaded, waits until the screen
has stopped changing, and keeps the window's part of it (the screen has no window manager,
so the window has no frame and the rest of the screen stays black). Reads the screen through
libX11 and writes the PNG itself: needs only Python, Xvfb and a built pixelcast.

    python3 scripts/make_window_picture.py --program build/dev/pixelcast
"""

import argparse
import ctypes
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from make_modes_picture import REPO, write_bmp, write_png_rgb  # noqa: E402

SCREEN_W, SCREEN_H = 800, 700


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_ubyte)),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int), ("red_mask", ctypes.c_ulong),
                ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong)]


def grab(xlib, display):
    """The screen as rows of (r, g, b); a 24-bit Xvfb screen keeps 32 bits a pixel, BGRX."""
    xlib.XGetImage.restype = ctypes.POINTER(XImage)
    xlib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                               ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    z_pixmap, all_planes = 2, 0xFFFFFFFF
    image = xlib.XGetImage(display, xlib.XDefaultRootWindow(display), 0, 0, SCREEN_W,
                           SCREEN_H, all_planes, z_pixmap)
    if not image or image.contents.bits_per_pixel != 32:
        raise RuntimeError("cannot read the screen as 32-bit pixels")
    info = image.contents
    data = ctypes.string_at(info.data, info.bytes_per_line * info.height)
    rows = []
    for y in range(info.height):
        line = data[y * info.bytes_per_line:y * info.bytes_per_line + 4 * info.width]
        rows.append([(line[i + 2], line[i + 1], line[i]) for i in range(0, len(line), 4)])
    return rows


def crop(rows):
    """The bounding box of everything that is not the black screen."""
    lit = [(x, y) for y, row in enumerate(rows) for x, pixel in enumerate(row) if pixel != (0, 0, 0)]
    if not lit:
        return None
    xs, ys = [x for x, _ in lit], [y for _, y in lit]
    return [row[min(xs):max(xs) + 1] for row in rows[min(ys):max(ys) + 1]]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", type=Path, default=REPO / "build/dev/pixelcast")
    parser.add_argument("--output", type=Path, default=REPO / "docs/guide/window.png")
    args = parser.parse_args()
    xlib = ctypes.CDLL("libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XDefaultRootWindow.restype = ctypes.c_ulong
    xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    with tempfile.TemporaryDirectory() as folder:
        read_end, write_end = os.pipe()
        server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                   f"{SCREEN_W}x{SCREEN_H}x24", "-br", "-nolisten", "tcp"],
                                  pass_fds=[write_end], stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = os.read(read_end, 16).decode().strip()
        os.close(read_end)
        window = None
        try:
            scene = Path(folder) / "scene.bmp"
            write_bmp(scene)
            env = dict(os.environ, DISPLAY=f":{number}", QT_QPA_PLATFORM="xcb",
                       XDG_CONFIG_HOME=folder, XDG_RUNTIME_DIR=folder)
            window = subprocess.Popen([str(args.program), str(scene)], env=env)
            display = None
            for _ in range(20):
                display = xlib.XOpenDisplay(f":{number}".encode())
                if display:
                    break
                time.sleep(0.25)
            if not display:
                raise RuntimeError(f"cannot open display :{number}")
            # The window has drawn itself when three grabs half a second apart agree.
            shots, deadline = [], time.monotonic() + 30
            while time.monotonic() < deadline:
                time.sleep(0.5)
                shots = (shots + [crop(grab(xlib, display))])[-3:]
                if len(shots) == 3 and shots[0] is not None and shots.count(shots[0]) == 3:
                    break
            else:
                raise RuntimeError("the window did not settle within 30 s")
        finally:
            if window is not None:
                window.terminate()
                window.wait()
            server.terminate()
            server.wait()
    write_png_rgb(args.output, shots[0])
    print(f"wrote {args.output} ({len(shots[0][0])} x {len(shots[0])})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
