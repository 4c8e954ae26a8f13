// ReflectionCubes: loading and placing the boxes, the cameras and the light, the per-frame
// movement, the cube-map passes and the reflecting sphere.
#include "scenes/scene_reflection_cubes/reflection_cubes.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

#include "platform/fatal.h"
#include "util/light/light.h"
#include "util/music/music.h"
#include "util/objects3d/prefabs/shapes.h"
#include "util/shaderprogram/program_table.h"

namespace {

const float AXES[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
const Vec4 INNER_COLOURS[6] = {Vec4(1, 0, 0, 1), Vec4(0, 1, 0, 1), Vec4(0, 0, 1, 1),
                               Vec4(0, 1, 1, 1), Vec4(1, 1, 0, 1), Vec4(1, 0, 1, 1)};
const Vec4 OUTER_COLOURS[6] = {Vec4(1, 0.5f, 0.5f, 1), Vec4(0.5f, 1, 0.5f, 1), Vec4(0.5f, 0.5f, 1, 1),
                               Vec4(0.5f, 1, 1, 1),    Vec4(1, 1, 0.5f, 1),    Vec4(1, 0.5f, 1, 1)};
constexpr float INNER_DISTANCE = 3.5f;
// The room's boxes are 15 times the model (which spans -1 to 1), pushed out so that their
// inner faces stand half a model-size unit short of 15 from the centre.
constexpr float ROOM_SCALE = 15.0f;
constexpr float ROOM_DISTANCE = 2.0f * (ROOM_SCALE - 0.5f);

const ProgramId WORLD_PROGRAMS[7] = {
    ProgramId::MultiMaterialNoTexture,
    ProgramId::MultiMaterialTexture,
    ProgramId::ShadowDepthWrite,
    ProgramId::ShadowAmbient,
    ProgramId::ShadowAmbientTexture,
    ProgramId::ShadowCubeSingleMaterialNoTexture,
    ProgramId::ShadowCubeSingleMaterialTexture,
};

}  // namespace

// ---- loading --------------------------------------------------------------------------------

void ReflectionCubes::init() {
    plate = Texture(PLATE_FILE, true, true);

    // The reports quote the file this scene was given, the show's model unless a caller chose one.
    if (!world.load(model_file.c_str())) ZV_FATAL("Failed assert colladascene.load( \"%s\" )", model_file.c_str());
    for (Objects3D& box : boxes)
        if (!box.load(model_file.c_str())) ZV_FATAL("Failed assert boxes[i].load( \"%s\" )", model_file.c_str());

    for (int i = 0; i < INNER_BOXES; ++i) {
        const float* a = AXES[i];
        boxes[i].translate_root(a[0] * INNER_DISTANCE, a[1] * INNER_DISTANCE, a[2] * INNER_DISTANCE);
        boxes[i].find_material("material")->diffuse = INNER_COLOURS[i];
    }
    boxes[0].toggle_flip();
    for (int i = INNER_BOXES; i < BOX_COUNT; ++i) {
        const float* a = AXES[i - INNER_BOXES];
        boxes[i].translate_root(a[0] * ROOM_DISTANCE, a[1] * ROOM_DISTANCE, a[2] * ROOM_DISTANCE);
        boxes[i].scale_root(ROOM_SCALE, ROOM_SCALE, ROOM_SCALE);
        boxes[i].find_material("material")->diffuse = OUTER_COLOURS[i - INNER_BOXES];
    }
    for (int i = 0; i < BOX_COUNT; ++i) boxes[i].get_node_matrix(nullptr, box_rest[i]);

    first_added_camera = static_cast<int32_t>(world.cameras.size());
    viewer_camera = 0;
    for (int slot = 0; slot < 7; ++slot) world.set_shader(slot, shader_set->entry(WORLD_PROGRAMS[slot]));
    world.start_animation(false);

    scene_center = world.center(nullptr, true);
    scene_size = world.size(nullptr);
    const Vec3 c = scene_center;
    const float s = scene_size, k = 1.1f;
    if (!world.cameras.empty()) rest_view = world.cameras.back()->get_view();

    const Vec3 eyes[3] = {
        Vec3(c.x + 0.75f * k * s, c.y - 0.75f * k * s, c.z + 0.75f * k * s),
        Vec3(c.x + 0.00001f, c.y - k * s, c.z + 0.00001f),
        Vec3(c.x + 0.00001f, c.y + 0.00001f, c.z + k * s),
    };
    for (const Vec3& eye : eyes) {
        auto camera = std::make_unique<Camera>();
        camera->set_view(eye, c, Vec3(0, 0, 1));
        camera->set_clip_from_size(s * k);
        world.cameras.push_back(std::move(camera));
    }
    // Without a camera of the model's own the viewer rests at the first added one (the
    // diagonal view) rather than at an identity view from inside the model.
    if (first_added_camera == 0) rest_view = world.cameras.front()->get_view();

    cube_camera = static_cast<int32_t>(world.cameras.size());
    auto cube = std::make_unique<Camera>();
    cube->set_clip_from_size(s * 2.5f);
    world.cameras.push_back(std::move(cube));

    if (world.lights.empty()) {
        default_light = true;
        auto light = std::make_unique<Light>();
        light->set_name("Default light 1");
        light->set_ambient(Vec4(0.002f, 0.002f, 0.002f, 1));
        light->set_diffuse(Vec4(1, 1, 1, 1));
        light->set_specular(Vec4(1, 1, 1, 1));
        light->set_position(s, -s, s);
        light->set_range(2.0f * s);
        light->attenuation_from_point(c);
        world.lights.push_back(std::move(light));
    }

    world.set_shadows(shadows);
    for (Objects3D& box : boxes) world.attach(&box);

    reflection = std::make_unique<ReflectionMap>(MAP_SIZE, MAP_SIZE);

    values[ROT_Y] = music->add_sync_value("rcRotY", 0.0f, true);
    values[ROT_Z] = music->add_sync_value("rcRotZ", 0.0f, true);
    values[FOV] = music->add_sync_value("rcFOV", 45.0f, true);
    values[SPHERE_SIZE] = music->add_sync_value("rcSphereSize", 1.0f, true);
}

void ReflectionCubes::reshape(int new_width, int new_height) {
    Scene::reshape(new_width, new_height);
    world.set_viewport(new_width, new_height, aspect);
}

// ---- the frame ------------------------------------------------------------------------------

void ReflectionCubes::update_frame(float b) {
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glClearColor(14.0f / 255.0f, 57.0f / 255.0f, 102.0f / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT | GL_ACCUM_BUFFER_BIT);

    const int32_t last_camera = static_cast<int32_t>(world.cameras.size()) - 1;
    viewer_camera = std::max(0, std::min(viewer_camera, last_camera));
    world.set_camera(viewer_camera);
    Camera& viewer = *world.cameras[static_cast<size_t>(viewer_camera)];
    viewer.set_view_matrix(rest_view);
    viewer.rotate_y(music->get_sync_value(values[ROT_Y]));
    viewer.rotate_z(music->get_sync_value(values[ROT_Z]));
    viewer.set_yfov(music->get_sync_value(values[FOV]));

    const Vec3 c = scene_center;
    const float s = scene_size;
    if (default_light && animate)
        world.lights.back()->set_position(c.x - std::sin(-0.3f * b) * s / 2.0f, c.y - std::cos(-0.3f * b) * s / 2.0f,
                                          c.z + s / 2.0f);
    if (animate) world.update(b, false);

    sphere_pos.set(std::sin(b), std::cos(b), 0.0f, 1.0f);
    for (int i = 0; i < INNER_BOXES; ++i) {
        boxes[i].set_root_matrix(box_rest[i]);
        boxes[i].rotate_root(30.0f * b, 0.8f, 0.2f, 0.3f);
    }
}

void ReflectionCubes::render() {
    update_frame(music->get_beat());
    const Vec3 centre(sphere_pos.x, sphere_pos.y, sphere_pos.z);

    // The surroundings as the sphere sees them: every box, never the model's own cube.
    reflection->set_position(centre);
    for (Objects3D& box : boxes) box.set_all_visible(true);
    world.set_visible("cube_001", false);
    world.set_shader(OBJ_SHADER_NOTEX, shader_set->entry(ProgramId::MultiMaterialNoTexture));
    world.set_camera(cube_camera);
    Camera& cube = *world.cameras[static_cast<size_t>(cube_camera)];
    faces_drawn = 0;
    for (int face = 0; face < 6; ++face) {
        reflection->begin_face(face);
        cube.set_view_matrix(reflection->face_matrix(face));
        cube.set_output(MAP_SIZE, MAP_SIZE, 1.0f);
        cube.set_yfov(90.0f);
        cube.set_near_far(0.01f, 100.0f);
        draw_world();
        reflection->end_face();
        ++faces_drawn;
    }

    world.set_camera(viewer_camera);
    shadows = true;
    draw_world();
    world.cameras[static_cast<size_t>(viewer_camera)]->apply_projection(world.width, world.height, world.aspect, 1.0f);

    for (Objects3D& box : boxes) box.set_all_visible(false);
    world.set_visible("cube_001", true);
    ShaderProgram* mirror = shader_set->entry(ProgramId::UnlitCubemap);
    world.set_shader(OBJ_SHADER_NOTEX, mirror);

    reflection->bind();
    mirror->bind();
    mirror->set_uniform1i("CubeMap", 0);
    mirror->set_uniform1i("difftex", 1);
    plate.bind(1);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glEnable(GL_COLOR_MATERIAL);
    glColor4f(1, 1, 1, 1);
    draw_geosphere(music->get_sync_value(values[SPHERE_SIZE]), 3, false, centre);
    ReflectionMap::unbind();
}
