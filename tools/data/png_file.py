"""Writes an 8-bit picture drawn by one of the data scripts as a PNG file (one IDAT chunk,
no filtering, maximum compression), so the output is the same on every machine."""
import struct
import zlib


def _chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, width, height, channels, rows):
    """rows: one bytes object per row, top row first, width * channels bytes each;
    channels 3 (RGB) or 4 (RGBA)."""
    colour_type = {3: 2, 4: 6}[channels]
    raw = b"".join(b"\0" + bytes(row) for row in rows)
    png = b"\x89PNG\r\n\x1a\n"
    png += _chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0))
    png += _chunk(b"IDAT", zlib.compress(raw, 9))
    png += _chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)
