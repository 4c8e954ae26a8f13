// Start-up and shutdown of zorvane: SDL video, the setup dialog, the OpenGL window, GLEW and
// the extension check, the archive and the loading screen, the director and the frame loop,
// then everything torn down in a fixed order.
// Depends on: everything: main/*, scenes/director, util/data, platform (fatal, ui), SDL, GLEW.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include <SDL/SDL.h>

#include "main/frame_clock.h"
#include "main/loading_screen.h"
#include "main/settings.h"

// The state of a run of the program. Process-wide because the director's hooks and the
// archive's progress callback are plain functions that reach it without an argument.
struct Shell {
    Settings settings;
    RunOptions run_options;
    FrameClock frame_clock;
    LoadingScreen loading_screen;
};
extern Shell shell;

// The whole program; returns the process exit code.
int zorvane_main(int argc, const char* const* argv);

// ---- the steps, shared with zorvane-tool ----------------------------------------------------

// SDL video only (audio is not SDL's business here); fatal on failure. Returns the desktop depth.
int init_sdl_video();

// The OpenGL attributes a run asks for, in the order they are set.
std::vector<std::pair<SDL_GLattr, int>> gl_attributes_for(const Settings& settings);

// The SDL video flags of the window: OpenGL, resizable, never full screen while capturing
// or editing.
uint32_t window_flags_for(const Settings& settings);

// Sets the attributes and the video mode, the caption and GLEW; fatal on failure.
void open_gl_window(const Settings& settings, int depth);
