// The stored fields of the eight records of the converted scene, each record's listed once:
// the writer, the reader, the size of each main entry and the tests' comparison all walk these
// lists, so a field added here is written, read, sized and compared alike.
// A list gives, in stored order, the record's field entries (`text` for a string, `arrays` for
// the arrays, each an archive entry of its own named after the record's prefix) and then the
// fields of its main entry (`values`), as pointers to their members. A visitor offers those
// three calls; the order of the fields is the order of the entries and of the bytes.
// Depends on: util/objects3d (records), util/camera, util/light.
#pragma once

#include <memory>
#include <vector>

#include "util/camera/camera.h"
#include "util/light/light.h"
#include "util/objects3d/objects3d.h"

namespace scene_records {

// A field entry that holds an array: the entry's name after the record's prefix, and the member.
template <class R, class T>
struct ArrayEntry {
    const char* name;
    std::vector<T> R::*member;
};
template <class R, class T>
constexpr ArrayEntry<R, T> array_entry(const char* name, std::vector<T> R::*member) {
    return {name, member};
}

template <class Visit>
constexpr void fields(Visit& v, const Camera*) {
    v.text("id", &Camera::name);
    v.arrays(array_entry("ortho", &Camera::ortho));
    v.values(&Camera::view, &Camera::xfov, &Camera::yfov, &Camera::znear, &Camera::zfar);
}

template <class Visit>
constexpr void fields(Visit& v, const Light*) {
    v.text("id", &Light::name);
    v.values(&Light::position, &Light::spot_direction, &Light::ambient, &Light::diffuse, &Light::specular,
             &Light::constant_attenuation, &Light::linear_attenuation, &Light::quadratic_attenuation,
             &Light::spot_cutoff, &Light::spot_exponent, &Light::type);
}

template <class Visit>
constexpr void fields(Visit& v, const Animation*) {
    v.text("id", &Animation::name);
    v.text("target", &Animation::target);
    v.arrays(array_entry("timeline", &Animation::timeline),
             array_entry("rotation_amount", &Animation::rotation_amount),
             array_entry("translation", &Animation::translation), array_entry("matrix", &Animation::matrix),
             array_entry("interpolation", &Animation::interpolation));
    v.values(&Animation::kind, &Animation::axis, &Animation::interpolation_stride);
}

template <class Visit>
constexpr void fields(Visit& v, const Material*) {
    v.text("id", &Material::name);
    v.text("fx", &Material::fx);
    v.text("diff_tex_fname", &Material::diff_tex_fname);
    v.text("glow_tex_fname", &Material::glow_tex_fname);
    v.values(&Material::emission, &Material::ambient, &Material::diffuse, &Material::specular, &Material::color_add,
             &Material::shininess);
}

template <class Visit>
constexpr void fields(Visit& v, const Controller*) {
    v.text("id", &Controller::name);
    v.text("skin_source", &Controller::skin_source);
    v.arrays(array_entry("joints", &Controller::joints), array_entry("weights", &Controller::weights),
             array_entry("vcounts", &Controller::vcounts), array_entry("v", &Controller::v),
             array_entry("inv_bind_matrices", &Controller::inv_bind_matrices));
    v.values(&Controller::bind_shape_matrix);
}

template <class Visit>
constexpr void fields(Visit& v, const Mesh*) {
    v.text("id", &Mesh::name);
    v.arrays(array_entry("vertices", &Mesh::vertices), array_entry("normals", &Mesh::normals),
             array_entry("texcoords", &Mesh::texcoords));
    v.values(&Mesh::vertices_stride, &Mesh::normals_stride, &Mesh::texcoords_stride);
}

template <class Visit>
constexpr void fields(Visit& v, const GeomObject*) {
    v.text("id", &GeomObject::name);
    v.text("material", &GeomObject::material);
    v.arrays(array_entry("ivertices", &GeomObject::ivertices), array_entry("inormals", &GeomObject::inormals),
             array_entry("itexcoords", &GeomObject::itexcoords));
    v.values(&GeomObject::mesh_id, &GeomObject::material_index, &GeomObject::textured);
}

template <class Visit>
constexpr void fields(Visit& v, const Node*) {
    v.text("id", &Node::name);
    v.arrays(array_entry("children", &Node::children), array_entry("objects", &Node::objects),
             array_entry("controllers", &Node::controllers), array_entry("animations", &Node::animations),
             array_entry("cameras", &Node::cameras), array_entry("lights", &Node::lights));
    v.values(&Node::local_matrix, &Node::joint_depth, &Node::parent_index, &Node::this_index);
}

// A kind of record: the label in its entry names, its word in reports, and its table.
template <class R>
struct Kind {
    using Record = R;
    const char* label;
    const char* plural;
    std::vector<std::unique_ptr<R>> SceneTables::*table;

    template <class Visit>
    static constexpr void fields(Visit& v) {
        scene_records::fields(v, static_cast<const R*>(nullptr));
    }
};

constexpr Kind<Camera> CAMERAS{"cam", "cameras", &SceneTables::cameras};
constexpr Kind<Light> LIGHTS{"light", "lights", &SceneTables::lights};
constexpr Kind<Animation> ANIMATIONS{"anim", "animations", &SceneTables::animations};
constexpr Kind<Material> MATERIALS{"material", "materials", &SceneTables::materials};
constexpr Kind<Controller> CONTROLLERS{"controller", "controllers", &SceneTables::controllers};
constexpr Kind<Mesh> MESHES{"mesh", "meshes", &SceneTables::meshes};
constexpr Kind<GeomObject> GEOM_OBJECTS{"geom_object", "geometry objects", &SceneTables::geom_objects};
constexpr Kind<Node> NODES{"node", "nodes", &SceneTables::nodes};

// Calls f with each kind, in the order of the counts and of the groups.
template <class F>
void for_each_kind(F&& f) {
    f(CAMERAS), f(LIGHTS), f(ANIMATIONS), f(MATERIALS), f(CONTROLLERS), f(MESHES), f(GEOM_OBJECTS), f(NODES);
}

}  // namespace scene_records
