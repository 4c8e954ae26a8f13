// Animation channels, scene time, cameras and lights on animated nodes, and CPU skinning, on
// scenes built record by record (no loader, no GL).
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "test_support.h"
#include "util/objects3d/objects3d.h"

namespace {

void expect_vec(const Vec3& actual, float x, float y, float z, float tolerance = 1e-5f) {
    EXPECT_NEAR(actual.x, x, tolerance);
    EXPECT_NEAR(actual.y, y, tolerance);
    EXPECT_NEAR(actual.z, z, tolerance);
}

void expect_mat(const Mat4& actual, const Mat4& expected) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(actual.m[i], expected.m[i], 1e-5f) << "element " << i;
}

Mat4 translation(float x, float y, float z) {
    Mat4 m;
    m.translate(x, y, z);
    return m;
}

Mat4 rotation_z(float degrees) {
    Mat4 m;
    m.rotate(degrees, 0, 0, 1);
    return m;
}

std::unique_ptr<Animation> channel(const char* name, int kind, std::vector<float> timeline) {
    auto a = std::make_unique<Animation>();
    a->name = name;
    a->kind = kind;
    a->timeline = std::move(timeline);
    a->interpolation.assign(a->timeline.size(), Animation::LINEAR);
    return a;
}

std::unique_ptr<Animation> moves(std::vector<float> timeline, std::vector<Vec3> offsets) {
    auto a = channel("move", Animation::TRANSLATION, std::move(timeline));
    a->translation = std::move(offsets);
    return a;
}

std::unique_ptr<Animation> turns_about_z(std::vector<float> timeline, std::vector<float> degrees) {
    auto a = channel("turn", Animation::ROTATION, std::move(timeline));
    a->axis = Vec3(0, 0, 1);
    a->rotation_amount = std::move(degrees);
    return a;
}

// A scene of hand-made records: a master node, further nodes hung below it, channels on them.
struct Scene : Objects3D {
    Scene() { add_node("Master node", -1); }

    void animate(int32_t node, std::unique_ptr<Animation> a) {
        a->target = nodes[static_cast<size_t>(node)]->name;
        nodes[static_cast<size_t>(node)]->animations.push_back(static_cast<int32_t>(animations.size()));
        animations.push_back(std::move(a));
    }

    Node& node(int32_t i) { return *nodes[static_cast<size_t>(i)]; }
    Vec3 origin_of(int32_t i) { return node(i).local_matrix.transform_point(Vec3(0, 0, 0)); }
};

// ---- channels and scene time ----------------------------------------------------------------

TEST(AnimationTime, LinearKeysInterpolateAndHoldTheEndsWithoutLooping) {
    Scene scene;
    const int32_t box = scene.add_node("box", 0);
    scene.animate(box, moves({0, 1, 2}, {{0, 0, 0}, {10, 0, 0}, {10, 20, 0}}));
    scene.node(box).local_matrix.scale(3, 3, 3);  // the loaded transform gives way to the channel

    scene.update(0.5f, false);
    expect_mat(scene.node(box).local_matrix, translation(5, 0, 0));
    scene.update(1.5f, false);
    expect_vec(scene.origin_of(box), 10, 10, 0);
    scene.update(5, false);
    expect_vec(scene.origin_of(box), 10, 20, 0);
    EXPECT_EQ(scene.animations[0]->last_eval_time, 2.0f);
    scene.update(-1, false);
    expect_vec(scene.origin_of(box), 0, 0, 0);
    EXPECT_EQ(scene.animations[0]->last_eval_time, 0.0f);
}

TEST(AnimationTime, NegativeTimesWithoutLoopingAreTakenAsZeroNotAsTheFirstKey) {
    Scene scene;
    const int32_t box = scene.add_node("box", 0);
    scene.animate(box, moves({-2, 2}, {{-20, 0, 0}, {20, 0, 0}}));
    scene.update(-1, false);
    expect_vec(scene.origin_of(box), 0, 0, 0);
}

TEST(AnimationTime, LoopingWrapsNegativeAndLateTimesIntoOnePeriod) {
    Scene scene;
    const int32_t box = scene.add_node("box", 0);
    scene.animate(box, moves({0, 2}, {{0, 0, 0}, {20, 0, 0}}));
    scene.compute_animation_length();
    ASSERT_EQ(scene.animation_length, 2.0f);
    scene.animating = true;

    for (float time : {-3.0f, 7.0f, 1.0f}) {
        scene.update(time, false);
        expect_vec(scene.origin_of(box), 10, 0, 0);
    }
    scene.update(-0.5f, false);
    expect_vec(scene.origin_of(box), 15, 0, 0);
}

TEST(AnimationTime, NegativeTimesGetAtMost101AdditionsOfTheLength) {
    Scene scene;
    const int32_t box = scene.add_node("box", 0);
    scene.animate(box, moves({0, 1}, {{0, 0, 0}, {10, 0, 0}}));
    scene.compute_animation_length();
    scene.animating = true;

    scene.update(-100.75f, false);  // 101 additions reach 0.25
    expect_vec(scene.origin_of(box), 2.5f, 0, 0);
    EXPECT_EQ(fatal_message_of([&] { scene.update(-101.5f, false); }),
              "Reached 100 iterations, time is now -0.500000, animation_length is 1.000000");
}

TEST(AnimationTimeDeathTest, AHugelyNegativeTimeAgainstATinyLengthEndsTheRun) {
    Scene scene;
    const int32_t box = scene.add_node("box", 0);
    scene.animate(box, moves({0, 0.001f}, {{0, 0, 0}, {1, 0, 0}}));
    scene.compute_animation_length();
    scene.animating = true;
    EXPECT_EXIT(scene.update(-1e6f, false), ::testing::ExitedWithCode(1),
                literal_regex("Reached 100 iterations, time is now -1000000.000000, animation_length is 0.001000"));
}

TEST(AnimationTime, LengthIsTheLatestKeyOfAnyChannel) {
    Scene scene;
    scene.compute_animation_length();
    EXPECT_EQ(scene.animation_length, -1.0f);
    const int32_t box = scene.add_node("box", 0);
    scene.animate(box, moves({0, 3.5f}, {{0, 0, 0}, {1, 0, 0}}));
    scene.animate(box, turns_about_z({1, 2}, {0, 90}));
    scene.compute_animation_length();
    EXPECT_EQ(scene.animation_length, 3.5f);
}

TEST(AnimationChannels, RotationsMatricesAndChannelOrder) {
    Scene scene;
    const int32_t spin = scene.add_node("spin", 0);
    scene.animate(spin, turns_about_z({0, 1}, {0, 90}));
    const int32_t arm = scene.add_node("arm", 0);
    scene.animate(arm, moves({0}, {{1, 2, 3}}));
    scene.animate(arm, turns_about_z({0}, {90}));
    const int32_t blend = scene.add_node("blend", 0);
    auto whole = channel("whole", Animation::MATRIX, {0, 1});
    whole->matrix = {translation(0, 0, 0), translation(0, 0, 8)};
    whole->interpolation = {Animation::BEZIER, Animation::BEZIER};  // stepped through linearly
    scene.animate(blend, std::move(whole));

    scene.update(0.5f, false);
    expect_mat(scene.node(spin).local_matrix, rotation_z(45));
    // Translate, then rotate: a point is turned first and then moved (T·R, not R·T).
    expect_mat(scene.node(arm).local_matrix, translation(1, 2, 3) * rotation_z(90));
    expect_vec(scene.node(arm).local_matrix.transform_point(Vec3(1, 0, 0)), 1, 3, 3);
    expect_vec(scene.origin_of(blend), 0, 0, 4);
}

TEST(AnimationChannels, CamerasGetTheInverseAndLightsTheTranslation) {
    Scene scene;
    const int32_t rig = scene.add_node("rig", 0);
    scene.animate(rig, moves({0}, {{4, 5, 6}}));
    scene.animate(rig, turns_about_z({0, 1}, {0, 90}));
    scene.cameras.push_back(std::make_unique<Camera>());
    scene.lights.push_back(std::make_unique<Light>());
    scene.node(rig).cameras = {0, 7};   // 7: no such camera
    scene.node(rig).lights = {0, -1, 3};  // only light 0 exists

    scene.update(1, false);
    const Mat4& local = scene.node(rig).local_matrix;
    expect_mat(scene.cameras[0]->get_view(), local.inverse());
    expect_vec(scene.cameras[0]->world_position(), 4, 5, 6);
    const Vec4& p = scene.lights[0]->get_position();
    EXPECT_FLOAT_EQ(p.x, 4);
    EXPECT_FLOAT_EQ(p.y, 5);
    EXPECT_FLOAT_EQ(p.z, 6);
}

TEST(AnimationChannels, DamagedChannelsAreFatalReports) {
    Mat4 m;
    Animation empty;
    empty.name = "spin";
    EXPECT_EQ(fatal_message_of([&] { empty.evaluate(0, m); }), "Animation spin doesn't have timeline entries?");

    auto odd_code = turns_about_z({0, 1}, {0, 90});
    odd_code->interpolation = {3, 1};
    EXPECT_EQ(fatal_message_of([&] { odd_code->evaluate(0.5f, m); }), "Unsupported interpolation type 3");

    auto odd_kind = moves({0, 1}, {{0, 0, 0}, {1, 1, 1}});
    odd_kind->kind = 7;
    EXPECT_EQ(fatal_message_of([&] { odd_kind->evaluate(0.5f, m); }), "Unknown animation type 7");

    // Value and interpolation lists shorter than the timeline.
    auto few_angles = turns_about_z({0, 1, 2}, {0, 90});
    EXPECT_EQ(fatal_message_of([&] { few_angles->evaluate(0.5f, m); }),
              "Animation turn has 2 rotation values for 3 keys");
    auto few_offsets = moves({0, 1}, {{0, 0, 0}});
    EXPECT_EQ(fatal_message_of([&] { few_offsets->evaluate(0.5f, m); }),
              "Animation move has 1 translation values for 2 keys");
    auto few_matrices = channel("whole", Animation::MATRIX, {0, 1});
    EXPECT_EQ(fatal_message_of([&] { few_matrices->evaluate(2, m); }),
              "Animation whole has 0 matrix values for 2 keys");
    auto few_codes = turns_about_z({0, 1, 2}, {0, 90, 180});
    few_codes->interpolation_stride = 3;
    EXPECT_EQ(fatal_message_of([&] { few_codes->evaluate(1.5f, m); }),
              "Animation turn has 3 interpolation entries, too few for key 1 with stride 3");

    Scene scene;
    const int32_t box = scene.add_node("box", 0);
    scene.node(box).animations = {-1};
    scene.animations.push_back(moves({0}, {{0, 0, 0}}));
    EXPECT_EQ(fatal_message_of([&] { scene.update(0, false); }),
              "Failed assert animations.size() > (u32)node->animations[i]\n animations.size() is 1\n"
              " (u32)node->animations[i] is 4294967295");
    scene.node(box).animations.clear();
    scene.node(box).children = {9};
    EXPECT_EQ(fatal_message_of([&] { scene.update(0, false); }), "Node box has child 9 outside the 2 nodes of the scene");
}

// ---- skinning -------------------------------------------------------------------------------

// A bone of two joints standing on the y axis: "hip" at the origin and "knee" one unit up,
// driven by a constant translation and a rotation about z from 0 to 90 degrees over a second.
// Three vertices: at the hip (all hip), at y = 2 (all knee) and at the knee (half and half),
// with normals (1, 0, 0).
struct Bone : Scene {
    int32_t hip, knee, skinned;

    Bone() {
        hip = add_node("hip", 0);
        knee = add_node("knee", hip);
        animate(knee, moves({0}, {{0, 1, 0}}));
        animate(knee, turns_about_z({0, 1}, {0, 90}));

        auto mesh = std::make_unique<Mesh>();
        mesh->name = "leg";
        mesh->vertices = {0, 0, 0, 0, 2, 0, 0, 1, 0};
        mesh->normals = {1, 0, 0, 1, 0, 0, 1, 0, 0};
        mesh->vertices_stride = mesh->normals_stride = 3;
        auto object = std::make_unique<GeomObject>();
        object->mesh_id = 0;
        object->mesh_ptr = mesh.get();
        object->ivertices = {0, 1, 2};
        object->inormals = {0, 1, 2};
        object->prepare_deformation();
        meshes.push_back(std::move(mesh));
        geom_objects.push_back(std::move(object));

        auto skin = std::make_unique<Controller>();
        skin->name = "legskin";
        skin->joints = {hip, knee};
        skin->inv_bind_matrices = {Mat4(), translation(0, -1, 0)};
        skin->weights = {1.0f, 0.5f};
        skin->vcounts = {1, 1, 2};
        skin->v = {0, 0, 1, 0, 0, 1, 1, 1};
        controllers.push_back(std::move(skin));

        skinned = add_node("leg", 0);
        node(skinned).controllers = {0};
        node(skinned).objects = {0};
    }

    GeomObject& object() { return *geom_objects[0]; }
    Controller& skin() { return *controllers[0]; }
    Vec3 vertex(int v) {
        const float* p = &object().vertices_deformed[static_cast<size_t>(3 * v)];
        return Vec3(p[0], p[1], p[2]);
    }
    Vec3 normal(int k) {
        const float* n = &object().normals_deformed[static_cast<size_t>(3 * k)];
        return Vec3(n[0], n[1], n[2]);
    }
};

TEST(Skinning, HalfWeightsOnJointsAtTheirBindPosesKeepTheBindShapePosition) {
    Scene scene;
    const int32_t a = scene.add_node("a", 0);
    const int32_t b = scene.add_node("b", a);
    // Constant matrix channels hold each joint at its bind pose.
    const Mat4 a_pose = translation(1, 0, 0), b_pose = rotation_z(30) * translation(0, 2, 0);
    auto hold_a = channel("hold_a", Animation::MATRIX, {0});
    hold_a->matrix = {a_pose};
    scene.animate(a, std::move(hold_a));
    auto hold_b = channel("hold_b", Animation::MATRIX, {0});
    hold_b->matrix = {b_pose};
    scene.animate(b, std::move(hold_b));

    auto mesh = std::make_unique<Mesh>();
    mesh->vertices = {1, 2, 3};
    mesh->normals = {0, 1, 0};
    mesh->vertices_stride = mesh->normals_stride = 3;
    auto object = std::make_unique<GeomObject>();
    object->mesh_id = 0;
    object->mesh_ptr = mesh.get();
    object->ivertices = {0, 0, 0};
    object->inormals = {0, 0, 0};
    object->prepare_deformation();
    scene.meshes.push_back(std::move(mesh));
    scene.geom_objects.push_back(std::move(object));
    auto skin = std::make_unique<Controller>();
    skin->name = "pair";
    skin->joints = {a, b};
    skin->inv_bind_matrices = {a_pose.inverse(), (a_pose * b_pose).inverse()};
    skin->bind_shape_matrix = translation(0, 0, 5) * rotation_z(90);
    skin->weights = {0.5f};
    skin->vcounts = {2};
    skin->v = {0, 0, 1, 0};
    scene.controllers.push_back(std::move(skin));
    const int32_t skinned = scene.add_node("skinned", 0);
    scene.node(skinned).controllers = {0};
    scene.node(skinned).objects = {0};

    scene.update(0, false);
    const std::vector<float>& p = scene.geom_objects[0]->vertices_deformed;
    expect_vec(Vec3(p[0], p[1], p[2]), -2, 1, 8);
    const std::vector<float>& n = scene.geom_objects[0]->normals_deformed;
    expect_vec(Vec3(n[0], n[1], n[2]), -1, 0, 0);
}

TEST(Skinning, AJointAnimationBendsVerticesAndNormals) {
    Bone bone;
    bone.update(1, false);
    expect_vec(bone.vertex(0), 0, 0, 0);
    expect_vec(bone.vertex(1), -1, 1, 0);  // turned about the knee by 90 degrees
    expect_vec(bone.vertex(2), 0, 1, 0);   // the knee itself, whichever joint moves it
    expect_vec(bone.normal(0), 1, 0, 0);
    expect_vec(bone.normal(1), 0, 1, 0);
    // Half unturned, half turned by 90: the sum normalised points half way, at 45 degrees.
    const float h = std::sqrt(0.5f);
    expect_vec(bone.normal(2), h, h, 0);

    bone.update(0.5f, false);
    expect_vec(bone.vertex(1), -h, 1 + h, 0);
    const float c = std::cos(22.5f * 3.14159265f / 180), s = std::sin(22.5f * 3.14159265f / 180);
    expect_vec(bone.normal(2), c, s, 0);
}

TEST(Skinning, SkinsAreRecomputedOnlyWhenADrivingChannelMoved) {
    Bone bone;
    bone.update(0.5f, false);
    ASSERT_TRUE(bone.object().vertex_dirty);
    ASSERT_EQ(bone.skin().driving_animations, (std::vector<int32_t>{0, 1}));

    // As after the buffer upload: clean, and a marker that a recomputation would overwrite.
    bone.object().vertex_dirty = false;
    bone.object().vertices_deformed[3] = 99;
    bone.object().normals_deformed[3] = 99;
    bone.update(0.5f, false);
    EXPECT_FALSE(bone.object().vertex_dirty);
    EXPECT_EQ(bone.object().vertices_deformed[3], 99);
    EXPECT_EQ(bone.object().normals_deformed[3], 99);

    // Past the end the channel holds its last key: one recomputation, then none.
    bone.update(5, false);
    EXPECT_TRUE(bone.object().vertex_dirty);
    expect_vec(bone.vertex(1), -1, 1, 0);
    bone.object().vertex_dirty = false;
    bone.object().vertices_deformed[3] = 99;
    bone.update(6, false);
    EXPECT_FALSE(bone.object().vertex_dirty);
    EXPECT_EQ(bone.object().vertices_deformed[3], 99);

    // Skipping the skins moves the joints but leaves the mesh alone.
    bone.update(0, true);
    EXPECT_FALSE(bone.object().vertex_dirty);
    EXPECT_EQ(bone.object().vertices_deformed[3], 99);
}

TEST(Skinning, DamagedSkinsAreFatalReportsNotReadsOutsideTheTables) {
    auto failure_of = [](void (*damage)(Bone&)) {
        Bone bone;
        damage(bone);
        return fatal_message_of([&] { bone.update(0.5f, false); });
    };
    EXPECT_EQ(failure_of([](Bone& b) { b.skin().v[2] = 2; }), "Skin legskin: vertex 1 uses joint 2 of 2");
    EXPECT_EQ(failure_of([](Bone& b) { b.skin().v[5] = -1; }), "Skin legskin: vertex 2 uses weight -1 of 2");
    EXPECT_EQ(failure_of([](Bone& b) { b.skin().vcounts[2] = 3; }),
              "Skin legskin: vertex 2 has 3 influences from influence 2, beyond the 4 given");
    EXPECT_EQ(failure_of([](Bone& b) { b.skin().v.pop_back(); }),
              "Skin legskin: vertex 2 has 2 influences from influence 2, beyond the 3 given");
    EXPECT_EQ(failure_of([](Bone& b) { b.skin().vcounts.push_back(1); }), "Skin legskin has 4 vertices, mesh leg only 3");
    EXPECT_EQ(failure_of([](Bone& b) { b.object().vertices_deformed.clear(); }),
              "Skin legskin has 3 vertices, the deformed copy of mesh leg only 0");
    EXPECT_EQ(failure_of([](Bone& b) { b.object().normals_from_vertex[1] = {3}; }),
              "Skin legskin: vertex 1 uses normal 3, mesh leg has 3");
    EXPECT_EQ(failure_of([](Bone& b) { b.skin().joints[1] = 40; }),
              "Skin legskin: joint 1 is node 40, outside the 4 nodes of the scene");
    // A joint outside the tree is not animated, but its channel list is still read.
    EXPECT_EQ(failure_of([](Bone& b) {
                  const int32_t loose = b.add_node("loose", 0);
                  b.node(0).children.pop_back();
                  b.node(loose).animations = {5};
                  b.skin().joints[1] = loose;
              }),
              "Skin legskin: joint 1 is driven by animation 5, outside the 2 animations");
    EXPECT_EQ(failure_of([](Bone& b) { b.skin().inv_bind_matrices.pop_back(); }),
              "Skin legskin has 2 joints but 1 inverse bind matrices");
    EXPECT_EQ(failure_of([](Bone& b) { b.node(b.skinned).objects = {3}; }),
              "Skin legskin: its node leg draws object 3, outside the 1 objects of the scene");

    // The checks of the records' own shape.
    EXPECT_EQ(failure_of([](Bone& b) { b.node(b.skinned).controllers = {2}; }), "ctrl is NULL");
    EXPECT_EQ(failure_of([](Bone& b) { b.node(b.skinned).controllers = {0, 0}; }),
              "Failed assert 1 == node->controllers.size()\n 1 is 1\n node->controllers.size() is 2");
    EXPECT_EQ(failure_of([](Bone& b) { b.node(b.skinned).objects.clear(); }),
              "Failed assert 1 == node->objects.size()\n 1 is 1\n node->objects.size() is 0");
    EXPECT_EQ(failure_of([](Bone& b) { b.object().mesh_id = -1; }),
              "Failed assert geom_object->mesh_id >= 0\n geom_object->mesh_id is -1\n 0 is 0");
    EXPECT_EQ(failure_of([](Bone& b) { b.object().mesh_ptr = nullptr; }), "geom_object->mesh_ptr is NULL");
    EXPECT_EQ(failure_of([](Bone& b) { b.meshes[0]->normals_stride = 0; }),
              "Failed assert 3 == geom_object->mesh_ptr->normals_stride\n 3 is 3\n"
              " geom_object->mesh_ptr->normals_stride is 0");
    EXPECT_EQ(failure_of([](Bone& b) { b.object().normals_from_vertex.resize(2); }),
              "Failed assert geom_object->normals_from_vertex.size() > vertex\n"
              " geom_object->normals_from_vertex.size() is 2\n vertex is 2");
    EXPECT_EQ(failure_of([](Bone& b) { b.node(b.knee).this_index = -1; }),
              "Failed assert nodes[ ctrl->joints[ cur_joint ] ]->this_index >= 0\n"
              " nodes[ ctrl->joints[ cur_joint ] ]->this_index is -1\n 0 is 0");
}

TEST(SkinningDeathTest, AnInfluenceListRunningPastItsEndEndsTheRun) {
    Bone bone;
    bone.skin().vcounts = {1, 1, 7};
    EXPECT_EXIT(bone.update(0.5f, false), ::testing::ExitedWithCode(1),
                literal_regex("Skin legskin: vertex 2 has 7 influences from influence 2, beyond the 4 given"));
}

}  // namespace
