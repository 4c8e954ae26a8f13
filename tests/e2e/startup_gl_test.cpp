// Start-up under a real X server and OpenGL: the whole program in-process, and what the
// loading screen actually puts on the screen.
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "main/frame_clock.h"
#include "main/loading_screen.h"
#include "main/startup.h"
#include "test_support.h"
#include "util/data/data.h"
#include "util/texture/texture.h"

namespace {

TEST(StartupGl, WholeRunShowsTheLoadingScreenRunsFramesAndEndsInOrder) {
    const char* argv[] = {"zorvane",       "--no-dialog", "--window", "--size", "320x180",
                          "--until",       "0.5",         "--archive-mode", "loose"};
    // The loose production files, the logo among them, are where a run starts.
    ASSERT_EQ(chdir(ZORVANE_SOURCE_DIR), 0);
    testing::internal::CaptureStdout();
    int code = zorvane_main(static_cast<int>(std::size(argv)), argv);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, 0);
    ASSERT_NE(shell.loading_screen.logo, nullptr);
    EXPECT_EQ(shell.loading_screen.logo->get_width(), 512);
    EXPECT_TRUE(shell.loading_screen.begun);
    EXPECT_TRUE(shell.loading_screen.finished);
    EXPECT_EQ(shell.loading_screen.window_width, 320);
    EXPECT_EQ(get_datafile_mode(), DATAFILE_MODE_NONE);
    // Frames kept ticking the clock until the end of the run.
    EXPECT_GE(shell.frame_clock.last_time, 0.5f);
    EXPECT_EQ(shell.settings.video_flags & SDL_FULLSCREEN_BIT, 0u);
}

TEST(StartupGl, LoadingScreenPaintsTheBarInsideTheLetterbox) {
    init_sdl_video();
    Settings s;
    s.width = 320;
    s.height = 240;  // 4:3 window, 16:9 picture: bands of 30 pixels above and below
    s.video_flags = window_flags_for(s) & ~SDL_FULLSCREEN_BIT;
    open_gl_window(s, 0);

    LoadingScreen screen;
    screen.total = 40;
    screen.done = 29;  // drawn with done = 30 after the cycling step: past half
    set_datafile_mode(DATAFILE_MODE_NONE);
    screen.begin(320, 240, 16.0f / 9.0f);
    screen.draw(0.5f, true);

    auto pixel = [](int x, int y) {
        unsigned char rgb[3] = {0, 0, 0};
        glReadBuffer(GL_FRONT);
        glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
        return static_cast<int>(rgb[0]);
    };
    // Viewport is 320x180 at y = 30; the fill runs from x 0.1 to 0.7, y 0.05 to 0.1.
    const int y = 30 + static_cast<int>(0.075f * 180);
    EXPECT_NEAR(pixel(static_cast<int>(0.4f * 320), y), 128, 2);   // brightness colour
    EXPECT_EQ(pixel(static_cast<int>(0.8f * 320), y), 0);          // beyond the fill
    EXPECT_EQ(pixel(160, 10), 0);                                  // letterbox band
    EXPECT_EQ(pixel(160, 30 + 90), 0);                             // picture above the bar
    SDL_Quit();
}

TEST(StartupGl, LoadingScreenRedrawsTheLogoFromItsCopyPixelForPixel) {
    ASSERT_EQ(chdir(ZORVANE_SOURCE_DIR), 0);
    init_sdl_video();
    Settings s;
    s.width = 320;
    s.height = 240;
    s.video_flags = window_flags_for(s) & ~SDL_FULLSCREEN_BIT;
    open_gl_window(s, 0);
    set_datafile_mode(DATAFILE_MODE_NONE);

    LoadingScreen screen;
    screen.total = 1;  // loose files cycle the fill; with one step it stays where it is
    screen.begin(320, 240, 16.0f / 9.0f);
    screen.load_logo();
    auto front = [] {
        std::vector<unsigned char> rgb(320 * 240 * 3);
        glReadBuffer(GL_FRONT);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, 320, 240, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        glReadBuffer(GL_BACK);
        return rgb;
    };
    screen.draw(1.0f, true);  // filters the logo, and keeps what it drew
    const std::vector<unsigned char> direct = front();
    ASSERT_NE(screen.logo_copy.texture.get(), 0u);
    screen.draw(1.0f, true);  // from the copy
    EXPECT_TRUE(front() == direct);
    // Not a black screen compared with itself: the logo is there.
    EXPECT_GT(std::count_if(direct.begin(), direct.end(), [](unsigned char c) { return c > 16; }), 1000);

    // A fading logo is filtered again at its brightness; the copy goes with the fade-out.
    screen.draw(0.5f, true);
    const std::vector<unsigned char> half = front();
    EXPECT_FALSE(half == direct);
    screen.fade_out();
    EXPECT_EQ(screen.logo_copy.texture.get(), 0u);
    SDL_Quit();
}

TEST(StartupGlDeathTest, UnsetSizeIsAVideoModeFailure) {
    EXPECT_EXIT(
        {
            init_sdl_video();
            Settings s;  // width and height still -1
            s.video_flags = window_flags_for(s) & ~SDL_FULLSCREEN_BIT;
            open_gl_window(s, 0);
            fprintf(stderr, "opened\n");
            exit(3);
        },
        ::testing::ExitedWithCode(1), "Video mode set failed: ");
}

}  // namespace
