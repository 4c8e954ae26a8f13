// The director on a real GL context with the production data: letterbox, scene layering, the
// post chain and its ping-pong targets, the present, the end of the show, and the scene preset.
#include "scenes/director.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <memory>
#include <utility>
#include <vector>

#include "gl_support.h"
#include "test_support.h"
#include "util/sync/sync.h"

namespace {

class DirectorGl : public SharedGlTest {
protected:
    // Building the director loads the whole show; one serves every case of the suite.
    static void SetUpTestSuite() {
        SharedGlTest::SetUpTestSuite();
        ASSERT_EQ(chdir(ZORVANE_SOURCE_DIR), 0);
        set_datafile_mode(DATAFILE_MODE_NONE);
        director = new Director(WIDTH, HEIGHT, 16.0f / 9.0f, false, 0);
        // Paused at the start: alive, so frames are drawn.
        director->music->start();
        director->music->toggle_pause();
    }
    static void TearDownTestSuite() {
        delete director;
        director = nullptr;
        SharedGlTest::TearDownTestSuite();
    }
    void SetUp() override {
        director->quit_posted = false;
        director->reshape(WIDTH, HEIGHT);
        // Nothing on unless a case switches it on.
        for (const char* name : {"ActiveScene1st", "ActiveScene2nd", "ActiveScene3rd", "ppDither", "ppFade",
                                 "ppRadblur", "ppHsl", "ppFilm"})
            set(name, -1);
    }

    // Replaces a track's keys with one constant value.
    static void set(const char* name, float value) {
        for (const SyncValue& v : director->music->sync_values().values()) {
            if (v.name != name) continue;
            ASSERT_NE(v.track, nullptr) << name;
            while (v.track->key_count > 0) delete_key(v.track, v.track->keys[0].row);
            insert_key(v.track, SyncKey{0, value, INTERP_HOLD});
            return;
        }
        FAIL() << "no sync value " << name;
    }

    // Draws a frame and reads the window back (the swap leaves the picture in place here).
    static std::vector<unsigned char> draw_frame() {
        director->frame();
        std::vector<unsigned char> pixels(WIDTH * HEIGHT * 4);
        glReadPixels(0, 0, WIDTH, HEIGHT, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }
    static const unsigned char* at(const std::vector<unsigned char>& p, int x, int y) {
        return &p[static_cast<size_t>((y * WIDTH + x) * 4)];
    }

    static constexpr int WIDTH = 64, HEIGHT = 64;
    static inline Director* director = nullptr;
};

// The track files are the show's source: a value without a file would play its default unnoticed,
// and a file no value reads is choreography that never reaches the screen.
TEST_F(DirectorGl, EveryTrackedValueHasItsFileAndEveryFileItsValue) {
    std::set<std::string> registered, files;
    for (const SyncValue& v : director->music->sync_values().values())
        if (v.track) registered.insert(v.name);
    for (const auto& entry : std::filesystem::directory_iterator("data/sync_tracker")) {
        const std::string file = entry.path().filename().string();
        if (file.size() > 7 && file[0] == '_' && file.compare(file.size() - 6, 6, ".track") == 0)
            files.insert(file.substr(1, file.size() - 7));
    }
    EXPECT_GT(registered.size(), 100u);
    for (const std::string& name : registered) EXPECT_EQ(files.count(name), 1u) << name << " has no track file";
    for (const std::string& name : files) EXPECT_EQ(registered.count(name), 1u) << "_" << name << ".track is read by nothing";
}

TEST_F(DirectorGl, LetterboxKeepsTheAspect) {
    director->reshape(1000, 400);
    int picture[4];
    director->picture_rectangle(picture);
    EXPECT_EQ(director->viewport_width, 711);
    EXPECT_EQ(director->viewport_height, 400);
    EXPECT_EQ(picture[0], 144);
    EXPECT_EQ(picture[1], 0);
    director->reshape(400, 400);
    director->picture_rectangle(picture);
    EXPECT_EQ(director->viewport_width, 400);
    EXPECT_EQ(director->viewport_height, 224);  // 400 / (16/9 in single precision) truncates
    EXPECT_EQ(picture[1], 88);
    EXPECT_EQ(director->post_targets[0]->width, 400);
    EXPECT_EQ(director->scene_target->height, 224);
}

TEST_F(DirectorGl, ActiveSceneValuesTruncateTowardZero) {
    set("ActiveScene1st", 2.7f);
    set("ActiveScene2nd", -0.5f);
    set("ActiveScene3rd", 9);
    EXPECT_EQ(director->active_scenes(), (std::vector<int>{2, 0, 9}));
    set("ActiveScene3rd", -1);
    EXPECT_EQ(director->active_scenes()[2], -1);
    // Values with no int conversion select no scene.
    set("ActiveScene1st", std::nanf(""));
    set("ActiveScene2nd", 1e30f);
    set("ActiveScene3rd", -1e30f);
    EXPECT_EQ(director->active_scenes(), (std::vector<int>{-1, -1, -1}));
}

TEST_F(DirectorGl, EffectsRunInTheOrderOfTheirValues) {
    set("ppFilm", 0.5f);
    set("ppHsl", 0.2f);
    auto effects = director->active_effects();
    ASSERT_EQ(effects.size(), 2u);
    EXPECT_EQ(director->post_effects[static_cast<size_t>(effects[0].first)]->name(), "Hsl");
    EXPECT_EQ(director->post_effects[static_cast<size_t>(effects[1].first)]->name(), "Film");
    // Equal values keep the list order; 0 counts as on.
    set("ppFilm", -1);
    set("ppHsl", 0);
    set("ppFade", 0);
    set("ppDither", 0);
    effects = director->active_effects();
    ASSERT_EQ(effects.size(), 3u);
    EXPECT_EQ(effects[0].first, 0);
    EXPECT_EQ(effects[1].first, 1);
    EXPECT_EQ(effects[2].first, 3);
}

TEST_F(DirectorGl, NothingSelectedGivesABlackPicture) {
    auto frame = draw_frame();
    ASSERT_FALSE(frame.empty());
    for (size_t i = 0; i < frame.size(); i += 4) ASSERT_EQ(frame[i] + frame[i + 1] + frame[i + 2], 0) << i / 4;
}

// A scene whose picture is known: a translucent band across the middle in its own colour, drawn
// over whatever the scenes before it left.
class BandScene : public Scene {
public:
    explicit BandScene(const Vec4& colour) : colour(colour) {}
    void render() override {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, 1, 0, 1, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glColor4f(colour.x, colour.y, colour.z, 0.45f);
        glBegin(GL_QUADS);
        glVertex2f(0, 0.38f);
        glVertex2f(1, 0.38f);
        glVertex2f(1, 0.62f);
        glVertex2f(0, 0.62f);
        glEnd();
    }
    Vec4 colour;
};

TEST_F(DirectorGl, ScenesAreDrawnIntoThePicture) {
    // Two slots of the table hold known scenes for the test; the show's own go back after it.
    const Vec4 colour(0.2f, 0.6f, 1.0f, 1), top(1.0f, 0.8f, 0.2f, 1);
    const int below = 3, above = 6;
    std::unique_ptr<Scene> kept_below = std::exchange(director->scenes[below], std::make_unique<BandScene>(colour));
    std::unique_ptr<Scene> kept_above = std::exchange(director->scenes[above], std::make_unique<BandScene>(top));
    set("ActiveScene1st", static_cast<float>(below) + 0.7f);
    auto frame = draw_frame();
    int picture[4];
    director->picture_rectangle(picture);
    // In the band: the scene's colour at the band's alpha over black.
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(at(frame, 2, HEIGHT / 2)[c], colour[c] * 0.45 * 255, 4) << c;
    // The second scene is drawn after the first, over it.
    set("ActiveScene2nd", static_cast<float>(above) + 0.5f);
    frame = draw_frame();
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(at(frame, 2, HEIGHT / 2)[c], (0.45 * top[c] + 0.55 * 0.45 * colour[c]) * 255, 5) << c;
    // The bars outside the picture stay black.
    EXPECT_EQ(at(frame, WIDTH / 2, picture[1] - 1)[0], 0);
    EXPECT_EQ(at(frame, WIDTH / 2, HEIGHT - picture[1])[1], 0);
    director->scenes[below] = std::move(kept_below);
    director->scenes[above] = std::move(kept_above);
}

TEST_F(DirectorGl, OneEffectPresentsStraightAndTwoPingPong) {
    // One effect: from target 0 straight to the window; target 1 is not touched.
    director->post_targets[1]->bind(true);
    director->post_targets[1]->unbind();
    set("ppFade", 0);
    set("ppFadeValue", 1);  // all the way to white
    auto frame = draw_frame();
    EXPECT_EQ(at(frame, WIDTH / 2, HEIGHT / 2)[0], 255);
    auto target_one = [] {
        director->post_targets[1]->bind(false);
        unsigned char p[4];
        glReadPixels(4, 4, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
        director->post_targets[1]->unbind();
        return static_cast<int>(p[0]);
    };
    EXPECT_EQ(target_one(), 0);
    // Two effects: the first pass writes target 1, the second presents it.
    set("ppHsl", 1);
    set("ppHslSaturate", 0);
    frame = draw_frame();
    EXPECT_EQ(target_one(), 255);
    EXPECT_EQ(at(frame, WIDTH / 2, HEIGHT / 2)[1], 255);
}

TEST_F(DirectorGl, TheEndOfTheMusicPostsOneQuit) {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
    }
    director->music->set_time(1e6f);  // past the end: no longer playing
    director->music->toggle_pause();  // resume, so only the end keeps it from being alive
    const int frames = director->frame_number;
    for (int i = 0; i < 3; ++i) director->frame();
    EXPECT_TRUE(director->quit_posted);
    EXPECT_EQ(director->frame_number, frames);  // nothing drawn after the end
    int quits = 0;
    while (SDL_PollEvent(&event)) quits += event.type == SDL_QUIT;
    EXPECT_EQ(quits, 1);
    director->music->set_time(0);
    director->music->toggle_pause();
}

// ---- the scene preset ----------------------------------------------------------------------

struct Bare : Scene {};

TEST(ScenePreset, DefaultsMatchTheDirectorsStateAndReshapeResetsTheMatrices) {
    open_test_window();
    Bare scene;
    glEnable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glEnable(GL_SCISSOR_TEST);
    glBlendFunc(GL_ONE, GL_ONE);
    glDepthFunc(GL_ALWAYS);
    glActiveTexture(GL_TEXTURE3);
    scene.apply_gl_state();
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
    EXPECT_FALSE(glIsEnabled(GL_LIGHT1));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
    EXPECT_TRUE(glIsEnabled(GL_NORMALIZE));
    GLint value = 0;
    glGetIntegerv(GL_BLEND_SRC, &value);
    EXPECT_EQ(value, GL_SRC_ALPHA);
    glGetIntegerv(GL_BLEND_DST, &value);
    EXPECT_EQ(value, GL_ONE_MINUS_SRC_ALPHA);
    glGetIntegerv(GL_DEPTH_FUNC, &value);
    EXPECT_EQ(value, GL_LESS);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &value);
    EXPECT_EQ(value, GL_TEXTURE0);
    glGetIntegerv(GL_LIGHT_MODEL_COLOR_CONTROL, &value);
    EXPECT_EQ(value, GL_SEPARATE_SPECULAR_COLOR);
    float diffuse[4];
    glGetLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    EXPECT_EQ(diffuse[0] + diffuse[1] + diffuse[2] + diffuse[3], 0.0f);
    // A scene's own preset: blending on, lighting on.
    scene.preset[Scene::PRESET_BLEND] = true;
    scene.preset[Scene::PRESET_LIGHTING] = true;
    scene.depth_func = GL_LEQUAL;
    scene.apply_gl_state();
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    glGetIntegerv(GL_DEPTH_FUNC, &value);
    EXPECT_EQ(value, GL_LEQUAL);

    glMatrixMode(GL_PROJECTION);
    glTranslatef(1, 2, 3);
    scene.reshape(640, 360);
    GLint box[4];
    glGetIntegerv(GL_VIEWPORT, box);
    EXPECT_EQ(box[2], 640);
    EXPECT_EQ(box[3], 360);
    glGetIntegerv(GL_SCISSOR_BOX, box);
    EXPECT_EQ(box[3], 360);
    glGetIntegerv(GL_MATRIX_MODE, &value);
    EXPECT_EQ(value, GL_MODELVIEW);
    float m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_EQ(m[12], 0.0f);

    // The base operations are not meant to run.
    ThrowOnFatal guard;
    for (auto call : {&Scene::init, &Scene::render}) {
        try {
            (scene.*call)();
            ADD_FAILURE();
        } catch (const FatalError& e) {
            EXPECT_EQ(e.report.caption, "Error");
            EXPECT_NE(e.report.text.find("Error in file src/scenes/scene/scene:"), std::string::npos);
        }
    }
    SDL_Quit();
}

}  // namespace
