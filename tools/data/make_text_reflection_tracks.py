#!/usr/bin/env python3
"""Writes the first sketch of the tracks of the text billboards and the reflection cubes:
data/sync_tracker/_<name>.track for every value they register, with `zorvane-tool track make`.

Run once from the repository root with the tool built (build/zorvane-tool); from then on the
track files are the source, edited live in the sync editor, and this script must not be run
over them again (it refuses to overwrite existing files unless given --force). The show as it
plays is choreograph.py's edit of these files.

Rows: 8 per beat, 32 per bar. Where the show selects the scenes (make_director_tracks.py): text
billboards in bars 0-8 (the title, under the fade-in) and bars 88-96 (the credits, then the
greetings under the fade-out); reflection cubes in bars 32-40 and at the climax, bars 72-80.
"""
from make_director_tracks import BAR, HOLD, LINEAR, SMOOTH, write_tracks

TRACKS = {
    # Text billboards. txScene: 0 title, 1 credits, 2 greetings. txProgress: 0 behind the view,
    # 1 settled, 2 flown out. Each group flies in over a bar and a half, rests, and flies out
    # before the next one comes; the greetings stay until the show has faded to black.
    "txScene": [(0, 0, HOLD), (88 * BAR, 1, HOLD), (92 * BAR, 2, HOLD)],
    "txProgress": [
        (0, 0, SMOOTH), (3 * BAR, 1, HOLD), (6 * BAR, 1, SMOOTH), (8 * BAR - 1, 2, HOLD),
        (88 * BAR, 0, SMOOTH), (89 * BAR + 16, 1, HOLD), (91 * BAR, 1, SMOOTH), (92 * BAR - 1, 2, HOLD),
        (92 * BAR, 0, SMOOTH), (93 * BAR + 16, 1, HOLD), (95 * BAR, 1, SMOOTH), (96 * BAR, 2, HOLD),
    ],
    # Reflection cubes. The camera swings about the room's vertical on every two-bar phrase and
    # rolls against it; at the climax it turns a whole round while the view narrows, and the
    # sphere swells on the downbeat of the drop.
    "rcRotY": [
        (32 * BAR, 0, SMOOTH), (34 * BAR, 30, SMOOTH), (36 * BAR, -15, SMOOTH), (38 * BAR, 45, SMOOTH),
        (40 * BAR, 20, HOLD),
        (72 * BAR, 20, LINEAR), (80 * BAR, 380, HOLD),
    ],
    "rcRotZ": [
        (32 * BAR, 0, SMOOTH), (34 * BAR, -12, SMOOTH), (36 * BAR, 12, SMOOTH), (38 * BAR, -8, SMOOTH),
        (40 * BAR, 0, HOLD),
        (72 * BAR, 0, SMOOTH), (74 * BAR, 25, SMOOTH), (76 * BAR, -25, SMOOTH), (78 * BAR, 25, SMOOTH),
        (80 * BAR, 0, HOLD),
    ],
    "rcFOV": [(32 * BAR, 60, SMOOTH), (36 * BAR, 45, HOLD), (72 * BAR, 70, SMOOTH), (80 * BAR, 40, HOLD)],
    "rcSphereSize": [
        (32 * BAR, 0, SMOOTH), (33 * BAR, 1, HOLD),
        (72 * BAR, 1.4, SMOOTH), (73 * BAR, 1, HOLD), (76 * BAR, 1.4, SMOOTH), (77 * BAR, 1, HOLD),
    ],
}


def main():
    write_tracks(TRACKS)


if __name__ == "__main__":
    main()
