#include "util/music/modulators/arp.h"

#include <cmath>

#include "platform/fatal.h"

Arp::Arp(int pattern, int octaves, int numerator, int denominator, bool triplet)
    : Modulator(MOD_ARP, note_length(numerator, denominator, triplet)), pattern(pattern), octaves(octaves) {}

float Arp::evaluate(float, float, float off, float on) { return on > off ? 1.0f : 0.0f; }

uint32_t Arp::select_note(float, float beat, float last, uint32_t n) const {
    if (n < 2) return 0;
    if (pattern != ARP_UPDOWN) ZV_FATAL("Unhandled arp pattern %d!\n", pattern);
    double steps = std::trunc((static_cast<double>(beat) - last) / tempo_value);
    // A step of 0 or less, or a count beyond 64 bits, has no position in the sequence: the
    // first note sounds.
    if (!std::isfinite(steps) || steps >= 9.2e18 || steps <= -9.2e18) return 0;
    uint32_t s = static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(steps)));
    uint32_t period = 2 * n - 2;
    uint32_t i = s % period;
    return i >= n ? 2 * n - 2 - i : i;
}
