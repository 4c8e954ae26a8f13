// Animation and skinning: key-framed channels evaluated into node matrices, the cameras and
// lights that ride on animated nodes, and CPU skinning of meshes from their joints' world
// matrices. Runs once per frame, so skinning is skipped whenever no joint moved.
// Scene data may come from damaged files: every index read here is checked against its table
// and a bad one ends in a fatal report naming the record, never in a read outside an array.
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/fatal.h"
#include "util/objects3d/objects3d.h"

namespace {

using u32 = uint32_t;

// How many times update() may add the animation length to a negative time before giving up:
// a time that far before the start means the caller's clock or the length is broken.
constexpr int MAX_TIME_ADDITIONS = 101;

bool in_table(int64_t index, size_t size) { return index >= 0 && static_cast<uint64_t>(index) < size; }

}  // namespace

// ---- channels -------------------------------------------------------------------------------

void Animation::evaluate(float time, Mat4& m) {
    if (timeline.empty()) ZV_FATAL("Animation %s doesn't have timeline entries?", name.c_str());
    const size_t keys = timeline.size();
    if (time < timeline[0]) time = timeline[0];

    size_t i = 0;
    while (i < keys && !(time < timeline[i])) ++i;
    size_t k;
    float t;
    if (i < keys && i > 0) {
        k = i - 1;
        const int64_t code_index = static_cast<int64_t>(k) * interpolation_stride;
        if (!in_table(code_index, interpolation.size()))
            ZV_FATAL("Animation %s has %zu interpolation entries, too few for key %zu with stride %" PRId32,
                     name.c_str(), interpolation.size(), k, interpolation_stride);
        const int32_t code = interpolation[static_cast<size_t>(code_index)];
        // Bezier keys are stepped through linearly: the tangents are not kept.
        if (code != LINEAR && code != BEZIER) ZV_FATAL("Unsupported interpolation type %" PRId32, code);
        t = (time - timeline[k]) / (timeline[i] - timeline[k]);
    } else {
        // At or after the last key (or a time that compares with nothing, NaN): hold the last.
        k = i = keys - 1;
        t = 1.0f;
    }

    auto require = [&](size_t values, const char* what) {
        if (values < keys)
            ZV_FATAL("Animation %s has %zu %s values for %zu keys", name.c_str(), values, what, keys);
    };
    switch (kind) {
    case ROTATION:
        require(rotation_amount.size(), "rotation");
        m.rotate(lerp(rotation_amount[k], rotation_amount[i], t), axis.x, axis.y, axis.z);
        break;
    case TRANSLATION: {
        require(translation.size(), "translation");
        Vec3 offset;
        offset.lerp(translation[k], translation[i], t);
        m.translate(offset.x, offset.y, offset.z);
        break;
    }
    case MATRIX:
        require(matrix.size(), "matrix");
        m *= Mat4::lerp(matrix[k], matrix[i], t);
        break;
    default:
        ZV_FATAL("Unknown animation type %" PRId32, kind);
    }

    // Skinning watches last_eval_time, so it only moves when the result really changed: a
    // channel held at its last key does not make its skins recompute every frame.
    for (int e = 0; e < 16; ++e) {
        if (m.m[e] != last_eval_matrix.m[e]) {
            last_eval_time = lerp(timeline[k], timeline[i], t);
            last_eval_matrix = m;
            break;
        }
    }
}

// ---- scene time -----------------------------------------------------------------------------

void Objects3D::compute_animation_length() {
    bool any = false;
    float longest = -1;
    for (const auto& animation : animations) {
        if (!animation) continue;
        for (float key : animation->timeline) {
            if (!any || key > longest) longest = key;
            any = true;
        }
    }
    animation_length = any ? longest : -1;
}

void Objects3D::update(float time, bool skip_skinning) {
    if (animating) {
        int additions = 0;
        while (time < 0 && animation_length > 0) {
            if (additions == MAX_TIME_ADDITIONS)
                ZV_FATAL("Reached 100 iterations, time is now %f, animation_length is %f", time, animation_length);
            time += animation_length;
            ++additions;
        }
        // With a length of 0 (every key at 0) this is NaN, which evaluate() takes as "after the
        // last key": the channels hold, as they would at any time.
        time = std::fmod(time, animation_length);
    } else if (time < 0) {
        time = 0;
    }

    apply_animations(master_node, time);

    if (skip_skinning) return;
    for (const auto& node : nodes)
        if (node) skin_node(node.get());
}

void Objects3D::apply_animations(Node* node, float time) {
    if (node == nullptr) return;
    if (!node->animations.empty()) {
        Mat4 m;
        for (size_t i = 0; i < node->animations.size(); ++i) {
            ZV_ASSERT_CMP(animations.size(), >, (u32)node->animations[i]);
            animations[static_cast<size_t>(node->animations[i])]->evaluate(time, m);
        }
        // The channels are the whole transform: the loaded matrix is replaced, not combined.
        node->local_matrix = m;
        // A camera's view is the inverse of where the node puts it. Cameras and lights out of
        // their tables are skipped alike, so a damaged index reads nothing.
        for (int32_t c : node->cameras)
            if (in_table(c, cameras.size()) && cameras[static_cast<size_t>(c)])
                cameras[static_cast<size_t>(c)]->set_view_matrix(m.inverse());
        for (int32_t l : node->lights) {
            if (!in_table(l, lights.size()) || !lights[static_cast<size_t>(l)]) continue;
            Light& light = *lights[static_cast<size_t>(l)];
            light.set_position(m.m[12], m.m[13], m.m[14], light.get_position().w);
        }
    }
    for (int32_t child : node->children) {
        if (!in_table(child, nodes.size()))
            ZV_FATAL("Node %s has child %" PRId32 " outside the %zu nodes of the scene", node->name.c_str(), child,
                     nodes.size());
        apply_animations(nodes[static_cast<size_t>(child)].get(), time);
    }
}

// ---- skinning -------------------------------------------------------------------------------

void Objects3D::skin_node(Node* node) {
    if (node->controllers.empty() || animations.empty()) return;
    ZV_ASSERT_CMP(1, ==, node->controllers.size());
    const int32_t controller_index = node->controllers[0];
    Controller* ctrl = in_table(controller_index, controllers.size())
                           ? controllers[static_cast<size_t>(controller_index)].get()
                           : nullptr;
    ZV_ASSERT_NOT_NULL(ctrl);
    const char* skin = ctrl->name.c_str();
    ZV_ASSERT_CMP(1, ==, node->objects.size());
    const int32_t object_index = node->objects[0];
    if (!in_table(object_index, geom_objects.size()) || !geom_objects[static_cast<size_t>(object_index)])
        ZV_FATAL("Skin %s: its node %s draws object %" PRId32 ", outside the %zu objects of the scene", skin,
                 node->name.c_str(), object_index, geom_objects.size());
    GeomObject* geom_object = geom_objects[static_cast<size_t>(object_index)].get();
    ZV_ASSERT_CMP(geom_object->mesh_id, >=, 0);
    ZV_ASSERT_NOT_NULL(geom_object->mesh_ptr);
    ZV_ASSERT_CMP(3, ==, geom_object->mesh_ptr->vertices_stride);
    ZV_ASSERT_CMP(3, ==, geom_object->mesh_ptr->normals_stride);
    const Mesh& mesh = *geom_object->mesh_ptr;

    auto joint_node = [&](size_t cur_joint) -> Node* {
        const int32_t index = ctrl->joints[cur_joint];
        if (!in_table(index, nodes.size()) || !nodes[static_cast<size_t>(index)])
            ZV_FATAL("Skin %s: joint %zu is node %" PRId32 ", outside the %zu nodes of the scene", skin, cur_joint,
                     index, nodes.size());
        return nodes[static_cast<size_t>(index)].get();
    };

    if (!ctrl->driving_known) {
        ctrl->driving_animations.clear();
        for (size_t cur_joint = 0; cur_joint < ctrl->joints.size(); ++cur_joint)
            for (int32_t a : joint_node(cur_joint)->animations) {
                if (!in_table(a, animations.size()) || !animations[static_cast<size_t>(a)])
                    ZV_FATAL("Skin %s: joint %zu is driven by animation %" PRId32 ", outside the %zu animations",
                             skin, cur_joint, a, animations.size());
                ctrl->driving_animations.push_back(a);
            }
        ctrl->driving_times.assign(ctrl->driving_animations.size(), -1.0f);
        ctrl->driving_known = true;
    }
    for (size_t d = 0; d < ctrl->driving_animations.size(); ++d) {
        const float seen = animations[static_cast<size_t>(ctrl->driving_animations[d])]->last_eval_time;
        if (seen != ctrl->driving_times[d]) {
            ctrl->driving_times[d] = seen;
            geom_object->vertex_dirty = true;
        }
    }
    if (!geom_object->vertex_dirty) return;

    // Every array the vertex loop reads or writes is checked here once, so the loop itself only
    // has to check the per-influence indices.
    const size_t vertex_count = ctrl->vcounts.size();
    if (vertex_count * 3 > mesh.vertices.size())
        ZV_FATAL("Skin %s has %zu vertices, mesh %s only %zu", skin, vertex_count, mesh.name.c_str(),
                 mesh.vertices.size() / 3);
    if (vertex_count * 3 > geom_object->vertices_deformed.size())
        ZV_FATAL("Skin %s has %zu vertices, the deformed copy of mesh %s only %zu", skin, vertex_count,
                 mesh.name.c_str(), geom_object->vertices_deformed.size() / 3);
    if (ctrl->inv_bind_matrices.size() < ctrl->joints.size())
        ZV_FATAL("Skin %s has %zu joints but %zu inverse bind matrices", skin, ctrl->joints.size(),
                 ctrl->inv_bind_matrices.size());
    const size_t normal_count = std::min(mesh.normals.size(), geom_object->normals_deformed.size()) / 3;
    const size_t influence_count = ctrl->v.size() / 2;

    // Each joint's whole transform, world · inverse bind · bind shape, once per skin update
    // rather than once per influence.
    std::vector<Mat4> joint_matrices(ctrl->joints.size());
    for (size_t cur_joint = 0; cur_joint < ctrl->joints.size(); ++cur_joint) {
        joint_node(cur_joint);
        ZV_ASSERT_CMP(nodes[ ctrl->joints[ cur_joint ] ]->this_index, >=, 0);
        Mat4 world;
        node_world_matrix(nodes[static_cast<size_t>(ctrl->joints[cur_joint])]->this_index, world);
        joint_matrices[cur_joint] = world * ctrl->inv_bind_matrices[cur_joint] * ctrl->bind_shape_matrix;
    }

    const float* rest = mesh.vertices.data();
    float* deformed = geom_object->vertices_deformed.data();
    size_t base = 0;
    for (size_t vertex = 0; vertex < vertex_count; ++vertex) {
        const int32_t influences = ctrl->vcounts[vertex];
        if (influences < 0 || base + static_cast<size_t>(influences) > influence_count)
            ZV_FATAL("Skin %s: vertex %zu has %" PRId32 " influences from influence %zu, beyond the %zu given", skin,
                     vertex, influences, base, influence_count);
        ZV_ASSERT_CMP(geom_object->normals_from_vertex.size(), >, vertex);

        const Vec3 p(rest[3 * vertex], rest[3 * vertex + 1], rest[3 * vertex + 2]);
        Vec3 position(0, 0, 0);
        // Normals are only ever transformed as directions, which is linear in the matrix, so
        // the weighted sum of the joints' matrices transforms each normal once instead of once
        // per influence.
        float blend[16] = {};
        for (int32_t i = 0; i < influences; ++i) {
            const size_t entry = 2 * (base + static_cast<size_t>(i));
            const int32_t joint = ctrl->v[entry];
            const int32_t weight_index = ctrl->v[entry + 1];
            if (!in_table(joint, joint_matrices.size()))
                ZV_FATAL("Skin %s: vertex %zu uses joint %" PRId32 " of %zu", skin, vertex, joint,
                         joint_matrices.size());
            if (!in_table(weight_index, ctrl->weights.size()))
                ZV_FATAL("Skin %s: vertex %zu uses weight %" PRId32 " of %zu", skin, vertex, weight_index,
                         ctrl->weights.size());
            const float w = ctrl->weights[static_cast<size_t>(weight_index)];
            const Mat4& jm = joint_matrices[static_cast<size_t>(joint)];
            position += jm.transform_point(p) * w;
            for (int e = 0; e < 16; ++e) blend[e] += w * jm.m[e];
        }
        deformed[3 * vertex] = position.x;
        deformed[3 * vertex + 1] = position.y;
        deformed[3 * vertex + 2] = position.z;

        const Mat4 normal_matrix(blend);
        // A normal shared by the corners of a vertex is listed once per corner; its repeats
        // would only write the same result again.
        int32_t previous = -1;
        for (int32_t k : geom_object->normals_from_vertex[vertex]) {
            if (k == previous) continue;
            previous = k;
            if (!in_table(k, normal_count))
                ZV_FATAL("Skin %s: vertex %zu uses normal %" PRId32 ", mesh %s has %zu", skin, vertex, k,
                         mesh.name.c_str(), normal_count);
            const size_t at = 3 * static_cast<size_t>(k);
            Vec3 n = normal_matrix.transform_direction(Vec3(mesh.normals[at], mesh.normals[at + 1], mesh.normals[at + 2]));
            // A vertex without influences (or with weights summing to nothing) has no direction
            // to give; its normal keeps what it had rather than becoming NaN.
            if (n.length() == 0.0f) continue;
            n.normalize();
            geom_object->normals_deformed[at] = n.x;
            geom_object->normals_deformed[at + 1] = n.y;
            geom_object->normals_deformed[at + 2] = n.z;
        }
        base += static_cast<size_t>(influences);
    }
}
