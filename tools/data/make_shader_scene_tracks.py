#!/usr/bin/env python3
"""Writes the first sketch of the tracks of the shader scenes (ambient occlusion, stage lights,
ray-marched ice): data/sync_tracker/_<name>.track for every tracked value they register, with
`zorvane-tool track make`.

Run once from the repository root with the tool built (build/zorvane-tool); from then on the
track files are the source, edited live in the sync editor, and this script must not be run
over them again (it refuses to overwrite existing files unless given --force). The show as it
plays is choreograph.py's edit of these files.

Rows: 8 per beat, 32 per bar. Where the show selects the scenes (make_director_tracks.py):
ambient occlusion in bars 8-16, stage lights in bars 16-24, the ice in bars 24-32 and 56-64.
"""
from make_director_tracks import BAR, HOLD, LINEAR, SMOOTH, write_tracks

SS, SL, RM, RM2 = 8 * BAR, 16 * BAR, 24 * BAR, 56 * BAR

TRACKS = {
    # Ambient occlusion (bars 8-16): the sphere alone for a bar, then the chain unfolds one
    # cube about every beat and a half while the camera swings round it on the side where
    # the grown chain keeps its distance (half turns -0.3 to -0.05) and the view widens to
    # hold it; a radial blur flares on the phrase ends.
    "ss_totStrength": [(0, 1.38, HOLD)],
    "ss_strength": [(0, 0.07, HOLD)],
    "ss_offset": [(0, 18, HOLD)],
    "ss_falloff": [(0, 0.000002, HOLD)],
    "ss_rad": [(0, 0.009, HOLD)],
    "ss_uv_mul": [(0, 0.98, HOLD)],
    "ss_z_near": [(0, 1, HOLD)],
    "ss_z_far": [(0, 14, HOLD)],
    "ss_org_str": [(0, 1, HOLD)],
    "ss_radblur_str": [(SS, 0, HOLD), (SS + 4 * BAR - 8, 0, SMOOTH), (SS + 4 * BAR, 0.35, SMOOTH),
                       (SS + 5 * BAR, 0, HOLD), (SS + 8 * BAR - 16, 0, SMOOTH), (SS + 8 * BAR, 0.5, HOLD)],
    "ss_sphere_radius": [(SS, 0.2, SMOOTH), (SS + BAR, 1.0, HOLD)],
    "ss_cam_rot": [(SS, -0.3, SMOOTH), (SS + 8 * BAR, -0.05, HOLD)],
    "ss_col_r": [(0, 0.95, HOLD)],
    "ss_col_g": [(0, 0.78, HOLD)],
    "ss_col_b": [(0, 0.55, HOLD)],
    "ss_discard": [(0, 0.9, HOLD)],
    "ss_progress": [(SS, 0, HOLD), (SS + BAR, 1, LINEAR), (SS + 7 * BAR, 66, HOLD)],
    "ss_cam_fov": [(SS, 45, SMOOTH), (SS + 2 * BAR, 55, SMOOTH), (SS + 6 * BAR, 80, HOLD)],
    "ss_clear_r": [(0, 0.04, HOLD)],
    "ss_clear_g": [(0, 0.1, HOLD)],
    "ss_clear_b": [(0, 0.2, HOLD)],
    "ss_cube_size": [(0, 1.5, HOLD)],
    # Stage lights (bars 16-24): warm and cool beams, a little brighter than mid lightness;
    # for the first four bars the beams burn steadily, then the red fan flashes with the bass
    # and the wide rays swell with the pad (the two tracks that play there); the other two
    # stay steady.
    "slColor0": [(SL, 0.0, SMOOTH), (SL + 8 * BAR, 0.08, HOLD)],
    "slColor1": [(SL, 0.58, SMOOTH), (SL + 8 * BAR, 0.5, HOLD)],
    "slColor2": [(SL, 0.8, SMOOTH), (SL + 8 * BAR, 0.9, HOLD)],
    "slColor3": [(SL, 0.33, SMOOTH), (SL + 8 * BAR, 0.15, HOLD)],
    "slLuminance": [(SL, 0.55, HOLD), (SL + 4 * BAR, 0.6, HOLD)],
    "slTrack0": [(SL, -1, HOLD), (SL + 4 * BAR, 1, HOLD)],
    "slTrack1": [(SL, -1, HOLD)],
    "slTrack2": [(SL, -1, HOLD), (SL + 4 * BAR, 2, HOLD)],
    "slTrack3": [(SL, -1, HOLD)],
    # Ice (bars 24-32): one cube turning, then the cluster from bar 28 while the camera orbits;
    # at the return (bars 56-64) the melting cube, then the field seen from higher up.
    "rm_object": [(RM, 0, HOLD), (RM + 4 * BAR, 1, HOLD), (RM2, 2, HOLD), (RM2 + 4 * BAR, 3, HOLD)],
    "rm_color_r": [(RM, 0.55, HOLD), (RM2, 0.75, HOLD)],
    "rm_color_g": [(RM, 0.85, HOLD), (RM2, 0.9, HOLD)],
    "rm_color_b": [(RM, 1.0, HOLD), (RM2, 1.0, HOLD)],
    "rm_cam_pos_x": [(0, 0, HOLD)],
    "rm_cam_pos_y": [(RM, 0, HOLD), (RM2 + 4 * BAR, 0, SMOOTH), (RM2 + 5 * BAR, 1.2, HOLD)],
    "rm_cam_pos_z": [(RM, 0.6, SMOOTH), (RM + 4 * BAR, 0, HOLD), (RM2 + 4 * BAR, 0, SMOOTH), (RM2 + 8 * BAR, -3, HOLD)],
    "rm_cam_rotation": [(RM, 0, SMOOTH), (RM + 8 * BAR, 120, HOLD), (RM2, -30, SMOOTH), (RM2 + 8 * BAR, 60, HOLD)],
    "rm_cam_axis_x": [(0, 0, HOLD)],
    "rm_cam_axis_y": [(0, 1, HOLD)],
    "rm_cam_axis_z": [(0, 0, HOLD)],
    "rm_obj_rotation": [(RM, 20, LINEAR), (RM + 8 * BAR, 200, HOLD), (RM2, 0, LINEAR), (RM2 + 8 * BAR, 90, HOLD)],
    "rm_obj_axis_x": [(RM, 0.3, HOLD)],
    "rm_obj_axis_y": [(RM, 1, HOLD)],
    "rm_obj_axis_z": [(RM, 0.2, HOLD)],
}


def main():
    write_tracks(TRACKS)


if __name__ == "__main__":
    main()
