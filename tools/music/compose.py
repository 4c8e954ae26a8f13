#!/usr/bin/env python3
"""Writes the score of the soundtrack, "Quillory": 96 bars at 145 BPM in 4/4, A minor.

Two Standard MIDI Files come out of the same notes:
  data/common/music/quillory.mid   the score the engine reads: note on/off, the controllers that
                                   drive LFO rates, and only the meta events its reader knows
  <build>/quillory_render.mid      for rendering only: channels, programs, mix controllers

and tools/music/TRACKS.md, the table of stored tracks that the scenes address by index.

Form (bars, 8- and 16-bar phrases so scenes can cut on phrase boundaries):
  0-15 intro (title)   16-31 build-up   32-47 main   48-63 breakdown   64-79 climax   80-95 outro
"""
import os
import struct
import sys

TPQ = 480                      # ticks per quarter note
BAR = 4 * TPQ
SIXTEENTH = TPQ // 4
MICROSECONDS_PER_QUARTER = 413793   # 145.00 BPM
BARS = 96

INTRO, BUILD, MAIN, BREAK, CLIMAX, OUTRO = 0, 16, 32, 48, 64, 80

# ---- harmony ---------------------------------------------------------------------------

CHORDS = {
    "Am": (9, (0, 3, 7)), "F": (5, (0, 4, 7)), "C": (0, (0, 4, 7)), "G": (7, (0, 4, 7)),
    "Em": (4, (0, 3, 7)), "Dm": (2, (0, 3, 7)), "E": (4, (0, 4, 7)),
}
VERSE = ["Am", "F", "C", "G"]
TURN = ["F", "G", "Em", "Am"]
DARK = ["Dm", "Am", "F", "E"]
LIFT = ["F", "G", "E", "Am"]

PROGRESSION = (
    VERSE * 4 +                      # intro
    VERSE * 4 +                      # build-up
    VERSE * 2 + TURN * 2 +           # main
    DARK * 4 +                       # breakdown
    VERSE * 2 + LIFT * 2 +           # climax
    VERSE * 3 + ["Am"] * 4           # outro, ending on a held A minor
)
assert len(PROGRESSION) == BARS


def chord_tones(name, low, high):
    """Every tone of the chord between low (inclusive) and high (exclusive), ascending."""
    root, intervals = CHORDS[name]
    pcs = {(root + i) % 12 for i in intervals}
    return [n for n in range(low, high) if n % 12 in pcs]


def root_in(name, low):
    root = CHORDS[name][0]
    n = low
    while n % 12 != root:
        n += 1
    return n


NOTE_NAMES = {"C": 0, "C#": 1, "D": 2, "D#": 3, "E": 4, "F": 5, "F#": 6, "G": 7, "G#": 8, "A": 9, "A#": 10, "B": 11}


def pitch(name):
    """Scientific pitch: C4 = 60."""
    return 12 * (int(name[-1]) + 1) + NOTE_NAMES[name[:-1]]


# ---- tracks ------------------------------------------------------------------------------

class Track:
    def __init__(self, name, role, program, channel, volume, pan, reverb):
        self.name, self.role = name, role
        self.program, self.channel = program, channel
        self.volume, self.pan, self.reverb = volume, pan, reverb
        self.notes = []          # (start tick, length ticks, pitch, velocity)
        self.lfo_cc = []         # (tick, controller, value): in the score and the render
        self.mix_cc = []         # (tick, controller, value): render only

    def note(self, start, length, p, velocity):
        assert length > 0 and 0 <= p < 128 and 0 < velocity < 128
        self.notes.append((start, length, p, velocity))


def melody(track, start, text, octave_shift=0, velocity=100, accent=12):
    """Places a phrase written as "pitch:sixteenths" tokens ("r" rests) from `start`."""
    t = start
    for token in text.split():
        name, length = token.split(":")
        ticks = int(length) * SIXTEENTH
        if name != "r":
            v = velocity + (accent if (t - start) % BAR == 0 else 0)
            track.note(t, ticks, pitch(name) + 12 * octave_shift, min(127, v))
        t += ticks
    return t


def bars(first, last):
    return range(first, last)


def compose():
    drums = Track("Drums", "kick, snare, clap, hats, crash", 0, 9, 110, 64, 20)
    bass = Track("Bass", "offbeat and rolling bass", 38, 0, 100, 64, 10)
    pad = Track("Pad", "sustained chords, one per bar", 89, 1, 78, 64, 70)
    arp = Track("Arp", "sixteenth arpeggios over the chords", 81, 2, 58, 40, 50)
    lead = Track("TechLead", "lead melody of the main part and the climax", 80, 3, 82, 70, 45)
    pluck = Track("Pluck", "offbeat chord plucks, counter rhythm", 45, 4, 80, 90, 40)
    strings = Track("Strings", "long string lines, swells into sections", 48, 5, 74, 50, 80)
    bells = Track("Bells", "celesta figures of the intro, breakdown and outro", 8, 6, 86, 78, 90)
    tracks = [drums, bass, pad, arp, lead, pluck, strings, bells]

    KICK, SNARE, CLAP, HAT, OPEN_HAT, CRASH = 36, 38, 39, 42, 46, 49

    # Drums.
    def four_on_the_floor(bar, velocity=112):
        for beat in range(4):
            drums.note(bar * BAR + beat * TPQ, SIXTEENTH, KICK, velocity)

    def hats(bar, open_hats=False, ghosts=True):
        for eighth in range(8):
            t = bar * BAR + eighth * 2 * SIXTEENTH
            if eighth % 2 == 1:
                drums.note(t, SIXTEENTH, OPEN_HAT if open_hats else HAT, 78)
            elif ghosts and eighth % 4 == 2:
                drums.note(t + SIXTEENTH, SIXTEENTH, HAT, 46)

    def backbeat(bar, snare_too=False):
        for beat in (1, 3):
            drums.note(bar * BAR + beat * TPQ, SIXTEENTH, CLAP, 100)
            if snare_too:
                drums.note(bar * BAR + beat * TPQ, SIXTEENTH, SNARE, 92)

    def snare_roll(first_bar):
        # Two bars: eighths, then sixteenths, rising.
        steps = [(i * 2 * SIXTEENTH) for i in range(8)] + [BAR + i * SIXTEENTH for i in range(16)]
        for i, t in enumerate(steps):
            drums.note(first_bar * BAR + t, SIXTEENTH // 2, SNARE, 40 + (84 * i) // (len(steps) - 1))

    for bar in bars(BUILD, BUILD + 14):
        four_on_the_floor(bar, 96 + (bar - BUILD))
        if bar >= BUILD + 4:
            hats(bar, ghosts=bar >= BUILD + 8)
    snare_roll(BUILD + 14)
    for bar in (BUILD + 14, BUILD + 15):
        four_on_the_floor(bar, 112)
    for bar in bars(MAIN, BREAK):
        four_on_the_floor(bar)
        hats(bar)
        backbeat(bar)
    for bar in bars(BREAK + 8, BREAK + 12):
        hats(bar, ghosts=False)
    for bar in bars(BREAK + 12, BREAK + 14):
        four_on_the_floor(bar, 100)
        hats(bar)
    snare_roll(BREAK + 14)
    for bar in bars(CLIMAX, OUTRO):
        four_on_the_floor(bar, 118)
        hats(bar, open_hats=True)
        backbeat(bar, snare_too=True)
    for bar in bars(OUTRO, OUTRO + 8):
        four_on_the_floor(bar, 104 - 2 * (bar - OUTRO))
        hats(bar, ghosts=False)
    for bar in (MAIN, MAIN + 8, CLIMAX, CLIMAX + 8, OUTRO, OUTRO + 8):
        drums.note(bar * BAR, 2 * TPQ, CRASH, 100)

    # Bass.
    for bar in bars(BUILD, BUILD + 4):
        bass.note(bar * BAR, BAR - SIXTEENTH, root_in(PROGRESSION[bar], 36), 84)
    for bar in bars(BUILD + 4, BREAK):
        root = root_in(PROGRESSION[bar], 36)
        for beat in range(4):
            bass.note(bar * BAR + beat * TPQ + 2 * SIXTEENTH, 2 * SIXTEENTH, root, 100)
        if bar >= MAIN and bar % 2 == 1:  # a pickup into the next bar
            bass.note(bar * BAR + 3 * TPQ + 3 * SIXTEENTH, SIXTEENTH, root + 12, 90)
    for bar in bars(BREAK + 8, BREAK + 16):
        bass.note(bar * BAR, BAR - SIXTEENTH, root_in(PROGRESSION[bar], 36), 76)
    for bar in bars(CLIMAX, OUTRO):
        root = root_in(PROGRESSION[bar], 36)
        for beat in range(4):
            for s in (1, 2, 3):
                p = root + 12 if (beat == 3 and s == 3) else root
                bass.note(bar * BAR + beat * TPQ + s * SIXTEENTH, SIXTEENTH, p, 104 if s == 2 else 88)
    for bar in bars(OUTRO, OUTRO + 8):
        root = root_in(PROGRESSION[bar], 36)
        for beat in range(4):
            bass.note(bar * BAR + beat * TPQ + 2 * SIXTEENTH, 2 * SIXTEENTH, root, 92)
    bass.note((OUTRO + 8) * BAR, 4 * BAR, root_in("Am", 36), 80)
    bass.note((OUTRO + 12) * BAR, 4 * BAR, root_in("Am", 36) - 12, 70)

    # Pad: one chord per bar, the final chord held for four bars.
    for bar in range(BARS - 4):
        loud = 60 if bar < BUILD else 72 if bar < BREAK else 84 if bar < CLIMAX else 70
        for p in chord_tones(PROGRESSION[bar], 55, 67):
            pad.note(bar * BAR, BAR, p, loud)
    for p in chord_tones("Am", 55, 67) + [pitch("A4")]:
        pad.note((BARS - 4) * BAR, 4 * BAR, p, 70)

    # Arp: sixteenths up and down two octaves of chord tones.
    def arpeggio(bar, velocity):
        tones = chord_tones(PROGRESSION[bar], 57, 81)
        cycle = tones + tones[-2:0:-1]
        for s in range(16):
            accent = 14 if s % 4 == 0 else 0
            arp.note(bar * BAR + s * SIXTEENTH, SIXTEENTH, cycle[s % len(cycle)], velocity + accent)
    for bar in list(bars(BUILD + 8, BREAK)) + list(bars(CLIMAX, OUTRO + 8)):
        arpeggio(bar, 70)
    for bar in bars(BREAK + 8, BREAK + 16):
        arpeggio(bar, 52)

    # TechLead: the theme in the main part, raised and embellished in the climax.
    A = "A4:4 C5:2 E5:2 D5:4 C5:2 B4:2  C5:6 A4:2 F4:4 A4:4  G4:2 C5:2 E5:4 G5:4 E5:2 D5:2  D5:8 B4:4 r:4"
    A2 = "A4:4 C5:2 E5:2 A5:4 G5:2 E5:2  F5:6 E5:2 C5:4 A4:4  G4:2 C5:2 E5:4 D5:4 C5:2 B4:2  B4:4 D5:4 G4:4 r:4"
    B = "A5:4 G5:2 F5:2 E5:4 C5:4  D5:4 B4:2 D5:2 G5:8  E5:4 G5:2 B5:2 A5:4 G5:4  A5:12 r:4"
    B2 = "A5:4 G5:2 F5:2 E5:4 C5:4  D5:4 B4:2 D5:2 G5:8  E5:4 G5:2 B5:2 A5:4 G5:4  A5:6 E5:2 A4:8"
    C_ = "A5:2 B5:2 C6:4 B5:2 A5:2 E5:4  F5:2 A5:2 C6:4 A5:4 F5:4  G5:2 C6:2 E6:4 D6:4 C6:2 B5:2  D6:8 B5:4 G5:4"
    LIFTED = "A5:4 G5:2 F5:2 E5:4 C5:4  D5:4 B4:2 D5:2 G5:8  G#5:4 B5:2 E6:2 D6:4 B5:4  C6:4 B5:2 G#5:2 A5:8"
    LIFTED2 = "A5:4 G5:2 F5:2 E5:4 C5:4  D5:4 B4:2 D5:2 G5:8  G#5:4 B5:2 E6:2 D6:4 B5:4  C6:4 B5:4 A5:8"
    t = MAIN * BAR
    for phrase in (A, A2, B, B2):
        t = melody(lead, t, phrase)
    t = CLIMAX * BAR
    for phrase in (C_, A2, LIFTED, LIFTED2):
        t = melody(lead, t, phrase, velocity=108)
    melody(lead, OUTRO * BAR, "A5:8 E5:4 C5:4  F5:8 C5:4 A4:4  G4:4 C5:4 E5:8  D5:16", velocity=84)

    # Pluck: offbeat eighths on chord tones, the second half of the main part and the climax.
    def plucks(bar, velocity):
        tones = chord_tones(PROGRESSION[bar], 67, 79)
        for i, s in enumerate((2, 6, 10, 14)):
            pluck.note(bar * BAR + s * SIXTEENTH, 2 * SIXTEENTH, tones[i % len(tones)], velocity)
    for bar in list(bars(MAIN + 8, BREAK)) + list(bars(CLIMAX, OUTRO)):
        plucks(bar, 86)
    for bar in bars(BREAK, BREAK + 8):
        plucks(bar, 64)

    # Strings: root and third (or fifth) held under each bar, where the music opens up.
    def string_bar(bar, velocity, length=BAR):
        name = PROGRESSION[bar]
        root = root_in(name, 48)
        third = chord_tones(name, root + 1, root + 12)[0]
        strings.note(bar * BAR, length, root, velocity)
        strings.note(bar * BAR, length, third + 12, velocity - 6)
    for bar in list(bars(INTRO + 8, INTRO + 16)) + list(bars(BUILD + 8, BUILD + 16)) + \
            list(bars(BREAK, CLIMAX)) + list(bars(CLIMAX + 8, OUTRO)) + list(bars(OUTRO, BARS - 4)):
        string_bar(bar, 80)
    string_bar(BARS - 4, 76, 4 * BAR)

    # Bells: a slow figure of the theme; the very first note of the song is a bell.
    figure = "A5:4 E5:4 C5:4 E5:4  F5:8 C5:8  E5:4 G5:4 C6:8  B5:8 G5:8"
    for start in (INTRO, INTRO + 4, INTRO + 8, INTRO + 12, BREAK + 4, BREAK + 8, OUTRO + 4, OUTRO + 8):
        melody(bells, start * BAR, figure, velocity=84)
    melody(bells, (BARS - 4) * BAR, "A5:8 E5:8 C5:8 A4:40", velocity=80)

    # Controllers that set LFO rates (the music description maps them through templates);
    # never 0, which no template range admits.
    for bar, value in ((INTRO, 20), (BUILD, 50), (MAIN, 90), (BREAK, 30), (CLIMAX, 120), (OUTRO, 40)):
        strings.lfo_cc.append((bar * BAR, 16, value))
    for bar, value in ((MAIN, 30), (MAIN + 16, 70), (CLIMAX, 100), (CLIMAX + 8, 120), (OUTRO, 30)):
        lead.lfo_cc.append((bar * BAR, 17, value))
    for bar, value in ((BUILD, 40), (MAIN, 75), (BREAK, 25), (CLIMAX, 110), (OUTRO, 55)):
        bass.lfo_cc.append((bar * BAR, 16, value))

    # Mix only: the strings swell into the main part and the climax.
    for first in (BUILD + 8, BREAK + 8):
        for i in range(32):
            strings.mix_cc.append((first * BAR + i * TPQ, 11, 60 + (67 * i) // 31))
        strings.mix_cc.append(((first + 8) * BAR, 11, 100))
    return tracks


# ---- Standard MIDI File writing ------------------------------------------------------------

def variable_length(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def meta(kind, data):
    assert len(data) < 128
    return bytes([0xFF, kind, len(data)]) + data


def chunk(events):
    """events: (tick, order, bytes); at one tick: meta 0, controllers 1, note-offs 2, note-ons 3."""
    body = b""
    now = 0
    for tick, _, data in sorted(events, key=lambda e: (e[0], e[1])):
        body += variable_length(tick - now) + data
        now = tick
    body += variable_length(0) + bytes([0xFF, 0x2F, 0x00])
    return b"MTrk" + struct.pack(">I", len(body)) + body


def check_notes(track):
    by_pitch = {}
    for start, length, p, _ in track.notes:
        by_pitch.setdefault(p, []).append((start, start + length))
    for p, spans in by_pitch.items():
        spans.sort()
        for (s0, e0), (s1, e1) in zip(spans, spans[1:]):
            assert e0 <= s1, f"{track.name}: overlapping notes of pitch {p} at tick {s1}"
    if track.name == "TechLead":
        assert all(start > 0 and length >= SIXTEENTH for start, length, _, _ in track.notes)


def track_events(track, render):
    events = [(0, 0, meta(0x03, track.name.encode()))]
    status = lambda kind: kind | (track.channel if render else 0)
    if render:
        events.append((0, 1, bytes([status(0xC0), track.program])))
        for cc, value in ((7, track.volume), (10, track.pan), (91, track.reverb), (93, 10)):
            events.append((0, 1, bytes([status(0xB0), cc, value])))
        for tick, cc, value in track.mix_cc:
            events.append((tick, 1, bytes([status(0xB0), cc, value])))
    for tick, cc, value in track.lfo_cc:
        assert 0 < value <= 127 and cc not in (7, 10)
        events.append((tick, 1, bytes([status(0xB0), cc, value])))
    for start, length, p, velocity in track.notes:
        events.append((start, 3, bytes([status(0x90), p, velocity])))
        events.append((start + length, 2, bytes([status(0x80), p, 0])))
    return events


def conductor():
    events = [
        (0, 0, meta(0x03, b"Quillory")),
        (0, 0, meta(0x01, b"Quillory - soundtrack of Zorvane")),
        (0, 0, meta(0x02, b"Zorvane developers, CC BY-SA 4.0")),
        (0, 0, meta(0x51, MICROSECONDS_PER_QUARTER.to_bytes(3, "big"))),
        (0, 0, meta(0x58, bytes([4, 2, 24, 8]))),
        (0, 0, meta(0x59, bytes([0, 1]))),  # A minor
    ]
    return events


def write_smf(path, tracks, render):
    data = b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks) + 1, TPQ)
    data += chunk(conductor())
    for track in tracks:
        data += chunk(track_events(track, render))
    with open(path, "wb") as f:
        f.write(data)


def write_table(path, tracks):
    lines = [
        "# The stored tracks of the score",
        "",
        "Made by `compose.py`; scenes address these tracks by index (stage lights pick them by number,",
        "the ribbons and the monitor give each a band, the radial scene one shape each). Keep the order.",
        "",
        "| index | name | role | distinct pitches |",
        "|---|---|---|---|",
    ]
    for i, t in enumerate(tracks):
        lines.append(f"| {i} | {t.name} | {t.role} | {len({n[2] for n in t.notes})} |")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build", "music")
    os.makedirs(build, exist_ok=True)
    tracks = compose()
    for t in tracks:
        check_notes(t)
    write_smf(os.path.join(root, "data/common/music/quillory.mid"), tracks, render=False)
    write_smf(os.path.join(build, "quillory_render.mid"), tracks, render=True)
    write_table(os.path.join(root, "tools/music/TRACKS.md"), tracks)
    last = max(s + l for t in tracks for s, l, _, _ in t.notes)
    print(f"score: {len(tracks)} tracks, last note-off at beat {last / TPQ:.2f}")


if __name__ == "__main__":
    main()
