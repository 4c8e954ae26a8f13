// The ribbons on the show's score: one history per track in reverse track order, the ring
// buffers catching up forward and backward and after long jumps, and the picture.
#include "scenes/scene_ribbons/ribbons.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "scenes/scene_still_suite.h"

namespace {

class RibbonsGl : public SceneStillSuite<320, 180> {
protected:

    // Whether every voice of every history holds, `age` samples back from the newest, the
    // score's values at `beat`.
    static ::testing::AssertionResult holds(const Ribbons& r, int age, float beat) {
        for (const auto& h : r.tracks) {
            const std::vector<float> notes = still->music->get_note_values(static_cast<uint32_t>(h->midi_tracks[0]), beat);
            for (int v = 0; v < h->voices; ++v) {
                const float stored = h->samples[static_cast<size_t>(v) * Ribbons::SAMPLES + static_cast<size_t>(r.ring_position(age))];
                if (stored != notes[static_cast<size_t>(v)])
                    return ::testing::AssertionFailure() << "track " << h->midi_tracks[0] << " voice " << v << " age " << age
                                                         << ": " << stored << " instead of " << notes[static_cast<size_t>(v)];
            }
        }
        return ::testing::AssertionSuccess();
    }

};

TEST_F(RibbonsGl, OneHistoryPerTrackInReverseOrderWithAHeightTrackEach) {
    Ribbons& r = still->add<Ribbons>();
    const uint32_t n = still->music->get_track_count();
    ASSERT_EQ(r.tracks.size(), n);
    for (uint32_t k = 0; k < n; ++k) {
        ASSERT_EQ(r.tracks[k]->midi_tracks, std::vector<int32_t>{static_cast<int32_t>(n - 1 - k)});
        EXPECT_EQ(r.tracks[k]->voices, static_cast<int32_t>(still->music->get_track_note_count(n - 1 - k)));
        EXPECT_EQ(r.tracks[k]->samples.size(), static_cast<size_t>(r.tracks[k]->voices) * Ribbons::SAMPLES);
        EXPECT_EQ(still->music->get_sync_value(("riTrackHeight" + std::to_string(k)).c_str()), 1.0f);
    }
    EXPECT_EQ(r.write_index, 0);
    EXPECT_EQ(r.history_time, 0.0f);
}

TEST_F(RibbonsGl, AJumpForwardComputesOnlyTheVisibleSamples) {
    Ribbons& r = still->add<Ribbons>();
    still->play(r, 150.0f, 152.0f);
    still->set_beat(252.0f);
    still->draw(r);
    EXPECT_EQ(r.samples_computed, Ribbons::SAMPLES);
    EXPECT_NEAR(r.history_time, still->beat(), r.sample_period);
    // Every position stands for its time behind the newest: nothing from 100 beats ago is left.
    for (int age = 0; age < Ribbons::SAMPLES; ++age)
        ASSERT_TRUE(holds(r, age, r.history_time - static_cast<float>(age) * r.sample_period));
}

TEST_F(RibbonsGl, StepsForwardWriteTheNewestAndTheRingWraps) {
    Ribbons& r = still->add<Ribbons>();
    still->play(r, 170.0f, 172.0f);
    // Walk the newest position up to the end of the ring, then 0.05 beats on.
    const int to_end = Ribbons::SAMPLES - 1 - r.write_index;
    still->set_beat(r.history_time + r.sample_period * (static_cast<float>(to_end) + 0.5f));
    still->draw(r);
    ASSERT_EQ(r.write_index, Ribbons::SAMPLES - 1);
    const float before = r.history_time;
    still->set_beat(before + 0.05f + r.sample_period / 2);
    still->draw(r);
    EXPECT_EQ(r.samples_computed, 5);
    EXPECT_EQ(r.write_index, 4);
    // Positions 511, 0, 1, 2, 3 and 4 in turn, each a period later than the one before.
    float t = before;
    for (int age = 4; age >= 0; --age) {
        t += r.sample_period;
        EXPECT_TRUE(holds(r, age, t)) << age;
    }
}

TEST_F(RibbonsGl, PlayingBackwardRefillsTheOldestPositionsAWindowBehind) {
    Ribbons& r = still->add<Ribbons>();
    still->play(r, 180.0f, 182.0f);
    const int index = r.write_index;
    const float newest = r.history_time;
    still->set_beat(newest - 0.05f + r.sample_period / 4);
    still->draw(r);
    EXPECT_EQ(r.samples_computed, 5);
    EXPECT_EQ(r.write_index, (index - 5 + Ribbons::SAMPLES) % Ribbons::SAMPLES);
    EXPECT_NEAR(r.history_time, newest - 0.05f, 1e-4f);
    // The five positions just past the newest are now the oldest, each refilled a whole
    // window (5.12 beats) before the history time of its step.
    float t = newest;
    for (int age = Ribbons::SAMPLES - 5; age < Ribbons::SAMPLES; ++age) {
        t -= r.sample_period;
        EXPECT_TRUE(holds(r, age, t - 5.12f)) << age;
    }
    EXPECT_EQ(t, r.history_time);
}

TEST_F(RibbonsGl, TracksWithoutVoicesDrawNothing) {
    Ribbons& r = still->add<Ribbons>();
    still->play(r, 206.0f, 210.0f);
    const Picture all = still->render(r);
    EXPECT_GT(all.lit_pixels(30), 500);
    for (auto& h : r.tracks) {
        h->voices = 0;
        h->samples.clear();
    }
    still->set_beat(210.5f);
    const Picture none = still->render(r);
    EXPECT_EQ(none.lit_pixels(), 0);
}

TEST_F(RibbonsGl, DrawsTheScoreAndTheSamePictureTwiceAtOneBeat) {
    Ribbons& r = still->add<Ribbons>();
    still->play(r, 206.0f, 210.0f);
    const Picture picture = still->render(r);
    EXPECT_FALSE(picture.uniform());
    EXPECT_GT(picture.lit_pixels(60), WIDTH * HEIGHT / 50);
    EXPECT_TRUE(still->render(r).same_colours(picture));
    if (const char* dir = getenv("ZORVANE_STILLS")) picture.write_ppm(std::string(dir) + "/ribbons.ppm");
}

}  // namespace
