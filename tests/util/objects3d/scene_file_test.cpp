// The converted scene in the archive: round trips of the committed documents through a real
// archive image, the entry names and byte layouts against hand-written bytes, and damaged
// entries ending in their reports. Every test starts and ends with an empty archive; textures
// come from a hook (no GL). Whole loads in the archive modes draw the scene, so they run with a
// context (e2e/scene_file_gl_test.cpp).
#include "util/objects3d/scene_file.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/byte_order.h"
#include "test_support.h"
#include "util/data/data.h"
#include "util/objects3d/scene_compare.h"

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

std::vector<std::string> requested;

std::unique_ptr<Texture> fake_texture(const char* path) {
    requested.push_back(path);
    return std::make_unique<Texture>();
}

class SceneFile : public ::testing::Test {
protected:
    void SetUp() override {
        reset_datafile();
        setenv("ZORVANE_BATCH", "1", 1);
        requested.clear();
    }
    void TearDown() override { reset_datafile(); }
};

// ---- archive helpers ------------------------------------------------------------------------

// What save_internal wrote, in order, as (name, bytes).
Entries saved(const SceneTables& scene, const char* base) {
    set_datafile_mode(DATAFILE_MODE_WRITE);
    save_internal(scene, base);
    Entries out;
    for (const DataChunk& e : get_datafile_entries()) out.emplace_back(e.name, std::string(e.data, e.size));
    return out;
}

// The entries packed into an archive file image and read back from it, as a packed build does.
void open_as_archive(const Entries& entries) {
    std::vector<DataChunk> chunks;
    for (const auto& [name, content] : entries)
        chunks.push_back(DataChunk{name, static_cast<uint32_t>(content.size()), const_cast<char*>(content.data()), false});
    std::vector<uint8_t> image = build_datafile_image(chunks, nullptr);
    reset_datafile();
    set_datafile_mode(DATAFILE_MODE_READ);
    parse_datafile_image(image.data(), image.size(), "scene.zqf");
}

SceneTables loaded_from(const Entries& entries, const char* base) {
    open_as_archive(entries);
    SceneTables scene;
    load_internal(scene, base, fake_texture);
    return scene;
}

std::string report_loading(const Entries& entries, const char* base = "s.dae") {
    return fatal_message_of([&] { loaded_from(entries, base); });
}

const std::string* find(const Entries& entries, const std::string& name) {
    for (const auto& e : entries)
        if (e.first == name) return &e.second;
    return nullptr;
}

Entries replaced(Entries entries, const std::string& name, const std::string& content) {
    for (auto& e : entries)
        if (e.first == name) e.second = content;
    return entries;
}

Entries without(Entries entries, const std::string& name) {
    entries.erase(std::remove_if(entries.begin(), entries.end(), [&](const auto& e) { return e.first == name; }),
                  entries.end());
    return entries;
}

std::string ints(std::initializer_list<int32_t> values) {
    std::string out;
    for (int32_t v : values) {
        uint8_t raw[4];
        write_u32_le(raw, static_cast<uint32_t>(v));
        out.append(reinterpret_cast<const char*>(raw), 4);
    }
    return out;
}

// "0000803f 00000040" -> bytes; spaces are for the reader.
std::string hex(const std::string& text) {
    std::string out, digits;
    for (char c : text)
        if (c != ' ') digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2) out += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    return out;
}

std::vector<std::string> committed_documents() {
    const std::string dir = ZORVANE_TEST_DATA "/collada/";
    std::vector<std::string> out;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dae") == 0) out.push_back(dir + name);
        }
        closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// ---- round trips ----------------------------------------------------------------------------

TEST_F(SceneFile, CommittedDocumentsComeBackBitForBitThroughAnArchiveFile) {
    const std::vector<std::string> documents = committed_documents();
    ASSERT_GE(documents.size(), 3u);
    for (const std::string& path : documents) {
        SCOPED_TRACE(path);
        reset_datafile();
        requested.clear();
        SceneTables original;
        load_collada(path.c_str(), original, fake_texture);
        const std::vector<std::string> collada_textures = requested;
        const Entries entries = saved(original, path.c_str());

        requested.clear();
        SceneTables back = loaded_from(entries, path.c_str());
        expect_same_tables(original, back);
        // The stored paths are the ones the conversion computed.
        EXPECT_EQ(requested, collada_textures);
    }
}

// ---- names and layouts ----------------------------------------------------------------------

// A master node and a leaf moved to (1, 2, 3) by one translation key, drawing a triangle of a
// mesh without normals or texture coordinates with a second material; no cameras, no lights.
SceneTables tiny_scene() {
    SceneTables t;
    auto move = std::make_unique<Animation>();
    move->name = "move";
    move->target = "leaf";
    move->kind = Animation::TRANSLATION;
    move->axis = Vec3(0, 0, 1);
    move->timeline = {0.5f};
    move->translation = {Vec3(1, 2, 3)};
    move->interpolation = {Animation::LINEAR};
    t.animations.push_back(std::move(move));
    t.materials.push_back(std::make_unique<Material>());
    auto paint = std::make_unique<Material>();
    paint->name = "paint";
    t.materials.push_back(std::move(paint));
    auto mesh = std::make_unique<Mesh>();
    mesh->name = "tri";
    mesh->vertices = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    mesh->vertices_stride = 3;
    t.meshes.push_back(std::move(mesh));
    auto object = std::make_unique<GeomObject>();
    object->name = "tri";
    object->material = "paint";
    object->ivertices = {0, 1, 2};
    object->mesh_id = 0;
    object->material_index = 1;
    object->mesh_ptr = t.meshes[0].get();
    t.geom_objects.push_back(std::move(object));
    auto master = std::make_unique<Node>();
    master->name = "Master node";
    master->this_index = 0;
    master->children = {1};
    t.nodes.push_back(std::move(master));
    auto leaf = std::make_unique<Node>();
    leaf->name = "leaf";
    leaf->local_matrix.translate(1, 2, 3);
    leaf->joint_depth = 0;
    leaf->parent_index = 0;
    leaf->this_index = 1;
    leaf->objects = {0};
    leaf->animations = {0};
    t.nodes.push_back(std::move(leaf));
    return t;
}

TEST_F(SceneFile, EntriesAreNamedAndLaidOutByteForByte) {
    const Entries entries = saved(tiny_scene(), "s.dae");
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.first);
    const std::vector<std::string> expected_names = {
        "s.dae",
        "s.dae.anim0id", "s.dae.anim0target", "s.dae.anim0timeline", "s.dae.anim0rotation_amount",
        "s.dae.anim0translation", "s.dae.anim0matrix", "s.dae.anim0interpolation", "s.dae.anim0",
        "s.dae.material0id", "s.dae.material0fx", "s.dae.material0diff_tex_fname", "s.dae.material0glow_tex_fname",
        "s.dae.material0",
        "s.dae.material1id", "s.dae.material1fx", "s.dae.material1diff_tex_fname", "s.dae.material1glow_tex_fname",
        "s.dae.material1",
        "s.dae.mesh0id", "s.dae.mesh0vertices", "s.dae.mesh0normals", "s.dae.mesh0texcoords", "s.dae.mesh0",
        "s.dae.geom_object0id", "s.dae.geom_object0material", "s.dae.geom_object0ivertices",
        "s.dae.geom_object0inormals", "s.dae.geom_object0itexcoords", "s.dae.geom_object0",
        "s.dae.node0id", "s.dae.node0children", "s.dae.node0objects", "s.dae.node0controllers",
        "s.dae.node0animations", "s.dae.node0cameras", "s.dae.node0lights", "s.dae.node0",
        "s.dae.node1id", "s.dae.node1children", "s.dae.node1objects", "s.dae.node1controllers",
        "s.dae.node1animations", "s.dae.node1cameras", "s.dae.node1lights", "s.dae.node1",
    };
    EXPECT_EQ(names, expected_names);  // no camera, light or controller entries at all

    // Counts: cameras, lights, animations, materials, controllers, meshes, objects, nodes.
    EXPECT_EQ(*find(entries, "s.dae"), ints({0, 0, 1, 2, 0, 1, 1, 2}));
    EXPECT_EQ(*find(entries, "s.dae.anim0target"), std::string("leaf", 5));
    EXPECT_EQ(*find(entries, "s.dae.anim0timeline"), hex("0000003f"));
    EXPECT_EQ(*find(entries, "s.dae.anim0translation"), hex("0000803f 00000040 00004040"));  // no fourth float
    EXPECT_EQ(*find(entries, "s.dae.anim0matrix"), "");
    EXPECT_EQ(*find(entries, "s.dae.anim0"), hex("02000000 00000000 00000000 0000803f 01000000"));
    EXPECT_EQ(*find(entries, "s.dae.material1diff_tex_fname"), std::string(1, '\0'));
    EXPECT_EQ(find(entries, "s.dae.material1")->size(), 84u);
    EXPECT_EQ(find(entries, "s.dae.material1")->substr(32, 16), hex("0000803f 0000803f 0000803f 0000803f"));
    EXPECT_EQ(find(entries, "s.dae.material1")->substr(80), hex("0000a041"));  // shininess 20
    EXPECT_EQ(*find(entries, "s.dae.mesh0texcoords"), "");
    EXPECT_EQ(*find(entries, "s.dae.mesh0"), ints({3, 0, 0}));
    EXPECT_EQ(*find(entries, "s.dae.geom_object0"), ints({0, 1, 0}));
    EXPECT_EQ(*find(entries, "s.dae.node0children"), ints({1}));
    EXPECT_EQ(*find(entries, "s.dae.node1children"), "");
    EXPECT_EQ(*find(entries, "s.dae.node1objects"), ints({0}));
    EXPECT_EQ(*find(entries, "s.dae.node1"),
              hex("0000803f 00000000 00000000 00000000  00000000 0000803f 00000000 00000000"
                  "00000000 00000000 0000803f 00000000  0000803f 00000040 00004040 0000803f"
                  "00000000 00000000 01000000"));

    // Read back: size-0 entries are empty lists, not missing ones, and a Vec3 gets w = 1.
    SceneTables back = loaded_from(entries, "s.dae");
    EXPECT_TRUE(back.cameras.empty());
    EXPECT_TRUE(back.nodes[1]->children.empty());
    EXPECT_TRUE(back.meshes[0]->texcoords.empty());
    EXPECT_EQ(back.meshes[0]->texcoords_stride, 0);
    EXPECT_EQ(back.animations[0]->translation[0].w, 1.0f);
    expect_same_tables(tiny_scene(), back);
}

TEST_F(SceneFile, RecordNumbersAreDecimalWithoutPadding) {
    SceneTables t;
    for (int i = 0; i <= 10; ++i) {
        auto node = std::make_unique<Node>();
        node->this_index = i;
        node->parent_index = i - 1;
        if (i < 10) node->children = {i + 1};
        t.nodes.push_back(std::move(node));
    }
    const Entries entries = saved(t, "m.dae");
    ASSERT_NE(find(entries, "m.dae.node10"), nullptr);
    EXPECT_EQ(*find(entries, "m.dae.node10children"), "");
    EXPECT_EQ(*find(entries, "m.dae.node9children"), ints({10}));
    EXPECT_EQ(find(entries, "m.dae.node010"), nullptr);
    EXPECT_EQ(loaded_from(entries, "m.dae").nodes.size(), 11u);
}

// ---- damaged entries ------------------------------------------------------------------------

// Every table in use: node 1 carries the object, the skin, a channel, the camera and the light;
// node 2 is the skin's joint. The mesh has normals and texture coordinates.
SceneTables full_scene() {
    SceneTables t = tiny_scene();
    t.cameras.push_back(std::make_unique<Camera>());
    t.cameras[0]->set_orthographic(3, -1);
    t.lights.push_back(std::make_unique<Light>());
    Mesh& mesh = *t.meshes[0];
    mesh.normals = {0, 0, 1, 0, 0, 1};
    mesh.normals_stride = 3;
    mesh.texcoords = {0, 0, 1, 0, 0, 1};
    mesh.texcoords_stride = 2;
    GeomObject& object = *t.geom_objects[0];
    object.inormals = {0, 1, 0};
    object.itexcoords = {0, 1, 2};
    auto skin = std::make_unique<Controller>();
    skin->name = "skin";
    skin->joints = {2};
    skin->weights = {1};
    skin->vcounts = {1, 1, 0};
    skin->v = {0, 0, 0, 0};
    skin->inv_bind_matrices.resize(1);
    t.controllers.push_back(std::move(skin));
    Node& leaf = *t.nodes[1];
    leaf.controllers = {0};
    leaf.cameras = {0};
    leaf.lights = {0};
    leaf.children = {2};
    auto joint = std::make_unique<Node>();
    joint->name = "joint";
    joint->parent_index = 1;
    joint->this_index = 2;
    t.nodes.push_back(std::move(joint));
    return t;
}

TEST_F(SceneFile, DamagedEntriesEndInTheirReportBeforeAnythingIsUsed) {
    const Entries good = saved(full_scene(), "s.dae");
    reset_datafile();
    ASSERT_EQ(report_loading(good), "");

    struct Damage {
        const char* entry;
        std::string content;  // "-" removes the entry
        std::string message;
    };
    const std::string stray_int = *find(good, "s.dae.node1") + ints({7});
    const Damage damages[] = {
        // Sizes of main entries and of arrays.
        {"s.dae.node1", stray_int, "Failed assert pos == buffer_size\n pos is 76\n buffer_size is 80"},
        {"s.dae.node1", find(good, "s.dae.node1")->substr(0, 72),
         "Failed assert pos == buffer_size\n pos is 76\n buffer_size is 72"},
        {"s.dae.cam0", "", "Failed assert pos == buffer_size\n pos is 80\n buffer_size is 0"},
        {"s.dae.light0", "-", "buf is NULL"},
        {"s.dae", "-", "main_buffer is NULL\nthe archive holds no converted scene s.dae"},
        {"s.dae", ints({0, 0, 1}), "Scene entry s.dae holds 12 bytes, not the 32 of its eight record counts"},
        {"s.dae.node0children", "abcde", "Scene entry s.dae.node0children holds 5 bytes, not a whole number of 4-byte values"},
        {"s.dae.anim0translation", ints({1, 2, 3, 4}),
         "Scene entry s.dae.anim0translation holds 16 bytes, not a whole number of 12-byte values"},
        {"s.dae.controller0inv_bind_matrices", "-", "temp_buffer is NULL"},
        {"s.dae.anim0matrix", "-", "temp_buffer is NULL"},
        // Strings.
        {"s.dae.node1id", "leaf", "Scene entry s.dae.node1id holds no zero-terminated string"},
        {"s.dae.material0fx", "", "Scene entry s.dae.material0fx holds no zero-terminated string"},
        {"s.dae.mesh0id", "-", "Scene entry s.dae.mesh0id is missing"},
        // Counts.
        {"s.dae", ints({1, 1, 1, 2, 1, 1, 1, -3}), "Scene entry s.dae counts -3 nodes"},
        {"s.dae", ints({1, 1, 1, 2, 1, 1000000, 1, 3}),
         "Scene entry s.dae counts 1000000 meshes, more than the " + std::to_string(good.size()) +
             " entries of the archive"},
        // Indices of nodes.
        {"s.dae.node0children", ints({1, 5}), "Scene entry s.dae.node0children holds index 5, outside the 3 nodes"},
        {"s.dae.node0children", ints({1, 1}), "Scene entry s.dae.node0children lists node 1 twice"},
        {"s.dae.node0children", ints({1, 2}), "Scene entry s.dae.node0children lists node 2, whose parent is 1, as a child"},
        {"s.dae.node1children", ints({2, 0}), "Scene entry s.dae.node1children lists node 0, whose parent is -1, as a child"},
        {"s.dae.node1children", "", "Scene entry s.dae.node1children does not list node 2, whose parent it is"},
        {"s.dae.node1objects", ints({1}), "Scene entry s.dae.node1objects holds index 1, outside the 1 geometry objects"},
        {"s.dae.node1controllers", ints({-1}), "Scene entry s.dae.node1controllers holds index -1, outside the 1 controllers"},
        {"s.dae.node1animations", ints({0, 1}), "Scene entry s.dae.node1animations holds index 1, outside the 1 animations"},
        {"s.dae.node1cameras", ints({2}), "Scene entry s.dae.node1cameras holds index 2, outside the 1 cameras"},
        {"s.dae.node1lights", ints({1}), "Scene entry s.dae.node1lights holds index 1, outside the 1 lights"},
        {"s.dae.cam0ortho", ints({1}), "Scene entry s.dae.cam0ortho holds 1 values, not xmag and ymag"},
        {"s.dae.node1", find(good, "s.dae.node1")->substr(0, 68) + ints({1, 1}),
         "Scene entry s.dae.node1 gives node 1 the parent 1"},
        {"s.dae.node0", find(good, "s.dae.node0")->substr(0, 68) + ints({0, 0}),
         "Scene entry s.dae.node0 gives node 0 the parent 0"},
        {"s.dae.node2", find(good, "s.dae.node2")->substr(0, 68) + ints({1, 1}),
         "Scene entry s.dae.node2 gives node 2 the index 1"},
        // Geometry objects against their mesh and the materials.
        {"s.dae.geom_object0", ints({-1, 1, 0}),
         "Failed assert newobj->mesh_id >= 0\n newobj->mesh_id is -1\n 0 is 0"},
        {"s.dae.geom_object0", ints({1, 1, 0}),
         "Failed assert meshes.size() > (u32)newobj->mesh_id\n meshes.size() is 1\n (u32)newobj->mesh_id is 1"},
        {"s.dae.geom_object0", ints({0, 2, 0}), "Scene entry s.dae.geom_object0 gives material index 2, outside the 2 materials"},
        {"s.dae.geom_object0ivertices", ints({0, 1, 3}),
         "Scene entry s.dae.geom_object0ivertices holds index 3, outside the 3 elements of mesh tri"},
        {"s.dae.geom_object0ivertices", ints({0, 1, 2, 0}),
         "Scene entry s.dae.geom_object0ivertices holds 4 corners, not whole triangles"},
        {"s.dae.geom_object0inormals", ints({0, 1}), "Scene entry s.dae.geom_object0inormals holds 2 indices for 3 corners"},
        {"s.dae.geom_object0inormals", ints({0, 2, 1}),
         "Scene entry s.dae.geom_object0inormals holds index 2, outside the 2 elements of mesh tri"},
        {"s.dae.geom_object0itexcoords", ints({0, -1, 1}),
         "Scene entry s.dae.geom_object0itexcoords holds index -1, outside the 3 elements of mesh tri"},
        // Mesh strides.
        {"s.dae.mesh0", ints({4, 3, 2}),
         "Scene entry s.dae.mesh0 gives vertices the stride 4, which does not fit the 9 values of s.dae.mesh0vertices"},
        {"s.dae.mesh0", ints({3, 0, 2}),
         "Scene entry s.dae.mesh0 gives normals the stride 0, which does not fit the 6 values of s.dae.mesh0normals"},
        {"s.dae.mesh0texcoords", ints({0, 0, 0}),
         "Scene entry s.dae.mesh0 gives texcoords the stride 2, which does not fit the 3 values of s.dae.mesh0texcoords"},
        // Skins.
        {"s.dae.controller0v", ints({0, 0, 1, 0}),
         "Scene entry s.dae.controller0v holds joint 1, outside the 1 joints and 1 inverse bind matrices"},
        {"s.dae.controller0v", ints({0, 0, 0, 1}), "Scene entry s.dae.controller0v holds weight 1, outside the 1 weights"},
        {"s.dae.controller0vcounts", ints({1, 2, 0}),
         "Scene entry s.dae.controller0vcounts adds up to 3 influences, but s.dae.controller0v holds 4 values"},
        {"s.dae.controller0vcounts", ints({1, -1, 2}), "Scene entry s.dae.controller0vcounts holds the negative count -1"},
        {"s.dae.controller0vcounts", ints({1, 1, 0, 0}),
         "Scene entry s.dae.node1: controller skin weights 4 vertices, but geometry object tri has 3"},
        {"s.dae.controller0joints", ints({3}), "Scene entry s.dae.controller0joints holds index 3, outside the 3 nodes"},
        // Channels.
        {"s.dae.anim0timeline", ints({0, 0}), "Scene entry s.dae.anim0: animation move has 2 key times but 1 output values"},
        {"s.dae.anim0interpolation", "", "Scene entry s.dae.anim0: animation move has 1 key times but 0 interpolations of 1 per key"},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(std::string(d.entry) + " -> " + d.message);
        const Entries damaged = d.content == "-" ? without(good, d.entry) : replaced(good, d.entry, d.content);
        EXPECT_EQ(report_loading(damaged), d.message);
        reset_datafile();
    }
}

TEST_F(SceneFile, ADamagedLoadLeavesTheCallersTablesAlone) {
    const Entries good = saved(tiny_scene(), "s.dae");
    open_as_archive(replaced(good, "s.dae.node1children", ints({9})));
    SceneTables scene = tiny_scene();
    EXPECT_NE(fatal_message_of([&] { load_internal(scene, "s.dae", fake_texture); }), "");
    EXPECT_EQ(scene.nodes.size(), 2u);
    EXPECT_EQ(scene.geom_objects[0]->mesh_ptr, scene.meshes[0].get());
}

TEST(SceneFileDeathTest, AStrayIntInANodeEndsTheProcessWithThePositionReport) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv("ZORVANE_BATCH", "1", 1);
    reset_datafile();
    Entries entries = saved(tiny_scene(), "s.dae");
    entries = replaced(entries, "s.dae.node1", *find(entries, "s.dae.node1") + ints({0}));
    EXPECT_EXIT(loaded_from(entries, "s.dae"), ::testing::ExitedWithCode(1),
                literal_regex("Error in file src/util/objects3d/scene_file:") + "[0-9]+\n\n" +
                    literal_regex("Failed assert pos == buffer_size\n pos is 76\n buffer_size is 80"));
    reset_datafile();
}

}  // namespace
