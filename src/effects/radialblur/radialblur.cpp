// RadialBlur: program choice and the additive draw.
#include "effects/radialblur/radialblur.h"

#include <GL/glew.h>

#include "platform/fatal.h"

namespace Effects {

RadialBlur::RadialBlur()
    : origin_program(std::make_unique<ShaderProgram>("data/effects/radialblur/radialblur.vert",
                                                     "data/effects/radialblur/radialblur_origin.frag")),
      iterations_program(std::make_unique<ShaderProgram>("data/effects/radialblur/radialblur.vert",
                                                         "data/effects/radialblur/radialblur_origin_iterations.frag")) {}

void RadialBlur::set_intensity(float v) {
    if (iterations_mode) ZV_FATAL("Intensity and iterations at the same time not yet supported!");
    intensity_mode = true;
    intensity = v;
}

void RadialBlur::render(float) {
    if (!texture) ZV_FATAL("Trying to radialblur without setting texture");
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    ShaderProgram* program = iterations_mode ? iterations_program.get() : origin_program.get();
    program->bind();
    program->set_uniform4("RadialBlurParams",
                          Vec4(center_x, center_y, step, iterations_mode ? iterations : intensity));
    glColor4f(color.x, color.y, color.z, color.w);
    texture->draw(0, 0, 1, 1);
}

}  // namespace Effects
