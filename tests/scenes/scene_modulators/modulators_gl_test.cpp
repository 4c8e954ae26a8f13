// The modulator monitor on the show's score: how the column history fills and catches up when
// the music moves, and what columns that were never sampled look like.
#include "scenes/scene_modulators/modulators.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "scenes/scene_still_suite.h"

namespace {

// 512 pixels wide: one column of the history is one pixel.
class ModulatorsGl : public SceneStillSuite<512, 256> {
protected:

    static int sampled_columns(const Modulators& m, int track, int note) {
        int count = 0;
        for (int c = 0; c < Modulators::COLUMNS; ++c) count += !std::isnan(m.column_value(track, note, c));
        return count;
    }
    static void forget_columns(Modulators& m, int first_age, int end_age) {
        for (auto& h : m.history)
            for (size_t note = 0; note < h.size() / Modulators::COLUMNS; ++note)
                for (int age = first_age; age < end_age; ++age)
                    h[note * Modulators::COLUMNS + static_cast<size_t>((m.cursor - age + 512) % 512)] =
                        std::numeric_limits<float>::quiet_NaN();
    }
    static bool same_region(const Picture& a, const Picture& b, int x0, int x1) {
        for (int y = 0; y < a.height; ++y)
            for (int x = x0; x < x1; ++x)
                for (int c = 0; c < 3; ++c)
                    if (a.at(x, y)[c] != b.at(x, y)[c]) return false;
        return true;
    }

};

TEST_F(ModulatorsGl, FirstRenderAtBeatZeroFillsTheRightHalfWithTheFuture) {
    Modulators& m = still->add<Modulators>();
    ASSERT_EQ(m.history.size(), still->music->get_track_count());
    EXPECT_EQ(sampled_columns(m, 0, 0), 0);
    still->set_beat(0);
    still->render(m);
    EXPECT_GE(m.columns_sampled, 254);
    EXPECT_LE(m.columns_sampled, 256);
    EXPECT_NEAR(m.last_beat, 5.12f, 0.021f);
    for (size_t track = 0; track < m.history.size(); ++track)
        EXPECT_EQ(sampled_columns(m, static_cast<int>(track), 0), m.columns_sampled) << track;
    // The newest column holds the notes half a window ahead; the one behind it a step earlier.
    const int newest = m.cursor;
    const std::vector<float> ahead = still->music->get_note_values(0, m.last_beat);
    const std::vector<float> before = still->music->get_note_values(0, m.last_beat - m.step);
    for (size_t note = 0; note < ahead.size(); ++note) {
        EXPECT_EQ(m.column_value(0, static_cast<int>(note), newest), ahead[note]);
        EXPECT_EQ(m.column_value(0, static_cast<int>(note), (newest + 511) % 512), before[note]);
    }
}

TEST_F(ModulatorsGl, SeekingBackOneBeatRewritesFiftyColumnsAndMovesTheCurvesRight) {
    Modulators& m = still->add<Modulators>();
    still->play(m, 16.0, 20.0);
    const Picture before = still->render(m);
    const int cursor = m.cursor;
    const float last = m.last_beat;
    ASSERT_EQ(sampled_columns(m, 1, 0), 512);

    still->set_beat(still->beat() - 1.0f);
    const Picture after = still->render(m);
    EXPECT_EQ(m.columns_sampled, 50);
    EXPECT_EQ(m.cursor, (cursor - 50 + 512) % 512);
    EXPECT_NEAR(m.last_beat, last - 1.0f, 1e-3f);
    // The oldest column came back at the left edge with the notes a whole window before.
    const std::vector<float> oldest = still->music->get_note_values(1, m.last_beat - 10.24f);
    for (size_t note = 0; note < oldest.size(); ++note)
        EXPECT_EQ(m.column_value(1, static_cast<int>(note), (m.cursor + 1) % 512), oldest[note]);
    // Away from the labels and the marker the picture is the old one, 50 pixels further right.
    int differing = 0;
    for (int y = 0; y < HEIGHT; ++y)
        for (int x = 60; x < 200; ++x)
            differing += memcmp(after.at(x + 50, y), before.at(x, y), 3) != 0;
    EXPECT_EQ(differing, 0);
    EXPECT_FALSE(same_region(before, after, 60, 200));
}

TEST_F(ModulatorsGl, ColumnsNeverSampledDrawNothing) {
    // An empty history shows only the grid and the labels (at the same beat: no catch-up).
    Modulators& m = still->add<Modulators>();
    still->play(m, 29.0, 30.0);
    const Picture full = still->render(m);
    const auto kept = m.history;
    forget_columns(m, 0, 512);
    const Picture empty = still->render(m);
    ASSERT_EQ(m.columns_sampled, 0);

    // A gap in the middle of a full window shows what the empty history shows; the curves on
    // either side of it are untouched.
    m.history = kept;
    forget_columns(m, 100, 180);
    const Picture gapped = still->render(m);
    EXPECT_TRUE(same_region(gapped, empty, 511 - 177, 511 - 102));
    EXPECT_FALSE(same_region(full, empty, 511 - 177, 511 - 102));
    EXPECT_TRUE(same_region(gapped, full, 270, 511 - 182));
    EXPECT_TRUE(same_region(gapped, full, 511 - 97, 512));

    // At the very start the older half of the window was never sampled: left of the marker
    // (and right of the labels) the picture is the empty one.
    Modulators& start = still->add<Modulators>();
    still->set_beat(0);
    const Picture first = still->render(start);
    EXPECT_TRUE(same_region(first, empty, 40, 250));
    EXPECT_FALSE(same_region(first, empty, 262, 512));
}

TEST_F(ModulatorsGl, DrawsTheScoreAndTheSamePictureTwiceAtOneBeat) {
    // Straight to the middle of the show: only the visible window is sampled, and the picture
    // is the one a scene that followed the music frame by frame shows.
    Modulators& jumped = still->add<Modulators>();
    still->set_beat(330.0);
    const Picture picture = still->render(jumped);
    EXPECT_EQ(jumped.columns_sampled, 512);
    EXPECT_FALSE(picture.uniform());
    EXPECT_GT(picture.lit_pixels(60), WIDTH * HEIGHT / 20);
    EXPECT_TRUE(still->render(jumped).same_colours(picture));

    Modulators& followed = still->add<Modulators>();
    still->play(followed, 310.0, 330.0);
    still->set_beat(330.0);
    EXPECT_TRUE(still->render(followed).same_colours(picture));
    EXPECT_EQ(followed.last_beat, jumped.last_beat);
    EXPECT_EQ(followed.cursor, jumped.cursor);
    if (const char* dir = getenv("ZORVANE_STILLS")) picture.write_ppm(std::string(dir) + "/modulators.ppm");
}

}  // namespace
