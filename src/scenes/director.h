// PLACEHOLDER Director: enough of the director's interface for the whole start-up path to run
// (clock, loading-screen fade-out, a black frame per batch, the end of the run). The real
// director, with music, scenes and post effects, replaces this file.
#pragma once

#include <SDL/SDL.h>

#include <cstdint>

class Director {
public:
    Director(int window_width, int window_height, float aspect, bool capture, int sync_client);
    ~Director() = default;

    void reshape(int width, int height);
    void start();
    void frame();

    // Input hooks: the presentation takes no input beyond what the frame loop handles itself.
    void set_mouse_capture(bool) {}
    void key_down(int, int, int) {}
    void key_up(int, int, int) {}
    void mouse_motion(const SDL_Event&) {}
    void mouse_button(const SDL_Event&) {}

    int32_t window_width, window_height;
    float aspect;
    bool capture;
    int32_t sync_client;
    int32_t frame_number = 0;

private:
    float start_seconds = 0.0f;
};

// Set once the director has posted SDL_QUIT; from then on frame() does nothing.
extern bool quit_posted;
