// One loaded 3D scene: a tree of nodes carrying transforms, and flat tables of the cameras,
// lights, materials, meshes, drawable objects, skin controllers and animation channels the
// nodes refer to by index. Filled from a COLLADA file (dae_loader) or, in a packed build, from
// its converted form in the archive (scene_file); moved in time by update() (animation and
// skinning); drawn by render() with fixed-function lights and materials, one program per draw
// situation, shadow cubes, glow and mirrors (render.cpp, mirror.cpp).
// Depends on: util/math, util/camera, util/light, util/texture, util/fbo, util/shaderprogram,
// util/data (the archive mode), util/objects3d/dae_loader and scene_file (the converted form).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "util/camera/camera.h"
#include "util/fbo/fbo.h"
#include "util/light/light.h"
#include "util/math/math.h"
#include "util/objects3d/animation.h"
#include "util/objects3d/geomobject.h"
#include "util/shaderprogram/shaderprogram.h"

struct Node {
    std::string name = "default_node";
    Mat4 local_matrix;
    int32_t joint_depth = -1;
    int32_t parent_index = -1;
    int32_t this_index = -1;
    // Indices into the tables of the same scene.
    std::vector<int32_t> children, objects, controllers, animations, cameras, lights;
    bool flip_winding = false;
    bool show_objects = true;
    bool show_subtree = true;
};

// The eight tables a load fills. Every element is owned through its table; every index stored
// in a record is valid in the tables of the same scene.
struct SceneTables {
    std::vector<std::unique_ptr<Camera>> cameras;
    std::vector<std::unique_ptr<Light>> lights;
    std::vector<std::unique_ptr<Animation>> animations;
    std::vector<std::unique_ptr<Material>> materials;
    std::vector<std::unique_ptr<Controller>> controllers;
    std::vector<std::unique_ptr<Mesh>> meshes;
    std::vector<std::unique_ptr<GeomObject>> geom_objects;
    std::vector<std::unique_ptr<Node>> nodes;  // node n has this_index n; the master node first
};

class Mirror;

// The shader slots: the program for each draw situation. A null slot draws with the fixed
// pipeline.
enum ObjectShaderSlot {
    OBJ_SHADER_NOTEX = 0,                // normal pass, untextured objects
    OBJ_SHADER_TEXTURE = 1,              // normal pass, textured objects and mirrors
    OBJ_SHADER_SHADOW_DEPTHWRITE = 2,    // shadow depth pass
    OBJ_SHADER_SHADOW_AMBIENT = 3,       // shadow ambient pass, untextured
    OBJ_SHADER_SHADOW_AMBIENT_TEX = 4,   // shadow ambient pass, textured and mirrors
    OBJ_SHADER_SHADOW_LIGHTING = 5,      // shadow lighting pass, untextured
    OBJ_SHADER_SHADOW_LIGHTING_TEX = 6,  // shadow lighting pass, textured and mirrors
    OBJ_SHADER_GLOW = 7,                 // glow pass, untextured
    OBJ_SHADER_GLOW_TEX = 8,             // glow pass, textured and mirrors
    OBJ_SHADER_GLOW_COMPOSITE = 9,       // the glow target added over the frame
};

// The pass a draw call belongs to.
enum DrawMode {
    DRAW_NORMAL = 0,
    DRAW_SHADOW_AMBIENT = 1,
    DRAW_SHADOW_DEPTH = 2,
    DRAW_SHADOW_LIGHTING = 3,
    DRAW_GLOW = 4,
};

class Objects3D : public SceneTables {
public:
    static constexpr int SHADER_SLOTS = 10;

    Objects3D() = default;
    Objects3D(const Objects3D&) = delete;
    Objects3D& operator=(const Objects3D&) = delete;

    // ---- loading ----
    // Records the name; a ".dae" name (any case) is loaded with load_scene, anything else
    // loads nothing and returns false.
    bool load(const char* name);
    bool load_scene(const char* name);
    // Draws the child with this scene, with this scene's shaders, cameras and lights.
    void attach(Objects3D* child);

    // ---- editing ----
    // Appends a node under `parent_index` (-1 for the first node, which becomes the master
    // node) and returns its index: for scenes built in code rather than loaded.
    int32_t add_node(const std::string& name, int32_t parent_index);
    void set_shader(int slot, ShaderProgram* program);
    void set_camera(int index);
    void set_viewport(int width, int height, float aspect);
    void set_shadows(bool on);
    void set_all_visible(bool visible);
    void set_visible(const char* name, bool visible);
    void toggle_flip();
    void set_root_matrix(const Mat4& m);
    void translate_root(float x, float y, float z);
    void rotate_root(float degrees, float ax, float ay, float az);
    void scale_root(float x, float y, float z);
    void start_animation(bool on);

    // ---- queries ----
    Material* find_material(const char* name);
    // m = m times the local matrices from the root down to the node.
    void node_world_matrix(int32_t index, Mat4& m) const;
    // The named node's world matrix (the first in depth-first order), or the master node's
    // local matrix for a null name.
    void get_node_matrix(const char* name, Mat4& m) const;
    void bounding_box(const char* name, Vec3& min, Vec3& max, bool include_attached) const;
    Vec3 center(const char* name, bool include_attached) const;
    float size(const char* name) const;

    // ---- animation and skinning ----
    // Moves the scene to `time` seconds: animated nodes, the cameras and lights on them, and
    // (unless skipped) the skinned meshes.
    void update(float time, bool skip_skinning);
    void compute_animation_length();
    void apply_animations(Node* node, float time);
    void skin_node(Node* node);

    // ---- rendering ----
    // Draws the whole scene, its attached scenes and its mirrors; with shadows through the
    // ambient, depth and per-light lighting passes, else in one lit pass.
    void render(bool shadows);
    // Debug views: the bounding box (attached scenes included) as a translucent box, and a
    // sphere at each light that is not ambient (a negative radius: 0.02 of the scene's size).
    void draw_bounding_box();
    void draw_lights(float radius);

    Node* master_node = nullptr;
    std::string file_name;
    ShaderProgram* shaders[SHADER_SLOTS] = {};
    float animation_length = -1;
    bool animating = false;
    int32_t cur_cam = -1;
    int32_t width = -1, height = -1;
    float aspect = -1;
    bool apply_camera = true;
    bool glow_enabled = false;
    bool cull_in_shadow_pass = false;
    Objects3D* master = this;
    std::vector<Objects3D*> attached;
    std::vector<Mirror*> mirrors;
    std::unique_ptr<Fbo> glow_fbo;
    // Set while the mirrors render their reflections: a mirror seen in a mirror is not rendered
    // again.
    bool mirror_pass_active = false;
    // Shadow cube faces whose depth was drawn, over the scene's life.
    int64_t shadow_faces_drawn = 0;
    // Scratch for shadow_cube_current, kept to spare an allocation per light and draw.
    std::vector<uint8_t> shadow_description;

private:
    void render_mirrors(bool shadows);
    // One pass over this scene, the attached scenes and the mirrors.
    void draw_pass(int mode, int light);
    void glow_pass();
    // Whether the light's shadow cube was drawn from the light and casters as they stand now,
    // so that a scene drawn several times a frame (cube-map faces, mirrors) and a scene at rest
    // draw its depth once; else records them for the draw that follows.
    bool shadow_cube_current(Light& light);
    // Viewport, projection and view of the master's current camera for the debug views.
    void apply_debug_camera();

    // The first node of that name, depth first from the master node; null when none.
    const Node* find_node(const char* name) const;
    void widen_bounding_box(const Node& node, Vec3& min, Vec3& max) const;
};

// Draws a subtree with the current modelview as its parent transform; the winding flag is
// XOR-ed down the tree, programs come from the scene's master.
void render_node(Objects3D* scene, Node* node, bool flipped, int mode, int light);
// Draws one geometry object, creating and refreshing its buffers on the way.
void draw_object(Objects3D* scene, int index, int mode);
// Binds the master's program for an object of that kind in that pass (and its uniforms), or
// the fixed pipeline for an empty slot; returns the program or null.
ShaderProgram* use_object_program(Objects3D* scene, bool textured, bool mirror, int mode, int light);
// The material an object is drawn with; an index outside the table gives the defaults.
const Material& material_of(const Objects3D& scene, const GeomObject& object);
// GL material colours from a material (plus its color_add), or all four black.
void apply_material(const Material& material, bool black);
// Binds a surface texture to unit 0, or to unit 1 while the shadow cube holds unit 0 (null: no
// texturing there); returns the unit, leaving unit 0 active.
int bind_surface_texture(const Texture* texture);
