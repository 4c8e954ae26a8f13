// Fire: programs, the feedback step and the final draw.
#include "effects/firesl/firesl.h"

#include <GL/glew.h>

#include <memory>
#include <utility>

#include "platform/fatal.h"

namespace Effects {

namespace {

std::unique_ptr<ShaderProgram> fire_program(const char* fragment) {
    return std::make_unique<ShaderProgram>("data/effects/firesl/firesl.vert", fragment);
}

}  // namespace

Fire::Fire() {
    auto fireshader = fire_program("data/effects/firesl/firesl.frag");
    ZV_ASSERT_NOT_NULL(fireshader);
    auto smokeshader = fire_program("data/effects/firesl/smokesl.frag");
    ZV_ASSERT_NOT_NULL(smokeshader);
    auto milkshader = fire_program("data/effects/firesl/milk.frag");
    ZV_ASSERT_NOT_NULL(milkshader);
    auto grayshader = fire_program("data/effects/firesl/gray.frag");
    ZV_ASSERT_NOT_NULL(grayshader);
    programs[FIRE_FLAME] = std::move(fireshader);
    programs[FIRE_SMOKE] = std::move(smokeshader);
    programs[FIRE_MILK] = std::move(milkshader);
    programs[FIRE_GRAY] = std::move(grayshader);
    auto sparks = std::make_unique<Texture>();
    if (sparks->load("data/effects/firesl/flames.jpg", false, true, GL_LINEAR, GL_LINEAR)) spark_texture = std::move(sparks);
    ZV_ASSERT_NOT_NULL(spark_texture);
    for (auto& target : targets) target = std::make_unique<Fbo>(TARGET_SIZE, TARGET_SIZE, FboType::Rgba8NoMipmaps);
}

void Fire::set_mode(int m) {
    if (m < FIRE_FLAME || m > FIRE_GRAY) ZV_FATAL("Invalid fire mode %d", m);
    mode = m;
}

void Fire::advance(float time) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glEnable(GL_COLOR_MATERIAL);
    glColor4f(1, 1, 1, 1);
    current = 1 - current;
    if (mode < FIRE_FLAME || mode > FIRE_GRAY) ZV_FATAL("Invalid fire mode!");
    ShaderProgram* program = programs[mode].get();
    targets[current]->bind(false);
    program->bind();
    program->set_uniform1f("time", time);
    program->set_uniform1f("image_factor", image_factor);
    program->set_uniform1f("image_shinethrough", image_shinethrough);
    program->set_uniform1f("spark_pct", spark_pct);
    program->set_uniform1i("texPrevious", 0);
    program->set_uniform1i("texImage", 1);
    program->set_uniform1i("texSpark", 2);
    if (image_texture) image_texture->bind(1);
    spark_texture->bind(2);
    targets[1 - current]->draw();
    targets[current]->unbind();
    Texture::unbind(1);
    Texture::unbind(2);
}

void Fire::render(float time) {
    advance(time);
    ShaderProgram::unbind_all();
    glColor4f(color.x, color.y, color.z, color.w);
    targets[current]->draw();
}

}  // namespace Effects
