#!/usr/bin/env python3
"""Writes data/effects/firesl/flames.jpg: the spark texture of the fire effect, 256 by 256,
RGB, tileable in both directions (it is sampled with repeat while it scrolls).

Periodic value noise in three octaves gives soft flame tongues; a sprinkling of small bright
specks gives the sparks. Red carries the sparks and flames, green a softer, larger pattern
(used for smoke puffs), blue small drops. Encoded by ffmpeg (Debian's ffmpeg). Run from the
repository root; the output is committed, so a checkout never needs to run this.
"""
import math
import random

from jpeg_file import write_jpeg

SIZE = 256
OUT = "data/effects/firesl/flames.jpg"


def periodic_noise(rng, cells):
    """Value noise on a cells x cells lattice that wraps around, sampled at SIZE x SIZE."""
    lattice = [[rng.random() for _ in range(cells)] for _ in range(cells)]

    def smooth(t):
        return t * t * (3 - 2 * t)

    out = []
    for y in range(SIZE):
        fy = y * cells / SIZE
        y0, ty = int(fy), smooth(fy - int(fy))
        row = []
        for x in range(SIZE):
            fx = x * cells / SIZE
            x0, tx = int(fx), smooth(fx - int(fx))
            a = lattice[y0 % cells][x0 % cells]
            b = lattice[y0 % cells][(x0 + 1) % cells]
            c = lattice[(y0 + 1) % cells][x0 % cells]
            d = lattice[(y0 + 1) % cells][(x0 + 1) % cells]
            row.append((a * (1 - tx) + b * tx) * (1 - ty) + (c * (1 - tx) + d * tx) * ty)
        out.append(row)
    return out


def octaves(rng, sizes, weights):
    layers = [periodic_noise(rng, s) for s in sizes]
    total = sum(weights)
    return [[sum(w * layer[y][x] for layer, w in zip(layers, weights)) / total for x in range(SIZE)]
            for y in range(SIZE)]


def main():
    rng = random.Random(1337)
    flames = octaves(rng, [4, 8, 16], [0.5, 0.3, 0.2])
    puffs = octaves(rng, [2, 4, 8], [0.6, 0.3, 0.1])
    drops = octaves(rng, [16, 32], [0.6, 0.4])
    sparks = [[0.0] * SIZE for _ in range(SIZE)]
    for _ in range(220):
        cx, cy, r = rng.randrange(SIZE), rng.randrange(SIZE), rng.uniform(1.0, 2.5)
        for dy in range(-4, 5):
            for dx in range(-4, 5):
                v = math.exp(-(dx * dx + dy * dy) / (r * r))
                y, x = (cy + dy) % SIZE, (cx + dx) % SIZE
                sparks[y][x] = max(sparks[y][x], v)
    pixels = bytearray()
    for y in range(SIZE):
        for x in range(SIZE):
            red = min(1.0, max(0.0, (flames[y][x] - 0.35) * 1.8) + sparks[y][x])
            green = min(1.0, max(0.0, (puffs[y][x] - 0.3) * 1.6))
            blue = min(1.0, max(0.0, (drops[y][x] - 0.45) * 2.2))
            pixels += bytes(int(v * 255 + 0.5) for v in (red, green, blue))
    write_jpeg(OUT, SIZE, SIZE, pixels)
    print(f"{OUT}: {SIZE}x{SIZE}")


if __name__ == "__main__":
    main()
