// The production's track files against the rules of the show that can be checked without
// watching it: scenes change only on 8-bar phrases and switch rather than blend, every scene of
// the table plays for a phrase at least, something is always selected, and the text billboards
// open and close the show.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <set>
#include <string>

#include "util/sync/sync.h"

namespace {

constexpr int32_t ROWS_PER_BAR = 32;
constexpr int32_t PHRASE_ROWS = 8 * ROWS_PER_BAR;
constexpr int32_t SHOW_ROWS = 96 * ROWS_PER_BAR;
constexpr int SCENE_COUNT = 9;
constexpr int TEXT_BILLBOARDS = 4;
const char* const LAYERS[] = {"ActiveScene1st", "ActiveScene2nd", "ActiveScene3rd"};

class Choreography : public ::testing::Test {
protected:
    void SetUp() override {
        base = std::string(ZORVANE_SOURCE_DIR) + "/data/sync_tracker/";
        device = create_sync_device(base.c_str(), false);
        ASSERT_NE(device, nullptr);
    }
    void TearDown() override { destroy_sync_device(device); }

    const SyncTrack* track(const char* name) {
        EXPECT_TRUE(std::filesystem::exists(base + "_" + name + ".track")) << name << " has no file";
        const SyncTrack* t = find_or_add_track(device, name, -1.0f);
        EXPECT_NE(t, nullptr) << name;
        return t;
    }

    // The scene indices the three layers select at a row, -1 for none.
    std::array<int, 3> selected(int32_t row) {
        std::array<int, 3> scenes{};
        for (int i = 0; i < 3; ++i)
            scenes[static_cast<size_t>(i)] = static_cast<int>(std::trunc(evaluate_track(track(LAYERS[i]), row)));
        return scenes;
    }

    std::string base;
    SyncDevice* device = nullptr;
};

TEST_F(Choreography, ScenesSwitchOnPhraseBoundariesToWholeSceneNumbers) {
    for (const char* name : LAYERS) {
        const SyncTrack* t = track(name);
        ASSERT_NE(t, nullptr);
        ASSERT_GT(t->key_count, 0) << name;
        for (int32_t k = 0; k < t->key_count; ++k) {
            const SyncKey& key = t->keys[k];
            SCOPED_TRACE(std::string(name) + " key at row " + std::to_string(key.row));
            EXPECT_EQ(key.row % PHRASE_ROWS, 0);
            EXPECT_EQ(key.interpolation, INTERP_HOLD);
            EXPECT_EQ(key.value, std::trunc(key.value));
            EXPECT_GE(key.value, -1.0f);
            EXPECT_LT(key.value, static_cast<float>(SCENE_COUNT));
        }
    }
}

TEST_F(Choreography, EverySceneHasAPhraseAndSomethingIsAlwaysDrawn) {
    std::array<int32_t, SCENE_COUNT> rows_on{};
    int32_t rows_without_a_scene = 0;
    for (int32_t row = 0; row < SHOW_ROWS; ++row) {
        std::set<int> on;
        for (int scene : selected(row))
            if (scene >= 0 && scene < SCENE_COUNT) on.insert(scene);
        if (on.empty()) ++rows_without_a_scene;
        for (int scene : on) ++rows_on[static_cast<size_t>(scene)];
    }
    EXPECT_EQ(rows_without_a_scene, 0);
    for (int scene = 0; scene < SCENE_COUNT; ++scene)
        EXPECT_GE(rows_on[static_cast<size_t>(scene)], PHRASE_ROWS) << "scene " << scene;
}

TEST_F(Choreography, TitlesOpenAndCreditsCloseTheShow) {
    auto has_text = [](const std::array<int, 3>& scenes) {
        return scenes[0] == TEXT_BILLBOARDS || scenes[1] == TEXT_BILLBOARDS || scenes[2] == TEXT_BILLBOARDS;
    };
    const SyncTrack* group = track("txScene");
    ASSERT_NE(group, nullptr);
    for (int32_t row : {0, PHRASE_ROWS - 1}) {
        EXPECT_TRUE(has_text(selected(row))) << row;
        EXPECT_EQ(evaluate_track(group, row), 0.0f) << "the title at row " << row;
    }
    for (int32_t row : {SHOW_ROWS - PHRASE_ROWS, SHOW_ROWS - 1}) {
        EXPECT_TRUE(has_text(selected(row))) << row;
        EXPECT_GE(evaluate_track(group, row), 1.0f) << "credits or greetings at row " << row;
    }
}

TEST_F(Choreography, AtLeastThreePhrasesDrawOneSceneOverAnother) {
    int layered_phrases = 0;
    for (int32_t row = 0; row < SHOW_ROWS; row += PHRASE_ROWS) {
        int drawn = 0;
        for (int scene : selected(row)) drawn += scene >= 0 && scene < SCENE_COUNT;
        layered_phrases += drawn > 1;
    }
    EXPECT_GE(layered_phrases, 3);
}

}  // namespace
