#!/usr/bin/env python3
"""Writes the first sketch of the show: the track files of every value the director registers
(data/sync_tracker/_<name>.track), with `zorvane-tool track make`.

Run once from the repository root with the tool built (build/zorvane-tool); from then on the
track files are the source, edited live in the sync editor, and this script must not be run
over them again (it refuses to overwrite existing files unless given --force). The show as it
plays is choreograph.py's edit of these files.

Rows: 8 per beat, 32 per bar; scenes change on 8-bar phrases of the soundtrack (256 rows).
"""
import os
import subprocess
import sys

TOOL = "build/zorvane-tool"
BASE = "data/sync_tracker"
HOLD, LINEAR, SMOOTH = 0, 1, 2
BAR = 32

# Scene table: 0 Ssaotest, 1 IceCubes, 2 AttractorFun, 3 RadialFun, 4 TextBillboards,
# 5 StageLights, 6 Ribbons, 7 ReflectionCubes, 8 Modulators.
FIRST = [(0, 4), (8, 0), (16, 5), (24, 1), (32, 7), (40, 3), (48, 6), (56, 1), (64, 2), (72, 7), (80, 8), (88, 4)]
SECOND = [(0, -1), (64, 3), (72, -1)]  # the attractor over the radial shapes at the climax
THIRD = [(0, -1)]

TRACKS = {
    "ActiveScene1st": [(bar * BAR, scene, HOLD) for bar, scene in FIRST],
    "ActiveScene2nd": [(bar * BAR, scene, HOLD) for bar, scene in SECOND],
    "ActiveScene3rd": [(bar * BAR, scene, HOLD) for bar, scene in THIRD],
    # Effects are on while their value is 0 or more; the smallest value runs first.
    "ppDither": [(0, -1, HOLD), (30 * BAR, 0.1, HOLD), (32 * BAR, -1, HOLD), (62 * BAR, 0.1, HOLD), (64 * BAR, -1, HOLD)],
    "ppDitherFactor": [(30 * BAR, 0, LINEAR), (32 * BAR - 1, 0.8, HOLD), (62 * BAR, 0, LINEAR), (64 * BAR - 1, 0.8, HOLD)],
    "ppRadblur": [(0, -1, HOLD), (64 * BAR, 0.2, HOLD), (80 * BAR, -1, HOLD)],
    "ppRadblurCntrX": [(0, 0.5, HOLD)],
    "ppRadblurCntrY": [(0, 0.5, HOLD)],
    "ppRadblurStep": [(0, 0.9, HOLD)],
    "ppRadblurStrength": [(64 * BAR, 0.2, SMOOTH), (72 * BAR, 1.0, SMOOTH), (80 * BAR, 0.0, HOLD)],
    "ppHsl": [(0, -1, HOLD), (48 * BAR, 0.5, HOLD), (64 * BAR, -1, HOLD)],
    "ppHslSaturate": [(48 * BAR, 0, SMOOTH), (52 * BAR, -0.7, SMOOTH), (60 * BAR, -0.7, SMOOTH), (64 * BAR, 0, HOLD)],
    "ppFilm": [(0, 1, HOLD)],
    "ppFilmColor": [(0, 1, HOLD)],
    "ppFilmMonochrome": [(0, 0, HOLD)],
    "ppFilmBrownSepia": [(0, 0.15, SMOOTH), (16 * BAR, 0, HOLD), (80 * BAR, 0, SMOOTH), (96 * BAR, 0.25, HOLD)],
    "ppFilmGreenSepia": [(0, 0, HOLD)],
    "ppFilmBlueSepia": [(48 * BAR, 0, SMOOTH), (52 * BAR, 0.3, SMOOTH), (64 * BAR, 0, HOLD)],
    "ppFilmContrast": [(0, 0.1, HOLD), (64 * BAR, 0.2, HOLD), (80 * BAR, 0.1, HOLD)],
    "ppFilmBrightness": [(0, 0, HOLD)],
    "ppFilmFilmgrainAmount": [(0, 0.06, HOLD)],
    "ppFilmScanlineAmount": [(0, 0.12, HOLD)],
    # Fade in from black over the first two bars, out to black over the last four.
    "ppFade": [(0, 2, HOLD)],
    "ppFadeValue": [(0, -1, LINEAR), (2 * BAR, 0, HOLD), (92 * BAR, 0, LINEAR), (96 * BAR, -1, HOLD)],
}


def write_tracks(tracks):
    """Makes data/sync_tracker/_<name>.track for each name, keeping existing files unless --force."""
    force = "--force" in sys.argv[1:]
    os.makedirs(BASE, exist_ok=True)
    for name, keys in tracks.items():
        path = f"{BASE}/_{name}.track"
        if os.path.exists(path) and not force:
            print(f"{path}: exists, kept")
            continue
        lines = "".join(f"{row} {value} {interp}\n" for row, value, interp in keys)
        subprocess.run([TOOL, "track", "make", path], input=lines.encode(), check=True)
        print(f"{path}: {len(keys)} keys")


def main():
    write_tracks(TRACKS)


if __name__ == "__main__":
    main()
