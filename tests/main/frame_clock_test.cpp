#include <gtest/gtest.h>

#include "main/frame_clock.h"

namespace {

uint64_t fake_counter_value = 0;
uint64_t fake_milliseconds_value = 0;

bool fake_frequency(uint64_t* f) {
    *f = 1000;
    return true;
}
bool no_frequency(uint64_t*) { return false; }
bool zero_frequency(uint64_t* f) {
    *f = 0;
    return true;
}
uint64_t fake_counter() { return fake_counter_value; }
// Each reading moves on, as a real clock does while tick() waits for it.
uint64_t fake_milliseconds() { return fake_milliseconds_value++; }

TEST(FrameClock, SecondsCountFromInit) {
    FrameClock clock;
    clock.set_source({fake_frequency, fake_counter, fake_milliseconds});
    fake_counter_value = 5000;
    clock.init();
    EXPECT_FLOAT_EQ(clock.seconds_per_tick, 0.001f);
    EXPECT_EQ(clock.base_count, 5000u);
    fake_counter_value = 7500;
    EXPECT_FLOAT_EQ(clock.seconds(), 2.5f);
}

TEST(FrameClock, AdvancesWithoutAHighResolutionCounter) {
    for (auto frequency : {no_frequency, zero_frequency}) {
        FrameClock clock;
        clock.set_source({frequency, fake_counter, fake_milliseconds});
        fake_counter_value = 0;  // a counter that never moves must not be used
        fake_milliseconds_value = 1000;
        clock.init();
        EXPECT_FLOAT_EQ(clock.seconds_per_tick, 0.001f);
        clock.tick();
        float first = clock.last_time;
        clock.tick();
        EXPECT_GT(clock.last_time, first);
    }
}

TEST(FrameClock, TickNeverRepeatsAReading) {
    FrameClock clock;
    clock.init();  // the platform's own counters
    float previous = clock.last_time;
    for (int i = 0; i < 100; ++i) {
        clock.tick();
        EXPECT_NE(clock.last_time, previous);
        EXPECT_GE(clock.last_time, previous);
        previous = clock.last_time;
    }
}

}  // namespace
