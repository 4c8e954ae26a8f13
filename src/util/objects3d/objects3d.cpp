// Objects3D: loading, editing and the queries over the node tree. Animation and skinning live
// in animation.cpp, the COLLADA reader in dae_loader.cpp.
#include "util/objects3d/objects3d.h"

#include <cctype>
#include <vector>

#include "platform/fatal.h"
#include "util/data/data.h"
#include "util/objects3d/dae_loader.h"
#include "util/objects3d/scene_file.h"

// ---- queries --------------------------------------------------------------------------------

void Objects3D::node_world_matrix(int32_t index, Mat4& m) const {
    ZV_ASSERT(nodes.size() > 0);
    // The chain from the node up to the root, then multiplied from the root down.
    std::vector<const Node*> chain;
    for (int32_t i = index; i >= 0 && static_cast<size_t>(i) < nodes.size(); i = nodes[static_cast<size_t>(i)]->parent_index) {
        chain.push_back(nodes[static_cast<size_t>(i)].get());
        // A parent link that points back down the chain would never end; the loaders build
        // trees, so only damaged data could do this.
        if (chain.size() > nodes.size()) break;
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) m *= (*it)->local_matrix;
}

void Objects3D::get_node_matrix(const char* name, Mat4& m) const {
    if (nodes.empty()) ZV_FATAL("Objects3D::get_node_matrix called on scene with no nodes yet!");
    if (!name) {
        m = master_node ? master_node->local_matrix : nodes[0]->local_matrix;
        return;
    }
    m.set_identity();
    const Node* found = find_node(name);
    if (!found) ZV_FATAL("Couldn't find node %s", name);
    ZV_ASSERT(found->this_index >= 0);
    node_world_matrix(found->this_index, m);
}

const Node* Objects3D::find_node(const char* name) const {
    const Node* root = master_node ? master_node : (nodes.empty() ? nullptr : nodes[0].get());
    if (!root) return nullptr;
    // Depth first, a node before its children, children in order; an explicit stack, since a
    // deep skeleton must not exhaust the call stack.
    std::vector<const Node*> pending{root};
    while (!pending.empty()) {
        const Node* node = pending.back();
        pending.pop_back();
        if (node->name == name) return node;
        for (auto child = node->children.rbegin(); child != node->children.rend(); ++child)
            if (*child >= 0 && static_cast<size_t>(*child) < nodes.size())
                pending.push_back(nodes[static_cast<size_t>(*child)].get());
    }
    return nullptr;
}

void Objects3D::widen_bounding_box(const Node& top, Vec3& min, Vec3& max) const {
    std::vector<const Node*> pending{&top};
    while (!pending.empty()) {
        const Node* node = pending.back();
        pending.pop_back();
        Mat4 world;
        node_world_matrix(node->this_index, world);
        for (int32_t index : node->objects) {
            const GeomObject* obj = geom_objects[static_cast<size_t>(index)].get();
            ZV_ASSERT_NOT_NULL(obj->mesh_ptr);
            const std::vector<float>& source =
                obj->vertices_deformed.empty() ? obj->mesh_ptr->vertices : obj->vertices_deformed;
            for (int32_t vertex : obj->ivertices) {
                const size_t at = static_cast<size_t>(vertex) * 3;
                if (vertex < 0 || at + 3 > source.size()) continue;
                const Vec3 p = world.transform_point(Vec3(source[at], source[at + 1], source[at + 2]));
                for (int c = 0; c < 3; ++c) {
                    if (p[c] < min[c]) min[c] = p[c];
                    if (p[c] > max[c]) max[c] = p[c];
                }
            }
        }
        for (int32_t child : node->children) pending.push_back(nodes[static_cast<size_t>(child)].get());
    }
}

void Objects3D::bounding_box(const char* name, Vec3& min, Vec3& max, bool include_attached) const {
    min = Vec3(999999, 999999, 999999);
    max = Vec3(-999999, -999999, -999999);
    const Node* top = name ? find_node(name) : master_node;
    if (name && !top) ZV_FATAL("Couldn't find node %s", name);
    if (top) widen_bounding_box(*top, min, max);
    if (!include_attached) return;
    for (const Objects3D* child : attached) {
        if (!child->master_node) continue;
        Vec3 child_min(1000000, 1000000, 1000000), child_max(-1000000, -1000000, -1000000);
        child->widen_bounding_box(*child->master_node, child_min, child_max);
        for (int c = 0; c < 3; ++c) {
            if (child_min[c] < min[c]) min[c] = child_min[c];
            if (child_max[c] > max[c]) max[c] = child_max[c];
        }
    }
}

Vec3 Objects3D::center(const char* name, bool include_attached) const {
    Vec3 min, max, middle;
    bounding_box(name, min, max, include_attached);
    middle.lerp(min, max, 0.5f);
    return middle;
}

float Objects3D::size(const char* name) const {
    Vec3 min, max;
    bounding_box(name, min, max, true);
    return (max - min).length();
}

Material* Objects3D::find_material(const char* name) {
    for (auto& material : materials)
        if (material->name == name) return material.get();
    ZV_FATAL("Couldn't find material %s", name);
}

// ---- editing --------------------------------------------------------------------------------

int32_t Objects3D::add_node(const std::string& name, int32_t parent_index) {
    // Only the master node is parentless, and a parent comes before its children.
    ZV_ASSERT(nodes.empty() ? parent_index == -1 : parent_index >= 0 && parent_index < static_cast<int32_t>(nodes.size()));
    auto node = std::make_unique<Node>();
    node->name = name;
    node->this_index = static_cast<int32_t>(nodes.size());
    node->parent_index = parent_index;
    if (parent_index >= 0) nodes[static_cast<size_t>(parent_index)]->children.push_back(node->this_index);
    nodes.push_back(std::move(node));
    master_node = nodes[0].get();
    return nodes.back()->this_index;
}

void Objects3D::attach(Objects3D* child) {
    attached.push_back(child);
    child->master = this;
}

void Objects3D::set_shader(int slot, ShaderProgram* program) {
    if (slot < 0 || slot >= SHADER_SLOTS) ZV_FATAL("Shader type out of range!");
    shaders[slot] = program;
}

void Objects3D::set_camera(int index) {
    cur_cam = static_cast<uint32_t>(index) < cameras.size() ? index : -1;
}

void Objects3D::set_viewport(int new_width, int new_height, float new_aspect) {
    width = new_width;
    height = new_height;
    aspect = new_aspect;
    for (Objects3D* child : attached) child->set_viewport(new_width, new_height, new_aspect);
    for (auto& light : lights) light->resize(new_width, new_height);
}

void Objects3D::set_shadows(bool on) {
    for (auto& light : lights) light->set_shadow(on);
}

void Objects3D::set_all_visible(bool visible) {
    for (auto& obj : geom_objects) obj->visible = visible;
}

void Objects3D::set_visible(const char* name, bool visible) {
    bool found = false;
    for (auto& obj : geom_objects) {
        if (obj->name != name) continue;
        obj->visible = visible;
        found = true;
    }
    if (!found) ZV_FATAL("Can't find %s", name);
}

void Objects3D::toggle_flip() {
    ZV_ASSERT_NOT_NULL(master_node);
    master_node->flip_winding = !master_node->flip_winding;
}

void Objects3D::set_root_matrix(const Mat4& m) {
    ZV_ASSERT_NOT_NULL(master_node);
    master_node->local_matrix = m;
}

void Objects3D::translate_root(float x, float y, float z) {
    ZV_ASSERT_NOT_NULL(master_node);
    master_node->local_matrix.translate(x, y, z);
}

void Objects3D::rotate_root(float degrees, float ax, float ay, float az) {
    ZV_ASSERT_NOT_NULL(master_node);
    master_node->local_matrix.rotate(degrees, ax, ay, az);
}

void Objects3D::scale_root(float x, float y, float z) {
    ZV_ASSERT_NOT_NULL(master_node);
    master_node->local_matrix.scale(x, y, z);
}

void Objects3D::start_animation(bool on) {
    if (animation_length < 0) compute_animation_length();
    animating = on;
}

// ---- loading --------------------------------------------------------------------------------

bool Objects3D::load(const char* name) {
    file_name = name;
    std::string ending = file_name.size() >= 4 ? file_name.substr(file_name.size() - 4) : file_name;
    for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ending != ".dae") return false;
    return load_scene(name);
}

bool Objects3D::load_scene(const char* name) {
    SceneTables loaded;
    if (get_datafile_mode() == DATAFILE_MODE_READ) {
        load_internal(loaded, name);
    } else {
        load_collada(name, loaded);
    }
    static_cast<SceneTables&>(*this) = std::move(loaded);
    master_node = nodes.empty() ? nullptr : nodes[0].get();
    if (get_datafile_mode() == DATAFILE_MODE_WRITE) save_internal(*this, name);

    update(0.0f, false);
    // One pass without shadows builds every object's buffers while loading, not in the first
    // frame that shows the scene.
    render(false);

    const float s = size(nullptr);
    const Vec3 c = center(nullptr, true);
    for (auto& light : lights) {
        light->set_range(s);
        light->attenuation_from_point(c);
    }
    if (!cameras.empty()) cur_cam = 0;
    if (!animations.empty()) start_animation(true);
    return true;
}
