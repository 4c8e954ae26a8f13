// One frame's update of a skinned character-sized mesh: a 100 × 100 vertex sheet (10 000
// vertices, each with 4 joint influences and the normals of its triangle corners) bent by a
// chain of 16 animated joints. Measured with the joints moving every frame (the skin is
// recomputed) and with the time standing still (the skin is skipped).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "util/objects3d/objects3d.h"

namespace {

constexpr int SIDE = 100;  // vertices per row and per column
constexpr int JOINTS = 16;
constexpr int INFLUENCES = 4;
constexpr float JOINT_SPACING = static_cast<float>(SIDE - 1) / JOINTS;

struct SkinnedSheet : Objects3D {
    GeomObject* sheet = nullptr;

    SkinnedSheet() {
        add_node("Master node", -1);
        // A chain up the y axis: each joint one spacing above its parent, bending about z.
        int32_t parent = 0;
        for (int j = 0; j < JOINTS; ++j) {
            const int32_t joint = add_node("joint", parent);
            auto lift = std::make_unique<Animation>();
            lift->kind = Animation::TRANSLATION;
            lift->timeline = {0};
            lift->translation = {Vec3(0, j == 0 ? 0 : JOINT_SPACING, 0)};
            lift->interpolation = {Animation::LINEAR};
            add_animation(joint, std::move(lift));
            auto bend = std::make_unique<Animation>();
            bend->kind = Animation::ROTATION;
            bend->axis = Vec3(0, 0, 1);
            bend->timeline = {0, 5, 10};
            bend->rotation_amount = {0, 20, -10};
            bend->interpolation = {Animation::LINEAR, Animation::LINEAR, Animation::LINEAR};
            add_animation(joint, std::move(bend));
            parent = joint;
        }

        auto mesh = std::make_unique<Mesh>();
        mesh->name = "sheet";
        mesh->vertices_stride = mesh->normals_stride = 3;
        auto object = std::make_unique<GeomObject>();
        for (int y = 0; y < SIDE; ++y)
            for (int x = 0; x < SIDE; ++x) {
                mesh->vertices.insert(mesh->vertices.end(), {static_cast<float>(x), static_cast<float>(y), 0});
                mesh->normals.insert(mesh->normals.end(), {0, 0, 1});
            }
        for (int y = 0; y + 1 < SIDE; ++y)
            for (int x = 0; x + 1 < SIDE; ++x) {
                const int32_t a = y * SIDE + x, b = a + 1, c = a + SIDE, d = c + 1;
                object->ivertices.insert(object->ivertices.end(), {a, b, d, a, d, c});
            }
        object->inormals = object->ivertices;
        object->mesh_id = 0;
        object->mesh_ptr = mesh.get();
        object->prepare_deformation();
        sheet = object.get();
        meshes.push_back(std::move(mesh));
        geom_objects.push_back(std::move(object));

        auto skin = std::make_unique<Controller>();
        skin->name = "sheetskin";
        for (int j = 0; j < JOINTS; ++j) {
            skin->joints.push_back(1 + j);
            Mat4 bind;
            bind.translate(0, -JOINT_SPACING * static_cast<float>(j), 0);
            skin->inv_bind_matrices.push_back(bind);
        }
        skin->weights = {0.4f, 0.3f, 0.2f, 0.1f};
        for (int y = 0; y < SIDE; ++y)
            for (int x = 0; x < SIDE; ++x) {
                // The nearest joint below the row and the three above it (clamped at the top).
                const int nearest = std::min(static_cast<int>(static_cast<float>(y) / JOINT_SPACING), JOINTS - 1);
                skin->vcounts.push_back(INFLUENCES);
                for (int i = 0; i < INFLUENCES; ++i)
                    skin->v.insert(skin->v.end(), {std::min(nearest + i, JOINTS - 1), i});
            }
        controllers.push_back(std::move(skin));

        const int32_t skinned = add_node("sheet", 0);
        nodes[static_cast<size_t>(skinned)]->controllers = {0};
        nodes[static_cast<size_t>(skinned)]->objects = {0};
        compute_animation_length();
        animating = true;
    }

    void add_animation(int32_t node, std::unique_ptr<Animation> animation) {
        nodes[static_cast<size_t>(node)]->animations.push_back(static_cast<int32_t>(animations.size()));
        animations.push_back(std::move(animation));
    }
};

void BM_SkinnedUpdateJointsMoving(benchmark::State& state) {
    SkinnedSheet scene;
    float time = 0;
    for (auto _ : state) {
        time += 1.0f / 60.0f;
        scene.sheet->vertex_dirty = false;  // as the buffer upload leaves it
        scene.update(time, false);
        if (!scene.sheet->vertex_dirty) state.SkipWithError("the skin was not recomputed");
        benchmark::DoNotOptimize(scene.sheet->vertices_deformed.data());
    }
    state.counters["vertices/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * SIDE * SIDE, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SkinnedUpdateJointsMoving)->Unit(benchmark::kMicrosecond);

void BM_SkinnedUpdateTimeStill(benchmark::State& state) {
    SkinnedSheet scene;
    scene.update(2.5f, false);
    for (auto _ : state) {
        scene.sheet->vertex_dirty = false;
        scene.update(2.5f, false);
        if (scene.sheet->vertex_dirty) state.SkipWithError("the skin was recomputed");
        benchmark::DoNotOptimize(scene.sheet->vertices_deformed.data());
    }
}
BENCHMARK(BM_SkinnedUpdateTimeStill)->Unit(benchmark::kMicrosecond);

}  // namespace
