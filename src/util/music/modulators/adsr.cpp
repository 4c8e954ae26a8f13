#include "util/music/modulators/adsr.h"

#include <cmath>

#include "platform/fatal.h"

namespace {
float curve(float exponent) {
    return (std::pow(ADSR::CURVE_BASE, exponent) - 1.0f) / (ADSR::CURVE_BASE - 1.0f);
}

void check_slope(int slope) {
    if (slope != SLOPE_LINEAR && slope != SLOPE_EXP && slope != SLOPE_EXP_INV)
        ZV_FATAL("Unrecognized slope type %d", slope);
}
}  // namespace

ADSR::ADSR(float attack, int attack_slope, float decay, int decay_slope, float sustain, float release,
           int release_slope)
    : Modulator(MOD_ADSR),
      attack(attack),
      decay(decay),
      sustain(sustain),
      release(release),
      attack_slope(attack_slope),
      decay_slope(decay_slope),
      release_slope(release_slope) {}

// A phase of no length is already over: rising phases are at 1, falling ones at 0.
float ADSR::rising(int slope, float x, float length) {
    check_slope(slope);
    if (!(length > 0.0f)) return 1.0f;
    if (slope == SLOPE_LINEAR) return x / length;
    if (slope == SLOPE_EXP) return curve(x / length);
    return 1.0f - curve((length - x) / length);
}

float ADSR::falling(int slope, float x, float length) {
    check_slope(slope);
    if (!(length > 0.0f)) return 0.0f;
    if (slope == SLOPE_LINEAR) return 1.0f - x / length;
    if (slope == SLOPE_EXP) return curve((length - x) / length);
    return 1.0f - curve(x / length);
}

float ADSR::evaluate(float, float beat, float off, float on) {
    if (off < on) {
        float t = beat - on;
        if (t > attack + decay) return sustain;
        if (t > attack) return falling(decay_slope, t - attack, decay) * (1.0f - sustain) + sustain;
        return rising(attack_slope, t, attack);
    }
    float held = off - on;
    float level = attack > held ? rising(attack_slope, held, attack)
                  : attack + decay > held ? falling(decay_slope, held - attack, decay) * (1.0f - sustain) + sustain
                                          : sustain;
    float r = beat - off;
    if (r > release) return 0.0f;
    return falling(release_slope, r, release) * level;
}
