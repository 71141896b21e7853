#!/usr/bin/env python3
"""Writes the twelve sample textures as small 64x64 24-bit BMP pictures that suit their names.

usage: make_textures.py FOLDER
"""
import math
import random
import struct
import sys
from pathlib import Path

SIZE = 64


def clamp(v):
    return max(0, min(255, int(v)))


def noise(seed):
    rnd = random.Random(seed)
    return [[rnd.random() for _ in range(SIZE)] for _ in range(SIZE)]


def smooth(grid, passes=2):
    for _ in range(passes):
        grid = [[(grid[y][x] + grid[y][(x + 1) % SIZE] + grid[(y + 1) % SIZE][x]
                  + grid[y][x - 1] + grid[y - 1][x]) / 5 for x in range(SIZE)] for y in range(SIZE)]
    return grid


def canvas(x, y, n):
    weave = 12 * ((x % 4 < 2) ^ (y % 4 < 2))
    return (225 - weave + 10 * n, 212 - weave + 10 * n, 180 - weave + 8 * n)


def cork(shade):
    def paint(x, y, n):
        speck = -60 if n > 0.85 else (25 if n < 0.1 else 0)
        return (shade + speck + 30 * n, shade * 0.7 + speck + 20 * n, shade * 0.4 + speck)
    return paint


def concrete(x, y, n):
    g = 150 + 60 * (n - 0.5) - (50 if (x * 7 + y * 13) % 97 == 0 else 0)
    return (g, g, g + 4)


def metal(x, y, n):
    g = 170 + 50 * math.sin(y / 5.0) + 15 * (n - 0.5)
    return (g - 5, g, g + 10)


def rock(x, y, n):
    g = 80 + 110 * n
    return (g + 20, g + 5, g - 10)


def woven(x, y, n):
    over = (x // 8 + y // 8) % 2
    t = (y % 8) if over else (x % 8)
    base = 140 + 12 * math.sin(t * math.pi / 8)
    return (base * 0.5 + 20 * n, base * 0.7 + 20 * n, base + 20 * n) if over else \
           (base * 0.9 + 20 * n, base * 0.4 + 20 * n, base * 0.4)


def marble(tint):
    def paint(x, y, n):
        vein = abs(math.sin((x + y) / 9.0 + 6 * n))
        g = 235 - 110 * (1 - vein) ** 6
        return (g + tint[0], g + tint[1], g + tint[2])
    return paint


def hemp(x, y, n):
    twist = math.sin((x * 0.9 + y * 0.6) / 2.2)
    g = 160 + 45 * twist + 20 * (n - 0.5)
    return (g, g * 0.85, g * 0.55)


def wood(ring_scale, dark):
    def paint(x, y, n):
        r = math.hypot(x - 20, (y - 80) * 0.35) * ring_scale + 4 * n
        band = (math.sin(r) + 1) / 2
        return (190 - dark - 60 * band, 130 - dark - 45 * band, 70 - dark * 0.5 - 30 * band)
    return paint


TEXTURES = [
    ("キャンバス.BMP", canvas),
    ("コルク１.BMP", cork(180)),
    ("コルク２.BMP", cork(150)),
    ("コンクリート壁.BMP", concrete),
    ("メタル.BMP", metal),
    ("岩肌.BMP", rock),
    ("織物.BMP", woven),
    ("大理石１.BMP", marble((0, 0, 0))),
    ("大理石２.BMP", marble((-10, 5, -25))),
    ("麻縄.BMP", hemp),
    ("木目１.BMP", wood(0.9, 0)),
    ("木目２.BMP", wood(1.4, 35)),
]


def bmp(paint, seed):
    grid = smooth(noise(seed))
    row_bytes = SIZE * 3  # 192, already a multiple of 4
    pixels = bytearray()
    for y in range(SIZE - 1, -1, -1):  # bottom-up rows
        for x in range(SIZE):
            r, g, b = paint(x, y, grid[y][x])
            pixels += bytes((clamp(b), clamp(g), clamp(r)))
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, row_bytes * SIZE, 2835, 2835, 0, 0)
    return header + info + bytes(pixels)


def main():
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    for seed, (name, paint) in enumerate(TEXTURES):
        (folder / name).write_bytes(bmp(paint, seed))


if __name__ == "__main__":
    main()
