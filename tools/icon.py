#!/usr/bin/env python3
"""Draws resources/icon_1024.png: a phase-distorted cosine in lime on a dark rounded tile.

Pure Python (zlib only), so it runs anywhere the build does: python3 tools/icon.py
"""

import math
import pathlib
import struct
import zlib

SIZE = 1024
OUT = pathlib.Path(__file__).resolve().parent.parent / "resources" / "icon_1024.png"

TILE_TOP = (28, 33, 34)
TILE_BOTTOM = (7, 8, 8)
BORDER = (85, 98, 102)
WAVE = (200, 245, 0)
GLOW = (215, 255, 55)


def warp(p, d=0.18):
    # The phase runs fast up to d, then slowly: a cosine read this way leans like a saw.
    return p * 0.5 / d if p < d else 0.5 + (p - d) * 0.5 / (1.0 - d)


def wave(x):
    cycles = 2.0
    p = (x - 132) / (SIZE - 264) * cycles
    frac = p - math.floor(p)
    return SIZE * 0.5 - math.cos(2 * math.pi * warp(frac)) * 190


def rounded_box_distance(x, y, half, radius):
    qx = abs(x - SIZE / 2) - (half - radius)
    qy = abs(y - SIZE / 2) - (half - radius)
    outside = math.hypot(max(qx, 0), max(qy, 0))
    return outside + min(max(qx, qy), 0) - radius


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def clamp01(v):
    return 0.0 if v < 0 else 1.0 if v > 1 else v


def curve_points():
    # Samples about a pixel apart along the curve, so steep edges are as thick as flat ones.
    points = []
    x = 132.0
    while x <= SIZE - 132:
        y = wave(x)
        points.append((x, y))
        step = 1.0
        while step > 0.01 and math.hypot(step, wave(x + step) - y) > 1.5:
            step *= 0.5
        x += step
    return points


def distance_field(points, reach):
    field = [[float(reach)] * SIZE for _ in range(SIZE)]
    for px, py in points:
        for y in range(max(0, int(py - reach)), min(SIZE, int(py + reach) + 1)):
            row = field[y]
            dy = y + 0.5 - py
            for x in range(max(0, int(px - reach)), min(SIZE, int(px + reach) + 1)):
                d = math.hypot(x + 0.5 - px, dy)
                if d < row[x]:
                    row[x] = d
    return field


def main():
    field = distance_field(curve_points(), 60)
    rows = []
    for y in range(SIZE):
        row = bytearray([0])
        yc = y + 0.5
        for x in range(SIZE):
            xc = x + 0.5
            d = rounded_box_distance(xc, yc, 470, 190)
            coverage = clamp01(0.5 - d)
            if coverage <= 0:
                row += b"\0\0\0\0"
                continue
            colour = mix(TILE_TOP, TILE_BOTTOM, y / SIZE)
            colour = mix(colour, BORDER, clamp01(1.0 - abs(d + 14) / 3.0) * 0.8)
            dist = field[y][x]
            colour = mix(colour, GLOW, clamp01(1.0 - (dist - 22) / 38.0) * 0.22)
            colour = mix(colour, WAVE, clamp01(22.5 - dist))
            row += bytes(int(round(c)) for c in colour) + bytes([int(round(coverage * 255))])
        rows.append(bytes(row))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9))
    png += chunk(b"IEND", b"")
    OUT.write_bytes(png)
    print(f"wrote {OUT} ({len(png)} bytes)")


if __name__ == "__main__":
    main()
