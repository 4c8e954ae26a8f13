#!/usr/bin/env python3
"""Writes the PNG test images: every colour type and depth the decoder handles, plain and
Adam7-interlaced, with every scanline filter, tRNS keys and palette alpha, and stored, fixed
and dynamic deflate blocks. Run in this folder; the outputs are committed."""
import struct
import zlib

W, H = 13, 11  # odd sizes exercise partial Adam7 passes and partial bytes

def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

def pixel(color, depth, x, y):
    top = (1 << depth) - 1
    v = lambda k: ((x * 37 + y * 91 + k * 53) * 2654435761 >> 7) % (top + 1)
    n = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[color]
    if color == 3:
        return [v(0) % (16 if depth == 4 else 40)]
    return [v(k) for k in range(n)]

def pack_row(samples, depth):
    if depth == 8:
        return bytes(samples)
    if depth == 16:
        return b"".join(struct.pack(">H", s) for s in samples)
    out, acc, bits = bytearray(), 0, 0
    for s in samples:
        acc = (acc << depth) | s
        bits += depth
        if bits == 8:
            out.append(acc)
            acc, bits = 0, 0
    if bits:
        out.append(acc << (8 - bits))
    return bytes(out)

def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else b if pb <= pc else c

def filtered(rows, bpp):
    out, prev = bytearray(), bytes(len(rows[0])) if rows else b""
    for i, row in enumerate(rows):
        f = i % 5
        res = bytearray()
        for j, byte in enumerate(row):
            a = row[j - bpp] if j >= bpp else 0
            b = prev[j]
            c = prev[j - bpp] if j >= bpp else 0
            pred = [0, a, b, (a + b) // 2, paeth(a, b, c)][f]
            res.append((byte - pred) & 0xFF)
        out += bytes([f]) + res
        prev = row
    return bytes(out)

def image_rows(color, depth, xs, ys):
    return [pack_row([s for x in xs for s in pixel(color, depth, x, y)], depth) for y in ys]

def write(name, color, depth, interlace=False, trns=None, level=9):
    n = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[color]
    bpp = max(1, n * depth // 8)
    if interlace:
        raw = b""
        for sx, sy, dx, dy in [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]:
            xs, ys = list(range(sx, W, dx)), list(range(sy, H, dy))
            if xs and ys:
                raw += filtered(image_rows(color, depth, xs, ys), bpp)
    else:
        raw = filtered(image_rows(color, depth, range(W), range(H)), bpp)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, depth, color, 0, 0, 1 if interlace else 0))
    if color == 3:
        entries = 16 if depth == 4 else 40
        png += chunk(b"PLTE", bytes((i * 57 + k * 91) % 256 for i in range(entries) for k in range(3)))
    if trns is not None:
        png += chunk(b"tRNS", trns)
    png += chunk(b"gAMA", struct.pack(">I", 45455)) + chunk(b"tEXt", b"Comment\0test")
    data = zlib.compress(raw, level)
    png += chunk(b"IDAT", data[: len(data) // 2]) + chunk(b"IDAT", data[len(data) // 2:]) + chunk(b"IEND", b"")
    open(name, "wb").write(png)

for interlace in (False, True):
    tag = "i" if interlace else "n"
    write(f"gray8_{tag}.png", 0, 8, interlace)
    write(f"rgb8_{tag}.png", 2, 8, interlace)
    write(f"rgb16_{tag}.png", 2, 16, interlace)
    write(f"pal8_{tag}.png", 3, 8, interlace, trns=bytes(range(0, 250, 25)))
    write(f"graya8_{tag}.png", 4, 8, interlace)
    write(f"rgba8_{tag}.png", 6, 8, interlace, level=0 if interlace else 1)
write("gray1_n.png", 0, 1)
write("pal4_n.png", 3, 4)
key = pixel(2, 8, 3, 4)
write("rgb8_trns.png", 2, 8, trns=b"".join(struct.pack(">H", k) for k in key))
write("gray8_trns.png", 0, 8, trns=struct.pack(">H", pixel(0, 8, 5, 5)[0]))
