#include "main/frame_clock.h"

#include "platform/clock.h"

FrameCounterSource FrameClock::platform_source() {
    return FrameCounterSource{performance_frequency, performance_counter,
                              [] { return static_cast<uint64_t>(tick_count_ms()); }};
}

void FrameClock::init() {
    seconds_per_tick = 0.001f;
    uint64_t frequency = 0;
    high_resolution = source.frequency(&frequency) && frequency != 0;
    if (high_resolution) seconds_per_tick = 1.0f / static_cast<float>(frequency);
    // Without a high-resolution counter the millisecond clock stands in, so time still moves.
    base_count = read_counter();
    last_time = 0.0f;
}

uint64_t FrameClock::read_counter() const {
    return high_resolution ? source.counter() : source.milliseconds();
}

float FrameClock::seconds() const {
    return static_cast<float>(static_cast<double>(read_counter() - base_count) *
                              static_cast<double>(seconds_per_tick));
}

void FrameClock::tick() {
    float now;
    do {
        now = seconds();
    } while (now == last_time);
    last_time = now;
}
