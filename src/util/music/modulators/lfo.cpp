#include "util/music/modulators/lfo.h"

#include <cmath>

#include "platform/fatal.h"

LFO::LFO(int wave, int cc, int numerator, int denominator, bool triplet)
    : Modulator(MOD_LFO, note_length(numerator, denominator, triplet)), wave(wave) {
    this->cc = cc;
}

float LFO::evaluate(float, float beat, float off, float on) {
    if (!(on > off)) return 0.0f;
    float t = beat - on;
    if (wave != WAVE_SINE && wave != WAVE_SAW) ZV_FATAL("Unsupported wave type: %d", wave);
    // A period of 0 beats has no phase to speak of; the oscillator rests at 0.
    if (!(tempo_value > 0.0f)) return 0.0f;
    if (wave == WAVE_SINE) return 0.5f * std::sin(6.2831855f * t / tempo_value - 1.5707964f) + 0.5f;
    return std::fmod(t, tempo_value);
}
