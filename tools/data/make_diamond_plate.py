#!/usr/bin/env python3
"""Writes data/common/images/diamond-plate.jpg: a metal tread plate, 512 by 512, RGB, tileable in
both directions (the floor and walls repeat it).

Raised lozenges on an 8 by 8 grid, turned +45 and -45 degrees in a checkerboard as on real
tread plate, give a height field; it is lit from the upper left with a diffuse and a sharp
specular term over a brushed, slightly blotchy steel grey. Every pattern repeats with the tile,
so the edges meet. Encoded by ffmpeg (Debian's ffmpeg). Run from the repository root; the
output is committed, so a checkout never needs to run this.
"""
import math
import random

from jpeg_file import write_jpeg

SIZE = 512
CELLS = 8
OUT = "data/common/images/diamond-plate.jpg"


def lozenge_height(x, y):
    """Height (0 to 1) of the tread pattern at pixel (x, y)."""
    cell = SIZE / CELLS
    i, j = int(x // cell), int(y // cell)
    # Local coordinates from the cell centre, in cell units, turned along the lozenge.
    lx, ly = (x - (i + 0.5) * cell) / cell, (y - (j + 0.5) * cell) / cell
    turn = math.pi / 4 if (i + j) % 2 == 0 else -math.pi / 4
    along = lx * math.cos(turn) + ly * math.sin(turn)
    across = -lx * math.sin(turn) + ly * math.cos(turn)
    # Pointed ends: the width shrinks linearly towards the tips.
    d = (abs(along) / 0.44) ** 1.3 + (across / 0.12) ** 2
    if d >= 1:
        return 0.0
    t = min(1.0, (1 - d) / 0.45)  # a bevelled rim, then a flat top
    return t * t * (3 - 2 * t)


def wrapped_noise(rng, cells_x, cells_y):
    """Smooth value noise on a lattice that wraps with the tile."""
    lattice = [[rng.random() for _ in range(cells_x)] for _ in range(cells_y)]

    def at(x, y):
        fx, fy = x * cells_x / SIZE, y * cells_y / SIZE
        x0, y0 = int(fx), int(fy)
        tx, ty = fx - x0, fy - y0
        tx, ty = tx * tx * (3 - 2 * tx), ty * ty * (3 - 2 * ty)
        a = lattice[y0 % cells_y][x0 % cells_x]
        b = lattice[y0 % cells_y][(x0 + 1) % cells_x]
        c = lattice[(y0 + 1) % cells_y][x0 % cells_x]
        d = lattice[(y0 + 1) % cells_y][(x0 + 1) % cells_x]
        return (a * (1 - tx) + b * tx) * (1 - ty) + (c * (1 - tx) + d * tx) * ty

    return at


def main():
    rng = random.Random(4242)
    blotches = wrapped_noise(rng, 6, 6)
    brushed = wrapped_noise(rng, 256, 4)  # changes quickly across x, slowly down y: streaks
    height = [[lozenge_height(x + 0.5, y + 0.5) for x in range(SIZE)] for y in range(SIZE)]
    light = (-0.45, -0.55, 0.70)
    norm = math.sqrt(sum(c * c for c in light))
    light = tuple(c / norm for c in light)
    half = (light[0], light[1], light[2] + 1)
    norm = math.sqrt(sum(c * c for c in half))
    half = tuple(c / norm for c in half)
    relief = 6.0  # height units per pixel slope: how strongly the lozenges stand out
    pixels = bytearray()
    for y in range(SIZE):
        for x in range(SIZE):
            dx = height[y][(x + 1) % SIZE] - height[y][(x - 1) % SIZE]
            dy = height[(y + 1) % SIZE][x] - height[(y - 1) % SIZE][x]
            nx, ny, nz = -dx * relief, -dy * relief, 1.0
            length = math.sqrt(nx * nx + ny * ny + nz * nz)
            nx, ny, nz = nx / length, ny / length, nz / length
            diffuse = max(0.0, nx * light[0] + ny * light[1] + nz * light[2])
            specular = max(0.0, nx * half[0] + ny * half[1] + nz * half[2]) ** 60
            # Brushed streaks run along y; the tops of the lozenges are worn brighter.
            steel = 0.42 + 0.10 * brushed(x, y) + 0.08 * (blotches(x, y) - 0.5) + 0.06 * height[y][x]
            shade = steel * (0.35 + 0.75 * diffuse) + 0.55 * specular
            r, g, b = shade * 0.97, shade * 1.0, shade * 1.04
            pixels += bytes(max(0, min(255, int(v * 255 + 0.5))) for v in (r, g, b))
    write_jpeg(OUT, SIZE, SIZE, pixels)
    print(f"{OUT}: {SIZE}x{SIZE}")


if __name__ == "__main__":
    main()
