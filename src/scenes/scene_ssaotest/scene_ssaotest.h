// Ambient occlusion: a chain of cubes that unfolds step by step along a fixed path, and a
// sphere, lit by screen-space ambient occlusion. The geometry is drawn plainly and as normals
// and depth; an occlusion pass works on the normal-depth picture, turned per pixel by a noise
// texture; a multiply pass puts the occlusion and a colour onto the plain picture, and the
// result is composited with an optional radial blur. Nearly every number is a sync value.
// Depends on: scenes/scene, util/camera, util/fbo, util/texture, util/shaderprogram (and the
// program table), util/objects3d/prefabs (shapes), effects/radialblur, util/music (sync values).
#pragma once

#include <memory>

#include "effects/radialblur/radialblur.h"
#include "scenes/scene/scene.h"
#include "util/camera/camera.h"
#include "util/fbo/fbo.h"
#include "util/music/sync_values.h"
#include "util/shaderprogram/shaderprogram.h"
#include "util/texture/texture.h"

class Ssaotest : public Scene {
public:
    static constexpr int TARGET_SIZE = 512;
    // The path of the chain, one direction per step after the first cube:
    // 0 +x, 1 -x, 2 +y, 3 -y, 4 +z, 5 -z.
    static constexpr int CHAIN_STEPS = 16;
    static const int chain_directions[CHAIN_STEPS];

    // The blur, like any embedded effect, loads its programs when the scene is made.
    Ssaotest() : radial_blur(std::make_unique<Effects::RadialBlur>()) {}
    void init() override;
    void render() override;
    void reshape(int new_width, int new_height) override;

    // The cubes and the sphere at the current modelview; the sphere's move is not undone.
    void draw_geometry();
    // Moves the modelview `length` along one of the six path directions; others are fatal.
    static void step_along(int direction, float length);
    // How far step k (starting at progress t) has moved at progress p; false while it has not
    // begun. A step grows to 1.5 over one unit of progress, rests, then opens to 2.0.
    static bool step_length(float p, float t, float* length);

    Camera camera;
    std::unique_ptr<Fbo> normal_target, ao_target, plain_target, combined_target;
    std::unique_ptr<Texture> noise;
    std::unique_ptr<ShaderProgram> normaldepth, ssao, ssaomultiply;
    std::unique_ptr<Effects::RadialBlur> radial_blur;

protected:
    // Each shape is drawn where the current modelview puts it.
    virtual void draw_chain_cube(float size);
    virtual void draw_sphere(float radius);

private:
    enum Value {
        TOT_STRENGTH, STRENGTH, OFFSET, FALLOFF, RAD, UV_MUL, Z_NEAR, Z_FAR, ORG_STR, RADBLUR_STR,
        SPHERE_RADIUS, CAM_ROT, COL_R, COL_G, COL_B, DISCARD, PROGRESS, CAM_FOV, CLEAR_R, CLEAR_G, CLEAR_B,
        CUBE_SIZE, NORMALS_INTENSITY, GEOM_INTENSITY, VALUE_COUNT
    };
    SyncValueHandle values[VALUE_COUNT];
    float value(Value v) const;
};
