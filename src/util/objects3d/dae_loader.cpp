// COLLADA loader: cameras, lights, materials with their effects and images, geometries,
// skin controllers, animation channels and the visual scene, read in that order because the
// scene resolves everything else by name. Every index taken from the document is checked
// against the table it points into before it is stored, so a loaded scene never needs to
// distrust its own records.
// Depends on: TinyXML (through util/xml), util/objects3d (records), util/texture, util/camera, util/light.

// Index of this file:
// [SECTION] Text, names and number lists
// [SECTION] The loader and its reading order
// [SECTION] Reading cameras and lights
// [SECTION] Reading materials, effects and their textures
// [SECTION] Reading geometries
// [SECTION] Reading skin controllers
// [SECTION] Reading animations
// [SECTION] Reading the visual scene
// [SECTION] Loading a document

#include "util/objects3d/dae_loader.h"

#include <tinyxml.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/fatal.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "util/data/data.h"
#include "util/xml/xml_document.h"

namespace {

using Element = TiXmlElement;

//-----------------------------------------------------------------------------
// [SECTION] Text, names and number lists
//-----------------------------------------------------------------------------

std::string lower(const char* s) {
    std::string out = s ? s : "";
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string lowered_attribute(const Element* e, const char* name) { return lower(e->Attribute(name)); }

// "#id" in url, source and target attributes names the element with that id.
std::string reference(const Element* e, const char* name) {
    std::string s = lowered_attribute(e, name);
    if (!s.empty() && s[0] == '#') s.erase(0, 1);
    return s;
}

const char* text_of(const Element* e) {
    const char* text = e ? e->GetText() : nullptr;
    return text ? text : "";
}

const char* name_of(const Element* e) { return e ? e->Value() : ""; }

bool is_list_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Lists are split at runs of XML white space: exporters break long lists over lines and indent
// them, and an empty piece between two separators is no value.
template <typename Piece>
void each_piece(const char* text, Piece piece) {
    const char* p = text;
    for (;;) {
        while (is_list_space(*p)) ++p;
        if (!*p) return;
        const char* end = p;
        while (*end && !is_list_space(*end)) ++end;
        piece(p, end);
        p = end;
    }
}

std::vector<float> read_floats(const char* text) {
    std::vector<float> out;
    // strtod stops at the white space that ends the piece, so it reads what atof would. Some
    // exporters write the decimal comma of the author's locale ("21,92"); lists never use commas
    // between values, so a comma in a piece can only be that.
    std::string comma_piece;
    each_piece(text, [&](const char* p, const char* end) {
        const char* comma = static_cast<const char*>(memchr(p, ',', static_cast<size_t>(end - p)));
        if (comma) {
            comma_piece.assign(p, end);
            std::replace(comma_piece.begin(), comma_piece.end(), ',', '.');
            p = comma_piece.c_str();
        }
        out.push_back(static_cast<float>(strtod(p, nullptr)));
    });
    return out;
}

// The first values of a list into `out...`, as far as the list goes; the rest keep theirs.
template <typename... Float>
void read_into(const char* text, Float*... out) {
    const std::vector<float> values = read_floats(text);
    size_t i = 0;
    ((i < values.size() ? (void)(*out = values[i++]) : (void)0), ...);
}

std::vector<int32_t> read_ints(const char* text) {
    std::vector<int32_t> out;
    each_piece(text, [&](const char* p, const char*) {
        // Base 0 reads decimal, octal and hex as "%i" does; out-of-range values are clamped so
        // that the index checks see them as the nonsense they are.
        long long v = strtoll(p, nullptr, 0);
        out.push_back(static_cast<int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX)));
    });
    return out;
}

std::vector<std::string> read_names(const char* text) {
    std::vector<std::string> out;
    each_piece(text, [&](const char* p, const char* end) { out.push_back(lower(std::string(p, end).c_str())); });
    return out;
}

// Sixteen values in document order (row-major) into GL's column-major order.
Mat4 matrix_from(const float* values) {
    Mat4 m(values);
    m.transpose();
    return m;
}

int32_t int_attribute(const Element* e, const char* name, int32_t missing) {
    const char* value = e->Attribute(name);
    if (!value) return missing;
    long long v = strtoll(value, nullptr, 0);
    return static_cast<int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

//-----------------------------------------------------------------------------
// [SECTION] The loader and its reading order
//-----------------------------------------------------------------------------

// The primitives a mesh is drawn from, in the order their elements are taken; the first one
// present gives the mesh's inputs.
enum class Primitive { None, Triangles, Polygons, Polylist, Strips, Fans };
constexpr const char* PRIMITIVES[] = {"triangles", "polygons", "polylist", "tristrips", "trifans"};

class DaeLoader {
public:
    DaeLoader(const char* file_name, SceneTables& tables, DaeTextureLoader textures, DaeNotes* notes_out)
        : file(file_name ? file_name : ""), t(tables), texture_loader(textures), notes(notes_out) {
        const size_t slash = file.find_last_of('/');
        if (slash != std::string::npos) prefix = file.substr(0, slash + 1);
    }

    void load(const TiXmlDocument& document) {
        const Element* node = document.FirstChildElement("COLLADA");
        ZV_ASSERT_NOT_NULL(node);
        const Element* node_visual_scenes = node->FirstChildElement("library_visual_scenes");
        ZV_ASSERT_NOT_NULL(node_visual_scenes);
        if (notes) note_unread_parts(node, node_visual_scenes);
        if (const Element* e = node->FirstChildElement("library_cameras")) load_cameras(e);
        if (const Element* e = node->FirstChildElement("library_lights")) load_lights(e);
        load_materials(node->FirstChildElement("library_images"), node->FirstChildElement("library_materials"),
                       node->FirstChildElement("library_effects"));
        if (const Element* e = node->FirstChildElement("library_geometries")) load_geometries(e);
        if (const Element* e = node->FirstChildElement("library_controllers")) load_controllers(e);
        visual_scenes = node_visual_scenes;
        library_nodes = node->FirstChildElement("library_nodes");
        if (const Element* e = node->FirstChildElement("library_animations")) load_animations(e);
        load_visual_scene(node_visual_scenes);
        resolve_joints();
    }

private:
    const char* where() const { return file.c_str(); }

    void note(const char* format, ...) const __attribute__((format(printf, 2, 3))) {
        if (!notes) return;
        va_list args;
        va_start(args, format);
        notes->push_back(string_vformat(format, args));
        va_end(args);
    }

    // Parts of the document that no reader below looks at. Metadata (<asset>, <extra>) and the
    // <scene> that names the first visual scene change nothing and are not listed.
    void note_unread_parts(const Element* collada, const Element* visual_scenes_el) const {
        static const char* const READ[] = {"asset", "extra", "scene", "library_cameras", "library_lights",
                                           "library_images", "library_materials", "library_effects",
                                           "library_geometries", "library_controllers", "library_visual_scenes",
                                           "library_nodes", "library_animations"};
        for (const Element* el = collada->FirstChildElement(); el; el = el->NextSiblingElement())
            if (std::find_if(std::begin(READ), std::end(READ), [&](const char* n) { return el->ValueStr() == n; }) ==
                std::end(READ))
                note("<%s> ignored", el->Value());
        const Element* first = visual_scenes_el->FirstChildElement("visual_scene");
        for (const Element* el = first ? first->NextSiblingElement("visual_scene") : nullptr; el;
             el = el->NextSiblingElement("visual_scene"))
            note("visual scene %s ignored: only the first is drawn", lowered_attribute(el, "id").c_str());
    }

    //-------------------------------------------------------------------------
    // [SECTION] Reading cameras and lights
    //-------------------------------------------------------------------------

    void load_cameras(const Element* library) {
        for (const Element* el = library->FirstChildElement(); el; el = el->NextSiblingElement()) {
            auto camera = std::make_unique<Camera>();
            camera->set_name(lower(el->Attribute("id")));
            const Element* technique = el->FirstChildElement("optics");
            if (technique) technique = technique->FirstChildElement("technique_common");
            const Element* perspective = technique ? technique->FirstChildElement("perspective") : nullptr;
            const Element* orthographic = technique ? technique->FirstChildElement("orthographic") : nullptr;
            const Element* projection = perspective ? perspective : orthographic;
            if (!projection) ZV_FATAL("No camera perspective info found for camera %s", camera->name.c_str());
            auto read = [&](const char* name, float& value) {
                if (const Element* e = projection->FirstChildElement(name)) read_into(text_of(e), &value);
            };
            if (perspective) {
                read("yfov", camera->yfov);
                read("xfov", camera->xfov);
            } else {
                float xmag = -1, ymag = -1;
                read("xmag", xmag);
                read("ymag", ymag);
                camera->set_orthographic(xmag, ymag);
            }
            read("znear", camera->znear);
            read("zfar", camera->zfar);
            t.cameras.push_back(std::move(camera));
        }
    }

    void load_lights(const Element* library) {
        for (const Element* el = library->FirstChildElement(); el; el = el->NextSiblingElement()) {
            // Some exporters declare each light empty before they define it under the same id;
            // the declaration would otherwise be the one that instances find.
            if (!el->FirstChildElement()) continue;
            auto light = std::make_unique<Light>();
            light->set_name(lower(el->Attribute("id")));
            const Element* technique = el->FirstChildElement("technique_common");
            const Element* kind = technique ? technique->FirstChildElement() : nullptr;
            const std::string type = name_of(kind);
            int light_type = type == "point" ? Light::POINT : type == "directional" ? Light::DIRECTIONAL
                                                             : type == "ambient"     ? Light::AMBIENT
                                                                                     : 0;
            if (light_type == 0 && kind)
                note("light %s: <%s> drawn as a point light", light->name.c_str(), kind->Value());
            else if (light_type == 0)
                note("light %s: no kind of light given, drawn as a point light", light->name.c_str());
            if (light_type != 0) {
                light->set_type(light_type);
                if (const Element* color = kind->FirstChildElement("color")) {
                    Vec4 c(0, 0, 0, 1);
                    read_into(text_of(color), &c.x, &c.y, &c.z);
                    light->set_ambient(c);
                    light->set_diffuse(c);
                    light->set_specular(c);
                }
            }
            if (light_type == Light::POINT) {
                auto read = [&](const char* name, float& value) {
                    if (const Element* e = kind->FirstChildElement(name)) read_into(text_of(e), &value);
                };
                read("constant_attenuation", light->constant_attenuation);
                read("linear_attenuation", light->linear_attenuation);
                read("quadratic_attenuation", light->quadratic_attenuation);
            }
            t.lights.push_back(std::move(light));
        }
    }

    //-------------------------------------------------------------------------
    // [SECTION] Reading materials, effects and their textures
    //-------------------------------------------------------------------------

    struct FoundImage {
        std::string path;  // the first name found, or the last tried
        bool found = false;
        std::vector<std::string> tried;
        std::string written;  // as the document names it
    };

    std::unique_ptr<Texture> load_texture(const std::string& path) {
        return load_material_texture(path.c_str(), texture_loader);
    }

    const std::string* find_image(const std::string& id) const {
        for (const auto& image : images)
            if (image.first == id) return &image.second;
        return nullptr;
    }

    // The <newparam> of the profile whose sid is `sid`, or null.
    static const Element* find_newparam(const Element* profile, const std::string& sid) {
        for (const Element* p = profile->FirstChildElement("newparam"); p; p = p->NextSiblingElement("newparam"))
            if (lowered_attribute(p, "sid") == sid) return p;
        return nullptr;
    }

    // A channel's <texture>: an image directly, or a sampler that names a surface that names
    // one.
    FoundImage resolve_texture(const Element* texture_el, const Element* profile) {
        const std::string texture = lowered_attribute(texture_el, "texture");
        const std::string* image = find_image(texture);
        if (!image) {
            const Element* sampler = find_newparam(profile, texture);
            if (!sampler) ZV_FATAL("Couldn't find match for texture sampler %s", texture.c_str());
            const Element* sampler_child = sampler->FirstChildElement();
            const std::string surface = lower(text_of(sampler_child ? sampler_child->FirstChildElement("source") : nullptr));
            const Element* surface_param = find_newparam(profile, surface);
            if (!surface_param) ZV_FATAL("Couldn't find match for texture surface %s", surface.c_str());
            const Element* surface_child = surface_param->FirstChildElement();
            const std::string image_id =
                lower(text_of(surface_child ? surface_child->FirstChildElement("init_from") : nullptr));
            image = find_image(image_id);
            if (!image) ZV_FATAL("Couldn't find match for texture name %s", texture.c_str());
        }
        return texture_path(*image);
    }

    // Where an image named in the document is: its path relative to the document's folder as
    // written, then its file name as written beside the document, then that name lower-cased
    // (the archive's names are lower-cased, and file systems that ignore case made documents
    // that name their files any way). The first that a request would find, with every name
    // tried.
    FoundImage texture_path(const std::string& image) const {
        std::string written = image;
        if (written.compare(0, 7, "file://") == 0) written.erase(0, 7);
        std::replace(written.begin(), written.end(), '\\', '/');
        const size_t cut = written.find_last_of('/');
        const std::string name = cut == std::string::npos ? written : written.substr(cut + 1);
        std::vector<std::string> candidates;
        // A relative path stays inside the show's data when the document is there.
        const bool relative = !written.empty() && written[0] != '/' && written.find(':') == std::string::npos;
        if (relative && cut != std::string::npos) {
            const std::string joined = std::filesystem::path(prefix + written).lexically_normal().generic_string();
            // Elsewhere (a document an author checks where the exporter put it) any relative path
            // is the author's own.
            const bool inside = prefix.compare(0, 5, "data/") != 0 || joined.compare(0, 5, "data/") == 0;
            if (inside) candidates.push_back(joined);
        }
        candidates.push_back(prefix + name);
        const std::string lowered = lower(name.c_str());
        const bool case_matters = lowered != name;
        if (case_matters) candidates.push_back(prefix + lowered);
        FoundImage image_file;
        image_file.written = image;
        for (const std::string& candidate : candidates) {
            image_file.tried.push_back(candidate);
            image_file.path = candidate;
            if (data_file_exists(candidate.c_str())) {
                image_file.found = true;
                if (case_matters && &candidate == &candidates.back())
                    note("image %s found only under its lower-cased name %s", image.c_str(), candidate.c_str());
                break;
            }
        }
        return image_file;
    }

    void load_materials(const Element* library_images, const Element* library_materials,
                        const Element* library_effects) {
        if (library_images)
            for (const Element* el = library_images->FirstChildElement(); el; el = el->NextSiblingElement())
                images.emplace_back(lower(el->Attribute("id")), text_of(el->FirstChildElement("init_from")));

        auto dummy = std::make_unique<Material>();
        dummy->emission = Vec4(0.1f, 0.1f, 0.1f, 1);
        dummy->ambient = Vec4(0.1f, 0.1f, 0.1f, 1);
        dummy->diffuse = Vec4(0.6f, 0.6f, 0.6f, 1);
        dummy->specular = Vec4(0.6f, 0.6f, 0.6f, 1);
        dummy->shininess = 20;
        t.materials.push_back(std::move(dummy));

        if (library_materials)
            for (const Element* el = library_materials->FirstChildElement(); el; el = el->NextSiblingElement()) {
                auto material = std::make_unique<Material>();
                material->name = lower(el->Attribute("id"));
                const Element* instance = el->FirstChildElement("instance_effect");
                material->fx = instance ? reference(instance, "url") : std::string();
                t.materials.push_back(std::move(material));
            }

        if (library_effects)
            for (const Element* el = library_effects->FirstChildElement(); el; el = el->NextSiblingElement())
                load_effect(el);
    }

    void load_effect(const Element* effect) {
        const std::string id = lower(effect->Attribute("id"));
        const Element* profile = effect->FirstChildElement();
        ZV_ASSERT_NOT_NULL(profile);
        const Element* technique = profile->FirstChildElement("technique");
        ZV_ASSERT_NOT_NULL(technique);
        const Element* element = technique->FirstChildElement();
        ZV_ASSERT_NOT_NULL(element);

        Vec4 emission, ambient, diffuse, specular, glow;
        Vec4 transparent_color(1, 1, 1, 1);
        float shininess = 20, transparency = 1;
        bool inverted = true, ignore_transparency = false;
        std::string diff_path, glow_path;
        std::unique_ptr<Texture> diff_tex, glow_tex;

        struct Channel {
            const char* name;
            Vec4* color;
        };
        const Channel channels[] = {{"emission", &emission}, {"ambient", &ambient}, {"diffuse", &diffuse},
                                    {"specular", &specular}, {"glow", &glow}};
        for (const Channel& channel : channels) {
            const Element* el = element->FirstChildElement(channel.name);
            if (!el) continue;
            const Element* child = el->FirstChildElement();
            const std::string kind = name_of(child);
            if (kind == "color") {
                Vec4& c = *channel.color;
                read_into(text_of(child), &c.x, &c.y, &c.z, &c.w);
            } else if (kind == "texture") {
                const std::string name = channel.name;
                // Surfaces are drawn with a diffuse and a glow texture only; another channel's
                // image is not even opened, so a missing specular map costs nothing.
                if (name != "diffuse" && name != "glow") {
                    note("effect %s: the texture of <%s> ignored", id.c_str(), channel.name);
                    continue;
                }
                const FoundImage image = resolve_texture(child, profile);
                if (!image.found && !texture_loader) {
                    std::string tried;
                    for (const std::string& path : image.tried) tried += (tried.empty() ? "" : ", ") + path;
                    const std::string text = string_format("effect %s: image %s not found (tried %s), drawn untextured",
                                                           id.c_str(), image.written.c_str(), tried.c_str());
                    if (notes) note("%s", text.c_str());
                    else log_line("%s in %s", text.c_str(), where());
                    // A light grey shows the shape where the picture was meant to be.
                    if (name == "diffuse") *channel.color = Vec4(0.8f, 0.8f, 0.8f, 1);
                    continue;
                }
                std::unique_ptr<Texture> texture = load_texture(image.path);
                *channel.color = Vec4(-1, -1, -1, -1);
                if (name == "diffuse") diff_path = image.path, diff_tex = std::move(texture);
                if (name == "glow") glow_path = image.path, glow_tex = std::move(texture);
            } else {
                ZV_FATAL("  Couldn't find either color or texture for this material, child is %s", kind.c_str());
            }
        }
        // A textured surface takes its colour from the texture; the diffuse colour only tints it.
        // Exporters that write no ambient colour (Blender's lambert), or a black one (most of
        // them), would tint it with nothing and the surface would be black or vanish: such a
        // texture is drawn as it is, with the ambient's opacity when it gives one.
        const bool ambient_given = element->FirstChildElement("ambient") != nullptr;
        if (diff_tex && (!ambient_given || (ambient.x <= 0 && ambient.y <= 0 && ambient.z <= 0))) {
            diffuse = Vec4(1, 1, 1, ambient_given && ambient.w > 0 ? std::min(ambient.w * 2, 1.0f) : 1.0f);
        } else if (diff_tex) {
            diffuse = Vec4(std::min(ambient.x * 2, 1.0f), std::min(ambient.y * 2, 1.0f), std::min(ambient.z * 2, 1.0f),
                           std::min(ambient.w * 2, 1.0f));
        }
        if (const Element* el = element->FirstChildElement("shininess")) {
            read_into(text_of(el->FirstChildElement()), &shininess);
            // Halving never brings an infinity down; it would loop for ever.
            if (!std::isfinite(shininess))
                ZV_FATAL("Shininess of effect %s is not a finite number in %s", id.c_str(), where());
            const float written = shininess;
            while (shininess > 128) shininess /= 2;
            if (shininess != written)
                note("effect %s: shininess %g halved to %g, the most GL takes is 128", id.c_str(), written, shininess);
        }
        if (const Element* el = element->FirstChildElement("transparent")) {
            if (const char* opaque = el->Attribute("opaque"); opaque && std::string(opaque) == "A_ONE") inverted = false;
            if (const Element* color = el->FirstChildElement("color")) {
                Vec4& c = transparent_color;
                read_into(text_of(color), &c.x, &c.y, &c.z, &c.w);
            } else if (el->FirstChildElement("texture")) {
                note("effect %s: transparency from a texture ignored", id.c_str());
                ignore_transparency = true;
            } else {
                ZV_FATAL("Found neither texture nor color for transparency parsing material %s", id.c_str());
            }
        }
        if (const Element* el = element->FirstChildElement("transparency"); el && !ignore_transparency) {
            read_into(text_of(el->FirstChildElement()), &transparency);
            const float a = (transparent_color.x + transparent_color.y + transparent_color.z) / 3;
            const float alpha = inverted ? 1 - transparency * a : transparency * a;
            emission.w = ambient.w = diffuse.w = specular.w = alpha;
        }

        bool matched = false;
        for (auto& material : t.materials) {
            if (material->fx != id) continue;
            material->emission = emission;
            material->ambient = ambient;
            material->diffuse = diffuse;
            material->specular = specular;
            material->shininess = shininess;
            // Each material owns its textures, so a second user of the effect loads its own.
            if (!diff_path.empty()) {
                material->diff_tex_fname = diff_path;
                material->diff_tex = diff_tex ? std::move(diff_tex) : load_texture(diff_path);
            }
            if (!glow_path.empty()) {
                material->glow_tex_fname = glow_path;
                material->glow_tex = glow_tex ? std::move(glow_tex) : load_texture(glow_path);
            }
            matched = true;
        }
        if (!matched) ZV_FATAL("Couldn't find material fx match for %s", id.c_str());
    }

    //-------------------------------------------------------------------------
    // [SECTION] Reading geometries
    //-------------------------------------------------------------------------

    // The float values of a mesh <source> and its accessor's stride, checked to fit each other.
    void read_mesh_source(const Element* src, const std::string& geometry, std::vector<float>& values,
                          int32_t& stride, bool positions_or_normals) {
        const Element* accessor = src->FirstChildElement("technique_common");
        if (accessor) accessor = accessor->FirstChildElement("accessor");
        if (!accessor) ZV_FATAL("Failed to retrieve accessor src_el!");
        const Element* array = src->FirstChildElement("float_array");
        if (!array) ZV_FATAL("Failed to parse source");
        values = read_floats(text_of(array));
        stride = int_attribute(accessor, "stride", 1);
        const std::string id = lower(src->Attribute("id"));
        // Positions and normals are drawn and skinned as three floats each; texture
        // coordinates as two or three.
        const bool usable = positions_or_normals ? stride == 3 : (stride == 2 || stride == 3);
        if (!usable)
            ZV_FATAL("Source %s of geometry %s has elements of %d values, which cannot be drawn, in %s", id.c_str(),
                     geometry.c_str(), stride, where());
        const int32_t count = int_attribute(accessor, "count", 0);
        if (count < 0 || static_cast<uint64_t>(count) * static_cast<uint64_t>(stride) > values.size())
            ZV_FATAL("Accessor of source %s of geometry %s counts %d elements of %d values, but its array holds %zu "
                     "values, in %s",
                     id.c_str(), geometry.c_str(), count, stride, values.size(), where());
    }

    void load_geometries(const Element* library) {
        for (const Element* geometry = library->FirstChildElement(); geometry; geometry = geometry->NextSiblingElement()) {
            auto mesh_owner = std::make_unique<Mesh>();
            Mesh& mesh = *mesh_owner;
            mesh.name = lower(geometry->Attribute("id"));
            const int32_t mesh_id = static_cast<int32_t>(t.meshes.size());
            t.meshes.push_back(std::move(mesh_owner));
            const Element* mesh_el = geometry->FirstChildElement();
            ZV_ASSERT_NOT_NULL(mesh_el);

            // Normals and texture coordinates given per vertex (Maya writes them into
            // <vertices>) are indexed as the positions are.
            std::string vertex_normals, vertex_texcoords;
            if (const Element* vertices = mesh_el->FirstChildElement("vertices")) {
                const Element* vert_el = vertices->FirstChildElement();
                if (std::string(name_of(vert_el)) != "input")
                    ZV_FATAL("Unexpected vert_el in vertices: %s", name_of(vert_el));
                const char* raw = vert_el->Attribute("semantic");
                const std::string semantic = raw ? raw : "";
                if (semantic != "POSITION")
                    ZV_FATAL("Uhm, got input semantic other than POSITION from a vertices vert_el: %s", semantic.c_str());
                mesh.position_source = reference(vert_el, "source");
                for (const Element* more = vert_el->NextSiblingElement("input"); more;
                     more = more->NextSiblingElement("input")) {
                    const std::string kind = more->Attribute("semantic") ? more->Attribute("semantic") : "";
                    if (kind == "NORMAL" && vertex_normals.empty()) vertex_normals = reference(more, "source");
                    else if (kind == "TEXCOORD" && vertex_texcoords.empty()) vertex_texcoords = reference(more, "source");
                    else note("geometry %s: %s of the vertices ignored", mesh.name.c_str(), kind.c_str());
                }
            }

            // Triangles first, then polygons; exporters that do not triangulate write polylists
            // (Blender, OpenCOLLADA), some strips and fans.
            const Element* first = nullptr;
            for (const char* kind : PRIMITIVES)
                if (!first) first = mesh_el->FirstChildElement(kind);
            if (!first) ZV_FATAL("Found neither triangles nor polygons in mesh %s", mesh.name.c_str());
            read_mesh_inputs(first, mesh);
            if (mesh.offvertex >= 0 && mesh.normal_source.empty() && !vertex_normals.empty())
                mesh.normal_source = vertex_normals, mesh.offnormal = mesh.offvertex;
            if (mesh.offvertex >= 0 && mesh.texcoord_source.empty() && !vertex_texcoords.empty())
                mesh.texcoord_source = vertex_texcoords, mesh.offtexcoord = mesh.offvertex;

            for (const Element* src = mesh_el->FirstChildElement("source"); src; src = src->NextSiblingElement("source")) {
                const std::string id = lower(src->Attribute("id"));
                if (id.empty()) continue;
                if (id == mesh.vertex_source || id == mesh.position_source)
                    read_mesh_source(src, mesh.name, mesh.vertices, mesh.vertices_stride, true);
                if (id == mesh.normal_source) read_mesh_source(src, mesh.name, mesh.normals, mesh.normals_stride, true);
                if (id == mesh.texcoord_source)
                    read_mesh_source(src, mesh.name, mesh.texcoords, mesh.texcoords_stride, false);
            }

            for (const char* kind : PRIMITIVES)
                for (const Element* el = mesh_el->FirstChildElement(kind); el; el = el->NextSiblingElement(kind))
                    load_geom_object(el, mesh_id);
            for (const char* kind : {"lines", "linestrips"})
                if (mesh_el->FirstChildElement(kind)) note("geometry %s: <%s> ignored", mesh.name.c_str(), kind);
        }
    }

    void read_mesh_inputs(const Element* first, Mesh& mesh) {
        for (const Element* input = first->FirstChildElement("input"); input; input = input->NextSiblingElement("input")) {
            const char* raw = input->Attribute("semantic");
            const std::string semantic = raw ? raw : "";
            const int32_t offset = int_attribute(input, "offset", -1);
            // Offsets pick values out of every index tuple; one outside any sensible tuple
            // would make the tuple size overflow.
            if (offset < 0 || offset > 0xFFFF)
                ZV_FATAL("Input %s of geometry %s has the offset %s, not an index position, in %s", semantic.c_str(),
                         mesh.name.c_str(), input->Attribute("offset") ? input->Attribute("offset") : "(none)", where());
            if (semantic == "VERTEX") {
                mesh.vertex_source = reference(input, "source");
                mesh.offvertex = offset;
            } else if (semantic == "NORMAL") {
                mesh.normal_source = reference(input, "source");
                mesh.offnormal = offset;
            } else if (semantic == "TEXCOORD") {
                // The first set is the one materials bind by default; the others have no use here.
                if (!mesh.texcoord_source.empty()) {
                    note("geometry %s: texture coordinates %s ignored, %s used", mesh.name.c_str(),
                         reference(input, "source").c_str(), mesh.texcoord_source.c_str());
                } else {
                    mesh.texcoord_source = reference(input, "source");
                    mesh.offtexcoord = offset;
                }
            } else if (semantic == "COLOR") {
                note("geometry %s: vertex colours ignored", mesh.name.c_str());
                mesh.offcolor = offset;
            } else {
                ZV_FATAL("Unimplemented input type %s", semantic.c_str());
            }
            mesh.stride = std::max(mesh.stride, offset + 1);
        }
    }

    void load_geom_object(const Element* el, int32_t mesh_id) {
        Mesh& mesh = *t.meshes[static_cast<size_t>(mesh_id)];
        auto object = std::make_unique<GeomObject>();
        object->name = mesh.name;
        object->mesh_id = mesh_id;
        object->mesh_ptr = &mesh;
        if (el->Attribute("material")) object->material = lowered_attribute(el, "material");
        const std::string kind = el->Value();
        const Element* ind_el = el->FirstChildElement("p");
        ZV_ASSERT_NOT_NULL(ind_el);
        const Primitive primitive = kind == "triangles" ? Primitive::Triangles
                                    : kind == "polygons" ? Primitive::Polygons
                                    : kind == "polylist" ? Primitive::Polylist
                                    : kind == "tristrips" ? Primitive::Strips
                                    : kind == "trifans" ? Primitive::Fans
                                                        : Primitive::None;
        if (primitive == Primitive::None) ZV_FATAL("Unrecognized geometry type %s", kind.c_str());
        // Corners are counted by their vertex; without one the other index lists have nothing
        // to line up with.
        if (mesh.offvertex < 0)
            ZV_FATAL("The %s of geometry %s have no VERTEX input in %s", kind.c_str(), mesh.name.c_str(), where());
        std::vector<int32_t> vcounts;
        if (primitive == Primitive::Polylist) {
            const Element* vcount = el->FirstChildElement("vcount");
            if (!vcount) ZV_FATAL("The polylist of geometry %s has no <vcount> in %s", mesh.name.c_str(), where());
            vcounts = read_ints(text_of(vcount));
            // One <p> holds every polygon of the list.
            read_indices(ind_el, primitive, *object, &vcounts);
        } else {
            for (; ind_el; ind_el = ind_el->NextSiblingElement("p")) read_indices(ind_el, primitive, *object, nullptr);
        }
        t.geom_objects.push_back(std::move(object));
    }

    // The tuple numbers of a <p>'s triangles, three a triangle: triangles as they come; a
    // polygon or a fan cut around its first corner; a strip's every three neighbours, every
    // second one turned so that all face the same way; a polylist's polygons, `vcounts`
    // corners each, each cut as a polygon (one of fewer than three corners makes none).
    static std::vector<size_t> triangle_corners(Primitive primitive, size_t corners, const std::vector<int32_t>* vcounts,
                                                const std::string& mesh, const char* where) {
        std::vector<size_t> out;
        auto fan = [&](size_t start, size_t count) {
            for (size_t c = 1; c + 1 < count; ++c) out.insert(out.end(), {start, start + c, start + c + 1});
        };
        switch (primitive) {
            case Primitive::Triangles:
                if (corners % 3 != 0)
                    ZV_FATAL("<p> of geometry %s holds %zu corners, not whole triangles, in %s", mesh.c_str(), corners,
                             where);
                for (size_t c = 0; c < corners; ++c) out.push_back(c);
                break;
            case Primitive::Polygons:
                fan(0, corners);
                break;
            case Primitive::Fans:
            case Primitive::Strips:
                if (corners < 3)
                    ZV_FATAL("<p> of geometry %s holds %zu corners, too few for a triangle %s, in %s", mesh.c_str(),
                             corners, primitive == Primitive::Fans ? "fan" : "strip", where);
                if (primitive == Primitive::Fans) fan(0, corners);
                for (size_t c = 0; primitive == Primitive::Strips && c + 2 < corners; ++c) {
                    if (c % 2 == 0) out.insert(out.end(), {c, c + 1, c + 2});
                    else out.insert(out.end(), {c + 1, c, c + 2});
                }
                break;
            case Primitive::Polylist: {
                size_t start = 0;
                for (const int32_t count : *vcounts) {
                    if (count < 0 || static_cast<size_t>(count) > corners - start)
                        ZV_FATAL("The polylist of geometry %s gives a polygon of %d corners where %zu are left, in %s",
                                 mesh.c_str(), count, corners - start, where);
                    fan(start, static_cast<size_t>(count));
                    start += static_cast<size_t>(count);
                }
                if (start != corners)
                    ZV_FATAL("The polylist of geometry %s counts %zu corners in <vcount> and %zu in <p>, in %s",
                             mesh.c_str(), start, corners, where);
                break;
            }
            case Primitive::None:
                break;
        }
        return out;
    }

    // One <p>: the tuples' vertex, normal and texture-coordinate indices, each checked against
    // its array, in the order of the primitive's triangles.
    void read_indices(const Element* ind_el, Primitive primitive, GeomObject& object, const std::vector<int32_t>* vcounts) {
        const Mesh& mesh = *object.mesh_ptr;
        const std::vector<int32_t> values = read_ints(text_of(ind_el));
        const size_t n = values.size();
        const size_t stride = static_cast<size_t>(mesh.stride);
        struct Stream {
            int32_t offset;
            std::vector<int32_t>* out;
            size_t elements;
            const char* what;
            const char* list;
            const char* offset_name;
        };
        auto elements = [](const std::vector<float>& values, int32_t stride) {
            return stride > 0 ? values.size() / static_cast<size_t>(stride) : 0;
        };
        const Stream streams[] = {
            {mesh.offvertex, &object.ivertices, elements(mesh.vertices, mesh.vertices_stride), "vertex", "ivertices", "offvertex"},
            {mesh.offnormal, &object.inormals, elements(mesh.normals, mesh.normals_stride), "normal", "inormals", "offnormal"},
            {mesh.offtexcoord, &object.itexcoords, elements(mesh.texcoords, mesh.texcoords_stride), "texcoord", "itexcoords",
             "offtexcoord"},
        };
        if (primitive == Primitive::Polygons)
            for (const Stream& s : streams) {
                if (s.offset < 0) continue;
                const size_t offset = static_cast<size_t>(s.offset);
                const size_t corners = n > offset ? (n - offset - 1) / stride + 1 : 0;
                if (corners < 3)
                    ZV_FATAL("Failed assert parse_indices_from_polygons_string( &geom_object->%s, ind_el->GetText(), "
                             "geom_object->mesh_ptr->%s, geom_object->mesh_ptr->stride )",
                             s.list, s.offset_name);
            }
        // A partial tuple would give the index lists different lengths.
        if (n % stride != 0)
            ZV_FATAL("<p> of geometry %s holds %zu indices, not whole tuples of %zu, in %s", mesh.name.c_str(), n, stride,
                     where());
        const std::vector<size_t> corners = triangle_corners(primitive, n / stride, vcounts, mesh.name, where());
        for (const Stream& s : streams) {
            if (s.offset < 0) continue;
            std::vector<int32_t>& out = *s.out;
            out.reserve(out.size() + corners.size());
            for (const size_t corner : corners) {
                const int32_t i = values[corner * stride + static_cast<size_t>(s.offset)];
                if (i < 0 || static_cast<size_t>(i) >= s.elements)
                    ZV_FATAL("Index %d in <p> of geometry %s is outside its %s source of %zu elements in %s", i,
                             mesh.name.c_str(), s.what, s.elements, where());
                out.push_back(i);
            }
        }
    }

    //-------------------------------------------------------------------------
    // [SECTION] Reading skin controllers
    //-------------------------------------------------------------------------

    void load_controllers(const Element* library) {
        for (const Element* el = library->FirstChildElement(); el; el = el->NextSiblingElement()) {
            const Element* el_skin = el->FirstChildElement("skin");
            if (!el_skin) continue;
            auto controller = std::make_unique<Controller>();
            controller->name = lower(el->Attribute("id"));
            controller->skin_source = reference(el_skin, "source");
            if (const Element* bind = el_skin->FirstChildElement("bind_shape_matrix"))
                controller->bind_shape_matrix = read_matrix(bind, "bind_shape_matrix of controller", controller->name);

            ZV_ASSERT_NOT_NULL(el_skin->FirstChildElement("joints"));
            ZV_ASSERT_NOT_NULL(el_skin->FirstChildElement("vertex_weights"));
            for (const char* part : {"joints", "vertex_weights"})
                for (const Element* input = el_skin->FirstChildElement(part)->FirstChildElement("input"); input;
                     input = input->NextSiblingElement("input")) {
                    const char* raw = input->Attribute("semantic");
                    const std::string semantic = raw ? raw : "";
                    if (semantic == "JOINT") {
                        controller->joint_source = reference(input, "source");
                        controller->joint_offset = int_attribute(input, "offset", -1);
                    } else if (semantic == "WEIGHT") {
                        controller->weight_source = reference(input, "source");
                        controller->weight_offset = int_attribute(input, "offset", -1);
                    } else if (semantic == "INV_BIND_MATRIX") {
                        controller->inv_bind_source = reference(input, "source");
                    } else {
                        ZV_FATAL("Unimplemented input type %s", semantic.c_str());
                    }
                }
            ZV_ASSERT_NOT_NULL(el_skin->FirstChildElement("vertex_weights")->FirstChildElement("vcount"));
            ZV_ASSERT_NOT_NULL(el_skin->FirstChildElement("vertex_weights")->FirstChildElement("v"));
            controller->vcounts = read_ints(text_of(el_skin->FirstChildElement("vertex_weights")->FirstChildElement("vcount")));
            controller->v = read_ints(text_of(el_skin->FirstChildElement("vertex_weights")->FirstChildElement("v")));

            ZV_ASSERT_NOT_NULL(el_skin->FirstChildElement("source"));
            for (const Element* src_el = el_skin->FirstChildElement("source"); src_el;
                 src_el = src_el->NextSiblingElement("source")) {
                const std::string id = lower(src_el->Attribute("id"));
                const Element* accessor = src_el->FirstChildElement("technique_common");
                if (accessor) accessor = accessor->FirstChildElement("accessor");
                if (!accessor) ZV_FATAL("Accessor not found in source element %s", id.c_str());
                if (id == controller->joint_source) {
                    ZV_ASSERT_NOT_NULL(src_el->FirstChildElement("Name_array"));
                    controller->joint_strings = read_names(text_of(src_el->FirstChildElement("Name_array")));
                    // Resolved to node indices once the tree exists.
                    controller->joints.assign(controller->joint_strings.size(), -1);
                    ZV_ASSERT_CMP(controller->joints.size(), ==, controller->joint_strings.size());
                }
                if (id == controller->weight_source) {
                    ZV_ASSERT_NOT_NULL(src_el->FirstChildElement("float_array"));
                    controller->weights = read_floats(text_of(src_el->FirstChildElement("float_array")));
                }
                if (id == controller->inv_bind_source) {
                    ZV_ASSERT_NOT_NULL(src_el->FirstChildElement("float_array"));
                    const std::vector<float> values = read_floats(text_of(src_el->FirstChildElement("float_array")));
                    if (values.size() % 16 != 0)
                        ZV_FATAL("Inverse bind matrices of controller %s hold %zu values, not a multiple of 16, in %s",
                                 controller->name.c_str(), values.size(), where());
                    for (size_t i = 0; i < values.size(); i += 16)
                        controller->inv_bind_matrices.push_back(matrix_from(&values[i]));
                }
            }
            check_influences(*controller);
            t.controllers.push_back(std::move(controller));
        }
    }

    // Skinning walks <v> as (joint, weight) pairs in the order of <vcount>, and looks each joint
    // up in the joints and inverse bind matrices and each weight in the weights.
    void check_influences(const Controller& c) const {
        long long influences = 0;
        for (int32_t count : c.vcounts) {
            if (count < 0)
                ZV_FATAL("<vcount> of controller %s holds the negative count %d in %s", c.name.c_str(), count, where());
            influences += count;
        }
        if (influences * 2 > static_cast<long long>(c.v.size()))
            ZV_FATAL("<vcount> of controller %s adds up to %lld influences, but <v> holds %zu values, in %s", c.name.c_str(),
                     influences, c.v.size(), where());
        for (long long i = 0; i < influences; ++i) {
            const int32_t joint = c.v[static_cast<size_t>(2 * i)], weight = c.v[static_cast<size_t>(2 * i + 1)];
            if (joint < 0 || static_cast<size_t>(joint) >= c.joint_strings.size())
                ZV_FATAL("Joint index %d in <v> of controller %s is outside its %zu joints in %s", joint, c.name.c_str(),
                         c.joint_strings.size(), where());
            if (static_cast<size_t>(joint) >= c.inv_bind_matrices.size())
                ZV_FATAL("Joint index %d in <v> of controller %s is outside its %zu inverse bind matrices in %s", joint,
                         c.name.c_str(), c.inv_bind_matrices.size(), where());
            if (weight < 0 || static_cast<size_t>(weight) >= c.weights.size())
                ZV_FATAL("Weight index %d in <v> of controller %s is outside its %zu weights in %s", weight, c.name.c_str(),
                         c.weights.size(), where());
        }
    }

    Mat4 read_matrix(const Element* el, const char* what, const std::string& owner) const {
        const std::vector<float> values = read_floats(text_of(el));
        if (values.size() != 16)
            ZV_FATAL("The %s %s holds %zu values instead of 16 in %s", what, owner.c_str(), values.size(), where());
        return matrix_from(values.data());
    }

    //-------------------------------------------------------------------------
    // [SECTION] Reading animations
    //-------------------------------------------------------------------------

    // What an animation <source> holds, by its accessor's stride and parameter type.
    struct SourceValues {
        enum Kind { FLOATS, NAMES, VEC3S, MATRICES } kind = FLOATS;
        int32_t stride = 1;
        std::vector<float> floats;
        std::vector<std::string> names;
        std::vector<Vec3> vec3s;
        std::vector<Mat4> matrices;
        size_t size() const {
            return kind == FLOATS ? floats.size() : kind == NAMES ? names.size() : kind == VEC3S ? vec3s.size() : matrices.size();
        }
    };

    SourceValues read_animation_source(const Element* src, const std::string& animation) const {
        const Element* accessor = src->FirstChildElement("technique_common");
        if (accessor) accessor = accessor->FirstChildElement("accessor");
        ZV_ASSERT_NOT_NULL(accessor);
        const int32_t count = int_attribute(accessor, "count", 0);
        ZV_ASSERT_CMP(count, >, 0);
        SourceValues out;
        out.stride = int_attribute(accessor, "stride", 0);
        if (out.stride == 0) out.stride = 1;
        const std::string array_id = reference(accessor, "source");
        const Element* param = accessor->FirstChildElement("param");
        ZV_ASSERT_NOT_NULL(param);
        // Some exporters write the type capitalised ("Name").
        const std::string type = lowered_attribute(param, "type");
        const Element* array = nullptr;
        for (const Element* e = src->FirstChildElement(); e && !array; e = e->NextSiblingElement())
            if (lowered_attribute(e, "id") == array_id) array = e;
        if (!array) ZV_FATAL("Failed to find array %s", array_id.c_str());

        size_t values = 0;
        if (out.stride == 1 && type == "float") {
            out.floats = read_floats(text_of(array));
            values = out.floats.size();
        } else if (type == "name") {
            out.kind = SourceValues::NAMES;
            out.names = read_names(text_of(array));
            values = out.names.size();
        } else if (out.stride == 3 && type == "float") {
            out.kind = SourceValues::VEC3S;
            const std::vector<float> v = read_floats(text_of(array));
            const size_t i = v.size();
            ZV_ASSERT_CMP(0, ==, ( i % 3 ));
            for (size_t k = 0; k < i; k += 3) out.vec3s.emplace_back(v[k], v[k + 1], v[k + 2]);
            values = i;
        } else if (out.stride == 16 && (type == "float" || type == "float4x4")) {
            out.kind = SourceValues::MATRICES;
            const std::vector<float> v = read_floats(text_of(array));
            if (v.size() % 16 != 0)
                ZV_FATAL("Matrices of source %s in animation %s hold %zu values, not a multiple of 16, in %s",
                         lower(src->Attribute("id")).c_str(), animation.c_str(), v.size(), where());
            for (size_t k = 0; k < v.size(); k += 16) out.matrices.push_back(matrix_from(&v[k]));
            values = v.size();
        } else {
            ZV_FATAL("Unsupported array of stride %d and type %s", out.stride, type.c_str());
        }
        // Name lists may carry any stride, so a negative one is refused here too.
        if (out.stride < 1 || static_cast<uint64_t>(count) * static_cast<uint64_t>(out.stride) > values)
            ZV_FATAL("Accessor of source %s in animation %s counts %d elements of %d values, but its array holds %zu "
                     "values, in %s",
                     lower(src->Attribute("id")).c_str(), animation.c_str(), count, out.stride, values, where());
        return out;
    }

    // The <node> with id `id` below `parent` (the visual scenes, or <library_nodes>), or null.
    static const Element* find_node(const Element* parent, const std::string& id) {
        for (const Element* e = parent ? parent->FirstChildElement() : nullptr; e; e = e->NextSiblingElement()) {
            const std::string kind = e->Value();
            if (kind == "node" && lowered_attribute(e, "id") == id) return e;
            if (kind == "node" || kind == "visual_scene" || kind == "library_nodes")
                if (const Element* found = find_node(e, id)) return found;
        }
        return nullptr;
    }

    // Whether node `node` (of the visual scenes, or of <library_nodes>) has a <matrix> whose sid
    // is `sid`: exporters (Blender among them) animate a node's whole matrix under the sid they
    // gave it, "transform".
    bool names_a_matrix(const std::string& node, const std::string& sid) const {
        const Element* el = find_node(visual_scenes, node);
        if (!el) el = find_node(library_nodes, node);
        for (const Element* m = el ? el->FirstChildElement("matrix") : nullptr; m; m = m->NextSiblingElement("matrix"))
            if (lowered_attribute(m, "sid") == sid) return true;
        return false;
    }

    // The elements of an animation that hold a channel: itself, or those nested in it at any
    // depth (exporters group the channels of a character or a clip in one animation).
    static void collect_channels(const Element* el, std::vector<const Element*>& out) {
        if (el->FirstChildElement("channel")) out.push_back(el);
        for (const Element* inner = el->FirstChildElement("animation"); inner; inner = inner->NextSiblingElement("animation"))
            collect_channels(inner, out);
    }

    void load_animations(const Element* library) {
        for (const Element* outer = library->FirstChildElement(); outer; outer = outer->NextSiblingElement()) {
            const std::string outer_name = outer->Attribute("id") ? lowered_attribute(outer, "id") : "default_anim";
            // An animation element without any content (some exporters write one per object
            // before its channels) animates nothing.
            if (!outer->FirstChildElement()) continue;
            std::vector<const Element*> channels;
            collect_channels(outer, channels);
            if (channels.empty()) ZV_FATAL("Animation %s has no channel tag", outer_name.c_str());
            for (const Element* el : channels)
                load_animation(el, outer_name);
        }
    }

    void load_animation(const Element* el, const std::string& animation_name) {
        auto animation = std::make_unique<Animation>();
        animation->name = animation_name;
        const char* name = animation->name.c_str();

        const Element* channel = el->FirstChildElement("channel");
        if (!channel) ZV_FATAL("Animation %s has no channel tag", name);
        if (!channel->Attribute("source")) ZV_FATAL("Animation %s has no channel source", name);
        if (!channel->Attribute("target")) ZV_FATAL("Animation %s has no channel target", name);
        const std::string source = reference(channel, "source");
        const std::string target = reference(channel, "target");
        if (target.find("rotatex") != std::string::npos) {
            animation->kind = Animation::ROTATION, animation->axis = Vec3(1, 0, 0);
        } else if (target.find("rotatey") != std::string::npos) {
            animation->kind = Animation::ROTATION, animation->axis = Vec3(0, 1, 0);
        } else if (target.find("rotatez") != std::string::npos) {
            animation->kind = Animation::ROTATION, animation->axis = Vec3(0, 0, 1);
        } else if (target.find("translate") != std::string::npos) {
            animation->kind = Animation::TRANSLATION;
        } else if (target.find("matrix") != std::string::npos) {
            animation->kind = Animation::MATRIX;
        } else if (target.find('/') != std::string::npos &&
                   names_a_matrix(target.substr(0, target.find('/')), target.substr(target.find('/') + 1))) {
            animation->kind = Animation::MATRIX;
        } else {
            ZV_FATAL("Unknown animation target %s", target.c_str());
        }
        const size_t slashpos = target.find('/');
        ZV_ASSERT_CMP(std::string::npos, !=, slashpos);
        animation->target = target.substr(0, slashpos);

        const Element* sampler = el->FirstChildElement("sampler");
        if (!sampler) ZV_FATAL("Animation %s has no sampler tag", name);
        if (!sampler->Attribute("id")) ZV_FATAL("Animation %s sampler is missing id", name);
        const std::string sampler_id = lowered_attribute(sampler, "id");
        if (sampler_id != source)
            ZV_FATAL("Animation %s channel source %s doesn't match sampler %s", name, source.c_str(), sampler_id.c_str());
        for (const Element* input = sampler->FirstChildElement("input"); input; input = input->NextSiblingElement("input")) {
            const std::string semantic = lowered_attribute(input, "semantic");
            if (semantic == "input") animation->input_source = reference(input, "source");
            else if (semantic == "output") animation->output_source = reference(input, "source");
            else if (semantic == "interpolation") animation->interpolation_source = reference(input, "source");
            else ZV_FATAL("Unknown semantic %s in animation %s", semantic.c_str(), name);
        }
        if (animation->input_source.empty()) ZV_FATAL("Couldn't find sampler input in animation %s", name);
        if (animation->output_source.empty()) ZV_FATAL("Couldn't find sampler output in animation %s", name);
        if (animation->interpolation_source.empty())
            ZV_FATAL("Couldn't find sampler interpolation in animation %s", name);

        for (const Element* src = el->FirstChildElement("source"); src; src = src->NextSiblingElement("source"))
            read_animation_values(src, *animation);
        check_keys(*animation);
        t.animations.push_back(std::move(animation));
    }

    void read_animation_values(const Element* src, Animation& animation) const {
        const std::string id = lower(src->Attribute("id"));
        const char* name = animation.name.c_str();
        auto expect = [&](const SourceValues& v, SourceValues::Kind kind, const char* role) {
            static const char* const kinds[] = {"single values", "names", "triples", "matrices"};
            if (v.kind != kind)
                ZV_FATAL("The %s source %s of animation %s holds %s where %s belong, in %s", role, id.c_str(), name,
                         kinds[v.kind], kinds[kind], where());
        };
        if (id == animation.input_source) {
            SourceValues v = read_animation_source(src, animation.name);
            expect(v, SourceValues::FLOATS, "input");
            animation.timeline = std::move(v.floats);
        } else if (id == animation.output_source) {
            SourceValues v = read_animation_source(src, animation.name);
            switch (animation.kind) {
            case Animation::ROTATION:
                expect(v, SourceValues::FLOATS, "output");
                animation.rotation_amount = std::move(v.floats);
                break;
            case Animation::TRANSLATION:
                expect(v, SourceValues::VEC3S, "output");
                animation.translation = std::move(v.vec3s);
                break;
            case Animation::MATRIX:
                expect(v, SourceValues::MATRICES, "output");
                animation.matrix = std::move(v.matrices);
                break;
            default:
                ZV_FATAL("Unhandled animation type!");
            }
        } else if (id == animation.interpolation_source) {
            SourceValues v = read_animation_source(src, animation.name);
            expect(v, SourceValues::NAMES, "interpolation");
            animation.interpolation.clear();
            for (const std::string& kind : v.names) {
                if (kind == "linear") animation.interpolation.push_back(Animation::LINEAR);
                else if (kind == "bezier") animation.interpolation.push_back(Animation::BEZIER);
                else ZV_FATAL("Got unknown interpolation type %s", kind.c_str());
            }
            if (std::find(animation.interpolation.begin(), animation.interpolation.end(), Animation::BEZIER) !=
                animation.interpolation.end())
                note("animation %s of %s: Bezier keys played as straight lines between the keys", name,
                     animation.target.c_str());
            animation.interpolation_stride = v.stride;
        } else {
            ZV_FATAL("Source id %s didn't match anything!", id.c_str());
        }
    }

    // Evaluation reads one output and interpolation_stride interpolation entries per key.
    void check_keys(const Animation& a) const {
        const size_t keys = a.timeline.size();
        const size_t outputs = a.kind == Animation::ROTATION      ? a.rotation_amount.size()
                               : a.kind == Animation::TRANSLATION ? a.translation.size()
                                                                  : a.matrix.size();
        if (outputs != keys)
            ZV_FATAL("Animation %s has %zu key times but %zu output values in %s", a.name.c_str(), keys, outputs, where());
        if (a.interpolation.size() != keys * static_cast<size_t>(a.interpolation_stride))
            ZV_FATAL("Animation %s has %zu key times but %zu interpolations of %d per key in %s", a.name.c_str(), keys,
                     a.interpolation.size(), a.interpolation_stride, where());
    }

    //-------------------------------------------------------------------------
    // [SECTION] Reading the visual scene
    //-------------------------------------------------------------------------

    void load_visual_scene(const Element* library) {
        const Element* scene_element = library->FirstChildElement();
        ZV_ASSERT_NOT_NULL(scene_element);
        auto& nodes = t.nodes;
        ZV_ASSERT_CMP(0, ==, nodes.size());
        auto root = std::make_unique<Node>();
        root->this_index = 0;
        root->name = "Master node";
        nodes.push_back(std::move(root));
        read_node_elements(scene_element, 0);
    }

    // The world matrix of a node while the tree is being built. The walk ends below the root,
    // so the root's matrix counts only for the root itself.
    Mat4 world_matrix(int32_t index) const {
        const Node* node = t.nodes[static_cast<size_t>(index)].get();
        ZV_ASSERT_CMP(node->this_index, >=, 0);
        std::vector<const Node*> chain{node};
        while (node->parent_index > 0) {
            node = t.nodes[static_cast<size_t>(node->parent_index)].get();
            chain.push_back(node);
        }
        Mat4 m;
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) m *= (*it)->local_matrix;
        return m;
    }

    void read_node_elements(const Element* el, int32_t index) {
        for (const Element* child = el->FirstChildElement(); child; child = child->NextSiblingElement()) {
            Node& node = *t.nodes[static_cast<size_t>(index)];
            const std::string kind = child->Value();
            if (kind == "translate" || kind == "scale") {
                float x = 0, y = 0, z = 0;
                read_into(text_of(child), &x, &y, &z);
                if (kind == "translate") node.local_matrix.translate(x, y, z);
                else node.local_matrix.scale(x, y, z);
            } else if (kind == "rotate") {
                float x = 0, y = 0, z = 0, degrees = 0;
                read_into(text_of(child), &x, &y, &z, &degrees);
                node.local_matrix.rotate(degrees, x, y, z);
            } else if (kind == "matrix") {
                node.local_matrix = read_matrix(child, "matrix of node", node.name);
            } else if (kind == "instance_geometry") {
                bind_geometry(child, reference(child, "url"), node);
            } else if (kind == "instance_controller") {
                instance_controller(child, node);
            } else if (kind == "instance_camera") {
                const std::string url = reference(child, "url");
                const int32_t camera = find_by_name(t.cameras, url);
                if (camera < 0) ZV_FATAL("Couldn't find matching camera for %s. Corrupt file?", url.c_str());
                node.cameras.push_back(camera);
                t.cameras[static_cast<size_t>(camera)]->view = world_matrix(index).inverse();
            } else if (kind == "instance_light") {
                const std::string url = reference(child, "url");
                const int32_t light = find_by_name(t.lights, url);
                if (light < 0) ZV_FATAL("Couldn't find matching light for %s. Corrupt file?", url.c_str());
                node.lights.push_back(light);
                const Vec3 p = world_matrix(index).transform_point(Vec3(0, 0, 0));
                t.lights[static_cast<size_t>(light)]->set_position(p.x, p.y, p.z);
            } else if (kind == "node") {
                read_node(child, index);
            } else if (kind == "instance_node") {
                instance_node(child, index);
            } else if (kind != "extra" && kind != "asset") {
                note("node %s: <%s> ignored", node.name.c_str(), kind.c_str());
            }
        }
    }

    // A copy of another node (of <library_nodes> or of the scene) as a child, as if written
    // there: exporters share repeated parts so.
    void instance_node(const Element* el, int32_t index) {
        const std::string url = reference(el, "url");
        const Element* node_el = find_node(library_nodes, url);
        if (!node_el) node_el = find_node(visual_scenes, url);
        if (!node_el) ZV_FATAL("Couldn't find matching node for %s. Corrupt file?", url.c_str());
        if (std::find(instancing.begin(), instancing.end(), node_el) != instancing.end())
            ZV_FATAL("Node %s is instanced inside itself in %s", url.c_str(), where());
        // Instances of instances multiply; a document small enough to read must not make a tree
        // too large to hold.
        if (t.nodes.size() > MAX_INSTANCED_NODES)
            ZV_FATAL("Instanced nodes of %s make more than %zu nodes in %s", url.c_str(), MAX_INSTANCED_NODES, where());
        instancing.push_back(node_el);
        read_node(node_el, index);
        instancing.pop_back();
    }

    void read_node(const Element* el, int32_t parent_index) {
        auto node = std::make_unique<Node>();
        const Node& parent = *t.nodes[static_cast<size_t>(parent_index)];
        node->parent_index = parent.this_index;
        node->name = el->Attribute("id") ? lowered_attribute(el, "id") : "default_node";
        const char* type = el->Attribute("type");
        node->joint_depth = parent.joint_depth + (type && std::string(type) == "JOINT" ? 1 : 0);
        for (size_t a = 0; a < t.animations.size(); ++a)
            if (t.animations[a]->target == node->name) node->animations.push_back(static_cast<int32_t>(a));
        const int32_t index = static_cast<int32_t>(t.nodes.size());
        node->this_index = index;
        t.nodes[static_cast<size_t>(parent_index)]->children.push_back(index);
        t.nodes.push_back(std::move(node));
        node_sids.push_back(lowered_attribute(el, "sid"));
        read_node_elements(el, index);
    }

    template <typename Table>
    static int32_t find_by_name(const Table& table, const std::string& name) {
        for (size_t i = 0; i < table.size(); ++i)
            if (table[i]->name == name) return static_cast<int32_t>(i);
        return -1;
    }

    // Binds every object of the geometry to the node, with the materials its instance names.
    // Returns the indices of the objects bound.
    std::vector<int32_t> bind_geometry(const Element* instance, const std::string& url, Node& node) {
        const Element* technique = instance->FirstChildElement("bind_material");
        if (technique) technique = technique->FirstChildElement("technique_common");
        std::vector<int32_t> bound;
        for (size_t i = 0; i < t.geom_objects.size(); ++i) {
            GeomObject& object = *t.geom_objects[i];
            if (object.name != url) continue;
            node.objects.push_back(static_cast<int32_t>(i));
            bound.push_back(static_cast<int32_t>(i));
            if (technique)
                for (const Element* m = technique->FirstChildElement("instance_material"); m;
                     m = m->NextSiblingElement("instance_material"))
                    if (lowered_attribute(m, "symbol") == object.material) object.material = reference(m, "target");
            int32_t material = find_by_name(t.materials, object.material);
            // Exporters name a material "<name>-material" in the library but "<name>" elsewhere.
            if (material < 0) {
                object.material += "-material";
                material = find_by_name(t.materials, object.material);
            }
            if (material < 0)
                ZV_FATAL("Couldn't find material \"%s\" entry for object \"%s\". Corrupt file?", object.material.c_str(),
                         object.name.c_str());
            object.material_index = material;
            if (!object.itexcoords.empty() && t.materials[static_cast<size_t>(material)]->diff_tex) object.textured = true;
        }
        if (bound.empty())
            ZV_FATAL("    Warning: couldn't find matching geometry for %s. Probably unsupported polygon description type\n",
                     url.c_str());
        return bound;
    }

    void instance_controller(const Element* instance, Node& node) {
        const std::string url = reference(instance, "url");
        const int32_t index = find_by_name(t.controllers, url);
        if (index < 0) ZV_FATAL("    Warning: couldn't find matching controller for %s", url.c_str());
        node.controllers.push_back(index);
        const Controller& controller = *t.controllers[static_cast<size_t>(index)];
        for (int32_t o : bind_geometry(instance, controller.skin_source, node)) {
            GeomObject& object = *t.geom_objects[static_cast<size_t>(o)];
            // Skinning writes one deformed vertex per <vcount> entry.
            const size_t vertices = object.mesh_ptr->vertices.size() / 3;
            if (controller.vcounts.size() > vertices)
                ZV_FATAL("Controller %s weights %zu vertices, but geometry %s has %zu, in %s", controller.name.c_str(),
                         controller.vcounts.size(), object.name.c_str(), vertices, where());
            object.prepare_deformation();
        }
    }

    void resolve_joints() {
        for (size_t ctrl = 0; ctrl < t.controllers.size(); ++ctrl) {
            Controller& controller = *t.controllers[ctrl];
            bool found = false;
            for (const auto& node : t.nodes)
                for (size_t j = 0; j < controller.joint_strings.size(); ++j)
                    if (controller.joint_strings[j] == node->name) {
                        controller.joints[j] = node->this_index;
                        found = true;
                    }
            // Some exporters (Blender among them) name a skin's joints by their nodes' sid; a
            // joint that no node's id names is looked up so.
            for (size_t j = 0; j < controller.joint_strings.size(); ++j)
                for (size_t n = 1; n < t.nodes.size() && controller.joints[j] < 0; ++n)
                    if (n - 1 < node_sids.size() && !node_sids[n - 1].empty() && controller.joint_strings[j] == node_sids[n - 1]) {
                        controller.joints[j] = t.nodes[n]->this_index;
                        found = true;
                    }
            if (!found) ZV_FATAL("    Couldn't look up joint strings!\n");
            auto& controllers = t.controllers;
            ZV_ASSERT_CMP(controllers[ctrl]->joint_strings.size(), ==, controllers[ctrl]->joints.size());
            // Skinning follows every joint to its node, so a joint that names none is damage.
            for (size_t j = 0; j < controller.joints.size(); ++j)
                if (controller.joints[j] < 0)
                    ZV_FATAL("Joint %s of controller %s names no node in %s", controller.joint_strings[j].c_str(),
                             controller.name.c_str(), where());
        }
    }

    std::string file, prefix;
    SceneTables& t;
    DaeTextureLoader texture_loader;
    DaeNotes* notes;
    const Element* visual_scenes = nullptr;
    const Element* library_nodes = nullptr;
    std::vector<const Element*> instancing;  // the nodes being copied by <instance_node>, outermost first
    static constexpr size_t MAX_INSTANCED_NODES = 100000;
    std::vector<std::pair<std::string, std::string>> images;  // (id, file name)
    std::vector<std::string> node_sids;  // of nodes 1, 2, ... (the root has none)
};

}  // namespace

//-----------------------------------------------------------------------------
// [SECTION] Loading a document
//-----------------------------------------------------------------------------

std::unique_ptr<Texture> load_material_texture(const char* path, DaeTextureLoader textures) {
    std::unique_ptr<Texture> texture;
    if (textures) {
        texture = textures(path);
    } else {
        texture = std::make_unique<Texture>();
        if (!texture->load(path)) texture.reset();
    }
    if (!texture) ZV_FATAL("Failed to load texture %s", path);
    return texture;
}

void load_collada(const char* file_name, SceneTables& tables, DaeTextureLoader textures, DaeNotes* notes) {
    ZV_ASSERT_NOT_NULL(file_name);
    // The scene file itself never goes through the archive: a packed build holds the converted
    // scene instead.
    OpenedFile opened = open_regular_file(file_name, "rb", UINT32_MAX - 1);
    if (!opened.stream)
        ZV_FATAL("Could not load %s. Error='Failed to open file'. Exiting.\n%s%s %s", file_name, file_name,
                 opened.refused ? "" : ":", opened.reason.c_str());
    FILE* f = opened.stream;
    TiXmlDocument document;
    if (!load_xml_document(document, f, file_name))
        ZV_FATAL("Could not load %s. Error='%s'. Exiting.\n", file_name, document.ErrorDesc());
    DaeLoader(file_name, tables, textures, notes).load(document);
}

void load_collada_from_memory(const char* text, size_t length, const char* file_name, SceneTables& tables,
                              DaeTextureLoader textures, DaeNotes* notes) {
    ZV_ASSERT_NOT_NULL(file_name);
    TiXmlDocument document;
    if (!parse_xml_document(document, text ? std::string_view(text, length) : std::string_view(), file_name))
        ZV_FATAL("Could not load %s. Error='%s'. Exiting.\n", file_name, document.ErrorDesc());
    DaeLoader(file_name, tables, textures, notes).load(document);
}
