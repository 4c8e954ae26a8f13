// The scene graph's queries and editing operations on scenes built by hand. Loading documents
// draws them once, so those tests run with a GL context (e2e/scene_render_gl_test.cpp).
#include "util/objects3d/objects3d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "test_support.h"

namespace {

// Appends a node with the given local matrix (see Objects3D::add_node).
Node& add_node(Objects3D& scene, const char* name, int32_t parent, const Mat4& local = Mat4()) {
    Node& node = *scene.nodes[static_cast<size_t>(scene.add_node(name, parent))];
    node.local_matrix = local;
    return node;
}

Mat4 translation(float x, float y, float z) {
    Mat4 m;
    m.translate(x, y, z);
    return m;
}

// A cube from -1 to 1 as one object of one mesh, hung on `node`.
void add_cube(Objects3D& scene, Node& node, const char* name = "cube") {
    auto mesh = std::make_unique<Mesh>();
    for (int i = 0; i < 8; ++i) {
        mesh->vertices.push_back(i & 1 ? 1.0f : -1.0f);
        mesh->vertices.push_back(i & 2 ? 1.0f : -1.0f);
        mesh->vertices.push_back(i & 4 ? 1.0f : -1.0f);
    }
    mesh->vertices_stride = 3;
    auto object = std::make_unique<GeomObject>();
    object->name = name;
    object->mesh_id = static_cast<int32_t>(scene.meshes.size());
    object->mesh_ptr = mesh.get();
    object->ivertices = {0, 1, 2, 5, 6, 7};  // corners 0 and 7 span the cube
    node.objects.push_back(static_cast<int32_t>(scene.geom_objects.size()));
    scene.meshes.push_back(std::move(mesh));
    scene.geom_objects.push_back(std::move(object));
}

void expect_vec(const Vec3& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-5f);
    EXPECT_NEAR(v.y, y, 1e-5f);
    EXPECT_NEAR(v.z, z, 1e-5f);
}

Vec3 origin_of(const Mat4& m) { return m.transform_point(Vec3(0, 0, 0)); }

// ---- node matrices --------------------------------------------------------------------------

TEST(SceneGraph, NodeMatricesFollowTheTreeAndTheFirstDepthFirstMatch) {
    Objects3D scene;
    Mat4 master;
    master.scale(2, 2, 2);
    add_node(scene, "Master node", -1, master);
    add_node(scene, "arm", 0, translation(1, 0, 0));
    add_node(scene, "hand", 1, translation(0, 2, 0));  // first "hand" depth first
    add_node(scene, "hand", 0, translation(5, 0, 0));  // earlier sibling order, but later depth first

    Mat4 m;
    scene.get_node_matrix("hand", m);
    expect_vec(origin_of(m), 2, 4, 0);  // the master's scale applies to the whole chain
    scene.get_node_matrix(nullptr, m);
    EXPECT_FLOAT_EQ(m.get(0), 2.0f);  // the master node's own local matrix
    expect_vec(origin_of(m), 0, 0, 0);

    // node_world_matrix multiplies onto what it is given.
    Mat4 start = translation(0, 0, 7);
    scene.node_world_matrix(2, start);
    expect_vec(origin_of(start), 2, 4, 7);

    EXPECT_EQ(fatal_message_of([&] { scene.get_node_matrix("foot", m); }), "Couldn't find node foot");
    Objects3D empty;
    EXPECT_EQ(fatal_message_of([&] { empty.get_node_matrix(nullptr, m); }),
              "Objects3D::get_node_matrix called on scene with no nodes yet!");
    EXPECT_EQ(fatal_message_of([&] { empty.node_world_matrix(0, m); }), "Failed assert nodes.size() > 0");
}

// ---- bounding boxes -------------------------------------------------------------------------

TEST(SceneGraph, BoundingBoxOfATranslatedAndScaledNode) {
    Objects3D scene;
    add_node(scene, "Master node", -1);
    Mat4 placed = translation(10, 0, 0);
    placed.scale(2, 3, 4);
    add_cube(scene, add_node(scene, "box", 0, placed));
    add_cube(scene, add_node(scene, "unit", 0));

    Vec3 min, max;
    scene.bounding_box("box", min, max, false);
    expect_vec(min, 8, -3, -4);
    expect_vec(max, 12, 3, 4);
    scene.bounding_box(nullptr, min, max, false);
    expect_vec(min, -1, -3, -4);
    expect_vec(max, 12, 3, 4);
    expect_vec(scene.center(nullptr, false), 5.5f, 0, 0);
    EXPECT_EQ(fatal_message_of([&] { scene.bounding_box("none", min, max, false); }), "Couldn't find node none");

    // Skinned copies, when there are any, are what is measured.
    GeomObject& unit = *scene.geom_objects[1];
    unit.vertices_deformed = scene.meshes[1]->vertices;
    unit.vertices_deformed[0] = -20;  // vertex 0's x
    scene.bounding_box("unit", min, max, false);
    expect_vec(min, -20, -1, -1);

    // An empty subtree keeps the starting extremes.
    add_node(scene, "empty", 0);
    scene.bounding_box("empty", min, max, false);
    expect_vec(min, 999999, 999999, 999999);
    expect_vec(max, -999999, -999999, -999999);

    scene.geom_objects[0]->mesh_ptr = nullptr;
    EXPECT_EQ(fatal_message_of([&] { scene.bounding_box("box", min, max, false); }), "obj->mesh_ptr is NULL");
}

TEST(SceneGraph, AttachedScenesWidenTheBoxAndShareTheViewport) {
    Objects3D master, child;
    add_cube(master, add_node(master, "Master node", -1));
    add_cube(child, add_node(child, "Master node", -1, translation(0, 0, -9)));
    master.attach(&child);
    EXPECT_EQ(child.master, &master);
    EXPECT_EQ(master.master, &master);

    Vec3 min, max;
    master.bounding_box(nullptr, min, max, false);
    expect_vec(min, -1, -1, -1);
    master.bounding_box(nullptr, min, max, true);
    expect_vec(min, -1, -1, -10);
    expect_vec(max, 1, 1, 1);
    expect_vec(master.center(nullptr, true), 0, 0, -4.5f);
    // size always measures the attached scenes too.
    EXPECT_NEAR(master.size(nullptr), Vec3(2, 2, 11).length(), 1e-4f);

    master.set_viewport(640, 360, 16.0f / 9.0f);
    EXPECT_EQ(child.width, 640);
    EXPECT_EQ(child.height, 360);
    EXPECT_FLOAT_EQ(child.aspect, 16.0f / 9.0f);
}

// ---- editing --------------------------------------------------------------------------------

TEST(SceneGraph, CamerasShadersAndVisibility) {
    Objects3D scene;
    scene.cameras.push_back(std::make_unique<Camera>());
    scene.cameras.push_back(std::make_unique<Camera>());
    scene.set_camera(1);
    EXPECT_EQ(scene.cur_cam, 1);
    scene.set_camera(2);  // one past the end
    EXPECT_EQ(scene.cur_cam, -1);
    scene.set_camera(-1);
    EXPECT_EQ(scene.cur_cam, -1);

    ShaderProgram program;
    scene.set_shader(9, &program);
    EXPECT_EQ(scene.shaders[9], &program);
    EXPECT_EQ(fatal_message_of([&] { scene.set_shader(10, &program); }), "Shader type out of range!");
    EXPECT_EQ(fatal_message_of([&] { scene.set_shader(-1, &program); }), "Shader type out of range!");

    add_node(scene, "Master node", -1);
    add_cube(scene, *scene.nodes[0], "wheel");
    add_cube(scene, *scene.nodes[0], "body");
    add_cube(scene, *scene.nodes[0], "wheel");
    scene.set_visible("wheel", false);
    EXPECT_FALSE(scene.geom_objects[0]->visible);
    EXPECT_TRUE(scene.geom_objects[1]->visible);
    EXPECT_FALSE(scene.geom_objects[2]->visible);
    EXPECT_EQ(fatal_message_of([&] { scene.set_visible("Wheel", true); }), "Can't find Wheel");
    scene.set_all_visible(true);
    for (const auto& object : scene.geom_objects) EXPECT_TRUE(object->visible);
}

TEST(SceneGraph, RootEditsAndMaterialLookups) {
    Objects3D scene;
    EXPECT_EQ(fatal_message_of([&] { scene.translate_root(1, 2, 3); }), "master_node is NULL");
    EXPECT_EQ(fatal_message_of([&] { scene.toggle_flip(); }), "master_node is NULL");

    add_node(scene, "Master node", -1);
    scene.translate_root(1, 2, 3);
    scene.scale_root(2, 2, 2);  // post-multiplied: the translation stays as it is
    Mat4 m;
    scene.get_node_matrix(nullptr, m);
    expect_vec(origin_of(m), 1, 2, 3);
    expect_vec(m.transform_point(Vec3(1, 0, 0)), 3, 2, 3);
    scene.rotate_root(90, 0, 0, 1);
    expect_vec(scene.master_node->local_matrix.transform_point(Vec3(1, 0, 0)), 1, 4, 3);
    scene.set_root_matrix(Mat4());
    expect_vec(origin_of(scene.master_node->local_matrix), 0, 0, 0);
    scene.toggle_flip();
    EXPECT_TRUE(scene.master_node->flip_winding);

    scene.materials.push_back(std::make_unique<Material>());
    scene.materials.push_back(std::make_unique<Material>());
    scene.materials[1]->name = "steel";
    EXPECT_EQ(scene.find_material("steel"), scene.materials[1].get());
    EXPECT_EQ(fatal_message_of([&] { scene.find_material("Steel"); }), "Couldn't find material Steel");
}

TEST(SceneGraph, OnlyColladaNamesLoad) {
    Objects3D scene;
    EXPECT_FALSE(scene.load("models/ship.obj"));
    EXPECT_EQ(scene.file_name, "models/ship.obj");
    EXPECT_TRUE(scene.nodes.empty());
    EXPECT_EQ(scene.master_node, nullptr);
    EXPECT_FALSE(scene.load("dae"));
    EXPECT_EQ(scene.cur_cam, -1);
}

}  // namespace
