#include "main/loading_screen.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstdlib>

#include "platform/clock.h"
#include "util/data/data.h"
#include "util/texture/texture.h"

// ---- geometry -------------------------------------------------------------------------------

Viewport letterbox_viewport(int window_width, int window_height, float aspect) {
    int w = window_width;
    int h = std::max(window_height, 1);
    int width, height;
    if (aspect < static_cast<float>(w) / static_cast<float>(h)) {
        width = static_cast<int>(aspect * static_cast<float>(h));
        height = h;
    } else {
        width = w;
        height = static_cast<int>(static_cast<float>(w) / aspect);
    }
    return Viewport{(w - width) / 2, (h - height) / 2, width, height};
}

float LoadingScreen::fill_right() const {
    // An empty archive has nothing to show progress of; the fill stays empty.
    if (total == 0) return BAR_LEFT;
    return BAR_LEFT + (BAR_RIGHT - BAR_LEFT) * static_cast<float>(done) / static_cast<float>(total);
}

// ---- drawing --------------------------------------------------------------------------------

uint32_t LoadingScreen::default_now_ms() { return tick_count_ms(); }

namespace {
void clear_all_buffers() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT | GL_ACCUM_BUFFER_BIT);
}

void quad(float x0, float y0, float x1, float y1) {
    glVertex2f(x0, y0);
    glVertex2f(x1, y0);
    glVertex2f(x1, y1);
    glVertex2f(x0, y1);
}

// The framebuffer and read buffer bound now: what the window is in GL terms, as the SDL layer
// may draw the window through a framebuffer of its own.
void current_draw_target(GLint& framebuffer, GLint& read_buffer) {
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &framebuffer);
    glGetIntegerv(GL_READ_BUFFER, &read_buffer);
}

void draw_copy_of_logo(const LoadingScreen::LogoCopy& copy) {
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, copy.texture);
    draw_unit_square_quad(0, 0, 1, 1);
}

// At full brightness the modulation is exact, so a copy of the first such draw is the picture
// every later one would make; a fading logo is drawn from the texture itself.
void draw_logo(const LoadingScreen& screen, const Viewport& v, float brightness) {
    LoadingScreen::LogoCopy& copy = screen.logo_copy;
    // A request served while a render target is bound draws the logo directly, as before.
    GLint framebuffer = -1, read_buffer = 0;
    current_draw_target(framebuffer, read_buffer);
    const bool copyable = brightness == 1.0f && framebuffer == copy.window_framebuffer &&
                          read_buffer == copy.window_read_buffer;
    if (copyable && copy.texture && copy.source == screen.logo.get() && copy.width == v.width &&
        copy.height == v.height) {
        glEnable(GL_TEXTURE_2D);
        glDisable(GL_TEXTURE_CUBE_MAP);
        draw_copy_of_logo(copy);
        return;
    }
    screen.logo->draw(0, 0, 1, 1);
    if (!copyable) return;
    if (!copy.texture) glGenTextures(1, copy.texture.put());
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, copy.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, v.x, v.y, v.width, v.height, 0);
    copy.source = screen.logo.get();
    copy.width = v.width;
    copy.height = v.height;
}

void paint_gl(const LoadingScreen& screen, float brightness) {
    // begin() draws first, into the window.
    LoadingScreen::LogoCopy& copy = screen.logo_copy;
    if (copy.window_framebuffer < 0) current_draw_target(copy.window_framebuffer, copy.window_read_buffer);
    Viewport v = screen.viewport();
    glViewport(v.x, v.y, v.width, v.height);
    clear_all_buffers();
    glBlendFunc(GL_ONE, GL_ONE);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glColor4f(brightness, brightness, brightness, 1.0f);

    if (screen.logo) draw_logo(screen, v, brightness);  // modulated by the brightness colour

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, 1, 0, 1);
    glDisable(GL_TEXTURE_2D);
    if (screen.bar_is_white()) glColor4f(1.0f, 1.0f, 1.0f, 1.0f);

    const float L = LoadingScreen::BAR_LEFT, R = LoadingScreen::BAR_RIGHT;
    const float T = LoadingScreen::BAR_TOP, B = LoadingScreen::BAR_BOTTOM;
    const float e = LoadingScreen::BAR_SIDE_WIDTH, t = screen.aspect * 0.005f;
    glBegin(GL_QUADS);
    quad(L, T, R, T - t);                    // top line
    quad(L, B, R, B + t);                    // bottom line
    quad(L - e, B, L, T);                    // left line
    quad(R, B, R + e, T);                    // right line
    quad(L, B, screen.fill_right(), T);      // fill
    glEnd();
    SDL_GL_SwapBuffers();
}

void clear_both_buffers_gl() {
    for (int i = 0; i < 2; ++i) {
        clear_all_buffers();
        SDL_GL_SwapBuffers();
    }
}
}  // namespace

LoadingScreenPainter LoadingScreen::gl_painter() {
    return LoadingScreenPainter{clear_both_buffers_gl, paint_gl};
}

// ---- lifecycle ------------------------------------------------------------------------------

void LoadingScreen::load_logo() {
    // Mipmapped, clamped to the edge.
    logo = std::make_unique<Texture>("data/common/images/trelvane_logo_16_9.png", true, false);
}

void LoadingScreen::on_archive_request(void* screen) { static_cast<LoadingScreen*>(screen)->draw(1.0f, false); }

void LoadingScreen::begin(int width, int height, float aspect) {
    window_width = width;
    window_height = height == 0 ? 1 : height;
    this->aspect = aspect;
    logo.reset();
    begun = true;
    painter.clear_both_buffers();
    draw(1.0f, false);
}

void LoadingScreen::update_progress() {
    if (get_datafile_mode() == DATAFILE_MODE_READ) {
        total = get_datafile_entry_count();
        done = get_datafile_used_count();
    } else {
        // No count is known while loose files are read: the fill cycles.
        done = total == 0 ? 0 : (done + 1) % total;
    }
}

void LoadingScreen::draw(float brightness, bool force) {
    // Archive requests come from tools, tests and the setup dialog too; before begin() there
    // is no window to draw into, and after the fade-out the picture belongs to the director.
    if (!begun || finished) return;
    uint32_t now = now_ms();
    if (!force && now < next_redraw_ms) return;
    next_redraw_ms = now + REDRAW_INTERVAL_MS;

    SDL_Event event;
    while (poll(&event)) {
        if ((event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE) ||
            event.type == SDL_QUIT) {
            exit(1);
        }
    }
    update_progress();
    painter.paint(*this, brightness);
}

void LoadingScreen::fade_out() {
    uint32_t end = now_ms() + FADE_OUT_MS;
    uint32_t t;
    do {
        t = now_ms();
        float brightness = std::max(0.0f, static_cast<float>(static_cast<int64_t>(end) - t) /
                                              static_cast<float>(FADE_OUT_MS));
        draw(brightness, true);
    } while (t < end);
    draw(0.0f, true);
    finished = true;
    logo_copy = LogoCopy();
}
