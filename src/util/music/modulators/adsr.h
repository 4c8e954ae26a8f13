// Envelope: attack to 1, decay to the sustain level while held, release to 0 after the note-off;
// each phase linear or exponential (base 250) in either direction.
// Depends on: util/music/modulators/modulator, platform/fatal.
#pragma once

#include "util/music/modulators/modulator.h"

enum AdsrSlope { SLOPE_LINEAR = 0, SLOPE_EXP = 1, SLOPE_EXP_INV = 2 };

class ADSR : public Modulator {
public:
    static constexpr float CURVE_BASE = 250.0f;

    ADSR(float attack, int attack_slope, float decay, int decay_slope, float sustain, float release,
         int release_slope);
    float evaluate(float bpm, float beat, float off, float on) override;

    static float rising(int slope, float x, float length);
    static float falling(int slope, float x, float length);

    float attack, decay, sustain, release;
    int attack_slope, decay_slope, release_slope;
};
