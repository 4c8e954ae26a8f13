// Modulators turn the notes of a MIDI track into animation values: an envelope shapes each
// note (ADSR), an oscillator wobbles it at a tempo-synced rate that a controller can change
// (LFO), an arpeggiator lets one held note through at a time (Arp). All times are in beats.
// Depends on: platform/fatal.
#pragma once

#include <cstdint>
#include <vector>

enum ModulatorKind { MOD_ADSR = 0, MOD_LFO = 1, MOD_ARP = 2 };

// numerator * 4 / denominator beats, two thirds of that for a triplet; 0 for a denominator 0.
float note_length(int numerator, int denominator, bool triplet);

class Modulator {
public:
    explicit Modulator(int kind, float tempo_value = 0.0f) : kind(kind), tempo_value(tempo_value) {}
    // Tracks own their modulators and delete them through this base.
    virtual ~Modulator() = default;

    // The factor this modulator applies to a note, given the note's last on and off times
    // before `beat` (-1 when there is none). The base passes notes through unchanged.
    virtual float evaluate(float bpm, float beat, float off, float on);

    void add_tempo_range(uint8_t minimum, uint8_t maximum, int numerator, int denominator, bool triplet);
    void set_controller_value(int value);
    float tempo_for_controller(int value) const;

    int32_t cc = -1;
    int32_t kind;
    float intensity = 1.0f;
    float tempo_value;
    std::vector<uint8_t> range_minimum, range_maximum;
    std::vector<float> range_length;
};
