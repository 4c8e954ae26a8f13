// Ssaotest: targets and programs, the cube chain, and the five passes of a frame.
#include "scenes/scene_ssaotest/scene_ssaotest.h"

#include <GL/glew.h>

#include <cmath>

#include "platform/fatal.h"
#include "util/music/music.h"
#include "util/objects3d/prefabs/shapes.h"
#include "util/shaderprogram/program_table.h"

namespace {

const struct {
    const char* name;
    float value;
    bool tracked;
} sync_table[] = {
    {"ss_totStrength", 1.38f, true},  {"ss_strength", 0.07f, true},    {"ss_offset", 18.0f, true},
    {"ss_falloff", 0.000002f, true},  {"ss_rad", 0.006f, true},        {"ss_uv_mul", 0.98f, true},
    {"ss_z_near", 1.0f, true},        {"ss_z_far", 10.0f, true},       {"ss_org_str", 1.0f, true},
    {"ss_radblur_str", 0.0f, true},   {"ss_sphere_radius", 1.0f, true}, {"ss_cam_rot", 0.0f, true},
    {"ss_col_r", 0.3f, true},         {"ss_col_g", 0.8f, true},        {"ss_col_b", 0.3f, true},
    {"ss_discard", 0.9f, true},       {"ss_progress", 0.0f, true},     {"ss_cam_fov", 45.0f, true},
    {"ss_clear_r", 0.0f, true},       {"ss_clear_g", 0.2f, true},      {"ss_clear_b", 0.4f, true},
    {"ss_cube_size", 1.5f, true},     {"normals_intensity", 0.0f, false}, {"geom_intensity", 0.0f, false},
};

constexpr float PI = 3.14159265358979f;

std::unique_ptr<Fbo> make_target() {
    return std::make_unique<Fbo>(Ssaotest::TARGET_SIZE, Ssaotest::TARGET_SIZE, FboType::Rgba8NoMipmaps);
}

}  // namespace

const int Ssaotest::chain_directions[CHAIN_STEPS] = {0, 5, 1, 1, 4, 2, 0, 5, 0, 4, 4, 3, 0, 2, 5, 5};

void Ssaotest::init() {
    normal_target = make_target();
    ao_target = make_target();
    plain_target = make_target();
    combined_target = make_target();

    normaldepth = std::make_unique<ShaderProgram>("data/ssaotest/normaldepth.vert", "data/ssaotest/normaldepth.frag");
    ssao = std::make_unique<ShaderProgram>("data/ssaotest/ssao.vert", "data/ssaotest/ssao.frag");
    ssaomultiply = std::make_unique<ShaderProgram>("data/ssaotest/ssaomultiply.vert", "data/ssaotest/ssaomultiply.frag");
    // Nearest and repeating: every pixel gets one whole random vector of the tiled pattern.
    noise = std::make_unique<Texture>("data/common/images/noise.png", false, true, GL_NEAREST, GL_NEAREST);

    static_assert(sizeof sync_table / sizeof sync_table[0] == VALUE_COUNT, "one entry per value");
    for (int i = 0; i < VALUE_COUNT; ++i)
        values[i] = music->add_sync_value(sync_table[i].name, sync_table[i].value, sync_table[i].tracked);
}

void Ssaotest::reshape(int new_width, int new_height) {
    Scene::reshape(new_width, new_height);
    // The combined picture stays at its own size; it is only ever drawn stretched.
    normal_target->resize(new_width, new_height);
    ao_target->resize(new_width, new_height);
    plain_target->resize(new_width, new_height);
}

float Ssaotest::value(Value v) const { return music->get_sync_value(values[v]); }

void Ssaotest::step_along(int direction, float length) {
    switch (direction) {
    case 0: glTranslatef(length, 0, 0); break;
    case 1: glTranslatef(-length, 0, 0); break;
    case 2: glTranslatef(0, length, 0); break;
    case 3: glTranslatef(0, -length, 0); break;
    case 4: glTranslatef(0, 0, length); break;
    case 5: glTranslatef(0, 0, -length); break;
    default: ZV_FATAL("Invalid direction %d", direction);
    }
}

bool Ssaotest::step_length(float p, float t, float* length) {
    if (p >= t + 3.0f)
        *length = 2.0f;
    else if (p >= t + 2.0f)
        *length = 1.5f + 0.5f * (p - t - 2.0f);
    else if (p >= t + 1.0f)
        *length = 1.5f;
    else if (p >= t)
        *length = 1.5f * (p - t);
    else
        return false;
    return true;
}

void Ssaotest::draw_chain_cube(float size) { draw_cube(size, false); }

void Ssaotest::draw_sphere(float radius) { draw_geosphere(radius, 3, false); }

void Ssaotest::draw_geometry() {
    const float p = value(PROGRESS);
    if (p >= 0.99f) {
        const float s = value(CUBE_SIZE);
        glPushMatrix();
        draw_chain_cube(s);
        float t = 1.0f;
        for (int direction : chain_directions) {
            float length;
            if (step_length(p, t, &length)) step_along(direction, length);
            draw_chain_cube(s);
            t += 4.0f;
        }
        glPopMatrix();
    }
    glTranslatef(1, 1, -1);
    draw_sphere(value(SPHERE_RADIUS));
}

void Ssaotest::render() {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT | GL_ACCUM_BUFFER_BIT);

    const float r = value(CAM_ROT);
    camera.set_view(Vec3(4.0f * std::sin(PI * r), 4.0f, 4.0f * std::cos(PI * r)), Vec3(0, 0, 0), Vec3(0, 1, 0));
    camera.set_near_far(value(Z_NEAR), value(Z_FAR));
    camera.set_yfov(value(CAM_FOV));

    const GLbitfield all_buffers = GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT | GL_ACCUM_BUFFER_BIT;

    // Plain: the geometry in white on the clear colour.
    plain_target->bind(true);
    ShaderProgram::unbind_all();
    glColor4f(1, 1, 1, 1);
    glClearColor(value(CLEAR_R), value(CLEAR_G), value(CLEAR_B), 1);
    glClear(all_buffers);
    camera.apply_projection(width, height, aspect, 1.0f);
    draw_geometry();
    plain_target->unbind();

    // Normals and depth.
    normal_target->bind(true);
    normaldepth->bind();
    camera.apply_projection(width, height, aspect, 1.0f);
    draw_geometry();
    normal_target->unbind();

    // Occlusion from the normal-depth picture, its kernel turned by the noise.
    ao_target->bind(true);
    ssao->bind();
    ssao->set_uniform1f("totStrength", value(TOT_STRENGTH));
    ssao->set_uniform1f("strength", value(STRENGTH));
    ssao->set_uniform1f("offset", value(OFFSET));
    ssao->set_uniform1f("falloff", value(FALLOFF));
    ssao->set_uniform1f("rad", value(RAD));
    ssao->set_uniform1i("rnm", 1);
    ssao->set_uniform1i("normalMap", 0);
    noise->bind(1);
    normal_target->draw();
    ao_target->unbind();

    // The occlusion and the colour onto the plain picture.
    combined_target->bind(true);
    ssaomultiply->bind();
    ssaomultiply->set_uniform1i("render", 0);
    ssaomultiply->set_uniform1i("ssao", 1);
    ssaomultiply->set_uniform1f("uv_mul", value(UV_MUL));
    ssaomultiply->set_uniform1f("discard_limit", value(DISCARD));
    ssaomultiply->set_uniform3("sphere_col", Vec3(value(COL_R), value(COL_G), value(COL_B)));
    ao_target->bind_color_texture(0, 1);
    plain_target->draw();
    combined_target->unbind();

    // Composite into the director's target.
    ShaderProgram* unlit = shader_set->entry(ProgramId::UnlitTexture);
    const float o = value(ORG_STR);
    glColor4f(o, o, o, 1);
    unlit->bind();
    combined_target->draw();

    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glDisable(GL_DEPTH_TEST);
    glColor4f(1, 1, 1, 1);
    radial_blur->set_texture(combined_target->color_textures[0].get());
    const float blur = value(RADBLUR_STR);
    radial_blur->set_intensity(blur);
    // The blur is added: at strength 0 it adds nothing, and its 32 samples a pixel are the
    // dearest pass of the frame on a software rasteriser.
    if (blur != 0.0f) radial_blur->render(music->get_beat());

    const float n = value(NORMALS_INTENSITY);
    glColor4f(n, n, n, 1);
    unlit->bind();
    normal_target->draw();
    const float g = value(GEOM_INTENSITY);
    glColor4f(g, g, g, 1);
    unlit->bind();
    plain_target->draw();
}
