// The attractor scene on the show's score: the flare and the figure chosen by the lead's notes,
// the decay back to rest, and the picture it draws.
#include "scenes/scene_attractor_fun/attractor_fun.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "gl_support.h"
#include "scenes/scene_still.h"

namespace {

class AttractorFunGl : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        ASSERT_EQ(chdir(ZORVANE_SOURCE_DIR), 0);
        // A fresh score for every case: the note cursors only move forward.
        still = std::make_unique<SceneStill>(WIDTH, HEIGHT);
        scene = &still->add<AttractorFun>();
    }
    void TearDown() override {
        still.reset();
        GlTest::TearDown();
    }

    const MidiTrack& lead() const {
        for (const MidiTrack& t : still->music->midi->tracks)
            if (t.name == AttractorFun::LEAD_TRACK) return t;
        throw std::runtime_error("no lead track");
    }
    // Whether a note of the lead starts in (from, to], counting only notes from `first_note` on.
    bool lead_starts(float from, float to, size_t first_note = 0) const {
        const MidiTrack& t = lead();
        for (size_t n = first_note; n < t.notes.size(); ++n)
            for (float time : t.notes[n].times)
                if (time >= 0 && time > from && time <= to) return true;
        return false;
    }
    // A start of note `index` with the lead quiet for 1.5 beats before it and 0.6 after it.
    float lone_start_of(size_t index) const {
        for (float time : lead().notes.at(index).times)
            if (time > 2.0f && !lead_starts(time - 1.5f, time - 0.001f) && !lead_starts(time + 0.001f, time + 0.6f) &&
                !lead_starts(time - 0.001f, time + 0.001f, index + 1))
                return time;
        return -1;
    }
    // The figure the effect itself draws at this intensity and time, into the picture target.
    Picture figure(float intensity, float time) {
        still->target->bind(true);
        scene->apply_gl_state();
        scene->reshape(WIDTH, HEIGHT);
        scene->attractor->set_intensity(intensity);
        scene->attractor->set_color(1, 1, 1, 1);
        scene->attractor->render(time);
        still->target->unbind();
        return still->read_target();
    }

    static constexpr int WIDTH = 320, HEIGHT = 180;
    std::unique_ptr<SceneStill> still;
    AttractorFun* scene = nullptr;
};

TEST_F(AttractorFunGl, RestsAtHalfIntensityWithTheTimeOfTheBeatBeforeTheFirstNote) {
    still->set_beat(20.0f);  // the lead has not played yet
    const Picture picture = still->render(*scene);
    EXPECT_EQ(scene->attractor->intensity, 0.5f);
    EXPECT_EQ(scene->attractor_time_offset, 0.0f);
    EXPECT_TRUE(picture.same_colours(figure(0.5f, still->beat())));
    EXPECT_FALSE(picture.uniform());
    EXPECT_TRUE(still->render(*scene).same_colours(picture));
}

TEST_F(AttractorFunGl, LeadNoteFlaresAndPicksTheFigureThenFallsBackWithinPointFourBeats) {
    const float start = lone_start_of(3);
    ASSERT_GT(start, 0.0f);
    still->play(*scene, start - 1.5f, start - 0.02f);
    ASSERT_EQ(scene->attractor->intensity, 0.5f);

    const float step = still->music->bpm / 60.0f / 30.0f;
    still->set_beat(start - 0.02f + step);
    const Picture flare = still->render(*scene);
    EXPECT_EQ(scene->attractor->intensity, 2.5f);
    EXPECT_EQ(scene->attractor_time_offset, 300.0f);
    EXPECT_TRUE(flare.same_colours(figure(2.5f, still->beat() + 300.0f)));

    // Frames of 30 per second: the flare is still up a frame before 0.4 beats have passed...
    const float flared_at = still->beat();
    float beat = flared_at;
    while (beat + step < flared_at + 0.4f - 1e-4f) {
        beat += step;
        still->set_beat(beat);
        still->draw(*scene);
        EXPECT_GT(scene->attractor->intensity, 0.5f) << beat - flared_at;
    }
    // ...and at rest from 0.4 beats on, staying there, with the figure of the note kept.
    for (int frame = 0; frame < 3; ++frame) {
        beat += step;
        still->set_beat(beat);
        still->draw(*scene);
        EXPECT_EQ(scene->attractor->intensity, 0.5f) << beat - flared_at;
        EXPECT_EQ(scene->attractor_time_offset, 300.0f);
    }
}

TEST_F(AttractorFunGl, ReshapeGivesTheEffectASquareTargetOfTheWidth) {
    scene->reshape(640, 360);
    EXPECT_EQ(scene->attractor->target->width, 640);
    EXPECT_EQ(scene->attractor->target->height, 640);
}

}  // namespace
