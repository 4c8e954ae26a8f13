#!/usr/bin/env python3
"""The show's choreography on top of the first sketches (make_*_tracks.py): which scenes play
where and how the picture moves with the music. Each edit owns a stretch of rows of one track
and sets exactly the keys there; keys outside it, hand-edited in the sync editor or not, stay
as they are, and running the script again changes nothing.

Run from the repository root with the tool built (build/zorvane-tool).

The soundtrack: 96 bars at 145 BPM in six 16-bar sections, intro (bars 0-16), build-up (16-32),
main (32-48), breakdown (48-64), climax (64-80) and outro (80-96). Scenes change on 8-bar
phrases. Scene table: 0 Ssaotest, 1 IceCubes, 2 AttractorFun, 3 RadialFun, 4 TextBillboards,
5 StageLights, 6 Ribbons, 7 ReflectionCubes, 8 Modulators; -1 draws nothing.
"""
from tracks import BAR, BEAT, HOLD, LINEAR, PHRASE, SMOOTH, set_range

END = 96 * BAR

# (bar, scene) for each layer: the first draws the picture, the others over it.
# Over a black background the radial shapes' light is faint; they play over the stage lights.
FIRST = [(0, 2), (8, 0), (16, 5), (24, 1), (32, 7), (40, 5), (48, 6), (56, 1), (64, 2), (72, 8), (80, 7),
         (88, 6)]
SECOND = [(0, 4), (8, -1), (40, 3), (48, -1), (64, 3), (72, -1), (88, 4)]
THIRD = [(0, -1)]

# Cuts that flash white for half a beat, and those that dip to black into a quiet part.
FLASH_CUTS = [8, 16, 24, 32, 40, 64, 72, 80]
DIP_CUTS = [48, 88]
# Cuts where the picture bursts out of the centre through the radial blur for two beats.
BURST_CUTS = [16, 32, 56]


def layer(bars_and_scenes):
    return [(bar * BAR, scene, HOLD) for bar, scene in bars_and_scenes]


def cut_accents():
    fade = [(0, -1, LINEAR), (2 * BAR, 0, HOLD)]
    for bar in FLASH_CUTS:
        fade += [(bar * BAR, 0.7, LINEAR), (bar * BAR + BEAT // 2, 0, HOLD)]
    for bar in DIP_CUTS:
        fade += [(bar * BAR - BEAT, 0, LINEAR), (bar * BAR, -0.9, LINEAR), (bar * BAR + BEAT, 0, HOLD)]
    fade += [(92 * BAR, 0, LINEAR)]  # the fade to black at the end keeps its last key
    set_range("ppFadeValue", 0, 92 * BAR + 1, fade)


def bursts_and_climax_blur():
    order, strength = [(0, -1, HOLD)], []
    for bar in BURST_CUTS:
        row = bar * BAR
        order += [(row, 0.2, HOLD), (row + 2 * BEAT, -1, HOLD)]
        strength += [(row, 1.0, SMOOTH), (row + 2 * BEAT, 0, HOLD)]
    # The attractor's climax runs through the blur, swelling to the modulator monitor's cut.
    order += [(64 * BAR, 0.2, HOLD), (72 * BAR, -1, HOLD)]
    strength += [(64 * BAR, 0.2, SMOOTH), (71 * BAR, 1.0, SMOOTH), (72 * BAR, 0, HOLD)]
    set_range("ppRadblur", 0, END, order)
    set_range("ppRadblurStrength", 0, END, strength)


def kick_pulses():
    """The picture brightens on every beat of the climax and settles within half a beat."""
    keys = [(0, 0, HOLD)]
    for row in range(64 * BAR, 80 * BAR, BEAT):
        keys += [(row, 0.12, LINEAR), (row + BEAT // 2, 0, HOLD)]
    set_range("ppFilmBrightness", 0, END, keys)


def reflection_cubes_in_the_outro():
    """The reflection cubes' second round moves from the climax to the outro's first phrase."""
    start = 80 * BAR
    set_range("rcRotY", 72 * BAR, END, [(start, 20, LINEAR), (start + PHRASE, 380, HOLD)])
    set_range("rcRotZ", 72 * BAR, END, [(start, 0, SMOOTH), (start + 2 * BAR, 25, SMOOTH), (start + 4 * BAR, -25, SMOOTH),
                                        (start + 6 * BAR, 25, SMOOTH), (start + PHRASE, 0, HOLD)])
    set_range("rcFOV", 72 * BAR, END, [(start, 70, SMOOTH), (start + PHRASE, 40, HOLD)])
    # The sphere swells on every bar's downbeat.
    sphere = []
    for bar in range(80, 88):
        sphere += [(bar * BAR, 1.4, SMOOTH), (bar * BAR + BEAT, 1.0, HOLD)]
    set_range("rcSphereSize", 72 * BAR, END, sphere)


def radial_shapes():
    """Larger shapes spread wider, so that the blurred light fills the picture."""
    set_range("rf_size", 40 * BAR, 64 * BAR, [(40 * BAR, 0.16, HOLD), (44 * BAR, 0.2, HOLD)])
    set_range("rf_spread", 40 * BAR, 64 * BAR, [(40 * BAR, 0.18, SMOOTH), (44 * BAR, 0.3, HOLD)])


def main():
    set_range("ActiveScene1st", 0, END, layer(FIRST))
    set_range("ActiveScene2nd", 0, END, layer(SECOND))
    set_range("ActiveScene3rd", 0, END, layer(THIRD))
    cut_accents()
    bursts_and_climax_blur()
    kick_pulses()
    reflection_cubes_in_the_outro()
    radial_shapes()


if __name__ == "__main__":
    main()
