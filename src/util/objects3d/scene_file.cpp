// The converted scene: writing the eight tables as archive entries, and rebuilding them from the
// entries with every size and index checked before it is used.

// Index of this file:
// [SECTION] Value widths and entry names
// [SECTION] Writing records
// [SECTION] Fetching and decoding entries
// [SECTION] Reading the tables
// [SECTION] Completing and checking records
// [SECTION] Saving and loading a scene

#include "util/objects3d/scene_file.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/byte_order.h"
#include "platform/fatal.h"
#include "util/data/data.h"
#include "util/objects3d/scene_records.h"

namespace {

//-----------------------------------------------------------------------------
// [SECTION] Value widths and entry names
//-----------------------------------------------------------------------------

using namespace scene_records;

// The stored width of each value type: a Vec3 leaves out the fourth float, a bool is an int32.
template <class T>
constexpr size_t encoded_bytes() {
    static_assert(std::is_same<T, int32_t>::value || std::is_same<T, float>::value || std::is_same<T, bool>::value ||
                      std::is_same<T, Vec3>::value || std::is_same<T, Vec4>::value || std::is_same<T, Mat4>::value,
                  "a type the format stores");
    return std::is_same<T, Vec3>::value ? 12 : std::is_same<T, Vec4>::value ? 16 : std::is_same<T, Mat4>::value ? 64 : 4;
}

// The matrix arrays have no empty default a reader could fall back on.
template <class T>
constexpr bool array_required() {
    return std::is_same<T, Mat4>::value;
}

struct MainEntrySize {
    size_t bytes = 0;
    template <class R>
    constexpr void text(const char*, std::string R::*) {}
    template <class... Arrays>
    constexpr void arrays(Arrays...) {}
    template <class R, class... T>
    constexpr void values(T R::*...) {
        bytes += (encoded_bytes<T>() + ...);
    }
};

// The fixed size of a record's main entry, the sum of its values' widths.
template <class Kind>
constexpr size_t main_entry_bytes() {
    MainEntrySize size;
    Kind::fields(size);
    return size.bytes;
}

constexpr size_t COUNTS_BYTES = 8 * 4;

std::string record_prefix(const char* base, const char* label, size_t index) {
    return std::string(base) + "." + label + std::to_string(index);
}

bool in_table(int64_t index, size_t size) { return index >= 0 && static_cast<uint64_t>(index) < size; }

//-----------------------------------------------------------------------------
// [SECTION] Writing records
//-----------------------------------------------------------------------------

// Values appended in the archive's byte order, whatever the host's.
struct Bytes {
    std::vector<uint8_t> b;

    void u32_le(uint32_t v) {
        uint8_t raw[4];
        write_u32_le(raw, v);
        b.insert(b.end(), raw, raw + 4);
    }
    void put(int32_t v) { u32_le(static_cast<uint32_t>(v)); }
    void put(float v) { u32_le(float_bits(v)); }
    void put(bool v) { put(int32_t{v ? 1 : 0}); }
    void put(const Vec3& v) { put(v.x), put(v.y), put(v.z); }
    void put(const Vec4& v) { put(v.x), put(v.y), put(v.z), put(v.w); }
    void put(const Mat4& m) {
        for (float e : m.m) put(e);
    }
};

void add_entry(const std::string& name, const Bytes& bytes) {
    // An empty array is still an entry, of size 0: readers tell it apart from a missing one.
    add_data(name.c_str(), static_cast<uint32_t>(bytes.b.size()),
             bytes.b.empty() ? "" : reinterpret_cast<const char*>(bytes.b.data()));
}

// Adds a record's field entries as its list names them and gathers its main entry.
template <class R>
struct RecordWriter {
    const R& r;
    const std::string& prefix;
    Bytes main;

    void text(const char* field, std::string R::*member) {
        const std::string& s = r.*member;
        add_data((prefix + field).c_str(), static_cast<uint32_t>(s.size() + 1), s.c_str());
    }
    template <class... T>
    void arrays(ArrayEntry<R, T>... entries) {
        (array(entries), ...);
    }
    template <class T>
    void array(ArrayEntry<R, T> entry) {
        Bytes bytes;
        bytes.b.reserve((r.*entry.member).size() * encoded_bytes<T>());
        for (const T& v : r.*entry.member) bytes.put(v);
        add_entry(prefix + entry.name, bytes);
    }
    template <class... T>
    void values(T R::*... members) {
        (main.put(r.*members), ...);
    }
};

template <class Kind>
void save_group(const SceneTables& t, const char* base, Kind kind) {
    using R = typename Kind::Record;
    const auto& table = t.*kind.table;
    for (size_t i = 0; i < table.size(); ++i) {
        const std::string p = record_prefix(base, kind.label, i);
        RecordWriter<R> writer{*table[i], p, {}};
        Kind::fields(writer);
        const size_t pos = writer.main.b.size(), buf_size = main_entry_bytes<Kind>();
        // The size is summed from the same list the bytes were written from: only an encoder
        // that writes another width than it states can end here. Cameras and lights report it
        // without the operands.
        if (pos != buf_size) {
            if (std::is_same<R, Camera>::value || std::is_same<R, Light>::value)
                ZV_FATAL("Failed assert pos == buf_size");
            ZV_FATAL("Failed assert pos == buf_size\n pos is %zu\n buf_size is %zu", pos, buf_size);
        }
        add_entry(p, writer.main);
    }
}

//-----------------------------------------------------------------------------
// [SECTION] Fetching and decoding entries
//-----------------------------------------------------------------------------

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

// Decodes values whose room was checked beforehand.
struct Cursor {
    const uint8_t* p;

    uint32_t u32_le() {
        const uint32_t v = read_u32_le(p);
        p += 4;
        return v;
    }
    void take(int32_t& v) { v = static_cast<int32_t>(u32_le()); }
    void take(float& v) { v = float_from_bits(u32_le()); }
    void take(bool& v) { v = static_cast<int32_t>(u32_le()) != 0; }
    void take(Vec3& v) {
        float x, y, z;
        take(x), take(y), take(z);
        v = Vec3(x, y, z);
    }
    void take(Vec4& v) { take(v.x), take(v.y), take(v.z), take(v.w); }
    void take(Mat4& m) {
        float e[16];
        for (float& v : e) take(v);
        m = Mat4(e);
    }
};

//-----------------------------------------------------------------------------
// [SECTION] Reading the tables
//-----------------------------------------------------------------------------

class SceneReader {
public:
    SceneReader(const char* base_name, SceneTables& tables, DaeTextureLoader textures)
        : base(base_name), t(tables), texture_loader(textures) {}

    void read() {
        Entry main_entry = fetch(base);
        if (!main_entry.present()) ZV_FATAL("main_buffer is NULL\nthe archive holds no converted scene %s", base);
        if (main_entry.size != COUNTS_BYTES)
            ZV_FATAL("Scene entry %s holds %" PRIu32 " bytes, not the %zu of its eight record counts", base,
                     main_entry.size, COUNTS_BYTES);
        int32_t counts[8];
        Cursor c{main_entry.bytes()};
        // Every record has at least its main entry in the archive, so no honest count exceeds
        // the number of entries; a larger one is damage, refused before any record is read.
        const uint32_t entries = get_datafile_entry_count();
        int k = 0;
        for_each_kind([&](auto kind) {
            c.take(counts[k]);
            if (counts[k] < 0) ZV_FATAL("Scene entry %s counts %" PRId32 " %s", base, counts[k], kind.plural);
            if (static_cast<uint32_t>(counts[k]) > entries)
                ZV_FATAL("Scene entry %s counts %" PRId32 " %s, more than the %" PRIu32 " entries of the archive", base,
                         counts[k], kind.plural, entries);
            ++k;
        });
        k = 0;
        for_each_kind([&](auto kind) {
            for (int32_t i = 0; i < counts[k]; ++i) {
                const size_t index = static_cast<size_t>(i);
                const std::string p = record_prefix(base, kind.label, index);
                auto record = read_record(kind, p);
                complete(*record, p, index);
                (t.*kind.table).push_back(std::move(record));
            }
            ++k;
        });
        // References that point forward (children) or into the node table (joints) are checked
        // once every node is there.
        check_tree();
        check_joints();
    }

private:
    std::string read_string(const std::string& name) const {
        Entry e = fetch(name);
        if (!e.present()) ZV_FATAL("Scene entry %s is missing", name.c_str());
        const void* zero = e.size ? memchr(e.data.get(), 0, e.size) : nullptr;
        if (!zero) ZV_FATAL("Scene entry %s holds no zero-terminated string", name.c_str());
        return std::string(e.data.get(), static_cast<size_t>(static_cast<const char*>(zero) - e.data.get()));
    }

    // A missing entry is an empty array, except for the matrix arrays, which must exist.
    template <typename T>
    std::vector<T> read_array(const std::string& name) const {
        constexpr size_t element_bytes = encoded_bytes<T>();
        Entry e = fetch(name);
        if (!e.present()) {
            if (array_required<T>()) ZV_FATAL("temp_buffer is NULL");
            return {};
        }
        if (e.size % element_bytes != 0)
            ZV_FATAL("Scene entry %s holds %" PRIu32 " bytes, not a whole number of %zu-byte values", name.c_str(),
                     e.size, element_bytes);
        std::vector<T> out(e.size / element_bytes);
        Cursor c{e.bytes()};
        for (T& v : out) c.take(v);
        return out;
    }

    // A main entry, its size checked against the layout before a byte of it is decoded.
    Entry read_main(const std::string& name, size_t layout) const {
        Entry e = fetch(name);
        if (!e.present()) ZV_FATAL("buf is NULL");
        if (e.size != layout)
            ZV_FATAL("Failed assert pos == buffer_size\n pos is %zu\n buffer_size is %" PRIu32, layout, e.size);
        return e;
    }

    // Fills a record's field entries as its list names them.
    template <class R>
    struct FieldEntries {
        const SceneReader& reader;
        R& r;
        const std::string& prefix;
        void text(const char* field, std::string R::*member) { r.*member = reader.read_string(prefix + field); }
        template <class... T>
        void arrays(ArrayEntry<R, T>... entries) {
            ((r.*entries.member = reader.read_array<T>(prefix + entries.name)), ...);
        }
        template <class... T>
        void values(T R::*...) {}
    };
    // Decodes a record's main entry.
    template <class R>
    struct MainEntry {
        R& r;
        Cursor c;
        void text(const char*, std::string R::*) {}
        template <class... Arrays>
        void arrays(Arrays...) {}
        template <class... T>
        void values(T R::*... members) {
            (c.take(r.*members), ...);
        }
    };

    // A record with its constructor's defaults for everything the format does not store.
    template <class Kind>
    auto read_record(Kind, const std::string& p) const {
        using R = typename Kind::Record;
        auto r = std::make_unique<R>();
        FieldEntries<R> entries{*this, *r, p};
        Kind::fields(entries);
        Entry e = read_main(p, main_entry_bytes<Kind>());
        MainEntry<R> main{*r, Cursor{e.bytes()}};
        Kind::fields(main);
        return r;
    }

    // Every entry of `list` must index a table of `size` records.
    void check_indices(const std::string& entry, const std::vector<int32_t>& list, size_t size, const char* table) const {
        for (int32_t index : list)
            if (!in_table(index, size))
                ZV_FATAL("Scene entry %s holds index %" PRId32 ", outside the %zu %s", entry.c_str(), index, size, table);
    }

    //-------------------------------------------------------------------------
    // [SECTION] Completing and checking records
    //-------------------------------------------------------------------------

    // What a record derives from its stored fields, and the checks that need the record
    // whole, or the tables read before it.

    // The setters lower-case the names and (lights) derive the view from the position.
    void complete(Camera& cam, const std::string& p, size_t) {
        cam.set_name(std::string(cam.name));
        if (!cam.ortho.empty() && !cam.is_orthographic())
            ZV_FATAL("Scene entry %sortho holds %zu values, not xmag and ymag", p.c_str(), cam.ortho.size());
    }

    void complete(Light& light, const std::string&, size_t) {
        light.set_name(std::string(light.name));
        const Vec4 position = light.position;
        light.set_position(position.x, position.y, position.z, position.w);
    }

    void complete(const Animation& a, const std::string& p, size_t) {
        // Evaluation reads one output and interpolation_stride codes per key; an unknown kind
        // is left to evaluation, which reports it as such.
        const size_t keys = a.timeline.size();
        const size_t outputs = a.kind == Animation::ROTATION      ? a.rotation_amount.size()
                               : a.kind == Animation::TRANSLATION ? a.translation.size()
                                                                   : a.matrix.size();
        const bool known = a.kind == Animation::ROTATION || a.kind == Animation::TRANSLATION ||
                           a.kind == Animation::MATRIX;
        if (known && outputs != keys)
            ZV_FATAL("Scene entry %s: animation %s has %zu key times but %zu output values", p.c_str(), a.name.c_str(),
                     keys, outputs);
        if (a.interpolation_stride < 1 ||
            a.interpolation.size() != keys * static_cast<size_t>(a.interpolation_stride))
            ZV_FATAL("Scene entry %s: animation %s has %zu key times but %zu interpolations of %" PRId32 " per key",
                     p.c_str(), a.name.c_str(), keys, a.interpolation.size(), a.interpolation_stride);
    }

    void complete(Material& m, const std::string&, size_t) {
        if (!m.diff_tex_fname.empty()) m.diff_tex = load_material_texture(m.diff_tex_fname.c_str(), texture_loader);
        if (!m.glow_tex_fname.empty()) m.glow_tex = load_material_texture(m.glow_tex_fname.c_str(), texture_loader);
    }

    // Skinning walks v as (joint, weight) pairs in the order of vcounts, and looks each joint up
    // in the joints and the inverse bind matrices and each weight in the weights.
    void complete(const Controller& c, const std::string& p, size_t) const {
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

    // Positions and normals are drawn and skinned as three floats, texture coordinates as two
    // or three; a stride of 0 marks an absent array.
    void complete(const Mesh& m, const std::string& p, size_t) const {
        check_stride(p, "vertices", m.vertices, m.vertices_stride, m.vertices_stride == 3);
        check_stride(p, "normals", m.normals, m.normals_stride, m.normals_stride == 3);
        check_stride(p, "texcoords", m.texcoords, m.texcoords_stride, m.texcoords_stride == 2 || m.texcoords_stride == 3);
    }

    void check_stride(const std::string& p, const char* field, const std::vector<float>& values, int32_t stride,
                      bool drawable) const {
        const bool fits =
            stride == 0 ? values.empty() : drawable && values.size() % static_cast<size_t>(stride) == 0;
        if (!fits)
            ZV_FATAL("Scene entry %s gives %s the stride %" PRId32 ", which does not fit the %zu values of %s%s",
                     p.c_str(), field, stride, values.size(), p.c_str(), field);
    }

    void complete(GeomObject& object, const std::string& p, size_t) const {
        const int32_t mesh_id = object.mesh_id;
        if (mesh_id < 0) ZV_FATAL("Failed assert newobj->mesh_id >= 0\n newobj->mesh_id is %" PRId32 "\n 0 is 0", mesh_id);
        if (static_cast<size_t>(mesh_id) >= t.meshes.size())
            ZV_FATAL("Failed assert meshes.size() > (u32)newobj->mesh_id\n meshes.size() is %zu\n (u32)newobj->mesh_id is "
                     "%" PRId32,
                     t.meshes.size(), mesh_id);
        object.mesh_ptr = t.meshes[static_cast<size_t>(mesh_id)].get();
        if (!in_table(object.material_index, t.materials.size()))
            ZV_FATAL("Scene entry %s gives material index %" PRId32 ", outside the %zu materials", p.c_str(),
                     object.material_index, t.materials.size());
        check_corners(p, object);
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

    void complete(const Node& node, const std::string& p, size_t i) const {
        // A node's index is its position, and its parent comes before it: the master node
        // first, and the parent links can never form a loop.
        if (node.this_index != static_cast<int32_t>(i))
            ZV_FATAL("Scene entry %s gives node %zu the index %" PRId32, p.c_str(), i, node.this_index);
        const bool parent_ok = i == 0 ? node.parent_index == -1
                                      : node.parent_index >= 0 && static_cast<size_t>(node.parent_index) < i;
        if (!parent_ok) ZV_FATAL("Scene entry %s gives node %zu the parent %" PRId32, p.c_str(), i, node.parent_index);
        check_indices(p + "objects", node.objects, t.geom_objects.size(), "geometry objects");
        check_indices(p + "controllers", node.controllers, t.controllers.size(), "controllers");
        check_indices(p + "animations", node.animations, t.animations.size(), "animations");
        check_indices(p + "cameras", node.cameras, t.cameras.size(), "cameras");
        check_indices(p + "lights", node.lights, t.lights.size(), "lights");

        if (!node.controllers.empty()) {
            for (int32_t o : node.objects) {
                GeomObject& object = *t.geom_objects[static_cast<size_t>(o)];
                // Skinning writes one deformed vertex per vcounts entry.
                const size_t vertices = object.mesh_ptr->vertices.size() / 3;
                for (int32_t ctrl : node.controllers) {
                    const Controller& controller = *t.controllers[static_cast<size_t>(ctrl)];
                    if (controller.vcounts.size() > vertices)
                        ZV_FATAL("Scene entry %s: controller %s weights %zu vertices, but geometry object %s has %zu",
                                 p.c_str(), controller.name.c_str(), controller.vcounts.size(), object.name.c_str(),
                                 vertices);
                }
                object.prepare_deformation();
            }
        }
    }

    // Every node but the first is listed exactly once, by its own parent: a tree, which the
    // recursive walks over children rely on to end.
    void check_tree() const {
        std::vector<bool> listed(t.nodes.size(), false);
        for (size_t parent = 0; parent < t.nodes.size(); ++parent) {
            const std::string entry = record_prefix(base, NODES.label, parent) + "children";
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
                         record_prefix(base, NODES.label, static_cast<size_t>(t.nodes[c]->parent_index)).c_str(),
                         "children", c);
    }

    void check_joints() const {
        for (size_t i = 0; i < t.controllers.size(); ++i)
            check_indices(record_prefix(base, CONTROLLERS.label, i) + "joints", t.controllers[i]->joints, t.nodes.size(),
                          "nodes");
    }

    const char* base;
    SceneTables& t;
    DaeTextureLoader texture_loader;
};

}  // namespace

//-----------------------------------------------------------------------------
// [SECTION] Saving and loading a scene
//-----------------------------------------------------------------------------

void save_internal(const SceneTables& scene, const char* base_name) {
    ZV_ASSERT_NOT_NULL(base_name);
    Bytes counts;
    for_each_kind([&](auto kind) { counts.put(static_cast<int32_t>((scene.*kind.table).size())); });
    add_entry(base_name, counts);
    for_each_kind([&](auto kind) { save_group(scene, base_name, kind); });
}

void load_internal(SceneTables& scene, const char* base_name, DaeTextureLoader textures) {
    ZV_ASSERT_NOT_NULL(base_name);
    // Built aside and handed over whole, so a report redirected to an exception leaves the
    // caller's tables as they were.
    SceneTables loaded;
    SceneReader(base_name, loaded, textures).read();
    scene = std::move(loaded);
}
