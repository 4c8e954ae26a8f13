// A planar mirror: a quad in the scene that shows a second rendering of the scene, made from a
// camera that follows the viewer's reflection in the mirror's plane. A demo scene owns its
// mirrors and registers them in Objects3D::mirrors; rendering the scene renders each
// reflection into the mirror's target first (see Objects3D::render).
// Depends on: util/math, util/camera, util/fbo, util/texture, util/objects3d (records).
#pragma once

#include <memory>

#include "util/camera/camera.h"
#include "util/fbo/fbo.h"
#include "util/math/math.h"
#include "util/objects3d/geomobject.h"
#include "util/texture/texture.h"

class Objects3D;

class Mirror {
public:
    // A mirror whose reflection is rendered at pixel_width by pixel_height (needs a GL context).
    Mirror(int pixel_width, int pixel_height);
    Mirror(const Mirror&) = delete;
    Mirror& operator=(const Mirror&) = delete;

    // Places the reflection camera where the viewer's view, reflected in the mirror's plane,
    // comes from.
    void follow(const Camera& viewer);
    // Redirects drawing into the mirror's target; the mirror hides itself meanwhile.
    void begin();
    // Back to the previous target; the rendering becomes the reflection texture.
    void end();
    // Draws the mirror's quad (and its dark back face when asked) in one pass of `scene`.
    void draw(Objects3D& scene, int mode, int light);

    bool visible = true;
    // The diffuse alpha is the mirror's opacity; the glow texture is used in the glow pass.
    // The reflection texture is `reflection`, which the material does not own.
    Material material;
    Camera camera;
    std::unique_ptr<Fbo> fbo;
    Texture placeholder;
    const Texture* reflection = nullptr;
    const Camera* viewer = nullptr;
    Vec3 position{0, 0, 0}, normal{0, 0, 1}, up{0, 1, 0};
    float width = 1, height = 1;  // of the quad, in world units
    int pixel_width = 0, pixel_height = 0;
    float fov = 45;  // vertical, degrees
    bool camera_behind = false;
    bool draw_back_face = false;
};
