#!/usr/bin/env python3
"""Writes score.mid, the small test score: a conductor track at 145 BPM, then "bass" (C3 on
every beat, controller 1 rising) and "lead" (a three-note chord held over beats 2 to 6)."""
import struct

def vlq(v):
    out = [v & 0x7F]
    v >>= 7
    while v:
        out.insert(0, (v & 0x7F) | 0x80)
        v >>= 7
    return bytes(out)

def track(events):
    data = b"".join(vlq(delta) + body for delta, body in events) + b"\x00\xFF\x2F\x00"
    return b"MTrk" + struct.pack(">I", len(data)) + data

Q = 96
conductor = [(0, b"\xFF\x51\x03" + (413793).to_bytes(3, "big")), (0, b"\xFF\x58\x04\x04\x02\x18\x08")]
bass = [(0, b"\xFF\x03\x04bass")]
for beat in range(8):
    bass += [(0 if beat == 0 else Q // 2, bytes([0xB0, 1, 16 * beat + 1])), (0, bytes([0x90, 48, 100])), (Q // 2, bytes([0x80, 48, 0]))]
lead = [(0, b"\xFF\x03\x04lead"), (2 * Q, bytes([0x90, 60, 90])), (0, bytes([0x90, 64, 90])), (0, bytes([0x90, 67, 90])),
        (4 * Q, bytes([0x80, 60, 0])), (0, bytes([0x80, 64, 0])), (0, bytes([0x80, 67, 0]))]
header = b"MThd" + struct.pack(">IHHH", 6, 1, 3, Q)
with open("score.mid", "wb") as f:
    f.write(header + track(conductor) + track(bass) + track(lead))
