// Two sets of scene tables compared record by record, floats bit for bit, over everything the
// converted form stores (the records' own field lists) and what loading derives from it (mesh
// pointers, skinning copies).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "util/objects3d/objects3d.h"
#include "util/objects3d/scene_records.h"

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
// What a stored value is compared as: floats by their bits, everything else as it is.
inline uint32_t stored(float v) { return float_bits(v); }
inline int32_t stored(int32_t v) { return v; }
inline bool stored(bool v) { return v; }
inline std::vector<uint32_t> stored(const Vec3& v) { return bits(v); }
inline std::vector<uint32_t> stored(const Vec4& v) { return bits(v); }
inline std::vector<uint32_t> stored(const Mat4& m) { return bits(m); }
template <class T>
auto stored(const std::vector<T>& list) {
    std::vector<decltype(stored(list.front()))> out;
    for (const T& v : list) out.push_back(stored(v));
    return out;
}

// Every field the record's list stores; the values of the main entry by their place in it.
template <class R>
struct StoredFields {
    const R& x;
    const R& y;
    void text(const char* field, std::string R::*member) { EXPECT_EQ(x.*member, y.*member) << field; }
    template <class... T>
    void arrays(scene_records::ArrayEntry<R, T>... entries) {
        (array(entries), ...);
    }
    template <class T>
    void array(scene_records::ArrayEntry<R, T> entry) {
        EXPECT_EQ(stored(x.*entry.member), stored(y.*entry.member)) << entry.name;
    }
    template <class... T>
    void values(T R::*... members) {
        int place = 0;
        (value(members, place++), ...);
    }
    template <class T>
    void value(T R::*member, int place) {
        EXPECT_EQ(stored(x.*member), stored(y.*member)) << "main entry value " << place;
    }
};

// And what reading derives from them.
inline void expect_same_derived(const Camera&, const Camera&, const SceneTables&) {}
inline void expect_same_derived(const Light& x, const Light& y, const SceneTables&) {
    EXPECT_EQ(bits(x.view), bits(y.view));
}
inline void expect_same_derived(const Animation&, const Animation&, const SceneTables&) {}
inline void expect_same_derived(const Material& x, const Material& y, const SceneTables&) {
    EXPECT_EQ(x.diff_tex != nullptr, y.diff_tex != nullptr);
    EXPECT_EQ(x.glow_tex != nullptr, y.glow_tex != nullptr);
}
inline void expect_same_derived(const Controller&, const Controller&, const SceneTables&) {}
inline void expect_same_derived(const Mesh&, const Mesh&, const SceneTables&) {}
inline void expect_same_derived(const GeomObject& x, const GeomObject& y, const SceneTables& b) {
    ASSERT_NE(y.mesh_ptr, nullptr);
    EXPECT_EQ(y.mesh_ptr, b.meshes[static_cast<size_t>(y.mesh_id)].get());
    // Skinned objects get their deformation copies prepared on both paths.
    EXPECT_EQ(bits(x.vertices_deformed), bits(y.vertices_deformed));
    EXPECT_EQ(bits(x.normals_deformed), bits(y.normals_deformed));
    EXPECT_EQ(x.normals_from_vertex, y.normals_from_vertex);
}
inline void expect_same_derived(const Node&, const Node&, const SceneTables&) {}

inline void expect_same_tables(const SceneTables& a, const SceneTables& b) {
    scene_records::for_each_kind([&](auto kind) {
        using R = typename decltype(kind)::Record;
        const auto &xs = a.*kind.table, &ys = b.*kind.table;
        ASSERT_EQ(xs.size(), ys.size()) << kind.plural;
        for (size_t i = 0; i < xs.size(); ++i) {
            SCOPED_TRACE(std::string(kind.label) + std::to_string(i));
            StoredFields<R> fields{*xs[i], *ys[i]};
            decltype(kind)::fields(fields);
            expect_same_derived(*xs[i], *ys[i], b);
        }
    });
}

}  // namespace scene_compare

using scene_compare::expect_same_tables;
