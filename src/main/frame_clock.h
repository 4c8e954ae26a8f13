// The frame clock: seconds since init() from the high-resolution counter, ticked once at the
// start of every frame so that no two frames start with the same reading.
// Depends on: platform/clock.
#pragma once

#include <cstdint>

struct FrameCounterSource {
    bool (*frequency)(uint64_t* counts_per_second);  // false: no high-resolution counter
    uint64_t (*counter)();
    uint64_t (*milliseconds)();  // used when there is no high-resolution counter
};

class FrameClock {
public:
    void init();
    float seconds() const;
    void tick();

    // The counters behind the clock; the platform's unless a test installs others.
    void set_source(const FrameCounterSource& source) { this->source = source; }

    float seconds_per_tick = 0.001f;
    uint64_t base_count = 0;
    float last_time = 0.0f;

private:
    uint64_t read_counter() const;
    FrameCounterSource source = platform_source();
    bool high_resolution = false;

    static FrameCounterSource platform_source();
};
