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
import struct
import zlib

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


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def main():
    vectors = unit_vectors(random.Random(SEED), SIZE * SIZE)
    rows = b"".join(
        b"\0" + bytes(encode(c) for v in vectors[y * SIZE:(y + 1) * SIZE] for c in v) for y in range(SIZE))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 2, 0, 0, 0))  # 8-bit RGB
    png += chunk(b"IDAT", zlib.compress(rows, 9))
    png += chunk(b"IEND", b"")
    with open(OUT, "wb") as f:
        f.write(png)
    print(f"{OUT}: {SIZE}x{SIZE}")


if __name__ == "__main__":
    main()
