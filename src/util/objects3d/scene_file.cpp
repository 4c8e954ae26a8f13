// The converted scene: writing the eight tables as archive entries, and rebuilding them from the
// entries with every size and index checked before it is used.
#include "util/objects3d/scene_file.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "platform/fatal.h"
#include "util/data/data.h"

namespace {

using u32 = uint32_t;

// ---- layout ---------------------------------------------------------------------------------

const char LABEL_CAMERA[] = "cam";
const char LABEL_LIGHT[] = "light";
const char LABEL_ANIMATION[] = "anim";
const char LABEL_MATERIAL[] = "material";
const char LABEL_CONTROLLER[] = "controller";
const char LABEL_MESH[] = "mesh";
const char LABEL_GEOM_OBJECT[] = "geom_object";
const char LABEL_NODE[] = "node";

// Main entry sizes, in bytes.
constexpr size_t COUNTS_BYTES = 8 * 4;
constexpr size_t CAMERA_BYTES = 64 + 4 * 4;
constexpr size_t LIGHT_BYTES = 16 + 12 + 3 * 16 + 5 * 4 + 4;
constexpr size_t ANIMATION_BYTES = 4 + 12 + 4;
constexpr size_t MATERIAL_BYTES = 5 * 16 + 4;
constexpr size_t CONTROLLER_BYTES = 64;
constexpr size_t MESH_BYTES = 3 * 4;
constexpr size_t GEOM_OBJECT_BYTES = 3 * 4;
constexpr size_t NODE_BYTES = 64 + 3 * 4;

constexpr size_t VEC3_BYTES = 12, MAT4_BYTES = 64;

std::string record_prefix(const char* base, const char* label, size_t index) {
    return std::string(base) + "." + label + std::to_string(index);
}

bool in_table(int64_t index, size_t size) { return index >= 0 && static_cast<uint64_t>(index) < size; }

// ---- writing --------------------------------------------------------------------------------

// Values appended in the archive's byte order, whatever the host's.
struct Bytes {
    std::vector<uint8_t> b;

    void u32_le(uint32_t v) {
        uint8_t raw[4];
        write_u32_le(raw, v);
        b.insert(b.end(), raw, raw + 4);
    }
    void i32(int32_t v) { u32_le(static_cast<uint32_t>(v)); }
    void f32(float v) { u32_le(float_bits(v)); }
    void boolean(bool v) { i32(v ? 1 : 0); }
    void vec3(const Vec3& v) { f32(v.x), f32(v.y), f32(v.z); }
    void vec4(const Vec4& v) { f32(v.x), f32(v.y), f32(v.z), f32(v.w); }
    void mat4(const Mat4& m) {
        for (float e : m.m) f32(e);
    }
};

void put(const std::string& name, const Bytes& bytes) {
    // An empty array is still an entry, of size 0: readers tell it apart from a missing one.
    add_data(name.c_str(), static_cast<uint32_t>(bytes.b.size()),
             bytes.b.empty() ? "" : reinterpret_cast<const char*>(bytes.b.data()));
}

void put_string(const std::string& name, const std::string& s) {
    add_data(name.c_str(), static_cast<uint32_t>(s.size() + 1), s.c_str());
}

template <typename T, typename Append>
void put_array(const std::string& name, const std::vector<T>& values, Append append) {
    Bytes bytes;
    bytes.b.reserve(values.size() * sizeof(T));
    for (const T& v : values) append(bytes, v);
    put(name, bytes);
}

void put_ints(const std::string& name, const std::vector<int32_t>& values) {
    put_array(name, values, [](Bytes& b, int32_t v) { b.i32(v); });
}
void put_floats(const std::string& name, const std::vector<float>& values) {
    put_array(name, values, [](Bytes& b, float v) { b.f32(v); });
}

void put_main(const std::string& name, const Bytes& bytes, size_t buf_size) {
    const size_t pos = bytes.b.size();
    ZV_ASSERT_CMP(pos, ==, buf_size);
    put(name, bytes);
}

void save_cameras(const SceneTables& t, const char* base) {
    for (size_t i = 0; i < t.cameras.size(); ++i) {
        const Camera& cam = *t.cameras[i];
        const std::string p = record_prefix(base, LABEL_CAMERA, i);
        put_string(p + "id", cam.name);
        Bytes b;
        b.mat4(cam.get_view());
        b.f32(cam.get_xfov());
        b.f32(cam.get_yfov());
        b.f32(cam.get_znear());
        b.f32(cam.get_zfar());
        const size_t pos = b.b.size(), buf_size = CAMERA_BYTES;
        ZV_ASSERT(pos == buf_size);
        put(p, b);
    }
}

void save_lights(const SceneTables& t, const char* base) {
    for (size_t i = 0; i < t.lights.size(); ++i) {
        const Light& light = *t.lights[i];
        const std::string p = record_prefix(base, LABEL_LIGHT, i);
        put_string(p + "id", light.name);
        Bytes b;
        b.vec4(light.position);
        b.vec3(light.spot_direction);
        b.vec4(light.ambient);
        b.vec4(light.diffuse);
        b.vec4(light.specular);
        b.f32(light.constant_attenuation);
        b.f32(light.linear_attenuation);
        b.f32(light.quadratic_attenuation);
        b.f32(light.spot_cutoff);
        b.f32(light.spot_exponent);
        b.i32(light.type);
        const size_t pos = b.b.size(), buf_size = LIGHT_BYTES;
        ZV_ASSERT(pos == buf_size);
        put(p, b);
    }
}

void save_animations(const SceneTables& t, const char* base) {
    for (size_t i = 0; i < t.animations.size(); ++i) {
        const Animation& a = *t.animations[i];
        const std::string p = record_prefix(base, LABEL_ANIMATION, i);
        put_string(p + "id", a.name);
        put_string(p + "target", a.target);
        put_floats(p + "timeline", a.timeline);
        put_floats(p + "rotation_amount", a.rotation_amount);
        put_array(p + "translation", a.translation, [](Bytes& b, const Vec3& v) { b.vec3(v); });
        put_array(p + "matrix", a.matrix, [](Bytes& b, const Mat4& m) { b.mat4(m); });
        put_ints(p + "interpolation", a.interpolation);
        Bytes b;
        b.i32(a.kind);
        b.vec3(a.axis);
        b.i32(a.interpolation_stride);
        put_main(p, b, ANIMATION_BYTES);
    }
}

void save_materials(const SceneTables& t, const char* base) {
    for (size_t i = 0; i < t.materials.size(); ++i) {
        const Material& m = *t.materials[i];
        const std::string p = record_prefix(base, LABEL_MATERIAL, i);
        put_string(p + "id", m.name);
        put_string(p + "fx", m.fx);
        put_string(p + "diff_tex_fname", m.diff_tex_fname);
        put_string(p + "glow_tex_fname", m.glow_tex_fname);
        Bytes b;
        b.vec4(m.emission);
        b.vec4(m.ambient);
        b.vec4(m.diffuse);
        b.vec4(m.specular);
        b.vec4(m.color_add);
        b.f32(m.shininess);
        put_main(p, b, MATERIAL_BYTES);
    }
}

void save_controllers(const SceneTables& t, const char* base) {
    for (size_t i = 0; i < t.controllers.size(); ++i) {
        const Controller& c = *t.controllers[i];
        const std::string p = record_prefix(base, LABEL_CONTROLLER, i);
        put_string(p + "id", c.name);
        put_string(p + "skin_source", c.skin_source);
        put_ints(p + "joints", c.joints);
        put_floats(p + "weights", c.weights);
        put_ints(p + "vcounts", c.vcounts);
        put_ints(p + "v", c.v);
        put_array(p + "inv_bind_matrices", c.inv_bind_matrices, [](Bytes& b, const Mat4& m) { b.mat4(m); });
        Bytes b;
        b.mat4(c.bind_shape_matrix);
        put_main(p, b, CONTROLLER_BYTES);
    }
}

void save_meshes(const SceneTables& t, const char* base) {
    for (size_t i = 0; i < t.meshes.size(); ++i) {
        const Mesh& m = *t.meshes[i];
        const std::string p = record_prefix(base, LABEL_MESH, i);
        put_string(p + "id", m.name);
        put_floats(p + "vertices", m.vertices);
        put_floats(p + "normals", m.normals);
        put_floats(p + "texcoords", m.texcoords);
        Bytes b;
        b.i32(m.vertices_stride);
        b.i32(m.normals_stride);
        b.i32(m.texcoords_stride);
        put_main(p, b, MESH_BYTES);
    }
}

void save_geom_objects(const SceneTables& t, const char* base) {
    for (size_t i = 0; i < t.geom_objects.size(); ++i) {
        const GeomObject& o = *t.geom_objects[i];
        const std::string p = record_prefix(base, LABEL_GEOM_OBJECT, i);
        put_string(p + "id", o.name);
        put_string(p + "material", o.material);
        put_ints(p + "ivertices", o.ivertices);
        put_ints(p + "inormals", o.inormals);
        put_ints(p + "itexcoords", o.itexcoords);
        Bytes b;
        b.i32(o.mesh_id);
        b.i32(o.material_index);
        b.boolean(o.textured);
        put_main(p, b, GEOM_OBJECT_BYTES);
    }
}

void save_nodes(const SceneTables& t, const char* base) {
    for (size_t i = 0; i < t.nodes.size(); ++i) {
        const Node& n = *t.nodes[i];
        const std::string p = record_prefix(base, LABEL_NODE, i);
        put_string(p + "id", n.name);
        put_ints(p + "children", n.children);
        put_ints(p + "objects", n.objects);
        put_ints(p + "controllers", n.controllers);
        put_ints(p + "animations", n.animations);
        put_ints(p + "cameras", n.cameras);
        put_ints(p + "lights", n.lights);
        Bytes b;
        b.mat4(n.local_matrix);
        b.i32(n.joint_depth);
        b.i32(n.parent_index);
        b.i32(n.this_index);
        put_main(p, b, NODE_BYTES);
    }
}

// ---- reading --------------------------------------------------------------------------------

// One entry's private copy, freed with the reader whether it returns or a report is thrown.
struct Entry {
    std::unique_ptr<char, void (*)(void*)> data{nullptr, free};
    uint32_t size = 0;

    bool present() const { return data != nullptr; }
    const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(data.get()); }
};

Entry fetch(const std::string& name) {
    Entry e;
    uint32_t size = 0;
    e.data.reset(get_data(name.c_str(), &size));
    e.size = e.present() ? size : 0;
    return e;
}

// Decodes a main entry whose size was checked against its layout beforehand.
struct Cursor {
    const uint8_t* p;

    uint32_t u32_le() {
        const uint32_t v = read_u32_le(p);
        p += 4;
        return v;
    }
    int32_t i32() { return static_cast<int32_t>(u32_le()); }
    float f32() { return float_from_bits(u32_le()); }
    bool boolean() { return i32() != 0; }
    Vec3 vec3() {
        const float x = f32(), y = f32(), z = f32();
        return Vec3(x, y, z);
    }
    Vec4 vec4() {
        const float x = f32(), y = f32(), z = f32(), w = f32();
        return Vec4(x, y, z, w);
    }
    Mat4 mat4() {
        float e[16];
        for (float& v : e) v = f32();
        return Mat4(e);
    }
};

Vec3 decode_vec3(const uint8_t* p) { return Cursor{p}.vec3(); }
Mat4 decode_mat4(const uint8_t* p) { return Cursor{p}.mat4(); }
float decode_f32(const uint8_t* p) { return float_from_bits(read_u32_le(p)); }
int32_t decode_i32(const uint8_t* p) { return static_cast<int32_t>(read_u32_le(p)); }

class SceneReader {
public:
    SceneReader(const char* base_name, SceneTables& tables, DaeTextureLoader textures)
        : base(base_name), t(tables), texture_loader(textures) {}

    void read() {
        Entry main_entry = fetch(base);
        const char* main_buffer = main_entry.data.get();
        if (!main_buffer) ZV_FATAL("main_buffer is NULL\nthe archive holds no converted scene %s", base);
        if (main_entry.size != COUNTS_BYTES)
            ZV_FATAL("Scene entry %s holds %" PRIu32 " bytes, not the %zu of its eight record counts", base,
                     main_entry.size, COUNTS_BYTES);
        static const char* const kinds[8] = {"cameras", "lights", "animations", "materials",
                                             "controllers", "meshes", "geometry objects", "nodes"};
        int32_t counts[8];
        Cursor c{main_entry.bytes()};
        // Every record has at least its main entry in the archive, so no honest count exceeds
        // the number of entries; a larger one is damage, refused before any record is read.
        const uint32_t entries = get_datafile_entry_count();
        for (int k = 0; k < 8; ++k) {
            counts[k] = c.i32();
            if (counts[k] < 0) ZV_FATAL("Scene entry %s counts %" PRId32 " %s", base, counts[k], kinds[k]);
            if (static_cast<uint32_t>(counts[k]) > entries)
                ZV_FATAL("Scene entry %s counts %" PRId32 " %s, more than the %" PRIu32 " entries of the archive", base,
                         counts[k], kinds[k], entries);
        }
        for (int32_t i = 0; i < counts[0]; ++i) read_camera(static_cast<size_t>(i));
        for (int32_t i = 0; i < counts[1]; ++i) read_light(static_cast<size_t>(i));
        for (int32_t i = 0; i < counts[2]; ++i) read_animation(static_cast<size_t>(i));
        for (int32_t i = 0; i < counts[3]; ++i) read_material(static_cast<size_t>(i));
        for (int32_t i = 0; i < counts[4]; ++i) read_controller(static_cast<size_t>(i));
        for (int32_t i = 0; i < counts[5]; ++i) read_mesh(static_cast<size_t>(i));
        for (int32_t i = 0; i < counts[6]; ++i) read_geom_object(static_cast<size_t>(i));
        for (int32_t i = 0; i < counts[7]; ++i) read_node(static_cast<size_t>(i));
        // References that point forward (children) or into the node table (joints) are checked
        // once every node is there.
        check_tree();
        check_joints();
    }

private:
    // ---- entries ----

    std::string read_string(const std::string& name) const {
        Entry e = fetch(name);
        if (!e.present()) ZV_FATAL("Scene entry %s is missing", name.c_str());
        const void* zero = e.size ? memchr(e.data.get(), 0, e.size) : nullptr;
        if (!zero) ZV_FATAL("Scene entry %s holds no zero-terminated string", name.c_str());
        return std::string(e.data.get(), static_cast<size_t>(static_cast<const char*>(zero) - e.data.get()));
    }

    // A missing entry is an empty array, except for the matrix arrays, which must exist.
    template <typename T>
    std::vector<T> read_array(const std::string& name, size_t element_bytes, T (*decode)(const uint8_t*),
                              bool required = false) const {
        Entry e = fetch(name);
        if (!e.present()) {
            const char* temp_buffer = nullptr;
            if (required) ZV_ASSERT_NOT_NULL(temp_buffer);
            return {};
        }
        if (e.size % element_bytes != 0)
            ZV_FATAL("Scene entry %s holds %" PRIu32 " bytes, not a whole number of %zu-byte values", name.c_str(),
                     e.size, element_bytes);
        std::vector<T> out;
        out.reserve(e.size / element_bytes);
        for (size_t at = 0; at < e.size; at += element_bytes) out.push_back(decode(e.bytes() + at));
        return out;
    }
    std::vector<int32_t> read_ints(const std::string& name) const { return read_array(name, 4, decode_i32); }
    std::vector<float> read_floats(const std::string& name) const { return read_array(name, 4, decode_f32); }

    // A main entry, its size checked against the layout before a byte of it is decoded.
    Entry read_main(const std::string& name, size_t layout) const {
        Entry e = fetch(name);
        const char* buf = e.data.get();
        ZV_ASSERT_NOT_NULL(buf);
        const size_t pos = layout, buffer_size = e.size;
        ZV_ASSERT_CMP(pos, ==, buffer_size);
        return e;
    }

    // Every entry of `list` must index a table of `size` records.
    void check_indices(const std::string& entry, const std::vector<int32_t>& list, size_t size, const char* table) const {
        for (int32_t index : list)
            if (!in_table(index, size))
                ZV_FATAL("Scene entry %s holds index %" PRId32 ", outside the %zu %s", entry.c_str(), index, size, table);
    }

    // ---- records ----

    void read_camera(size_t i) {
        const std::string p = record_prefix(base, LABEL_CAMERA, i);
        auto cam = std::make_unique<Camera>();
        cam->set_name(read_string(p + "id"));
        Entry e = read_main(p, CAMERA_BYTES);
        Cursor c{e.bytes()};
        cam->set_view_matrix(c.mat4());
        cam->set_xfov(c.f32());
        cam->set_yfov(c.f32());
        const float near = c.f32(), far = c.f32();
        cam->set_near_far(near, far);
        t.cameras.push_back(std::move(cam));
    }

    void read_light(size_t i) {
        const std::string p = record_prefix(base, LABEL_LIGHT, i);
        auto light = std::make_unique<Light>();
        light->set_name(read_string(p + "id"));
        Entry e = read_main(p, LIGHT_BYTES);
        Cursor c{e.bytes()};
        const Vec4 position = c.vec4();
        light->set_position(position.x, position.y, position.z, position.w);
        light->set_spot_direction(c.vec3());
        light->set_ambient(c.vec4());
        light->set_diffuse(c.vec4());
        light->set_specular(c.vec4());
        const float constant = c.f32(), linear = c.f32(), quadratic = c.f32();
        light->set_attenuation(constant, linear, quadratic);
        const float cutoff = c.f32(), exponent = c.f32();
        light->set_spot(cutoff, exponent);
        light->set_type(c.i32());
        t.lights.push_back(std::move(light));
    }

    void read_animation(size_t i) {
        const std::string p = record_prefix(base, LABEL_ANIMATION, i);
        auto a = std::make_unique<Animation>();
        a->name = read_string(p + "id");
        a->target = read_string(p + "target");
        a->timeline = read_floats(p + "timeline");
        a->rotation_amount = read_floats(p + "rotation_amount");
        a->translation = read_array(p + "translation", VEC3_BYTES, decode_vec3);
        a->matrix = read_array(p + "matrix", MAT4_BYTES, decode_mat4, true);
        a->interpolation = read_ints(p + "interpolation");
        Entry e = read_main(p, ANIMATION_BYTES);
        Cursor c{e.bytes()};
        a->kind = c.i32();
        a->axis = c.vec3();
        a->interpolation_stride = c.i32();
        // Evaluation reads one output and interpolation_stride codes per key; an unknown kind
        // is left to evaluation, which reports it as such.
        const size_t keys = a->timeline.size();
        const size_t outputs = a->kind == Animation::ROTATION      ? a->rotation_amount.size()
                               : a->kind == Animation::TRANSLATION ? a->translation.size()
                                                                   : a->matrix.size();
        const bool known = a->kind == Animation::ROTATION || a->kind == Animation::TRANSLATION ||
                           a->kind == Animation::MATRIX;
        if (known && outputs != keys)
            ZV_FATAL("Scene entry %s: animation %s has %zu key times but %zu output values", p.c_str(), a->name.c_str(),
                     keys, outputs);
        if (a->interpolation_stride < 1 ||
            a->interpolation.size() != keys * static_cast<size_t>(a->interpolation_stride))
            ZV_FATAL("Scene entry %s: animation %s has %zu key times but %zu interpolations of %" PRId32 " per key",
                     p.c_str(), a->name.c_str(), keys, a->interpolation.size(), a->interpolation_stride);
        t.animations.push_back(std::move(a));
    }

    void read_material(size_t i) {
        const std::string p = record_prefix(base, LABEL_MATERIAL, i);
        auto m = std::make_unique<Material>();
        m->name = read_string(p + "id");
        m->fx = read_string(p + "fx");
        m->diff_tex_fname = read_string(p + "diff_tex_fname");
        m->glow_tex_fname = read_string(p + "glow_tex_fname");
        Entry e = read_main(p, MATERIAL_BYTES);
        Cursor c{e.bytes()};
        m->emission = c.vec4();
        m->ambient = c.vec4();
        m->diffuse = c.vec4();
        m->specular = c.vec4();
        m->color_add = c.vec4();
        m->shininess = c.f32();
        if (!m->diff_tex_fname.empty()) m->diff_tex = load_material_texture(m->diff_tex_fname.c_str(), texture_loader);
        if (!m->glow_tex_fname.empty()) m->glow_tex = load_material_texture(m->glow_tex_fname.c_str(), texture_loader);
        t.materials.push_back(std::move(m));
    }

    void read_controller(size_t i) {
        const std::string p = record_prefix(base, LABEL_CONTROLLER, i);
        auto c = std::make_unique<Controller>();
        c->name = read_string(p + "id");
        c->skin_source = read_string(p + "skin_source");
        c->joints = read_ints(p + "joints");
        c->weights = read_floats(p + "weights");
        c->vcounts = read_ints(p + "vcounts");
        c->v = read_ints(p + "v");
        c->inv_bind_matrices = read_array(p + "inv_bind_matrices", MAT4_BYTES, decode_mat4, true);
        Entry e = read_main(p, CONTROLLER_BYTES);
        c->bind_shape_matrix = Cursor{e.bytes()}.mat4();
        check_influences(p, *c);
        t.controllers.push_back(std::move(c));
    }

    // Skinning walks v as (joint, weight) pairs in the order of vcounts, and looks each joint up
    // in the joints and the inverse bind matrices and each weight in the weights.
    void check_influences(const std::string& p, const Controller& c) const {
        uint64_t influences = 0;
        for (int32_t count : c.vcounts) {
            if (count < 0)
                ZV_FATAL("Scene entry %svcounts holds the negative count %" PRId32, p.c_str(), count);
            influences += static_cast<uint64_t>(count);
        }
        if (influences > c.v.size() / 2)
            ZV_FATAL("Scene entry %svcounts adds up to %" PRIu64 " influences, but %sv holds %zu values", p.c_str(),
                     influences, p.c_str(), c.v.size());
        for (uint64_t i = 0; i < influences; ++i) {
            const int32_t joint = c.v[2 * i], weight = c.v[2 * i + 1];
            if (!in_table(joint, c.joints.size()) || !in_table(joint, c.inv_bind_matrices.size()))
                ZV_FATAL("Scene entry %sv holds joint %" PRId32 ", outside the %zu joints and %zu inverse bind matrices",
                         p.c_str(), joint, c.joints.size(), c.inv_bind_matrices.size());
            if (!in_table(weight, c.weights.size()))
                ZV_FATAL("Scene entry %sv holds weight %" PRId32 ", outside the %zu weights", p.c_str(), weight,
                         c.weights.size());
        }
    }

    void read_mesh(size_t i) {
        const std::string p = record_prefix(base, LABEL_MESH, i);
        auto m = std::make_unique<Mesh>();
        m->name = read_string(p + "id");
        m->vertices = read_floats(p + "vertices");
        m->normals = read_floats(p + "normals");
        m->texcoords = read_floats(p + "texcoords");
        Entry e = read_main(p, MESH_BYTES);
        Cursor c{e.bytes()};
        m->vertices_stride = c.i32();
        m->normals_stride = c.i32();
        m->texcoords_stride = c.i32();
        // Positions and normals are drawn and skinned as three floats, texture coordinates as
        // two or three; a stride of 0 marks an absent array.
        check_stride(p, "vertices", m->vertices, m->vertices_stride, m->vertices_stride == 3);
        check_stride(p, "normals", m->normals, m->normals_stride, m->normals_stride == 3);
        check_stride(p, "texcoords", m->texcoords, m->texcoords_stride,
                     m->texcoords_stride == 2 || m->texcoords_stride == 3);
        t.meshes.push_back(std::move(m));
    }

    void check_stride(const std::string& p, const char* field, const std::vector<float>& values, int32_t stride,
                      bool drawable) const {
        const bool fits =
            stride == 0 ? values.empty() : drawable && values.size() % static_cast<size_t>(stride) == 0;
        if (!fits)
            ZV_FATAL("Scene entry %s gives %s the stride %" PRId32 ", which does not fit the %zu values of %s%s",
                     p.c_str(), field, stride, values.size(), p.c_str(), field);
    }

    void read_geom_object(size_t i) {
        const std::string p = record_prefix(base, LABEL_GEOM_OBJECT, i);
        auto newobj = std::make_unique<GeomObject>();
        newobj->name = read_string(p + "id");
        newobj->material = read_string(p + "material");
        newobj->ivertices = read_ints(p + "ivertices");
        newobj->inormals = read_ints(p + "inormals");
        newobj->itexcoords = read_ints(p + "itexcoords");
        Entry e = read_main(p, GEOM_OBJECT_BYTES);
        Cursor c{e.bytes()};
        newobj->mesh_id = c.i32();
        newobj->material_index = c.i32();
        newobj->textured = c.boolean();

        const auto& meshes = t.meshes;
        ZV_ASSERT_CMP(newobj->mesh_id, >=, 0);
        ZV_ASSERT_CMP(meshes.size(), >, (u32)newobj->mesh_id);
        newobj->mesh_ptr = meshes[static_cast<size_t>(newobj->mesh_id)].get();
        if (!in_table(newobj->material_index, t.materials.size()))
            ZV_FATAL("Scene entry %s gives material index %" PRId32 ", outside the %zu materials", p.c_str(),
                     newobj->material_index, t.materials.size());
        check_corners(p, *newobj);
        t.geom_objects.push_back(std::move(newobj));
    }

    // Drawing takes, per corner, one element of each array the mesh has, at that corner's index.
    void check_corners(const std::string& p, const GeomObject& o) const {
        const Mesh& mesh = *o.mesh_ptr;
        const size_t corners = o.ivertices.size();
        if (corners % 3 != 0)
            ZV_FATAL("Scene entry %sivertices holds %zu corners, not whole triangles", p.c_str(), corners);
        struct List {
            const char* field;
            const std::vector<int32_t>& indices;
            const std::vector<float>& values;
            int32_t stride;
        };
        const List lists[] = {{"ivertices", o.ivertices, mesh.vertices, mesh.vertices_stride},
                              {"inormals", o.inormals, mesh.normals, mesh.normals_stride},
                              {"itexcoords", o.itexcoords, mesh.texcoords, mesh.texcoords_stride}};
        for (const List& list : lists) {
            if (list.stride > 0 && list.indices.size() != corners)
                ZV_FATAL("Scene entry %s%s holds %zu indices for %zu corners", p.c_str(), list.field,
                         list.indices.size(), corners);
            const size_t elements = list.stride > 0 ? list.values.size() / static_cast<size_t>(list.stride) : 0;
            const std::string entry = p + list.field;
            for (int32_t index : list.indices)
                if (!in_table(index, elements))
                    ZV_FATAL("Scene entry %s holds index %" PRId32 ", outside the %zu elements of mesh %s",
                             entry.c_str(), index, elements, mesh.name.c_str());
        }
    }

    void read_node(size_t i) {
        const std::string p = record_prefix(base, LABEL_NODE, i);
        auto node = std::make_unique<Node>();
        node->name = read_string(p + "id");
        node->children = read_ints(p + "children");
        node->objects = read_ints(p + "objects");
        node->controllers = read_ints(p + "controllers");
        node->animations = read_ints(p + "animations");
        node->cameras = read_ints(p + "cameras");
        node->lights = read_ints(p + "lights");
        Entry e = read_main(p, NODE_BYTES);
        Cursor c{e.bytes()};
        node->local_matrix = c.mat4();
        node->joint_depth = c.i32();
        node->parent_index = c.i32();
        node->this_index = c.i32();

        // A node's index is its position, and its parent comes before it: the master node
        // first, and the parent links can never form a loop.
        if (node->this_index != static_cast<int32_t>(i))
            ZV_FATAL("Scene entry %s gives node %zu the index %" PRId32, p.c_str(), i, node->this_index);
        const bool parent_ok = i == 0 ? node->parent_index == -1
                                      : node->parent_index >= 0 && static_cast<size_t>(node->parent_index) < i;
        if (!parent_ok) ZV_FATAL("Scene entry %s gives node %zu the parent %" PRId32, p.c_str(), i, node->parent_index);
        check_indices(p + "objects", node->objects, t.geom_objects.size(), "geometry objects");
        check_indices(p + "controllers", node->controllers, t.controllers.size(), "controllers");
        check_indices(p + "animations", node->animations, t.animations.size(), "animations");
        check_indices(p + "cameras", node->cameras, t.cameras.size(), "cameras");
        check_indices(p + "lights", node->lights, t.lights.size(), "lights");

        if (!node->controllers.empty()) {
            for (int32_t o : node->objects) {
                GeomObject& object = *t.geom_objects[static_cast<size_t>(o)];
                // Skinning writes one deformed vertex per vcounts entry.
                const size_t vertices = object.mesh_ptr->vertices.size() / 3;
                for (int32_t ctrl : node->controllers) {
                    const Controller& controller = *t.controllers[static_cast<size_t>(ctrl)];
                    if (controller.vcounts.size() > vertices)
                        ZV_FATAL("Scene entry %s: controller %s weights %zu vertices, but geometry object %s has %zu",
                                 p.c_str(), controller.name.c_str(), controller.vcounts.size(), object.name.c_str(),
                                 vertices);
                }
                object.prepare_deformation();
            }
        }
        t.nodes.push_back(std::move(node));
    }

    // Every node but the first is listed exactly once, by its own parent: a tree, which the
    // recursive walks over children rely on to end.
    void check_tree() const {
        std::vector<bool> listed(t.nodes.size(), false);
        for (size_t parent = 0; parent < t.nodes.size(); ++parent) {
            const std::string entry = record_prefix(base, LABEL_NODE, parent) + "children";
            for (int32_t child : t.nodes[parent]->children) {
                if (!in_table(child, t.nodes.size()))
                    ZV_FATAL("Scene entry %s holds index %" PRId32 ", outside the %zu nodes", entry.c_str(), child,
                             t.nodes.size());
                const size_t c = static_cast<size_t>(child);
                if (t.nodes[c]->parent_index != static_cast<int32_t>(parent))
                    ZV_FATAL("Scene entry %s lists node %" PRId32 ", whose parent is %" PRId32 ", as a child",
                             entry.c_str(), child, t.nodes[c]->parent_index);
                if (listed[c]) ZV_FATAL("Scene entry %s lists node %" PRId32 " twice", entry.c_str(), child);
                listed[c] = true;
            }
        }
        for (size_t c = 1; c < t.nodes.size(); ++c)
            if (!listed[c])
                ZV_FATAL("Scene entry %s%s does not list node %zu, whose parent it is",
                         record_prefix(base, LABEL_NODE, static_cast<size_t>(t.nodes[c]->parent_index)).c_str(),
                         "children", c);
    }

    void check_joints() const {
        for (size_t i = 0; i < t.controllers.size(); ++i)
            check_indices(record_prefix(base, LABEL_CONTROLLER, i) + "joints", t.controllers[i]->joints, t.nodes.size(),
                          "nodes");
    }

    const char* base;
    SceneTables& t;
    DaeTextureLoader texture_loader;
};

}  // namespace

void save_internal(const SceneTables& scene, const char* base_name) {
    ZV_ASSERT_NOT_NULL(base_name);
    Bytes counts;
    for (size_t n : {scene.cameras.size(), scene.lights.size(), scene.animations.size(), scene.materials.size(),
                     scene.controllers.size(), scene.meshes.size(), scene.geom_objects.size(), scene.nodes.size()})
        counts.i32(static_cast<int32_t>(n));
    put(base_name, counts);
    save_cameras(scene, base_name);
    save_lights(scene, base_name);
    save_animations(scene, base_name);
    save_materials(scene, base_name);
    save_controllers(scene, base_name);
    save_meshes(scene, base_name);
    save_geom_objects(scene, base_name);
    save_nodes(scene, base_name);
}

void load_internal(SceneTables& scene, const char* base_name, DaeTextureLoader textures) {
    ZV_ASSERT_NOT_NULL(base_name);
    // Built aside and handed over whole, so a report redirected to an exception leaves the
    // caller's tables as they were.
    SceneTables loaded;
    SceneReader(base_name, loaded, textures).read();
    scene = std::move(loaded);
}
