// A feedback effect: a fragment program turns its own previous frame, an optional image and a
// scrolling spark texture into the next frame, ping-ponging between two off-screen targets.
// Four programs give four looks: flames, smoke, milk and grey.
// Depends on: effects/effect, util/fbo, util/shaderprogram, util/texture.
#pragma once

#include <memory>

#include "effects/effect/effect.h"
#include "util/fbo/fbo.h"
#include "util/math/math.h"
#include "util/texture/texture.h"

namespace Effects {

class Fire : public Effect {
public:
    enum Mode { FIRE_FLAME = 0, FIRE_SMOKE = 1, FIRE_MILK = 2, FIRE_GRAY = 3 };
    static constexpr int TARGET_SIZE = 512;

    Fire();
    void set_mode(int m);
    // One step of the feedback into the other target.
    void advance(float time);
    // A step, then its result over the caller's whole viewport, tinted by color.
    void render(float time) override;

    std::unique_ptr<ShaderProgram> programs[4];
    std::unique_ptr<Texture> spark_texture;
    Texture* image_texture = nullptr;  // not owned; set by the owner
    float image_factor = 0.0f;
    float image_shinethrough = 0.0f;
    float spark_pct = 0.2f;
    int current = 0;
    std::unique_ptr<Fbo> targets[2];
    int mode = FIRE_FLAME;
    Vec4 color{1, 1, 1, 1};
};

}  // namespace Effects
