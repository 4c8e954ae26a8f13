// StageLights: the smoke, the beam geometry and its colours, and the combining pass.
#include "scenes/scene_stagelights/stagelights.h"

#include <GL/glew.h>

#include <cmath>

#include "util/math/color.h"
#include "util/music/music.h"
#include "util/texture/texture.h"

namespace {

const struct {
    const char* name;
    float value;
} sync_table[] = {
    {"slColor0", 1.0f}, {"slColor1", 0.25f}, {"slColor2", 0.75f}, {"slColor3", 0.5f}, {"slLuminance", 0.5f},
    {"slTrack0", -1.0f}, {"slTrack1", -1.0f}, {"slTrack2", -1.0f}, {"slTrack3", -1.0f},
};

void vertex(const Vec3& p, const Vec3& c, float alpha) {
    glColor4f(c.x, c.y, c.z, alpha);
    glVertex3f(p.x, p.y, p.z);
}

}  // namespace

void StageLights::init() {
    smoke->set_mode(Effects::Fire::FIRE_SMOKE);
    smoke->color = Vec4(0.7f, 0.7f, 0.7f, 1.0f);
    smoke_target = std::make_unique<Fbo>(TARGET_SIZE, TARGET_SIZE, FboType::Rgba8NoMipmaps);
    beam_target = std::make_unique<Fbo>(TARGET_SIZE, TARGET_SIZE, FboType::Rgba8NoMipmaps);
    combine = std::make_unique<ShaderProgram>("data/scenes/stagelights/stagelights.vert",
                                              "data/scenes/stagelights/stagelights.frag");
    static_assert(sizeof sync_table / sizeof sync_table[0] == VALUE_COUNT, "one track per value");
    for (int i = 0; i < VALUE_COUNT; ++i) values[i] = music->add_sync_value(sync_table[i].name, sync_table[i].value, true);
}

void StageLights::reshape(int new_width, int new_height) {
    Scene::reshape(new_width, new_height);
    smoke_target->resize(new_width, new_height);
    beam_target->resize(new_width, new_height);
}

float StageLights::beam_brightness(float track_value) const {
    const float k = std::floor(track_value + 0.5f);
    // The track count is asked only for a possible track: without a score it is fatal, and the
    // default of -1 must keep a steady beam there.
    if (!(k >= 0.0f)) return 1.0f;
    if (k >= static_cast<float>(music->get_track_count())) return 1.0f;
    return music->get_track_value(static_cast<uint32_t>(k), music->get_beat());
}

Vec3 StageLights::beam_color(float hue) const { return rgb_of_hsl(hue, 1.0f, music->get_sync_value(values[LUMINANCE])); }

StageLights::Beam StageLights::beam_at(int index, float b) {
    switch (index) {
    case 0:
        return Beam{0.6f, 0.04f, Vec3(0, -3, 0), Vec3(5 * std::cos(0.3f * b), 1.5f * std::sin(0.4f * b) + 5, -20), 0};
    case 1:
        return Beam{1.1f, 0.04f, Vec3(2, -2, 0), Vec3(3 * std::sin(0.13f * b), 2 * std::cos(0.17f * b) + 4, -20), 0};
    case 2:
        return Beam{1.2f, 0.02f, Vec3(-1, 1, 0), Vec3(std::cos(0.21f * b), 2 * std::cos(0.36f * b), -20), 7};
    default:
        return Beam{0.4f, 0.02f, Vec3(1, 0, 0), Vec3(std::sin(0.31f * b), 1.7f * std::cos(0.46f * b), -20), 3};
    }
}

void StageLights::draw_fan(const Vec3& s, const Vec3& t, float a, float e, const Vec3& c, float k) {
    const Vec3 col = c * k;
    const Vec3 left(t.x - a, t.y, t.z), right(t.x + a, t.y, t.z);
    glBegin(GL_TRIANGLES);
    vertex(s, col, 0.0f);
    vertex(left, col, 0.3f);
    vertex(right, col, 0.3f);
    // Bright edges make the fan read as a sheet of light rather than a haze.
    vertex(s, col, 0.0f);
    vertex(Vec3(t.x - a - e, t.y, t.z), col, 1.0f);
    vertex(left, col, 1.0f);
    vertex(s, col, 0.0f);
    vertex(right, col, 1.0f);
    vertex(Vec3(t.x + a + e, t.y, t.z), col, 1.0f);
    glEnd();
}

void StageLights::draw_rays(const Vec3& s, const Vec3& t, float a, float e, const Vec3& c, float k, int n) {
    const Vec3 col = c * k;
    const float step = 2.0f * a / static_cast<float>(n);
    glBegin(GL_TRIANGLES);
    // Half a step of slack lets the last ray land on the far end despite rounding.
    for (float x = t.x - a; x < t.x + a + step / 2.0f; x += step) {
        vertex(s, col, 0.0f);
        vertex(Vec3(x - e / 2.0f, t.y, t.z), col, 1.0f);
        vertex(Vec3(x + e / 2.0f, t.y, t.z), col, 1.0f);
    }
    glEnd();
}

void StageLights::draw_beams() {
    const float b = music->get_beat();
    camera.set_view(Vec3(0, 0, -10), Vec3(0, 0, 0), Vec3(0, 1, 0));
    camera.set_near_far(0.0001f, 10.0f);
    camera.apply_projection(width, height, aspect, 1.0f);

    ShaderProgram::unbind_all();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_COLOR_MATERIAL);

    for (int i = 0; i < BEAM_COUNT; ++i) {
        const Beam beam = beam_at(i, b);
        const Vec3 c = beam_color(music->get_sync_value(values[COLOR0 + i]));
        const float k = beam_brightness(music->get_sync_value(values[TRACK0 + i]));
        if (beam.rays == 0)
            draw_fan(beam.source, beam.target, beam.half_width, beam.edge_width, c, k);
        else
            draw_rays(beam.source, beam.target, beam.half_width, beam.edge_width, c, k, beam.rays);
    }
}

void StageLights::render() {
    smoke_target->bind(true);
    smoke->render(music->get_beat());
    smoke_target->unbind();

    beam_target->bind(true);
    draw_beams();
    beam_target->unbind();

    combine->bind();
    combine->set_uniform1i("texSmoke", 0);
    combine->set_uniform1i("texLasers", 1);
    beam_target->bind_color_texture(0, 1);
    smoke_target->draw();

    Texture::unbind(1);
    Texture::unbind(0);
}
