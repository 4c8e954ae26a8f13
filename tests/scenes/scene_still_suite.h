// A GoogleTest suite of picture checks on one scene: one window and one SceneStill of the given
// size shared by every test of the suite (opening them per test would dominate the run), with
// the repository as working folder so the show's files are found.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include "gl_support.h"
#include "scenes/scene_still.h"

template <int Width, int Height>
class SceneStillSuite : public SharedGlTest {
protected:
    static constexpr int WIDTH = Width, HEIGHT = Height;

    static void SetUpTestSuite() {
        SharedGlTest::SetUpTestSuite();
        ASSERT_EQ(chdir(ZORVANE_SOURCE_DIR), 0);
        still = new SceneStill(WIDTH, HEIGHT);
    }
    static void TearDownTestSuite() {
        delete still;
        still = nullptr;
        SharedGlTest::TearDownTestSuite();
    }

    static inline SceneStill* still = nullptr;
};
