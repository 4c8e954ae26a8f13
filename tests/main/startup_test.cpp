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

TEST(WindowFlags, OpenGlResizableAndWindowedForCaptureAndEditing) {
    Settings s;
    EXPECT_EQ(window_flags_for(s), SDL_FULLSCREEN_BIT | SDL_OPENGL | SDL_RESIZABLE);
    s.capture = true;
    EXPECT_EQ(window_flags_for(s), static_cast<uint32_t>(SDL_OPENGL | SDL_RESIZABLE));
    s.capture = false;
    s.sync_client = true;
    EXPECT_EQ(window_flags_for(s), static_cast<uint32_t>(SDL_OPENGL | SDL_RESIZABLE));
    s.sync_client = false;
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
