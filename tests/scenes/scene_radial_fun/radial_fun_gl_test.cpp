// The radial shapes on the show's score: the gradient, where each shape sits and how it is lit
// by its track, squares against circles, and the picture added through the blur.
#include "scenes/scene_radial_fun/radial_fun.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "scenes/scene_still_suite.h"

namespace {

class RadialFunGl : public SceneStillSuite<640, 360> {
protected:
    static void SetUpTestSuite() {
        SceneStillSuite::SetUpTestSuite();
        scene = &still->add<RadialFun>();
    }
    void SetUp() override {
        still->set("rf_col0_r", 0.125f);
        still->set("rf_col0_g", 0.6f);
        still->set("rf_col0_b", 1.0f);
        still->set("rf_col1_r", 1.0f);
        still->set("rf_col1_g", 0.76863f);
        still->set("rf_col1_b", 0.06275f);
        still->set("rf_border", 1.0f);
        still->set("rf_object", 0.0f);
        scene->set_time_window(0, 5000);
    }

    // The shapes as drawn into the scratch target, before the blur.
    static Picture shapes_at(float beat) {
        still->set_beat(beat);
        still->draw(*scene);
        return SceneStill::read(*still->scratch);
    }

    static inline RadialFun* scene = nullptr;
};

TEST_F(RadialFunGl, OneShapePerTrackAlongTheGradient) {
    const uint32_t n = still->music->get_track_count();
    ASSERT_EQ(scene->shapes.size(), n);
    const float c0[3] = {0.125f, 0.6f, 1.0f}, c1[3] = {1.0f, 0.76863f, 0.06275f};
    for (uint32_t i = 0; i < n; ++i) {
        const RadialShape& shape = scene->shapes[i];
        const float t = static_cast<float>(i) / static_cast<float>(n);
        for (int c = 0; c < 3; ++c) EXPECT_FLOAT_EQ(shape.color[c], (1 - t) * c0[c] + t * c1[c]) << i;
        EXPECT_EQ(shape.track, static_cast<int32_t>(i));
        EXPECT_FLOAT_EQ(shape.angle_offset, 2.0f * static_cast<float>(i));
        EXPECT_EQ(shape.size, 1.0f);
    }
    EXPECT_EQ(scene->shapes[0].color[0], 0.125f);
    EXPECT_EQ(scene->shapes[0].color[1], 0.6f);
    EXPECT_EQ(scene->shapes[0].color[2], 1.0f);
}

// Shape i sits at angle 2i + local time on a circle of radius "rf_spread" around the centre;
// its inside is its gradient colour at alpha 0.4 times its track's value over black, and a
// silent track leaves its place black. Nothing is lit anywhere else.
TEST_F(RadialFunGl, ShapesSitOnTheirCircleLitByTheirTracks) {
    const float spread = 0.35f, size = 0.03f;
    still->set("rf_spread", spread);
    still->set("rf_size", size);
    const float beat = 172.05f;
    for (float local : {0.0f, 1.3f}) {
        scene->set_time_window(beat - local, 5000);
        const Picture p = shapes_at(beat);
        const float now = still->beat();
        int playing = 0, silent = 0;
        std::vector<bool> inside(static_cast<size_t>(WIDTH * HEIGHT), false);
        for (size_t i = 0; i < scene->shapes.size(); ++i) {
            const float theta = 2.0f * static_cast<float>(i) + (now - scene->start_beat);
            const float cx = (std::sin(theta) * spread + 0.5f) * WIDTH, cy = (std::cos(theta) * spread + 0.5f) * HEIGHT;
            const float v = still->music->get_track_value(static_cast<uint32_t>(i), now);
            const int x = static_cast<int>(cx), y = static_cast<int>(cy);
            if (v > 0.1f) {
                ++playing;
                for (int c = 0; c < 3; ++c)
                    EXPECT_NEAR(p.at(x, y)[c], scene->shapes[i].color[c] * 0.4f * v * 255.0f, 3.0f) << i << " " << c;
            } else if (v == 0.0f) {
                ++silent;
                EXPECT_EQ(p.lit_pixels(0, x - 15, y - 8, x + 15, y + 8), 0) << i;
            }
            // The square with its outline and a pixel to spare.
            for (int py = static_cast<int>(cy - size * HEIGHT) - 2; py <= static_cast<int>(cy + size * HEIGHT) + 2; ++py)
                for (int px = static_cast<int>(cx - size * WIDTH) - 2; px <= static_cast<int>(cx + size * WIDTH) + 2; ++px)
                    if (px >= 0 && px < WIDTH && py >= 0 && py < HEIGHT) inside[static_cast<size_t>(py * WIDTH + px)] = true;
        }
        EXPECT_GE(playing, 3);
        EXPECT_GE(silent, 1);
        int stray = 0;
        for (int y = 0; y < HEIGHT; ++y)
            for (int x = 0; x < WIDTH; ++x) stray += p.brightness(x, y) > 0 && !inside[static_cast<size_t>(y * WIDTH + x)];
        EXPECT_EQ(stray, 0) << "local time " << local;
    }
}

TEST_F(RadialFunGl, OneOrMoreDrawsCirclesAndLessDrawsSquares) {
    // Every shape on the centre, large: the lit area is one shape's.
    still->set("rf_spread", 0.0f);
    still->set("rf_size", 0.3f);
    still->set("rf_object", 1.0f);
    const int circle = shapes_at(170.25f).lit_pixels();
    still->set("rf_object", 0.999f);
    const int square = shapes_at(170.25f).lit_pixels();
    const double side = 0.6 * WIDTH * 0.6 * HEIGHT;
    EXPECT_NEAR(square, side, side * 0.02);
    EXPECT_NEAR(static_cast<double>(circle) / square, M_PI / 4, 0.02);
}

TEST_F(RadialFunGl, BorderOfZeroOrLessIsTheThinnestLine) {
    still->set("rf_spread", 0.2f);
    still->set("rf_size", 0.05f);
    while (glGetError() != GL_NO_ERROR) {
    }
    for (float border : {0.0f, -3.0f}) {
        still->set("rf_border", border);
        shapes_at(170.25f);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << border;
    }
}

TEST_F(RadialFunGl, ShapesAreAddedThroughTheBlurTheSameAtOneBeat) {
    still->set("rf_spread", 0.28f);
    still->set("rf_size", 0.06f);
    still->set("rf_object", 1.0f);
    still->set_beat(170.25f);
    const Picture picture = still->render(*scene);
    const Picture shapes = SceneStill::read(*still->scratch);
    EXPECT_FALSE(picture.uniform());
    EXPECT_GT(picture.lit_pixels(30), 2000);
    // The blur trails light toward the centre, beyond the shapes themselves.
    EXPECT_GT(picture.lit_pixels(0), shapes.lit_pixels(0));
    EXPECT_TRUE(still->render(*scene).same_colours(picture));
    if (const char* dir = getenv("ZORVANE_STILLS")) picture.write_ppm(std::string(dir) + "/radial_fun.ppm");
}

}  // namespace
