// Low-frequency oscillator: while a note is held, a sine from 0 up to 1 and back over one
// period, or a saw that counts beats within the period.
// Depends on: util/music/modulators/modulator, platform/fatal.
#pragma once

#include "util/music/modulators/modulator.h"

enum LfoWave { WAVE_SINE = 0, WAVE_SAW = 1 };

class LFO : public Modulator {
public:
    LFO(int wave, int cc, int numerator, int denominator, bool triplet);
    float evaluate(float bpm, float beat, float off, float on) override;
    int wave;
};
