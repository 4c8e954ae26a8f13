#include <gtest/gtest.h>

#include <vector>

#include "main/loading_screen.h"
#include "test_support.h"
#include "util/data/data.h"

namespace {

uint32_t fake_now = 0;
uint32_t fake_clock() { return fake_now; }
// A clock that moves on by 7 ms at every reading, for the fade-out loop.
uint32_t running_clock() { return fake_now += 7; }

std::vector<SDL_Event> pending_events;
int fake_poll(SDL_Event* event) {
    if (pending_events.empty()) return 0;
    *event = pending_events.front();
    pending_events.erase(pending_events.begin());
    return 1;
}

struct Paint {
    float brightness;
    uint32_t done, total;
};
std::vector<Paint> paints;
int clears = 0;

class LoadingScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake_now = 1000;
        pending_events.clear();
        paints.clear();
        clears = 0;
        screen.now_ms = fake_clock;
        screen.poll = fake_poll;
        screen.painter = LoadingScreenPainter{
            [] { ++clears; },
            [](const LoadingScreen& s, float b) { paints.push_back({b, s.done, s.total}); }};
        set_datafile_mode(DATAFILE_MODE_NONE);
    }
    LoadingScreen screen;
};

TEST_F(LoadingScreenTest, DoesNothingBeforeBegin) {
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    pending_events = {quit};
    screen.draw(1.0f, true);
    screen.draw(1.0f, false);
    EXPECT_TRUE(paints.empty());
    EXPECT_EQ(pending_events.size(), 1u);  // events untouched, process still alive
}

TEST_F(LoadingScreenTest, BeginClearsBothBuffersAndDraws) {
    screen.begin(640, 0, 16.0f / 9.0f);
    EXPECT_EQ(clears, 1);
    ASSERT_EQ(paints.size(), 1u);
    EXPECT_FLOAT_EQ(paints[0].brightness, 1.0f);
    EXPECT_EQ(screen.window_height, 1);
}

TEST_F(LoadingScreenTest, UnforcedRedrawsAreThrottledTo40Ms) {
    screen.begin(640, 360, 16.0f / 9.0f);
    ASSERT_EQ(paints.size(), 1u);
    fake_now += 39;
    screen.draw(1.0f, false);
    EXPECT_EQ(paints.size(), 1u);
    screen.draw(0.5f, true);  // forced draws always happen, and restart the interval
    EXPECT_EQ(paints.size(), 2u);
    fake_now += 39;
    screen.draw(1.0f, false);
    EXPECT_EQ(paints.size(), 2u);
    fake_now += 1;
    screen.draw(1.0f, false);
    EXPECT_EQ(paints.size(), 3u);
}

TEST_F(LoadingScreenTest, ProgressCyclesOutsideReadMode) {
    screen.begin(640, 360, 16.0f / 9.0f);
    EXPECT_EQ(paints.back().done, 1u);
    screen.done = 149;
    screen.draw(1.0f, true);
    EXPECT_EQ(paints.back().done, 0u);
    EXPECT_EQ(paints.back().total, 150u);
}

TEST_F(LoadingScreenTest, ServedArchiveRequestsRedrawThroughTheProgressCallback) {
    TempFolder folder{true};
    FILE* f = fopen("asset", "wb");
    fputs("x", f);
    fclose(f);
    set_datafile_progress(LoadingScreen::on_archive_request, &screen);
    screen.begin(640, 360, 16.0f / 9.0f);
    fake_now += LoadingScreen::REDRAW_INTERVAL_MS;
    uint32_t size = 0;
    free(load_file("asset", "rb", &size, false));
    EXPECT_EQ(paints.size(), 2u);
    free(load_file("asset", "rb", &size, false));  // within the interval: throttled
    EXPECT_EQ(paints.size(), 2u);
    EXPECT_EQ(load_file("missing", "rb", &size, false), nullptr);
    fake_now += LoadingScreen::REDRAW_INTERVAL_MS;
    EXPECT_EQ(paints.size(), 2u);  // a failed request asks for nothing
    set_datafile_progress(nullptr, nullptr);
}

TEST_F(LoadingScreenTest, EmptyArchiveInReadModeDoesNotDivideByZero) {
    set_datafile_mode(DATAFILE_MODE_READ);
    screen.begin(640, 360, 16.0f / 9.0f);
    EXPECT_EQ(screen.total, 0u);
    EXPECT_FLOAT_EQ(screen.fill_right(), LoadingScreen::BAR_LEFT);
    set_datafile_mode(DATAFILE_MODE_NONE);
}

TEST_F(LoadingScreenTest, FillAndColourFollowTheProgress) {
    screen.total = 40;
    screen.done = 10;
    EXPECT_FLOAT_EQ(screen.fill_right(), 0.3f);
    EXPECT_TRUE(screen.bar_is_white());
    screen.done = 20;
    EXPECT_TRUE(screen.bar_is_white());  // exactly half is still white
    screen.done = 30;
    EXPECT_FLOAT_EQ(screen.fill_right(), 0.7f);
    EXPECT_FALSE(screen.bar_is_white());
    screen.total = 41;
    screen.done = 20;  // integer half of 41 is 20
    EXPECT_TRUE(screen.bar_is_white());
    screen.done = 21;
    EXPECT_FALSE(screen.bar_is_white());
}

TEST_F(LoadingScreenTest, FadeOutLasts500MsAndEndsWithAForcedDrawAtZero) {
    screen.begin(640, 360, 16.0f / 9.0f);
    paints.clear();
    screen.now_ms = running_clock;
    uint32_t start = fake_now;
    screen.fade_out();
    uint32_t elapsed = fake_now - start;
    EXPECT_GE(elapsed, 500u);
    EXPECT_LT(elapsed, 500u + 5 * 7u);
    ASSERT_GE(paints.size(), 500u / 14u);
    EXPECT_FLOAT_EQ(paints.back().brightness, 0.0f);
    EXPECT_FLOAT_EQ(paints[paints.size() - 2].brightness, 0.0f);  // the loop's last is clamped
    for (size_t i = 1; i < paints.size(); ++i) EXPECT_LE(paints[i].brightness, paints[i - 1].brightness);
    EXPECT_GT(paints.front().brightness, 0.95f);
    EXPECT_TRUE(screen.finished);

    size_t count = paints.size();
    screen.draw(1.0f, true);
    screen.draw(1.0f, false);
    EXPECT_EQ(paints.size(), count);
}

TEST(LetterboxViewport, CentredRectangleOfTheAspect) {
    const float wide = 16.0f / 9.0f;
    auto check = [](Viewport v, int x, int y, int w, int h) {
        EXPECT_EQ(v.x, x);
        EXPECT_EQ(v.y, y);
        EXPECT_EQ(v.width, w);
        EXPECT_EQ(v.height, h);
    };
    check(letterbox_viewport(1920, 1080, wide), 0, 0, 1920, 1080);
    check(letterbox_viewport(1920, 1200, wide), 0, 60, 1920, 1080);
    check(letterbox_viewport(1280, 1024, wide), 0, 152, 1280, 720);
    check(letterbox_viewport(2560, 1080, wide), 320, 0, 1920, 1080);
    check(letterbox_viewport(1024, 768, 4.0f / 3.0f), 0, 0, 1024, 768);
    check(letterbox_viewport(1000, 0, 16.0f / 10.0f), 499, 0, 1, 1);  // height taken as 1
}

using LoadingScreenDeathTest = LoadingScreenTest;

TEST_F(LoadingScreenDeathTest, EscapeOrQuitDuringLoadingExitsOne) {
    screen.begin(640, 360, 16.0f / 9.0f);
    SDL_Event escape{};
    escape.type = SDL_KEYDOWN;
    escape.key.keysym.sym = SDLK_ESCAPE;
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    for (SDL_Event event : {escape, quit}) {
        EXPECT_EXIT(
            {
                pending_events = {event};
                screen.draw(1.0f, true);
            },
            ::testing::ExitedWithCode(1), "");
    }
    // Other keys are drained and drawing goes on.
    SDL_Event other = escape;
    other.key.keysym.sym = SDLK_a;
    pending_events = {other, other};
    screen.draw(1.0f, true);
    EXPECT_TRUE(pending_events.empty());
}

}  // namespace
