#!/usr/bin/env python3
"""Writes data/common/images/asciichart.png: the 256 characters of code page 437 in a 16 by 16
grid (row by row from the top left, character 0 first), white glyphs whose alpha is their
coverage, 8-bit RGBA, 16-pixel cells.

The glyphs are rendered with FreeType from DejaVu Sans Mono (Debian's fonts-dejavu-core; its
licence is data/common/fonts/LICENSE.dejavu) by the small helper glyph_sheet.cpp, which this
script compiles. Needs g++ and libfreetype-dev. Run from the repository root; the output is
committed, so a checkout never needs to run this.
"""
import os
import struct
import subprocess
import tempfile
import zlib

FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"
OUT = "data/common/images/asciichart.png"
CELL = 16

# The pictures code page 437 shows for its control characters; 0 stays empty.
LOW = [0x0000, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022, 0x25D8, 0x25CB, 0x25D9, 0x2642,
       0x2640, 0x266A, 0x266B, 0x263C, 0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,
       0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC]


def code_points():
    codes = LOW + list(range(0x20, 0x7F)) + [0x2302]
    codes += [ord(c) for c in bytes(range(0x80, 0x100)).decode("cp437")]
    assert len(codes) == 256
    return codes


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    with tempfile.TemporaryDirectory() as work:
        helper = os.path.join(work, "glyph_sheet")
        flags = subprocess.check_output(["pkg-config", "--cflags", "--libs", "freetype2"], text=True).split()
        subprocess.check_call(["g++", "-O2", os.path.join(here, "glyph_sheet.cpp"), "-o", helper] + flags)
        pgm = subprocess.run([helper, FONT, str(CELL), "16"], check=True, capture_output=True,
                             input="\n".join(str(c) for c in code_points()).encode()).stdout
    header, pixels = pgm.split(b"\n", 3)[:3], pgm.split(b"\n", 3)[3]
    width, height = (int(v) for v in header[1].split())
    rows = b"".join(b"\x00" + b"".join(b"\xff\xff\xff" + bytes([pixels[y * width + x]]) for x in range(width))
                    for y in range(height))
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")
    with open(OUT, "wb") as f:
        f.write(png)
    print(f"{OUT}: {width}x{height}")


if __name__ == "__main__":
    main()
