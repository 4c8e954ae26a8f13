#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "main/frame_loop.h"

namespace {

// Event batches: the poll function hands out one batch, then reports an empty queue once.
std::deque<std::vector<SDL_Event>> batches;
size_t position_in_batch = 0;

int fake_poll(SDL_Event* event) {
    if (batches.empty()) return 0;
    if (position_in_batch < batches.front().size()) {
        *event = batches.front()[position_in_batch++];
        return 1;
    }
    batches.pop_front();
    position_in_batch = 0;
    return 0;
}

std::vector<std::string> warps;
void fake_warp(Uint16 x, Uint16 y) { warps.push_back(std::to_string(x) + "," + std::to_string(y)); }

struct RecordingDirector {
    std::vector<std::string> calls;
    void set_mouse_capture(bool c) { calls.push_back(c ? "capture on" : "capture off"); }
    void key_down(int sym, int a, int b) {
        calls.push_back("down " + std::to_string(sym) + " " + std::to_string(a + b));
    }
    void key_up(int sym, int, int) { calls.push_back("up " + std::to_string(sym)); }
    void mouse_motion(const SDL_Event& e) { calls.push_back("motion " + std::to_string(e.motion.x)); }
    void mouse_button(const SDL_Event& e) {
        calls.push_back(std::string(e.type == SDL_MOUSEBUTTONDOWN ? "press " : "release ") +
                        std::to_string(e.button.button));
    }
    void reshape(int w, int h) { calls.push_back("reshape " + std::to_string(w) + "x" + std::to_string(h)); }
    void frame() { calls.push_back("frame"); }
};

SDL_Event key(Uint8 type, SDLKey sym) {
    SDL_Event e{};
    e.type = type;
    e.key.keysym.sym = sym;
    return e;
}
SDL_Event motion(Uint16 x) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = x;
    return e;
}
SDL_Event resize(int w, int h) {
    SDL_Event e{};
    e.type = SDL_VIDEORESIZE;
    e.resize.w = w;
    e.resize.h = h;
    return e;
}
SDL_Event of_type(Uint8 type) {
    SDL_Event e{};
    e.type = type;
    return e;
}

class FrameLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        batches.clear();
        position_in_batch = 0;
        warps.clear();
        loop.poll = fake_poll;
        loop.warp = fake_warp;
        loop.warp_x = 320;
        loop.warp_y = 240;
    }
    FrameLoop loop;
    RecordingDirector director;
};

TEST_F(FrameLoopTest, EscapeThenResizeDeliversTheResizeAndOneMoreFrame) {
    batches = {{}, {key(SDL_KEYDOWN, SDLK_ESCAPE), resize(800, 600)}, {resize(1, 1)}};
    loop.run(director, false);
    EXPECT_EQ(director.calls,
              (std::vector<std::string>{"capture off", "frame", "reshape 800x600", "frame"}));
}

TEST_F(FrameLoopTest, QuitEventEndsAfterTheFrameOfItsBatch) {
    batches = {{of_type(SDL_QUIT), key(SDL_KEYDOWN, SDLK_a)}};
    loop.run(director, true);
    EXPECT_EQ(director.calls, (std::vector<std::string>{"capture on", "down 97 0", "frame"}));
}

TEST_F(FrameLoopTest, KeysButtonsAndIgnoredEvents) {
    SDL_Event press = of_type(SDL_MOUSEBUTTONDOWN);
    press.button.button = 1;
    SDL_Event release = of_type(SDL_MOUSEBUTTONUP);
    release.button.button = 3;
    batches = {{key(SDL_KEYDOWN, SDLK_SPACE), key(SDL_KEYUP, SDLK_SPACE), key(SDL_KEYUP, SDLK_ESCAPE),
                press, release, of_type(SDL_ACTIVEEVENT), of_type(SDL_VIDEOEXPOSE),
                of_type(SDL_SYSWMEVENT), of_type(SDL_JOYAXISMOTION)},
               {key(SDL_KEYDOWN, SDLK_ESCAPE)}};
    loop.run(director, false);
    EXPECT_EQ(director.calls,
              (std::vector<std::string>{"capture off", "down 32 0", "up 32", "up 27", "press 1",
                                        "release 3", "frame", "frame"}));
}

TEST_F(FrameLoopTest, InAWindowMotionPassesAndThePointerIsNeverWarped) {
    batches = {{motion(5), motion(6)}, {key(SDL_KEYDOWN, SDLK_ESCAPE)}};
    loop.run(director, false);
    EXPECT_TRUE(warps.empty());
    EXPECT_EQ(director.calls,
              (std::vector<std::string>{"capture off", "motion 5", "motion 6", "frame", "frame"}));
}

TEST_F(FrameLoopTest, AfterF12EveryMotionIsFollowedByAWarpWhoseOwnMotionIsSwallowed) {
    // The real motion, the warp's motion (swallowed), another real one, its warp's motion.
    batches = {{key(SDL_KEYDOWN, SDLK_F12), motion(10), motion(320), motion(11), motion(320)},
               {key(SDL_KEYDOWN, SDLK_F12), motion(12), motion(13), key(SDL_KEYDOWN, SDLK_ESCAPE)}};
    loop.run(director, false);
    EXPECT_EQ(warps, (std::vector<std::string>{"320,240", "320,240"}));
    EXPECT_EQ(director.calls,
              (std::vector<std::string>{"capture off", "capture on", "motion 10", "motion 11",
                                        "frame", "capture off", "motion 12", "motion 13", "frame"}));
    EXPECT_FALSE(loop.mouse_captured);
}

TEST_F(FrameLoopTest, FullScreenStartsCaptured) {
    batches = {{motion(1), motion(320), motion(2)}, {of_type(SDL_QUIT)}};
    loop.run(director, true);
    EXPECT_EQ(warps.size(), 2u);
    EXPECT_EQ(director.calls, (std::vector<std::string>{"capture on", "motion 1", "motion 2",
                                                        "frame", "frame"}));
    EXPECT_TRUE(loop.warp_pending);  // the second warp's motion has not arrived yet
}

}  // namespace
