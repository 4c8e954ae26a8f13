// A small OpenGL window (Mesa under Xvfb) in batch mode, for tests and benchmarks alike.
#pragma once

#include <GL/glew.h>

#include <cstdlib>

#include "main/startup.h"
#include "platform/ui.h"
#include "util/data/data.h"

inline void open_test_window(int width = 64, int height = 64) {
    setenv("ZORVANE_BATCH", "1", 1);
    reset_batch_mode();
    reset_datafile();
    init_sdl_video();
    Settings s;
    s.width = width;
    s.height = height;
    s.video_flags = window_flags_for(s) & ~SDL_FULLSCREEN_BIT;
    open_gl_window(s, 0);
}
