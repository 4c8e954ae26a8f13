// Two sets of scene tables compared record by record, floats bit for bit, over everything the
// converted form stores and what loading derives from it (mesh pointers, skinning copies).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "util/objects3d/objects3d.h"

namespace scene_compare {

inline std::vector<uint32_t> bits(const float* values, size_t count) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < count; ++i) out.push_back(float_bits(values[i]));
    return out;
}
inline std::vector<uint32_t> bits(const std::vector<float>& v) { return bits(v.data(), v.size()); }
inline std::vector<uint32_t> bits(const Mat4& m) { return bits(m.m, 16); }
inline std::vector<uint32_t> bits(const Vec4& v) { return bits(&v.x, 4); }
inline std::vector<uint32_t> bits(const Vec3& v) { return bits(&v.x, 3); }
inline std::vector<uint32_t> bits(const std::vector<Mat4>& list) {
    std::vector<uint32_t> out;
    for (const Mat4& m : list) {
        const auto b = bits(m);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}
inline std::vector<uint32_t> bits(const std::vector<Vec3>& list) {
    std::vector<uint32_t> out;
    for (const Vec3& v : list) {
        const auto b = bits(v);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

inline void expect_same_tables(const SceneTables& a, const SceneTables& b) {
    ASSERT_EQ(a.cameras.size(), b.cameras.size());
    for (size_t i = 0; i < a.cameras.size(); ++i) {
        SCOPED_TRACE("camera " + std::to_string(i));
        const Camera &x = *a.cameras[i], &y = *b.cameras[i];
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(bits(x.view), bits(y.view));
        EXPECT_EQ(bits(&x.xfov, 1), bits(&y.xfov, 1));
        EXPECT_EQ(bits(&x.yfov, 1), bits(&y.yfov, 1));
        EXPECT_EQ(bits(&x.znear, 1), bits(&y.znear, 1));
        EXPECT_EQ(bits(&x.zfar, 1), bits(&y.zfar, 1));
    }
    ASSERT_EQ(a.lights.size(), b.lights.size());
    for (size_t i = 0; i < a.lights.size(); ++i) {
        SCOPED_TRACE("light " + std::to_string(i));
        const Light &x = *a.lights[i], &y = *b.lights[i];
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(bits(x.position), bits(y.position));
        EXPECT_EQ(bits(x.view), bits(y.view));
        EXPECT_EQ(bits(x.spot_direction), bits(y.spot_direction));
        EXPECT_EQ(bits(x.ambient), bits(y.ambient));
        EXPECT_EQ(bits(x.diffuse), bits(y.diffuse));
        EXPECT_EQ(bits(x.specular), bits(y.specular));
        const float xs[5] = {x.constant_attenuation, x.linear_attenuation, x.quadratic_attenuation, x.spot_cutoff,
                             x.spot_exponent};
        const float ys[5] = {y.constant_attenuation, y.linear_attenuation, y.quadratic_attenuation, y.spot_cutoff,
                             y.spot_exponent};
        EXPECT_EQ(bits(xs, 5), bits(ys, 5));
        EXPECT_EQ(x.type, y.type);
    }
    ASSERT_EQ(a.animations.size(), b.animations.size());
    for (size_t i = 0; i < a.animations.size(); ++i) {
        SCOPED_TRACE("animation " + std::to_string(i));
        const Animation &x = *a.animations[i], &y = *b.animations[i];
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(x.target, y.target);
        EXPECT_EQ(x.kind, y.kind);
        EXPECT_EQ(bits(x.axis), bits(y.axis));
        EXPECT_EQ(bits(x.timeline), bits(y.timeline));
        EXPECT_EQ(bits(x.rotation_amount), bits(y.rotation_amount));
        EXPECT_EQ(bits(x.translation), bits(y.translation));
        EXPECT_EQ(bits(x.matrix), bits(y.matrix));
        EXPECT_EQ(x.interpolation, y.interpolation);
        EXPECT_EQ(x.interpolation_stride, y.interpolation_stride);
    }
    ASSERT_EQ(a.materials.size(), b.materials.size());
    for (size_t i = 0; i < a.materials.size(); ++i) {
        SCOPED_TRACE("material " + std::to_string(i));
        const Material &x = *a.materials[i], &y = *b.materials[i];
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(x.fx, y.fx);
        EXPECT_EQ(x.diff_tex_fname, y.diff_tex_fname);
        EXPECT_EQ(x.glow_tex_fname, y.glow_tex_fname);
        for (auto colour : {&Material::emission, &Material::ambient, &Material::diffuse, &Material::specular,
                            &Material::color_add})
            EXPECT_EQ(bits(x.*colour), bits(y.*colour));
        EXPECT_EQ(bits(&x.shininess, 1), bits(&y.shininess, 1));
        EXPECT_EQ(x.diff_tex != nullptr, y.diff_tex != nullptr);
        EXPECT_EQ(x.glow_tex != nullptr, y.glow_tex != nullptr);
    }
    ASSERT_EQ(a.controllers.size(), b.controllers.size());
    for (size_t i = 0; i < a.controllers.size(); ++i) {
        SCOPED_TRACE("controller " + std::to_string(i));
        const Controller &x = *a.controllers[i], &y = *b.controllers[i];
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(x.skin_source, y.skin_source);
        EXPECT_EQ(x.joints, y.joints);
        EXPECT_EQ(bits(x.weights), bits(y.weights));
        EXPECT_EQ(x.vcounts, y.vcounts);
        EXPECT_EQ(x.v, y.v);
        EXPECT_EQ(bits(x.inv_bind_matrices), bits(y.inv_bind_matrices));
        EXPECT_EQ(bits(x.bind_shape_matrix), bits(y.bind_shape_matrix));
    }
    ASSERT_EQ(a.meshes.size(), b.meshes.size());
    for (size_t i = 0; i < a.meshes.size(); ++i) {
        SCOPED_TRACE("mesh " + std::to_string(i));
        const Mesh &x = *a.meshes[i], &y = *b.meshes[i];
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(bits(x.vertices), bits(y.vertices));
        EXPECT_EQ(bits(x.normals), bits(y.normals));
        EXPECT_EQ(bits(x.texcoords), bits(y.texcoords));
        EXPECT_EQ(x.vertices_stride, y.vertices_stride);
        EXPECT_EQ(x.normals_stride, y.normals_stride);
        EXPECT_EQ(x.texcoords_stride, y.texcoords_stride);
    }
    ASSERT_EQ(a.geom_objects.size(), b.geom_objects.size());
    for (size_t i = 0; i < a.geom_objects.size(); ++i) {
        SCOPED_TRACE("geometry object " + std::to_string(i));
        const GeomObject &x = *a.geom_objects[i], &y = *b.geom_objects[i];
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(x.material, y.material);
        EXPECT_EQ(x.ivertices, y.ivertices);
        EXPECT_EQ(x.inormals, y.inormals);
        EXPECT_EQ(x.itexcoords, y.itexcoords);
        EXPECT_EQ(x.mesh_id, y.mesh_id);
        EXPECT_EQ(x.material_index, y.material_index);
        EXPECT_EQ(x.textured, y.textured);
        ASSERT_NE(y.mesh_ptr, nullptr);
        EXPECT_EQ(y.mesh_ptr, b.meshes[static_cast<size_t>(y.mesh_id)].get());
        // Skinned objects get their deformation copies prepared on both paths.
        EXPECT_EQ(bits(x.vertices_deformed), bits(y.vertices_deformed));
        EXPECT_EQ(bits(x.normals_deformed), bits(y.normals_deformed));
        EXPECT_EQ(x.normals_from_vertex, y.normals_from_vertex);
    }
    ASSERT_EQ(a.nodes.size(), b.nodes.size());
    for (size_t i = 0; i < a.nodes.size(); ++i) {
        SCOPED_TRACE("node " + std::to_string(i));
        const Node &x = *a.nodes[i], &y = *b.nodes[i];
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(bits(x.local_matrix), bits(y.local_matrix));
        EXPECT_EQ(x.joint_depth, y.joint_depth);
        EXPECT_EQ(x.parent_index, y.parent_index);
        EXPECT_EQ(x.this_index, y.this_index);
        EXPECT_EQ(x.children, y.children);
        EXPECT_EQ(x.objects, y.objects);
        EXPECT_EQ(x.controllers, y.controllers);
        EXPECT_EQ(x.animations, y.animations);
        EXPECT_EQ(x.cameras, y.cameras);
        EXPECT_EQ(x.lights, y.lights);
    }
}

}  // namespace scene_compare

using scene_compare::expect_same_tables;
