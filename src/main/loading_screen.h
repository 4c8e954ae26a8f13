// The loading screen: a progress bar over the group logo, redrawn while the archive serves the
// start-up requests (at most every 40 ms), faded out over 500 ms before the music starts, and
// silent before begin() and after the fade-out. Escape or closing the window while it is up
// ends the process with code 1.
// Depends on: main/frame_loop, util/data (progress), util/texture (the logo), platform/clock, GLEW and GLU.
#pragma once

#include <cstdint>
#include <memory>

#include "main/frame_loop.h"
#include "util/gl/gl_name.h"
#include "util/texture/texture.h"

struct Viewport {
    int x, y, width, height;
};

// The largest centred rectangle of the given aspect inside a w x h window (h taken as >= 1).
Viewport letterbox_viewport(int window_width, int window_height, float aspect);

class LoadingScreen;

// What actually reaches the screen; tests install a recording painter instead of GL.
struct LoadingScreenPainter {
    void (*clear_both_buffers)();
    void (*paint)(const LoadingScreen& screen, float brightness);
};

class LoadingScreen {
public:
    static constexpr uint32_t REDRAW_INTERVAL_MS = 40;
    static constexpr uint32_t FADE_OUT_MS = 500;
    static constexpr float BAR_LEFT = 0.1f, BAR_RIGHT = 0.9f, BAR_TOP = 0.1f, BAR_BOTTOM = 0.05f;
    static constexpr float BAR_SIDE_WIDTH = 0.005f;

    void begin(int width, int height, float aspect);
    // The group logo, read through the archive like every asset; drawn behind the bar.
    void load_logo();
    void draw(float brightness, bool force);
    void fade_out();

    // Right end of the fill, in viewport units.
    float fill_right() const;
    // The bar is white until it is more than half full, then takes the brightness colour.
    bool bar_is_white() const { return done <= total / 2; }
    Viewport viewport() const { return letterbox_viewport(window_width, window_height, aspect); }

    int window_width = 0, window_height = 1;
    float aspect = 16.0f / 9.0f;
    std::unique_ptr<Texture> logo;
    // The logo as a full-brightness draw left it in the window, one texel per pixel of the
    // viewport: redraws during loading copy it instead of filtering the mipmapped logo again,
    // which on a software rasteriser is most of what a redraw costs. Gone after the fade-out.
    struct LogoCopy {
        GlTexture texture;
        const Texture* source = nullptr;
        int width = 0, height = 0;
        GLint window_framebuffer = -1, window_read_buffer = 0;  // as begin() found them
    };
    mutable LogoCopy logo_copy;
    uint32_t next_redraw_ms = 0;
    uint32_t done = 0, total = 150;
    bool begun = false;
    bool finished = false;

    // Seams for tests; the platform's clock, SDL's queue and GL otherwise.
    uint32_t (*now_ms)() = default_now_ms;
    PollEventFn poll = SDL_PollEvent;
    LoadingScreenPainter painter = gl_painter();

    // The archive's progress callback (data: the screen): every served request may redraw.
    static void on_archive_request(void* screen);

private:
    void update_progress();
    static uint32_t default_now_ms();
    static LoadingScreenPainter gl_painter();
};
