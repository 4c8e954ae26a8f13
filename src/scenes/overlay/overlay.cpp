#include "scenes/overlay/overlay.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "platform/fatal.h"
#include "util/text/text.h"

namespace {

// The overlay's font is the director's 48-point one, drawn at a third of its size: 16 points
// on the 1280-pixel design screen. Lengths below are in design pixels.
constexpr float TEXT_SCALE = 1.0f / 3.0f;
constexpr float LINE = 20.0f;
constexpr float MARGIN = 12.0f;
constexpr float PANEL_WIDTH = 520.0f;
constexpr float GRAPH_HEIGHT = 100.0f;
constexpr float GRAPH_MS = 50.0f;  // the graph's top, unless a frame took longer

struct Layout {
    float unit;  // window pixels per design pixel
    float y;     // the next line's baseline, window pixels from the bottom
};

void line(const Text& font, Layout& at, float r, float g, float b, const std::string& text) {
    glColor4f(r, g, b, 1.0f);
    glPushMatrix();
    glTranslatef(MARGIN * at.unit, at.y, 0.0f);
    glScalef(TEXT_SCALE, TEXT_SCALE, 1.0f);
    font.print("%s", text.c_str());
    glPopMatrix();
    at.y -= LINE * at.unit;
}

void lines_in_red(const Text& font, Layout& at, const std::string& text) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) line(font, at, 1.0f, 0.25f, 0.2f, text.substr(start, end - start));
        start = end + 1;
    }
}

void begin(const Text& font) {
    font.set_gl_state();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void end() {
    glDisable(GL_BLEND);
    glColor4f(1, 1, 1, 1);
}

void panel(float x0, float y0, float x1, float y1) {
    glDisable(GL_TEXTURE_2D);
    glColor4f(0.0f, 0.0f, 0.0f, 0.6f);
    glBegin(GL_QUADS);
    glVertex2f(x0, y0);
    glVertex2f(x1, y0);
    glVertex2f(x1, y1);
    glVertex2f(x0, y1);
    glEnd();
}

// The top of the graph: 50 ms, or the slowest frame shown rounded up to 50 ms, so that a slow
// renderer's frames stay on the graph.
float graph_top(const std::deque<float>& times) {
    float slowest = 0.0f;
    for (float ms : times) slowest = std::max(slowest, ms);
    return std::max(GRAPH_MS, std::ceil(slowest / GRAPH_MS) * GRAPH_MS);
}

void graph(const std::deque<float>& times, float top_ms, float x, float y, float unit) {
    const float w = PANEL_WIDTH - 2 * MARGIN, h = GRAPH_HEIGHT;
    auto px = [&](float design_x) { return x + design_x * unit; };
    auto py = [&](float ms) { return y + std::min(ms, top_ms) / top_ms * h * unit; };
    glLineWidth(1.0f);
    glBegin(GL_LINES);
    glColor4f(0.3f, 1.0f, 0.3f, 0.8f);  // 60 frames a second
    glVertex2f(px(0), py(16.7f));
    glVertex2f(px(w), py(16.7f));
    glColor4f(1.0f, 0.8f, 0.2f, 0.8f);  // 30 frames a second
    glVertex2f(px(0), py(33.3f));
    glVertex2f(px(w), py(33.3f));
    glEnd();
    glColor4f(1.0f, 1.0f, 1.0f, 0.9f);
    glBegin(GL_LINE_STRIP);
    // The newest frame at the right edge.
    const float step = w / static_cast<float>(OVERLAY_GRAPH_FRAMES - 1);
    const size_t shown = std::min(OVERLAY_GRAPH_FRAMES, times.size());
    for (size_t i = 0; i < shown; ++i)
        glVertex2f(px(static_cast<float>(OVERLAY_GRAPH_FRAMES - shown + i) * step), py(times[times.size() - shown + i]));
    glEnd();
}

}  // namespace

size_t line_count(const std::string& text) {
    size_t count = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        count += end > start;
        start = end + 1;
    }
    return count;
}

void draw_overlay(const OverlayView& view, const Text& font, int width, int height) {
    begin(font);
    Layout at{static_cast<float>(width) / Text::DESIGN_WIDTH, 0.0f};
    const size_t part_lines = view.parts ? view.parts->parts.size() : 0;
    // Four lines above the graph, the table's head and its parts below, then the notes.
    const size_t lines = 4 + 1 + part_lines + (view.timer == GpuTimer::None ? 1 : 0) + line_count(view.reload_error);
    const float top = static_cast<float>(height) - MARGIN * at.unit;
    const float bottom = top - (static_cast<float>(lines) * LINE + GRAPH_HEIGHT + LINE + 2 * MARGIN) * at.unit;
    panel(MARGIN * 0.5f * at.unit, bottom, PANEL_WIDTH * at.unit, top + MARGIN * 0.5f * at.unit);
    at.y = top - LINE * 0.8f * at.unit;

    const double bar = std::floor(view.beat / 4.0);
    const double beat_in_bar = std::floor(view.beat - bar * 4.0);
    line(font, at, 1, 1, 1,
         string_format("%9.3f s   bar %d.%d   row %d%s", view.music_seconds, static_cast<int>(bar) + 1,
                static_cast<int>(beat_in_bar) + 1, static_cast<int>(std::floor(view.row)), view.paused ? "   paused" : ""));
    line(font, at, 1, 1, 1, "scenes " + (view.scenes.empty() ? std::string("none") : view.scenes));
    line(font, at, 1, 1, 1, "post   " + (view.effects.empty() ? std::string("none") : view.effects));
    const float last_ms = view.frame_ms && !view.frame_ms->empty() ? view.frame_ms->back() : 0.0f;
    const float top_ms = view.frame_ms ? graph_top(*view.frame_ms) : GRAPH_MS;
    line(font, at, 1, 1, 1,
         string_format("%5.1f frames/s   %6.1f ms   (graph to %.0f ms)", view.frames_per_second, static_cast<double>(last_ms),
                static_cast<double>(top_ms)));
    const float graph_bottom = at.y - GRAPH_HEIGHT * at.unit + LINE * 0.3f * at.unit;
    if (view.frame_ms) graph(*view.frame_ms, top_ms, MARGIN * at.unit, graph_bottom, at.unit);
    at.y -= (GRAPH_HEIGHT + LINE * 0.5f) * at.unit;
    line(font, at, 0.7f, 0.7f, 0.7f, string_format("%-18s %8s %8s", "part", "GPU ms", "CPU ms"));
    if (view.parts && view.part_names) {
        for (const PartTime& time : view.parts->parts) {
            const std::string name = time.part >= 0 && static_cast<size_t>(time.part) < view.part_names->size()
                                         ? (*view.part_names)[static_cast<size_t>(time.part)]
                                         : "?";
            const std::string gpu = time.gpu_ms >= 0 ? string_format("%8.2f", time.gpu_ms) : string_format("%8s", "-");
            line(font, at, 1, 1, 1, string_format("%-18s %s %8.2f", name.c_str(), gpu.c_str(), time.cpu_ms));
        }
    }
    if (view.timer == GpuTimer::None) line(font, at, 1.0f, 0.8f, 0.2f, "no GPU timer queries here: CPU time only");
    if (!view.reload_error.empty()) lines_in_red(font, at, view.reload_error);
    end();
}

void draw_reload_error(const std::string& error, const Text& font, int width, int height) {
    if (error.empty()) return;
    begin(font);
    Layout at{static_cast<float>(width) / Text::DESIGN_WIDTH, 0.0f};
    const size_t count = line_count(error);
    const float top = static_cast<float>(height) - MARGIN * at.unit;
    panel(MARGIN * 0.5f * at.unit, top - (static_cast<float>(count) * LINE + MARGIN) * at.unit, static_cast<float>(width) - MARGIN * 0.5f * at.unit,
          top + MARGIN * 0.5f * at.unit);
    at.y = top - LINE * 0.8f * at.unit;
    lines_in_red(font, at, error);
    end();
}
