// RadialFun: the shape list, the shapes in the unit square, and the additive blurred copy.
#include "scenes/scene_radial_fun/radial_fun.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>

#include "util/fbo/fbo.h"
#include "util/music/music.h"
#include "util/shaderprogram/program_table.h"

namespace {

// (1 - t) a + t b on red, green and blue.
void gradient(const float a[4], const float b[4], float t, float out[4]) {
    for (int c = 0; c < 3; ++c) out[c] = (1.0f - t) * a[c] + t * b[c];
}

struct CirclePoints {
    float sin_a[RadialFun::CIRCLE_POINTS], cos_a[RadialFun::CIRCLE_POINTS];
    CirclePoints() {
        // The angle is summed in single precision; the sum reaches 2 pi within rounding, so
        // the 65th point closes the outline.
        int k = 0;
        for (float a = 0.0f; a <= 6.2831855f && k < RadialFun::CIRCLE_POINTS; a += 0.09817477f, ++k) {
            sin_a[k] = std::sin(a);
            cos_a[k] = std::cos(a);
        }
    }
};

const struct {
    const char* name;
    float value;
} sync_table[] = {
    {"rf_col0_r", 0.125f}, {"rf_col0_g", 0.6f},  {"rf_col0_b", 1.0f},   {"rf_col1_r", 1.0f},
    {"rf_col1_g", 0.76863f}, {"rf_col1_b", 0.06275f}, {"rf_spread", 0.03f}, {"rf_size", 0.03f},
    {"rf_border", 4.0f},   {"rf_object", 0.0f},
};

}  // namespace

void RadialFun::init() {
    preset[PRESET_BLEND] = true;
    preset[PRESET_COLOR_MATERIAL] = true;
    preset[PRESET_DEPTH_TEST] = false;
    preset[PRESET_LIGHTING] = false;
    preset[PRESET_TEXTURE_2D] = false;

    const uint32_t n = music->get_track_count();
    shapes.clear();
    for (uint32_t r = 0; r < n; ++r) {
        RadialShape shape;
        gradient(radial_color0, radial_color1, static_cast<float>(r) / static_cast<float>(n), shape.color);
        shape.color[3] = 1.0f;
        shape.size = 1.0f;
        shape.angle_offset = 2.0f * static_cast<float>(r);
        shape.track = static_cast<int32_t>(r);
        shapes.push_back(shape);
    }

    static_assert(sizeof sync_table / sizeof sync_table[0] == VALUE_COUNT, "one track per value");
    for (int i = 0; i < VALUE_COUNT; ++i) values[i] = music->add_sync_value(sync_table[i].name, sync_table[i].value, true);
}

void RadialFun::draw_shapes() {
    static const CirclePoints circle;

    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, 1, 0, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    for (int c = 0; c < 3; ++c) {
        radial_color0[c] = music->get_sync_value(values[COL0_R + c]);
        radial_color1[c] = music->get_sync_value(values[COL1_R + c]);
    }
    // A line width of 0 or less is an error in GL; the thinnest line is what is meant.
    const float border = std::max(0.00001f, music->get_sync_value(values[BORDER]));
    const float spread = music->get_sync_value(values[SPREAD]);
    const float s = music->get_sync_value(values[SIZE]);
    const bool circles = music->get_sync_value(values[OBJECT]) >= 1.0f;
    const float lt = local_time();
    const float beat = music->get_beat();

    glLineWidth(border);
    const float n = static_cast<float>(shapes.size());
    for (size_t i = 0; i < shapes.size(); ++i) {
        RadialShape& shape = shapes[i];
        const float v = music->get_track_value(static_cast<uint32_t>(shape.track), beat) * shape.size;
        gradient(radial_color0, radial_color1, static_cast<float>(i) / n, shape.color);
        float outline[4] = {shape.color[0], shape.color[1], shape.color[2], 0.9f * v};
        float fill[4] = {shape.color[0], shape.color[1], shape.color[2], 0.4f * v};
        shape.color[3] = fill[3];

        const float theta = shape.angle_offset + lt;
        const float x = std::sin(theta) * spread + 0.5f;
        const float y = std::cos(theta) * spread + 0.5f;
        if (!circles) {
            glColor4fv(outline);
            glBegin(GL_LINE_STRIP);
            glVertex2f(x - s, y - s);
            glVertex2f(x + s, y - s);
            glVertex2f(x + s, y + s);
            glVertex2f(x - s, y + s);
            glVertex2f(x - s, y - s);
            glEnd();
            glColor4fv(fill);
            glBegin(GL_TRIANGLE_STRIP);
            glVertex2f(x - s, y - s);
            glVertex2f(x + s, y - s);
            glVertex2f(x - s, y + s);
            glVertex2f(x + s, y + s);
            glEnd();
        } else {
            glColor4fv(outline);
            glBegin(GL_LINE_STRIP);
            for (int k = 0; k < CIRCLE_POINTS; ++k) glVertex2f(circle.sin_a[k] * s + x, circle.cos_a[k] * s + y);
            glEnd();
            glColor4fv(fill);
            glBegin(GL_POLYGON);
            for (int k = 0; k < CIRCLE_POINTS; ++k) glVertex2f(circle.sin_a[k] * s + x, circle.cos_a[k] * s + y);
            glEnd();
        }
    }
}

void RadialFun::render() {
    scene_target->bind(true);
    draw_shapes();
    scene_target->unbind();

    shader_set->entry(ProgramId::RadialBlur)->bind();
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    // The blur program multiplies by the current colour, which the shapes left at the last
    // shape's fill: white adds the shapes in their own colours.
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    scene_target->draw();
}
