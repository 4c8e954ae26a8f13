// The reflection cubes: a mirror-like sphere circling among six small coloured bevelled cubes
// that spin in place, inside a room of six large ones. Every frame the cubes are rendered six
// times into a cube map from the sphere's position, then once from the viewer, and the sphere
// is drawn with the cube map as its environment. The viewer's turn and field of view and the
// sphere's size follow sync tracks.
// Depends on: scenes/scene, util/objects3d (scene graph, shapes), util/reflectionmap,
// util/texture, util/light, util/camera, util/music (sync values).
#pragma once

#include <memory>
#include <string>

#include "scenes/scene/scene.h"
#include "util/math/math.h"
#include "util/music/sync_values.h"
#include "util/objects3d/objects3d.h"
#include "util/reflectionmap/reflectionmap.h"
#include "util/texture/texture.h"

class ReflectionCubes : public Scene {
public:
    static constexpr const char* MODEL_FILE = "data/common/models/beveled_cube.dae";
    static constexpr const char* PLATE_FILE = "data/common/images/diamond-plate.jpg";
    static constexpr int BOX_COUNT = 12;
    static constexpr int INNER_BOXES = 6;
    static constexpr int MAP_SIZE = 512;

    // The model every box and the world are loaded from; the show's bevelled cube by default.
    explicit ReflectionCubes(std::string model = MODEL_FILE) : model_file(std::move(model)) {}

    void init() override;
    void render() override;
    void reshape(int new_width, int new_height) override;
    bool reshape_is_lasting() const override { return true; }

    std::string model_file;
    Objects3D world;
    Objects3D boxes[BOX_COUNT];
    Mat4 box_rest[BOX_COUNT];
    int32_t viewer_camera = 0;
    int32_t first_added_camera = 0;
    int32_t cube_camera = 0;
    Vec3 scene_center;
    float scene_size = 0;
    Mat4 rest_view;
    std::unique_ptr<ReflectionMap> reflection;
    Texture plate;
    Vec4 sphere_pos;
    bool shadows = false;
    bool animate = true;
    bool default_light = false;
    // Cube-map faces drawn by the latest render.
    int32_t faces_drawn = 0;

private:
    void update_frame(float b);
    void draw_world() { world.render(shadows); }

    enum Value { ROT_Y, ROT_Z, FOV, SPHERE_SIZE, VALUE_COUNT };
    SyncValueHandle values[VALUE_COUNT];
};
