// An additive radial blur of a texture, for glows that streak out from a centre.
// Depends on: effects/effect, util/shaderprogram, util/texture.
#pragma once

#include <memory>

#include "effects/effect/effect.h"
#include "util/math/math.h"
#include "util/texture/texture.h"

namespace Effects {

class RadialBlur : public Effect {
public:
    RadialBlur();
    void set_texture(Texture* t) { texture = t; }
    // Switches to intensity mode; not with iterations mode.
    void set_intensity(float v);
    // Draws the texture over the unit square through the blur, blending (one, one); the time is
    // not used. The program stays bound.
    void render(float time) override;

    std::unique_ptr<ShaderProgram> origin_program;
    std::unique_ptr<ShaderProgram> iterations_program;
    bool iterations_mode = false;
    bool intensity_mode = false;
    Texture* texture = nullptr;  // not owned
    float center_x = 0.5f, center_y = 0.5f;
    float step = 0.9f;
    float iterations = 100.0f;
    float intensity = 1.0f;
    Vec4 color{1, 1, 1, 1};
};

}  // namespace Effects
