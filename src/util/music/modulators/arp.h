// Arpeggiator: a gate for held notes, and the choice of the one held note that sounds, stepping
// up and down through them from the track's last note event.
// Depends on: util/music/modulators/modulator, platform/fatal.
#pragma once

#include <cstdint>

#include "util/music/modulators/modulator.h"

enum ArpPattern { ARP_UPDOWN = 0, ARP_UP = 1, ARP_DOWN = 2 };

class Arp : public Modulator {
public:
    Arp(int pattern, int octaves, int numerator, int denominator, bool triplet);
    float evaluate(float bpm, float beat, float off, float on) override;
    uint32_t select_note(float bpm, float beat, float last, uint32_t active_count) const;

    int pattern;
    int octaves;
};
