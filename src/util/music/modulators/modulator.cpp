#include "util/music/modulators/modulator.h"

#include "platform/fatal.h"

float note_length(int numerator, int denominator, bool triplet) {
    if (denominator == 0) return 0.0f;
    float length = static_cast<float>(numerator) * 4.0f / static_cast<float>(denominator);
    return triplet ? length * 0.6666667f : length;
}

float Modulator::evaluate(float, float, float, float) { return 1.0f; }

void Modulator::add_tempo_range(uint8_t minimum, uint8_t maximum, int numerator, int denominator,
                                bool triplet) {
    range_minimum.push_back(minimum);
    range_maximum.push_back(maximum);
    range_length.push_back(note_length(numerator, denominator, triplet));
}

void Modulator::set_controller_value(int value) {
    if (value < 0 || value > 127) ZV_FATAL("Value out of bounds: %d", value);
    tempo_value = tempo_for_controller(value);
}

float Modulator::tempo_for_controller(int value) const {
    for (size_t i = 0; i < range_length.size(); ++i) {
        if (value > range_maximum[i]) continue;
        if (value > range_minimum[i]) return range_length[i];
        ZV_FATAL("How did this happen?");
    }
    // Above every range, or no ranges at all: the tempo stays what it was.
    return tempo_value;
}
