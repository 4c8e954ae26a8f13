// The stage lights: brightness from the chosen MIDI track, colours from hue and lightness,
// the beams' shapes (read back through GL feedback), and the picture over moving smoke.
#include "scenes/scene_stagelights/stagelights.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "scenes/scene_still_suite.h"
#include "util/math/color.h"

namespace {

// Whether a program object linked (a failed compile or link would also have shown its log).
bool linked(const ShaderProgram& p) {
    GLint status = 0;
    glGetObjectParameterivARB(p.program, GL_OBJECT_LINK_STATUS_ARB, &status);
    return p.program != 0 && status == GL_TRUE;
}

class StageLightsGl : public SceneStillSuite<640, 360> {
protected:
    static void SetUpTestSuite() {
        SceneStillSuite::SetUpTestSuite();
        scene = &still->add<StageLights>();
    }
    void SetUp() override {
        still->set("slColor0", 1.0f);
        still->set("slColor1", 0.25f);
        still->set("slColor2", 0.75f);
        still->set("slColor3", 0.5f);
        still->set("slLuminance", 0.5f);
        for (const char* t : {"slTrack0", "slTrack1", "slTrack2", "slTrack3"}) still->set(t, -1);
    }

    // The beams alone as the scene draws them into its beam target.
    static Picture beams_at(float beat) {
        still->set_beat(beat);
        still->draw(*scene);
        return SceneStill::read(*scene->beam_target);
    }

    // The triangles of one drawing call as window coordinates, through GL feedback, with
    // identity matrices and a 1000 x 1000 viewport (x = 500 (1 + world x)).
    template <typename Draw>
    static std::vector<std::vector<Vec3>> feedback(Draw draw) {
        std::vector<GLfloat> buffer(4096);
        glViewport(0, 0, 1000, 1000);
        load_identity_matrices();
        glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D, buffer.data());
        glRenderMode(GL_FEEDBACK);
        draw();
        const GLint used = glRenderMode(GL_RENDER);
        std::vector<std::vector<Vec3>> polygons;
        for (GLint i = 0; i < used;) {
            EXPECT_EQ(buffer[static_cast<size_t>(i)], static_cast<GLfloat>(GL_POLYGON_TOKEN));
            const int n = static_cast<int>(buffer[static_cast<size_t>(i) + 1]);
            i += 2;
            std::vector<Vec3> corners;
            for (int k = 0; k < n; ++k, i += 3)
                corners.emplace_back(buffer[static_cast<size_t>(i)], buffer[static_cast<size_t>(i) + 1], buffer[static_cast<size_t>(i) + 2]);
            polygons.push_back(corners);
        }
        return polygons;
    }

    static inline StageLights* scene = nullptr;
};

TEST_F(StageLightsGl, RegistersItsTracksInOrderAndMakesSmoke) {
    const char* const names[] = {"slColor0", "slColor1", "slColor2", "slColor3", "slLuminance",
                                 "slTrack0", "slTrack1", "slTrack2", "slTrack3"};
    const auto& values = still->music->sync_values().values();
    auto first = std::find_if(values.begin(), values.end(), [](const SyncValue& v) { return v.name == "slColor0"; });
    ASSERT_LE(first - values.begin() + 9, values.end() - values.begin());
    for (const char* name : names) EXPECT_EQ((first++)->name, name);
    EXPECT_EQ(scene->smoke->mode, Effects::Fire::FIRE_SMOKE);
    EXPECT_EQ(scene->smoke->color.x, 0.7f);
    EXPECT_EQ(scene->smoke->color.w, 1.0f);
    EXPECT_EQ(scene->smoke_target->width, WIDTH);
    EXPECT_EQ(scene->beam_target->height, HEIGHT);
}

TEST_F(StageLightsGl, CombiningProgramLinks) { EXPECT_TRUE(linked(*scene->combine)); }

TEST_F(StageLightsGl, TrackValueRoundsToAMidiTrackWhoseValueIsTheBrightness) {
    const uint32_t tracks = still->music->get_track_count();
    ASSERT_GT(tracks, 2u);
    // A beat where track 2 plays at a level that no other choice would give.
    bool found = false;
    for (float beat = 64; beat < 128 && !found; beat += 0.37f) {
        still->set_beat(beat);
        const float v = still->music->get_track_value(2, still->beat());
        if (v > 0.05f && v < 0.95f && v != still->music->get_track_value(1, still->beat()) &&
            v != still->music->get_track_value(3, still->beat())) {
            found = true;
            EXPECT_EQ(scene->beam_brightness(1.6f), v);
            EXPECT_EQ(scene->beam_brightness(2.49f), v);
        }
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(scene->beam_brightness(static_cast<float>(tracks) - 0.4f), 1.0f) << "past the last track";
}

TEST_F(StageLightsGl, BelowTrackZeroIsFullBrightnessWithoutAskingTheScore) {
    // Without a score, asking for the track count would end the program.
    std::unique_ptr<MidiFile> score = std::move(still->music->midi);
    EXPECT_EQ(scene->beam_brightness(-0.6f), 1.0f);
    EXPECT_EQ(scene->beam_brightness(-1.0f), 1.0f);
    EXPECT_EQ(scene->beam_brightness(-1e9f), 1.0f);
    still->music->midi = std::move(score);
}

TEST(StageLightsColour, HslOfTheStandardConversion) {
    const struct {
        float h, s, l, r, g, b;
    } cases[] = {
        {0.0f, 1, 0.5f, 1, 0, 0},       {1.0f / 3, 1, 0.5f, 0, 1, 0},   {2.0f / 3, 1, 0.5f, 0, 0, 1},
        {1.0f, 1, 0.5f, 1, 0, 0},       {0.5f, 1, 0.25f, 0, 0.5f, 0.5f}, {0.25f, 1, 0.75f, 0.75f, 1, 0.5f},
        {0.75f, 0, 0.3f, 0.3f, 0.3f, 0.3f}, {0.1f, 1, 0, 0, 0, 0},     {0.6f, 1, 1, 1, 1, 1},
    };
    for (const auto& c : cases) {
        const Vec3 rgb = rgb_of_hsl(c.h, c.s, c.l);
        EXPECT_NEAR(rgb.x, c.r, 1e-5f) << c.h << " " << c.s << " " << c.l;
        EXPECT_NEAR(rgb.y, c.g, 1e-5f) << c.h << " " << c.s << " " << c.l;
        EXPECT_NEAR(rgb.z, c.b, 1e-5f) << c.h << " " << c.s << " " << c.l;
    }
}

TEST_F(StageLightsGl, LightnessZeroGivesBlackBeamsAndOneWhite) {
    still->set("slLuminance", 0.0f);
    const Picture dark = beams_at(70);
    int covered = 0;
    for (size_t i = 0; i < dark.rgba.size(); i += 4) covered += dark.rgba[i + 3] > 20;
    EXPECT_GT(covered, 2000) << "the beams are there";
    EXPECT_EQ(dark.lit_pixels(0), 0) << "but black";

    still->set("slLuminance", 1.0f);
    const Picture white = beams_at(70);
    EXPECT_GT(white.lit_pixels(60), 2000);
    int coloured = 0;
    for (int y = 0; y < HEIGHT; ++y)
        for (int x = 0; x < WIDTH; ++x) coloured += white.at(x, y)[0] != white.at(x, y)[1] || white.at(x, y)[1] != white.at(x, y)[2];
    EXPECT_EQ(coloured, 0);

    still->set("slLuminance", 0.5f);
    const Picture hued = beams_at(70);
    int red = 0;
    for (int y = 0; y < HEIGHT; ++y)
        for (int x = 0; x < WIDTH; ++x) red += hued.at(x, y)[0] > 40 && hued.at(x, y)[1] == 0 && hued.at(x, y)[2] == 0;
    EXPECT_GT(red, 100) << "beam 0 at hue 1 is pure red";
}

TEST_F(StageLightsGl, RayBeamsHaveOneMoreRayThanStepsAtEvenOffsets) {
    const StageLights::Beam beam = StageLights::beam_at(3, 12.0f);
    EXPECT_EQ(beam.rays, 3);
    EXPECT_EQ(beam.half_width, 0.4f);
    EXPECT_EQ(beam.edge_width, 0.02f);
    EXPECT_FLOAT_EQ(beam.target.x, std::sin(0.31f * 12.0f));
    EXPECT_FLOAT_EQ(beam.target.y, 1.7f * std::cos(0.46f * 12.0f));
    EXPECT_EQ(beam.target.z, -20.0f);

    const Vec3 s(0.1f, 0.9f, 0), t(-0.2f, -0.5f, 0);
    const auto rays = feedback([&] { StageLights::draw_rays(s, t, 0.4f, 0.02f, Vec3(1, 1, 1), 1.0f, 3); });
    ASSERT_EQ(rays.size(), 4u);
    const float offsets[4] = {-0.4f, -0.4f / 3, 0.4f / 3, 0.4f};
    for (size_t k = 0; k < rays.size(); ++k) {
        ASSERT_EQ(rays[k].size(), 3u);
        EXPECT_NEAR(rays[k][0].x, 500 * (1 + s.x), 1e-2f);
        EXPECT_NEAR(rays[k][0].y, 500 * (1 + s.y), 1e-2f);
        const float centre = (rays[k][1].x + rays[k][2].x) / 2;
        EXPECT_NEAR(centre, 500 * (1 + t.x + offsets[k]), 1e-2f) << k;
        EXPECT_NEAR(rays[k][2].x - rays[k][1].x, 500 * 0.02f, 1e-2f) << k;
    }
    // Seven steps give eight rays (kept inside the view: clipping would split them).
    const auto eight = feedback([&] { StageLights::draw_rays(Vec3(0, 0.9f, 0), Vec3(0, -0.5f, 0), 0.9f, 0.02f, Vec3(1, 1, 1), 1.0f, 7); });
    ASSERT_EQ(eight.size(), 8u);
    EXPECT_NEAR((eight[7][1].x + eight[7][2].x) / 2, 500 * 1.9f, 1e-2f) << "the last ray lands on the far end";
}

TEST_F(StageLightsGl, FanIsABodyAndTwoBrightEdges) {
    const Vec3 s(0, 0.8f, 0), t(0.1f, -0.6f, 0);
    const auto fan = feedback([&] { StageLights::draw_fan(s, t, 0.6f, 0.04f, Vec3(1, 0, 0), 0.5f); });
    ASSERT_EQ(fan.size(), 3u);
    auto x = [](float world) { return 500 * (1 + world); };
    EXPECT_NEAR(fan[0][1].x, x(t.x - 0.6f), 1e-2f);
    EXPECT_NEAR(fan[0][2].x, x(t.x + 0.6f), 1e-2f);
    EXPECT_NEAR(fan[1][1].x, x(t.x - 0.64f), 1e-2f);
    EXPECT_NEAR(fan[1][2].x, x(t.x - 0.6f), 1e-2f);
    EXPECT_NEAR(fan[2][1].x, x(t.x + 0.6f), 1e-2f);
    EXPECT_NEAR(fan[2][2].x, x(t.x + 0.64f), 1e-2f);
    for (const auto& triangle : fan) EXPECT_NEAR(triangle[0].y, 500 * (1 + s.y), 1e-2f);
}

TEST_F(StageLightsGl, BeamsSweepThroughMovingSmoke) {
    for (const char* t : {"slTrack0", "slTrack1", "slTrack2", "slTrack3"}) still->set(t, -1);
    still->set_beat(66);
    while (glGetError() != GL_NO_ERROR) {
    }
    Picture first;
    for (int frame = 0; frame < 40; ++frame) {
        still->set_beat(66 + frame * 0.08);
        first = still->render(*scene);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    const Picture smoke = SceneStill::read(*scene->smoke_target);
    EXPECT_GT(smoke.lit_pixels(30), WIDTH * HEIGHT / 10) << "smoke has gathered";
    EXPECT_GT(first.lit_pixels(150), 1000) << "beams show";
    // One frame later the smoke has moved although the beams (same beat) have not.
    const Picture beams = SceneStill::read(*scene->beam_target);
    const Picture second = still->render(*scene);
    EXPECT_TRUE(SceneStill::read(*scene->beam_target).same_colours(beams));
    EXPECT_FALSE(second.same_colours(first));
    if (const char* dir = getenv("ZORVANE_STILLS")) second.write_ppm(std::string(dir) + "/stagelights.ppm");
}

}  // namespace
