#!/usr/bin/env python3
"""Writes data/common/images/noise.png: 64 x 64 random unit vectors, each stored as
(x, y, z) * 0.5 + 0.5 in red, green and blue (8-bit RGB), alpha-free.

The occlusion pass tiles it over the screen and reflects its sample kernel about the vector of
each pixel, which trades the banding of a fixed kernel for fine noise. The vectors are uniform
on the sphere (normalised Gaussian triples) from a fixed seed, so the file is reproducible.
Run from the repository root; the output is committed.
"""
import math
import random

from png_file import write_png

SIZE = 64
SEED = 20120309
OUT = "data/common/images/noise.png"


def unit_vectors(rng, count):
    vectors = []
    while len(vectors) < count:
        x, y, z = rng.gauss(0, 1), rng.gauss(0, 1), rng.gauss(0, 1)
        length = math.sqrt(x * x + y * y + z * z)
        if length > 1e-6:
            vectors.append((x / length, y / length, z / length))
    return vectors


def encode(component):
    return max(0, min(255, int(round((component * 0.5 + 0.5) * 255))))


def main():
    vectors = unit_vectors(random.Random(SEED), SIZE * SIZE)
    rows = [bytes(encode(c) for v in vectors[y * SIZE:(y + 1) * SIZE] for c in v) for y in range(SIZE)]
    write_png(OUT, SIZE, SIZE, 3, rows)
    print(f"{OUT}: {SIZE}x{SIZE}")


if __name__ == "__main__":
    main()
