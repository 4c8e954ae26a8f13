#!/usr/bin/env python3
"""Writes the loading-screen logo, data/common/images/trelvane_logo_16_9.png (8-bit RGBA).

A 16:9 picture drawn from code (no fonts, no third-party art): a dark field with a soft
horizontal glow and a row of stylised bars. Run from the repository root; the output is
committed, so a checkout never needs to run this.
"""
import math

from png_file import write_png

WIDTH, HEIGHT = 512, 288
OUT = "data/common/images/trelvane_logo_16_9.png"


def pixel(x, y):
    u = (x + 0.5) / WIDTH
    v = (y + 0.5) / HEIGHT
    glow = math.exp(-((v - 0.45) ** 2) / 0.02) * (0.6 + 0.4 * math.sin(u * math.pi))
    r, g, b = 0.05 + 0.25 * glow, 0.06 + 0.35 * glow, 0.10 + 0.55 * glow
    # Six bars whose heights follow a slow sine, centred on the glow.
    bar = int(u * 13)
    if bar % 2 == 1 and 1 <= bar <= 11:
        height = 0.10 + 0.08 * math.sin(bar * 0.9)
        if abs(v - 0.45) < height:
            r, g, b = 0.85, 0.92, 1.0
    return tuple(max(0, min(255, int(c * 255))) for c in (r, g, b)) + (255,)


def main():
    rows = [bytes(c for x in range(WIDTH) for c in pixel(x, y)) for y in range(HEIGHT)]
    write_png(OUT, WIDTH, HEIGHT, 4, rows)

if __name__ == "__main__":
    main()
