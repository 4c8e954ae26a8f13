// A small OpenGL window for tests that need a context (Mesa under Xvfb), in batch mode.
#pragma once

#include <gtest/gtest.h>

#include "gl_window.h"

// Identity projection and modelview, modelview current: drawing in -1..1 fills the viewport.
inline void load_identity_matrices() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// A fresh window and context for every test.
class GlTest : public ::testing::Test {
protected:
    void SetUp() override { open_test_window(); }
    void TearDown() override { SDL_Quit(); }
};

// One window and context shared by all tests of a suite, for GL objects that are slow to make.
class SharedGlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { open_test_window(); }
    static void TearDownTestSuite() { SDL_Quit(); }
};
