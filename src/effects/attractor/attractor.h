// A full-screen figure drawn by one program from a time and an intensity: an attractor that
// flares up on notes. It blends over what is already in the target.
// Depends on: effects/effect, util/fbo, util/shaderprogram.
#pragma once

#include <memory>

#include "effects/effect/effect.h"
#include "util/fbo/fbo.h"
#include "util/math/math.h"

namespace Effects {

class Attractor : public Effect {
public:
    Attractor();
    void set_intensity(float v) { intensity = v; }
    void set_color(float r, float g, float b, float a) { color.set(r, g, b, a); }
    void resize_target(int width, int height) { target->resize(width, height); }
    // One quad over the unit square; the program stays bound.
    void render(float time) override;

    std::unique_ptr<ShaderProgram> program;
    Vec4 color{1, 1, 1, 1};
    float intensity = 0.0f;  // the owner sets it every frame before render
    std::unique_ptr<Fbo> target;
};

}  // namespace Effects
