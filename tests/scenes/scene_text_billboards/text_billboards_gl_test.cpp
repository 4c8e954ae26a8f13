// The text billboards: the lines rendered into their textures, which group a "txScene" value
// shows, the flight of the billboards, and where the settled title lands in the picture.
#include "scenes/scene_text_billboards/text_billboards.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "gl_support.h"
#include "scenes/scene_still.h"

namespace {

class TextBillboardsGl : public SharedGlTest {
protected:
    static void SetUpTestSuite() {
        SharedGlTest::SetUpTestSuite();
        ASSERT_EQ(chdir(ZORVANE_SOURCE_DIR), 0);
        still = new SceneStill(WIDTH, HEIGHT);
        scene = &still->add<TextBillboards>();
    }
    static void TearDownTestSuite() {
        delete still;
        still = nullptr;
        SharedGlTest::TearDownTestSuite();
    }

    // The picture at beat 0, where the whole group faces the camera, after a frame that puts
    // the camera's own near and far distances in place.
    static Picture settled(float group_value, float progress = 1.0f) {
        still->set("txScene", group_value);
        still->set("txProgress", progress);
        still->set_beat(0);
        still->draw(*scene);
        return still->render(*scene);
    }

    static constexpr int WIDTH = 640, HEIGHT = 360;
    static inline SceneStill* still = nullptr;
    static inline TextBillboards* scene = nullptr;
};

void expect_vec(const Vec3& v, float x, float y, float z, const std::string& what) {
    EXPECT_NEAR(v.x, x, 1e-5f) << what;
    EXPECT_NEAR(v.y, y, 1e-5f) << what;
    EXPECT_NEAR(v.z, z, 1e-5f) << what;
}

// The alpha of every texel of a line's texture, bottom row first.
std::vector<uint8_t> alpha_of(Fbo& target) {
    const Picture p = SceneStill::read(target);
    std::vector<uint8_t> alpha;
    for (size_t i = 3; i < p.rgba.size(); i += 4) alpha.push_back(p.rgba[i]);
    return alpha;
}

TEST_F(TextBillboardsGl, EveryLineHasItsOwnTextureAndFitsIt) {
    ASSERT_EQ(scene->title, (std::vector<std::string>{"Trelvane", "presents", "Quillory"}));
    ASSERT_EQ(scene->credits.size(), 5u);
    EXPECT_EQ(scene->credits[0], "Code & syncing");
    EXPECT_EQ(scene->credits[2], " ");
    EXPECT_EQ(scene->credits[3], "Music & syncing");
    ASSERT_EQ(scene->greetings.size(), 24u);
    for (int group : {TextBillboards::TITLE, TextBillboards::CREDITS, TextBillboards::GREETINGS}) {
        const auto& lines = scene->lines(group);
        const auto& targets = scene->targets(group);
        ASSERT_EQ(targets.size(), lines.size()) << group;
        for (size_t i = 0; i < lines.size(); ++i) {
            Fbo& target = *targets[i];
            EXPECT_EQ(target.height, 128);
            EXPECT_EQ(target.width, group == TextBillboards::GREETINGS ? 1024 : 1536);
            const std::vector<uint8_t> alpha = alpha_of(target);
            int drawn = 0, at_the_edge = 0;
            for (int y = 0; y < target.height; ++y)
                for (int x = 0; x < target.width; ++x) {
                    const bool lit = alpha[static_cast<size_t>(y * target.width + x)] > 0;
                    drawn += lit;
                    // Nothing may touch the right or top border: a longer line would be cut.
                    at_the_edge += lit && (x >= target.width - 2 || y >= target.height - 2);
                }
            EXPECT_EQ(at_the_edge, 0) << lines[i];
            if (lines[i] == " ")
                EXPECT_EQ(drawn, 0) << "the blank credit line is a transparent billboard";
            else
                EXPECT_GT(drawn, 500) << lines[i];
        }
    }
}

TEST_F(TextBillboardsGl, SceneValueRoundsAndClampsToAGroup) {
    EXPECT_EQ(TextBillboards::group_of(1.4f), TextBillboards::CREDITS);
    EXPECT_EQ(TextBillboards::group_of(1.5f), TextBillboards::GREETINGS);
    EXPECT_EQ(TextBillboards::group_of(-3.0f), TextBillboards::TITLE);
    EXPECT_EQ(TextBillboards::group_of(7.0f), TextBillboards::GREETINGS);
    EXPECT_EQ(TextBillboards::group_of(NAN), TextBillboards::TITLE);

    // The pictures the track values give are those of the groups they name.
    const Picture title = settled(0), credits = settled(1), greetings = settled(2);
    EXPECT_FALSE(title.same_colours(credits));
    EXPECT_FALSE(credits.same_colours(greetings));
    EXPECT_FALSE(title.same_colours(greetings));
    EXPECT_TRUE(settled(1.4f).same_colours(credits));
    EXPECT_TRUE(settled(1.5f).same_colours(greetings));
    EXPECT_TRUE(settled(-3.0f).same_colours(title));
    EXPECT_TRUE(settled(7.0f).same_colours(greetings));
}

TEST_F(TextBillboardsGl, BillboardsFlyInSettleAndFlyOut) {
    using TB = TextBillboards;
    for (int group : {TB::TITLE, TB::CREDITS, TB::GREETINGS}) {
        const int n = static_cast<int>(scene->lines(group).size());
        const std::string g = "group " + std::to_string(group);
        expect_vec(TB::billboard_position(group, 0, n, 0), 0, 0, -11, g + " entry 0 at 0");
        expect_vec(TB::billboard_position(group, 3, n, 0), 0.2f, 0.2f, -12.5f, g + " entry 3 at 0");
        expect_vec(TB::billboard_position(group, 3, n, 2), -0.2f, -0.2f, -12.5f, g + " entry 3 at 2");
        // Beyond either end the flight goes on along the same line.
        const Vec3 m = TB::billboard_position(group, 3, n, 1);
        expect_vec(TB::billboard_position(group, 3, n, 3), -0.4f - m.x, -0.4f - m.y, -25.0f, g + " after");
    }
    // Settled: the entries step down from the top, the title's at 2.2, 0.733 and -0.733.
    const float title_heights[3] = {2.2f, 2.2f / 3.0f, -2.2f / 3.0f};
    for (int i = 0; i < 3; ++i) {
        const Vec3 m = TB::billboard_position(TB::TITLE, i, 3, 1);
        EXPECT_NEAR(m.y, title_heights[i], 1e-5f);
        EXPECT_EQ(m.z, 0.0f);
    }
    for (int i = 0; i < 24; ++i) EXPECT_NEAR(TB::billboard_position(TB::GREETINGS, i, 24, 1).y, 3.8f - i * 7.6f / 24, 1e-5f);
}

// The settled title seen from the camera at (0, 0, -10) looking along +z (so +x is on the
// left of the picture) with the default 45-degree field of view: each line's text lies in the
// screen-left half of its billboard, the start of its mirrored texture, and nothing else is lit.
TEST_F(TextBillboardsGl, SettledTitleTextLiesOnItsBillboards) {
    const Picture p = settled(0);
    const TextBillboards::Layout l = TextBillboards::layout_of(TextBillboards::TITLE);
    const float half_w = l.quad_width / 2, half_h = l.quad_width / l.aspect / 2;
    const float focal = 1.0f / std::tan(22.5f * static_cast<float>(M_PI) / 180.0f);
    const float aspect = 16.0f / 9.0f;
    std::vector<bool> covered(static_cast<size_t>(WIDTH * HEIGHT), false);
    for (int i = 0; i < 3; ++i) {
        const Vec3 c = TextBillboards::billboard_position(TextBillboards::TITLE, i, 3, 1);
        const float turn = TextBillboards::billboard_turn(i) * static_cast<float>(M_PI) / 180.0f;
        float x0 = 1e9f, x1 = -1e9f, y0 = 1e9f, y1 = -1e9f;
        for (float dx : {-half_w, half_w})
            for (float dy : {-half_h, half_h}) {
                const float x = c.x + dx, y = c.y + dy;
                const float xr = x * std::cos(turn), zr = -x * std::sin(turn);
                const float depth = zr + 10.0f;
                const float sx = (-xr * focal / aspect / depth + 1) / 2 * WIDTH;
                const float sy = (y * focal / depth + 1) / 2 * HEIGHT;
                x0 = std::min(x0, sx), x1 = std::max(x1, sx), y0 = std::min(y0, sy), y1 = std::max(y1, sy);
            }
        int left = 0, right = 0;
        const float mid = (x0 + x1) / 2;
        for (int y = std::max(0, static_cast<int>(y0) - 1); y <= std::min(HEIGHT - 1, static_cast<int>(y1) + 1); ++y)
            for (int x = std::max(0, static_cast<int>(x0) - 1); x <= std::min(WIDTH - 1, static_cast<int>(x1) + 1); ++x) {
                covered[static_cast<size_t>(y * WIDTH + x)] = true;
                if (p.brightness(x, y) > 150) (x < mid ? left : right) += 1;
            }
        EXPECT_GT(left, 300) << "line " << i;
        EXPECT_EQ(right, 0) << "line " << i;
    }
    int stray = 0;
    for (int y = 0; y < HEIGHT; ++y)
        for (int x = 0; x < WIDTH; ++x) stray += p.brightness(x, y) > 0 && !covered[static_cast<size_t>(y * WIDTH + x)];
    EXPECT_EQ(stray, 0);
    if (const char* dir = getenv("ZORVANE_STILLS")) {
        p.write_ppm(std::string(dir) + "/text_title.ppm");
        settled(1).write_ppm(std::string(dir) + "/text_credits.ppm");
        settled(2).write_ppm(std::string(dir) + "/text_greetings.ppm");
    }
}

// Lines flying in close past the camera are cut by its near plane; the near and far distances
// the scene asks for reach the projection from its second frame on.
TEST_F(TextBillboardsGl, NearAndFarTakeEffectFromTheSecondFrame) {
    TextBillboards& fresh = still->add<TextBillboards>();
    auto near_far = [] {
        float m[16];
        glGetFloatv(GL_PROJECTION_MATRIX, m);
        // From gluPerspective: m[10] = (f + n) / (n - f), m[14] = 2 f n / (n - f).
        const double a = m[10], b = m[14];
        return std::make_pair(b / (a - 1), b / (a + 1));
    };
    still->set_beat(0);
    still->draw(fresh);
    auto first = near_far();
    EXPECT_NEAR(first.first, 1.0, 1e-3);
    EXPECT_NEAR(first.second, 1000.0, 1.0);
    still->draw(fresh);
    auto second = near_far();
    EXPECT_NEAR(second.first, 0.001, 1e-5);
    EXPECT_NEAR(second.second, 100.0, 2.0);
}

}  // namespace
