#!/usr/bin/env python3
"""Draws the information dialog's picture: a bramble sprig (leaf, berries)
beside a note, 56 x 54 pixels, 8 bits per pixel, as a Windows .bmp.

    python3 scripts/make_bitmap.py            writes ui/res/InfoPicture.bmp
    python3 scripts/make_bitmap.py --check    exit 1 if the checked-in file differs
"""
import argparse
import math
import struct
import sys
from pathlib import Path

WIDTH, HEIGHT = 56, 54
OUT = Path("ui/res/InfoPicture.bmp")

# Palette index -> (r, g, b). Index 0 is the dialog-grey background.
PALETTE = [
    (192, 192, 192),  # 0 background
    (32, 96, 40),     # 1 leaf dark
    (72, 152, 64),    # 2 leaf light
    (88, 24, 72),     # 3 berry dark
    (148, 52, 120),   # 4 berry
    (220, 150, 200),  # 5 berry highlight
    (96, 64, 32),     # 6 stem
    (24, 24, 32),     # 7 note
    (255, 255, 255),  # 8 white
]


def draw():
    px = [[0] * WIDTH for _ in range(HEIGHT)]

    def put(x, y, c):
        if 0 <= x < WIDTH and 0 <= y < HEIGHT:
            px[y][x] = c

    def disc(cx, cy, r, c):
        for y in range(int(cy - r) - 1, int(cy + r) + 2):
            for x in range(int(cx - r) - 1, int(cx + r) + 2):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    put(x, y, c)

    def line(x0, y0, x1, y1, c, w=1):
        steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 2) + 1
        for i in range(steps + 1):
            t = i / steps
            disc(x0 + (x1 - x0) * t, y0 + (y1 - y0) * t, w / 2, c)

    # Stem from lower left up to the berries.
    line(6, 50, 22, 22, 6, 2)
    # Leaf: an ellipse tilted along the stem, with a lighter half and a vein.
    ang = math.radians(-35)
    for y in range(HEIGHT):
        for x in range(WIDTH):
            dx, dy = x - 14, y - 36
            u = dx * math.cos(ang) + dy * math.sin(ang)
            v = -dx * math.sin(ang) + dy * math.cos(ang)
            if (u / 11.0) ** 2 + (v / 5.0) ** 2 <= 1.0:
                put(x, y, 2 if v < 0 else 1)
    line(5, 42, 23, 30, 6)
    # Berry cluster: drupelets in three rows, each with a highlight.
    for cx, cy in [(18, 14), (24, 12), (30, 14), (21, 19), (27, 19), (24, 25), (15, 20), (33, 20)]:
        disc(cx, cy, 3.4, 3)
        disc(cx - 0.5, cy - 0.5, 2.6, 4)
        put(cx - 1, cy - 2, 5)
    # A note on the right: head, stem and flag.
    disc(42, 44, 4.2, 7)
    disc(43, 43, 1.2, 0)
    line(46, 44, 46, 14, 7, 2)
    line(46, 14, 53, 22, 7, 2)
    line(53, 22, 51, 30, 7, 2)
    return px


def bmp_bytes(px):
    row = (WIDTH + 3) & ~3
    pixels = bytearray()
    for y in range(HEIGHT - 1, -1, -1):  # bottom-up rows
        pixels += bytes(px[y]) + bytes(row - WIDTH)
    palette = bytearray()
    for i in range(256):
        r, g, b = PALETTE[i] if i < len(PALETTE) else (0, 0, 0)
        palette += bytes((b, g, r, 0))
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    return header + info + bytes(palette) + bytes(pixels)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--check", action="store_true")
    args = ap.parse_args()
    data = bmp_bytes(draw())
    if args.check:
        if not OUT.exists() or OUT.read_bytes() != data:
            print(f"{OUT} differs from what {sys.argv[0]} draws", file=sys.stderr)
            return 1
        return 0
    OUT.parent.mkdir(parents=True, exist_ok=True)
    OUT.write_bytes(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
