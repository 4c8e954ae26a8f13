#!/usr/bin/env python3
"""Writes the first sketch of the tracks of the music-driven scenes (radial shapes, ribbons):
data/sync_tracker/_<name>.track for every value they register, with `zorvane-tool track make`.

Run once from the repository root with the tool built (build/zorvane-tool); from then on the
track files are the source, edited live in the sync editor, and this script must not be run
over them again (it refuses to overwrite existing files unless given --force). The show as it
plays is choreograph.py's edit of these files.

Rows: 8 per beat, 32 per bar. Where the show selects the scenes (make_director_tracks.py):
radial shapes alone in bars 40-48 and under the attractor in bars 64-72; ribbons in bars 48-56.
"""
from make_director_tracks import BAR, HOLD, LINEAR, SMOOTH, write_tracks

TRACKS = {
    # Radial shapes: the gradient keeps its defaults (sky blue to amber); the shapes circle
    # wide enough to be told apart, squares for four bars, then circles; at the climax, under
    # the attractor, a wider ring of larger circles.
    "rf_col0_r": [(0, 0.125, HOLD)],
    "rf_col0_g": [(0, 0.6, HOLD)],
    "rf_col0_b": [(0, 1.0, HOLD)],
    "rf_col1_r": [(0, 1.0, HOLD)],
    "rf_col1_g": [(0, 0.76863, HOLD)],
    "rf_col1_b": [(0, 0.06275, HOLD)],
    "rf_spread": [(40 * BAR, 0.12, SMOOTH), (44 * BAR, 0.28, HOLD), (64 * BAR, 0.3, SMOOTH), (72 * BAR, 0.4, HOLD)],
    "rf_size": [(40 * BAR, 0.07, HOLD), (44 * BAR, 0.08, HOLD), (64 * BAR, 0.09, HOLD)],
    "rf_border": [(0, 6.0, HOLD)],
    "rf_object": [(0, 0, HOLD), (44 * BAR, 1, HOLD), (64 * BAR, 1, HOLD)],
    # Ribbons (bars 48-56, the breakdown): a slow drift and a gentle roll that keep the stack
    # in view, additive blending for the last four bars, hues from cyan toward orange.
    "riBobAmount": [(48 * BAR, 0.12, HOLD)],
    "riBobSpeed": [(48 * BAR, 1.0, HOLD)],
    "riMoveAmountX": [(48 * BAR, 0.12, HOLD)],
    "riMoveAmountY": [(48 * BAR, 0.08, HOLD)],
    "riMoveSpeedX": [(48 * BAR, 1.0, HOLD)],
    "riMoveSpeedY": [(48 * BAR, 1.3, HOLD)],
    "riOffsetX": [(48 * BAR, 0.0, HOLD)],
    "riOffsetY": [(48 * BAR, 0.0, HOLD)],
    "riBlendMode": [(48 * BAR, 0, HOLD), (52 * BAR, 1, HOLD)],
    "riFgAlpha": [(48 * BAR, 0.9, HOLD)],
    "riBgAlpha": [(48 * BAR, 0.5, HOLD)],
    "riCol0": [(48 * BAR, 0.55, SMOOTH), (56 * BAR, 0.75, HOLD)],
    "riCol1": [(48 * BAR, 0.1, HOLD)],
}
# One height scale per score track (8 tracks); louder tracks a little flatter.
for track in range(8):
    TRACKS[f"riTrackHeight{track}"] = [(48 * BAR, 1.0, HOLD)]


def main():
    write_tracks(TRACKS)


if __name__ == "__main__":
    main()
