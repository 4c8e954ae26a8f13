// Attractor: the full-screen quad through its program.
#include "effects/attractor/attractor.h"

#include <GL/glew.h>

#include <cstdlib>
#include <cstring>

#include "platform/fatal.h"

namespace Effects {

Attractor::Attractor() {
    auto attractorshader =
        std::make_unique<ShaderProgram>("data/effects/attractor/attractor.vert", "data/effects/attractor/attractor.frag");
    ZV_ASSERT_NOT_NULL(attractorshader);
    program = std::move(attractorshader);
    target = std::make_unique<Fbo>(512, 512, FboType::Rgba8NoMipmaps);
}

void Attractor::render(float time) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(color.x, color.y, color.z, color.w);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glEnable(GL_COLOR_MATERIAL);
    unsigned seed = 0;
    static_assert(sizeof seed == sizeof time, "the seed is the time's bit pattern");
    memcpy(&seed, &time, sizeof seed);
    srand(seed);
    program->bind();
    program->set_uniform1f("time", time);
    program->set_uniform1f("intensity", intensity);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(0, 0);
    glTexCoord2f(1, 0);
    glVertex2f(1, 0);
    glTexCoord2f(1, 1);
    glVertex2f(1, 1);
    glTexCoord2f(0, 1);
    glVertex2f(0, 1);
    glEnd();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

}  // namespace Effects
