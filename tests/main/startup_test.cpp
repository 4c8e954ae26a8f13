#include <gtest/gtest.h>

#include <map>

#include "main/startup.h"

namespace {

std::map<SDL_GLattr, int> attributes(const Settings& s) {
    std::map<SDL_GLattr, int> out;
    for (auto [attribute, value] : gl_attributes_for(s)) out[attribute] = value;
    return out;
}

TEST(GlAttributes, MultisamplingFollowsTheAntialiasSetting) {
    Settings s;
    auto none = attributes(s);
    EXPECT_EQ(none[SDL_GL_MULTISAMPLEBUFFERS], 0);
    EXPECT_EQ(none[SDL_GL_MULTISAMPLESAMPLES], 0);
    s.antialias_samples = 4;
    auto four = attributes(s);
    EXPECT_EQ(four[SDL_GL_MULTISAMPLEBUFFERS], 1);
    EXPECT_EQ(four[SDL_GL_MULTISAMPLESAMPLES], 4);
}

TEST(GlAttributes, ColourDoubleBufferAndSwapControl) {
    Settings s;
    s.vsync = 0;
    auto a = attributes(s);
    EXPECT_EQ(a.size(), 8u);  // no depth or stencil request: SDL's defaults apply
    EXPECT_EQ(a[SDL_GL_RED_SIZE] + a[SDL_GL_GREEN_SIZE] + a[SDL_GL_BLUE_SIZE] + a[SDL_GL_ALPHA_SIZE], 32);
    EXPECT_EQ(a[SDL_GL_DOUBLEBUFFER], 1);
    EXPECT_EQ(a[SDL_GL_SWAP_CONTROL], 0);
    EXPECT_EQ(a.count(SDL_GL_DEPTH_SIZE), 0u);
}

TEST(WindowFlags, OpenGlResizableAndWindowedForCaptureAndEditing) {
    Settings s;
    EXPECT_EQ(window_flags_for(s), SDL_FULLSCREEN_BIT | SDL_OPENGL | SDL_RESIZABLE);
    s.capture = true;
    EXPECT_EQ(window_flags_for(s), static_cast<uint32_t>(SDL_OPENGL | SDL_RESIZABLE));
    s.capture = false;
    s.sync_client = 1;
    EXPECT_EQ(window_flags_for(s), static_cast<uint32_t>(SDL_OPENGL | SDL_RESIZABLE));
    s.sync_client = 0;
    s.video_flags = 0;
    EXPECT_EQ(window_flags_for(s), static_cast<uint32_t>(SDL_OPENGL | SDL_RESIZABLE));
}

}  // namespace

namespace {

TEST(StartupDeathTest, VideoInitialisationFailureIsFatal) {
    EXPECT_EXIT(
        {
            setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
            init_sdl_video();
        },
        ::testing::ExitedWithCode(1),
        "Error in file src/main/startup:[0-9]+\n\nVideo initialization failed: ");
}

}  // namespace
