// The frame loop: drains SDL's event queue, turns each event into a director call, then asks
// the director for exactly one frame, until Escape or SDL_QUIT. The director type is a
// template parameter so the loop can be driven with synthetic events and a recording target.
// Depends on: SDL (events and the pointer warp); the director type is a template parameter.
#pragma once

#include <SDL/SDL.h>

using PollEventFn = int (*)(SDL_Event*);
using WarpMouseFn = void (*)(Uint16 x, Uint16 y);

struct FrameLoop {
    bool quit = false;
    bool mouse_captured = false;
    int warp_x = 0, warp_y = 0;  // centre of the size chosen at start-up
    // True between a pointer warp and the motion event the warp itself produces.
    bool warp_pending = false;
    PollEventFn poll = SDL_PollEvent;
    WarpMouseFn warp = SDL_WarpMouse;

    template <typename Target>
    void handle(const SDL_Event& event, Target& director);

    // `captured` is whether the full-screen bit was set after start-up.
    template <typename Target>
    void run(Target& director, bool captured);
};

template <typename Target>
void FrameLoop::handle(const SDL_Event& event, Target& director) {
    switch (event.type) {
        case SDL_KEYDOWN:
            if (event.key.keysym.sym == SDLK_ESCAPE) {
                quit = true;
            } else if (event.key.keysym.sym == SDLK_F12) {
                mouse_captured = !mouse_captured;
                director.set_mouse_capture(mouse_captured);
            } else {
                director.key_down(event.key.keysym.sym, 0, 0);
            }
            break;
        case SDL_KEYUP:
            director.key_up(event.key.keysym.sym, 0, 0);
            break;
        case SDL_MOUSEMOTION:
            if (warp_pending) {
                warp_pending = false;
                break;
            }
            director.mouse_motion(event);
            if (mouse_captured) {
                warp(static_cast<Uint16>(warp_x), static_cast<Uint16>(warp_y));
                warp_pending = true;
            }
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            director.mouse_button(event);
            break;
        case SDL_QUIT:
            quit = true;
            break;
        case SDL_VIDEORESIZE:
            director.reshape(event.resize.w, event.resize.h);
            break;
        default:
            break;
    }
}

template <typename Target>
void FrameLoop::run(Target& director, bool captured) {
    mouse_captured = captured;
    director.set_mouse_capture(mouse_captured);
    while (!quit) {
        // The whole batch is handled even after quit is set; one last frame follows it.
        SDL_Event event;
        while (poll(&event)) handle(event, director);
        director.frame();
    }
}
