// Objects3D rendering: the passes of a frame (mirrors, ambient, glow, shadow depth and lighting
// per light, or one lit pass), the program for each draw situation, the subtree walk and the
// draw of one geometry object from its buffers; and the two debug views.
//
// Index of this file:
// [SECTION] Helpers: lights, cameras, material colours
// [SECTION] Materials and programs
// [SECTION] Drawing objects and subtrees
// [SECTION] The passes of a frame
// [SECTION] Debug views
#include <GL/glew.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>

#include "platform/fatal.h"
#include "util/objects3d/mirror.h"
#include "util/objects3d/objects3d.h"

//-----------------------------------------------------------------------------
// [SECTION] Helpers: lights, cameras, material colours
//-----------------------------------------------------------------------------

namespace {

// Fixed-function GL guarantees eight lights.
constexpr int GL_LIGHT_COUNT = 8;

bool indexes(int32_t index, size_t count) { return index >= 0 && static_cast<size_t>(index) < count; }

void check_current_camera(const Objects3D& scene) {
    if (!indexes(scene.cur_cam, scene.cameras.size()))
        ZV_FATAL("cur_cam %d out of range for %zu cameras!", scene.cur_cam, scene.cameras.size());
}

// Of the first GL_LIGHT_COUNT lights, those that shade (every kind but ambient) become GL
// lights 0, 1, ... in order, so that the per-pixel programs, which light with the first
// "num_lights" GL lights, never count an ambient light's slot: GL light 0 left at its defaults
// is a white directional light. An ambient light sets only the global ambient colour.
void apply_lights(const std::vector<std::unique_ptr<Light>>& lights) {
    int shading = 0;
    for (size_t i = 0; i < lights.size() && i < static_cast<size_t>(GL_LIGHT_COUNT); ++i) {
        if (lights[i]->get_type() == Light::AMBIENT) lights[i]->apply(0);
        else lights[i]->apply(shading++);
    }
}

// The "num_lights" of the per-pixel programs: how many GL lights apply_lights fills.
int shading_light_count(const std::vector<std::unique_ptr<Light>>& lights) {
    int shading = 0;
    for (size_t i = 0; i < lights.size() && i < static_cast<size_t>(GL_LIGHT_COUNT); ++i)
        shading += lights[i]->get_type() != Light::AMBIENT;
    return shading;
}

void set_material_colour(GLenum which, const Vec4& colour, const Vec4& add) {
    const Vec4 sum = colour + add;
    glMaterialfv(GL_FRONT_AND_BACK, which, &sum.x);
}

}  // namespace

//-----------------------------------------------------------------------------
// [SECTION] Materials and programs
//-----------------------------------------------------------------------------

const Material& material_of(const Objects3D& scene, const GeomObject& object) {
    static const Material defaults;
    if (!indexes(object.material_index, scene.materials.size()) || !scene.materials[static_cast<size_t>(object.material_index)])
        return defaults;
    return *scene.materials[static_cast<size_t>(object.material_index)];
}

int bind_surface_texture(const Texture* texture) {
    // The shadow cube holds unit 0 while it is enabled there.
    glActiveTexture(GL_TEXTURE0);
    const int unit = glIsEnabled(GL_TEXTURE_CUBE_MAP) ? 1 : 0;
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
    if (texture) {
        glEnable(GL_TEXTURE_2D);
        texture->bind(unit);
    } else {
        glDisable(GL_TEXTURE_2D);
    }
    glActiveTexture(GL_TEXTURE0);
    return unit;
}

void apply_material(const Material& material, bool black) {
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, material.shininess);
    if (black) {
        const Vec4 none(0, 0, 0, 0);
        for (GLenum which : {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_EMISSION}) glMaterialfv(GL_FRONT_AND_BACK, which, &none.x);
        return;
    }
    set_material_colour(GL_AMBIENT, material.ambient, material.color_add);
    set_material_colour(GL_DIFFUSE, material.diffuse, material.color_add);
    set_material_colour(GL_SPECULAR, material.specular, material.color_add);
    set_material_colour(GL_EMISSION, material.emission, material.color_add);
}

ShaderProgram* use_object_program(Objects3D* scene, bool textured, bool mirror, int mode, int light) {
    Objects3D* master = scene->master;
    int slot = 0;
    switch (mode) {
        case DRAW_NORMAL:
            if (mirror) ZV_ASSERT(master->shaders[OBJ_SHADER_TEXTURE]);
            slot = textured ? OBJ_SHADER_TEXTURE : OBJ_SHADER_NOTEX;
            break;
        case DRAW_SHADOW_AMBIENT:
            if (mirror) ZV_ASSERT(master->shaders[OBJ_SHADER_SHADOW_AMBIENT_TEX]);
            slot = textured ? OBJ_SHADER_SHADOW_AMBIENT_TEX : OBJ_SHADER_SHADOW_AMBIENT;
            break;
        case DRAW_SHADOW_DEPTH:
            if (mirror) ZV_ASSERT(master->shaders[OBJ_SHADER_SHADOW_DEPTHWRITE]);
            slot = OBJ_SHADER_SHADOW_DEPTHWRITE;
            break;
        case DRAW_SHADOW_LIGHTING:
            if (mirror) ZV_ASSERT(master->shaders[OBJ_SHADER_SHADOW_LIGHTING_TEX]);
            slot = textured ? OBJ_SHADER_SHADOW_LIGHTING_TEX : OBJ_SHADER_SHADOW_LIGHTING;
            break;
        case DRAW_GLOW:
            slot = textured ? OBJ_SHADER_GLOW_TEX : OBJ_SHADER_GLOW;
            break;
        default:
            ZV_FATAL("Unsupported draw mode %d", mode);
    }
    ShaderProgram* program = master->shaders[slot];
    if (!program) {
        ShaderProgram::unbind_all();
        return nullptr;
    }
    program->bind();
    if (mode == DRAW_NORMAL) program->set_uniform1i("num_lights", shading_light_count(master->lights));
    if (mode == DRAW_SHADOW_LIGHTING) {
        program->set_uniform1i("shadow", 0);
        if (textured) ZV_ASSERT(master->cur_cam >= 0);
        const Mat4 camera_inverse = indexes(master->cur_cam, master->cameras.size())
                                        ? master->cameras[static_cast<size_t>(master->cur_cam)]->inverse_view()
                                        : Mat4();
        program->set_uniform_matrix4("camera_view_matrix_inv", false, camera_inverse.data());
        if (indexes(light, master->lights.size())) {
            const Light& l = *master->lights[static_cast<size_t>(light)];
            program->set_uniform_matrix4("light_view_matrix", false, l.get_view().data());
            program->set_uniform_matrix4("light_projection_matrix", false, l.get_projection().data());
        }
        if (textured) {
            program->set_uniform1i("texture", 1);
            program->bind_attribute("tangent", 1);
        }
    }
    return program;
}

//-----------------------------------------------------------------------------
// [SECTION] Drawing objects and subtrees
//-----------------------------------------------------------------------------

void draw_object(Objects3D* scene, int index, int mode) {
    if (!indexes(index, scene->geom_objects.size())) return;
    GeomObject* object = scene->geom_objects[static_cast<size_t>(index)].get();
    if (!object || !object->visible) return;
    // Checked before the buffers are built, which read the mesh.
    ZV_ASSERT(object->mesh_id >= 0);
    ZV_ASSERT_NOT_NULL(object->mesh_ptr);

    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glMultMatrixf(object->object_matrix.data());
    if (!object->vertex_buffer.get_id() || !object->index_buffer.get_id()) {
        if (!object->create_buffers()) ZV_FATAL("Failed to create VBOs!");
    }
    if (!object->update_buffers()) ZV_FATAL("Failed to update VBOs!");

    const Material& material = material_of(*scene, *object);
    glColor4f(1, 1, 1, 1);
    glDisable(GL_COLOR_MATERIAL);

    const Texture* texture = nullptr;
    if (mode == DRAW_GLOW) {
        texture = material.glow_tex.get();
        // Without a glow texture the object only hides what is behind it in the glow target.
        apply_material(material, !texture);
    } else {
        if (object->textured) texture = material.diff_tex.get();
        apply_material(material, false);
    }
    const int unit = bind_surface_texture(texture);

    const Mesh& mesh = *object->mesh_ptr;
    glBindBuffer(GL_ARRAY_BUFFER, object->vertex_buffer.get_id());
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, object->index_buffer.get_id());
    const auto at = [](size_t offset) { return reinterpret_cast<const void*>(offset); };
    const bool has_vertices = object->vertex_bytes > 0, has_normals = object->normal_bytes > 0,
               has_tangents = object->tangent_bytes > 0, has_texcoords = object->texcoord_bytes > 0;
    if (has_vertices) {
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(mesh.vertices_stride, GL_FLOAT, 0, at(0));
    }
    if (has_normals) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, 0, at(object->vertex_bytes));
    }
    if (has_tangents) {
        // Tightly packed elements of the mesh's tangent width; three components is the usual.
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, std::clamp(mesh.tangents_stride, 1, 4), GL_FLOAT, GL_TRUE, 0,
                              at(object->vertex_bytes + object->normal_bytes));
    }
    if (has_texcoords) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(mesh.texcoords_stride, GL_FLOAT, 0,
                          at(object->vertex_bytes + object->normal_bytes + object->tangent_bytes));
    }
    const int64_t count = static_cast<int64_t>(object->index_stream.size());
    const int64_t start = std::max(object->skipped_indices_start, 0);
    const int64_t end = std::max(object->skipped_indices_end, 0);
    if (has_vertices && start + end < count)
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(count - end - start), GL_UNSIGNED_INT, at(0));
    if (has_vertices) glDisableClientState(GL_VERTEX_ARRAY);
    if (has_normals) glDisableClientState(GL_NORMAL_ARRAY);
    if (has_tangents) glDisableVertexAttribArray(1);
    if (has_texcoords) glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    if (texture) Texture::unbind(unit);
    glPopMatrix();
}

namespace {

// The walk every pass makes over a subtree: `visit(node, world matrix, flipped)` for each node
// whose parent shows its subtree, children before their parent. The transforms are composed
// here rather than on GL's modelview stack, which holds only 32 matrices: a deep skeleton would
// overflow it.
template <typename Visit>
void walk_subtree(Objects3D* scene, Node* node, const Mat4& parent, bool flipped, Visit& visit) {
    const Mat4 here = parent * node->local_matrix;
    flipped = flipped != node->flip_winding;
    if (node->show_subtree) {
        for (int32_t child : node->children)
            if (indexes(child, scene->nodes.size()) && child != node->this_index)
                walk_subtree(scene, scene->nodes[static_cast<size_t>(child)].get(), here, flipped, visit);
    }
    visit(*node, here, flipped);
}

void render_subtree(Objects3D* scene, Node* node, const Mat4& parent, bool flipped, int mode, int light) {
    auto draw = [&](const Node& at, const Mat4& here, bool flip) {
        glFrontFace(flip ? GL_CW : GL_CCW);
        if (!at.show_objects || !at.show_subtree) return;
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(here.data());
        for (int32_t index : at.objects) {
            if (!indexes(index, scene->geom_objects.size())) continue;
            const GeomObject& object = *scene->geom_objects[static_cast<size_t>(index)];
            use_object_program(scene, object.textured, false, mode, light);
            const Material& material = material_of(*scene, object);
            // Transparent objects cast no shadow.
            if (mode == DRAW_SHADOW_DEPTH && material.is_transparent()) continue;
            glDepthMask(material.is_transparent() ? GL_FALSE : GL_TRUE);
            draw_object(scene, index, mode);
            glDepthMask(GL_TRUE);
        }
    };
    walk_subtree(scene, node, parent, flipped, draw);
}

template <typename T>
void append_bytes(std::vector<uint8_t>& out, const T& value) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&value);
    out.insert(out.end(), bytes, bytes + sizeof(T));
}

// Appends what a depth pass of the subtree draws: every object that casts a shadow, where and
// how. False when an object's buffers are still to be made or uploaded: what they will hold
// cannot be told from here.
bool describe_casters(Objects3D* scene, Node* node, std::vector<uint8_t>& out) {
    bool known = true;
    auto describe = [&](const Node& at, const Mat4& here, bool flip) {
        if (!at.show_objects || !at.show_subtree) return;
        for (int32_t index : at.objects) {
            if (!indexes(index, scene->geom_objects.size())) continue;
            const GeomObject* object = scene->geom_objects[static_cast<size_t>(index)].get();
            if (!object || !object->visible || material_of(*scene, *object).is_transparent()) continue;
            if (object->vertex_dirty || object->index_dirty || !object->vertex_buffer.get_id()) known = false;
            append_bytes(out, object);
            append_bytes(out, object->upload_count);
            append_bytes(out, here);
            append_bytes(out, object->object_matrix);
            append_bytes(out, flip);
            append_bytes(out, object->skipped_indices_start);
            append_bytes(out, object->skipped_indices_end);
        }
    };
    walk_subtree(scene, node, Mat4(), node->flip_winding, describe);
    return known;
}

}  // namespace

void render_node(Objects3D* scene, Node* node, bool flipped, int mode, int light) {
    if (!node) return;
    glMatrixMode(GL_MODELVIEW);
    Mat4 outer;
    glGetFloatv(GL_MODELVIEW_MATRIX, outer.m);
    render_subtree(scene, node, outer, flipped, mode, light);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(outer.data());
}

//-----------------------------------------------------------------------------
// [SECTION] The passes of a frame
//-----------------------------------------------------------------------------

void Objects3D::draw_pass(int mode, int light) {
    render_node(this, master_node, master_node->flip_winding, mode, light);
    for (Objects3D* child : attached)
        if (child && child->master_node)
            render_node(child, child->master_node, child->master_node->flip_winding, mode, light);
    for (Mirror* mirror : mirrors)
        if (mirror) mirror->draw(*this, mode, light);
}

bool Objects3D::shadow_cube_current(Light& light) {
    std::vector<uint8_t>& now = shadow_description;
    now.clear();
    append_bytes(now, light.shadow_cube.get());
    append_bytes(now, light.shadow_map_size);
    append_bytes(now, light.get_view());
    append_bytes(now, light.get_projection());
    append_bytes(now, cull_in_shadow_pass);
    append_bytes(now, shaders[OBJ_SHADER_SHADOW_DEPTHWRITE]);
    // A mirror's depth is not described; a scene with mirrors draws the cube every time.
    bool known = mirrors.empty() && describe_casters(this, master_node, now);
    for (Objects3D* child : attached)
        if (child && child->master_node) known = describe_casters(child, child->master_node, now) && known;
    if (known && now == light.shadow_drawn_from) return true;
    if (known) light.shadow_drawn_from.swap(now);
    else light.shadow_drawn_from.clear();
    return false;
}

void Objects3D::glow_pass() {
    if (!glow_fbo) glow_fbo = std::make_unique<Fbo>(512, 512, FboType::Rgba8);
    glow_fbo->bind(true);
    draw_pass(DRAW_GLOW, 0);
    glow_fbo->unbind();
}

void Objects3D::render_mirrors(bool shadows) {
    check_current_camera(*this);
    Camera& current = *cameras[static_cast<size_t>(cur_cam)];
    const Camera remembered = current;
    // Cleared however the pass ends, a fatal report raised as an exception included.
    struct PassGuard {
        bool& active;
        explicit PassGuard(bool& flag) : active(flag) { active = true; }
        ~PassGuard() { active = false; }
    } pass(mirror_pass_active);
    for (Mirror* mirror : mirrors) {
        if (!mirror) continue;
        // Every mirror follows the viewer, not the mirror rendered before it.
        current = remembered;
        mirror->follow(current);
        current = mirror->camera;
        mirror->begin();
        render(shadows);
        mirror->end();
    }
    current = remembered;
}

void Objects3D::render(bool shadows) {
    if (!master_node) return;
    if (!mirrors.empty() && !mirror_pass_active) render_mirrors(shadows);

    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    if (shadows) {
        glDepthFunc(GL_LEQUAL);
        if (cameras.empty()) ZV_FATAL("No camera defined! Needed for shadows");
        check_current_camera(*this);
        cameras[static_cast<size_t>(cur_cam)]->apply_projection(width, height, aspect, 1.0f);
        glDisable(GL_CULL_FACE);

        draw_pass(DRAW_SHADOW_AMBIENT, 0);
        if (glow_enabled) glow_pass();

        for (size_t i = 0; i < lights.size(); ++i) {
            Light& light = *lights[i];
            if (light.get_type() == Light::AMBIENT) continue;
            light.set_shadow(true);
            // The lighting programs light with GL light 0 alone.
            for (int l = 0; l < GL_LIGHT_COUNT; ++l) glDisable(GL_LIGHT0 + static_cast<GLenum>(l));
            light.apply(0);
            if (cull_in_shadow_pass) {
                glEnable(GL_CULL_FACE);
                glCullFace(GL_FRONT);
            } else {
                glDisable(GL_CULL_FACE);
            }
            if (!shadow_cube_current(light)) {
                for (int face = 0; face < 6; ++face) {
                    light.begin_shadow_face(face);
                    draw_pass(DRAW_SHADOW_DEPTH, static_cast<int>(i));
                    light.end_shadow_face();
                    ++shadow_faces_drawn;
                }
            }
            glEnable(GL_BLEND);
            glBlendFunc(GL_ONE, GL_ONE);
            glActiveTexture(GL_TEXTURE0);
            light.bind_shadow_cube();
            if (cull_in_shadow_pass) {
                glEnable(GL_CULL_FACE);
                glCullFace(GL_BACK);
            }
            draw_pass(DRAW_SHADOW_LIGHTING, static_cast<int>(i));
            glActiveTexture(GL_TEXTURE0);
            glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
            glDisable(GL_TEXTURE_CUBE_MAP);
            glDisable(GL_BLEND);
        }
    } else {
        if (apply_camera && indexes(cur_cam, cameras.size()) && width >= 1 && height >= 1)
            cameras[static_cast<size_t>(cur_cam)]->apply_projection(width, height, aspect, 1.0f);
        if (glow_enabled) glow_pass();
        glPushMatrix();
        for (int l = 0; l < GL_LIGHT_COUNT; ++l) glDisable(GL_LIGHT0 + static_cast<GLenum>(l));
        apply_lights(lights);
        glPopMatrix();
        draw_pass(DRAW_NORMAL, 0);
    }
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();

    ShaderProgram* composite = master->shaders[OBJ_SHADER_GLOW_COMPOSITE];
    if (glow_enabled && glow_fbo && composite) {
        // The enable group too: drawing the target switches depth testing and lighting off.
        glPushAttrib(GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
        composite->bind();
        glow_fbo->draw();
        ShaderProgram::unbind_all();
        glPopAttrib();
    }
    ShaderProgram::unbind_all();
}

//-----------------------------------------------------------------------------
// [SECTION] Debug views
//-----------------------------------------------------------------------------

void Objects3D::apply_debug_camera() {
    Objects3D* scene = master;
    const auto& cameras = scene->cameras;
    const int width = scene->width, height = scene->height;
    ZV_ASSERT(cameras.size() > 0);
    ZV_ASSERT(width > 0);
    ZV_ASSERT(height > 0);
    const size_t index = indexes(scene->cur_cam, cameras.size()) ? static_cast<size_t>(scene->cur_cam) : 0;
    cameras[index]->apply_projection(width, height, scene->aspect, 1.0f);
}

namespace {

void push_both_matrices() {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
}

void pop_both_matrices() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

// The faces of a box centred at the origin with half extents h, as quads.
void box_quads(const Vec3& h) {
    static const int faces[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    glBegin(GL_QUADS);
    for (const auto& face : faces)
        for (int corner : face)
            glVertex3f(corner & 1 ? h.x : -h.x, corner & 2 ? h.y : -h.y, corner & 4 ? h.z : -h.z);
    glEnd();
}

}  // namespace

void Objects3D::draw_bounding_box() {
    push_both_matrices();
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT | GL_CURRENT_BIT);
    apply_debug_camera();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_CUBE_MAP);
    ShaderProgram::unbind_all();
    Vec3 min, max;
    bounding_box(nullptr, min, max, true);
    Vec3 middle;
    middle.lerp(min, max, 0.5f);
    Vec3 half;
    for (int c = 0; c < 3; ++c) half[c] = std::abs(max[c] - min[c]) / 2;
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(middle.x, middle.y, middle.z);
    glColor4f(0, 0.5f, 1, 0.3f);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    box_quads(half);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    box_quads(half);
    glPopAttrib();
    pop_both_matrices();
}

void Objects3D::draw_lights(float radius) {
    if (radius < 0) radius = 0.02f * size(nullptr);
    push_both_matrices();
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT);
    apply_debug_camera();
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_CUBE_MAP);
    ShaderProgram::unbind_all();
    GLUquadric* sphere = gluNewQuadric();
    for (const auto& light : master->lights) {
        if (light->get_type() == Light::AMBIENT) continue;
        const Vec4& p = light->get_position();
        const Vec4& colour = light->get_diffuse();
        glColor4f(colour.x, colour.y, colour.z, colour.w);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glTranslatef(p.x, p.y, p.z);
        gluSphere(sphere, radius, 10, 10);
        glPopMatrix();
    }
    gluDeleteQuadric(sphere);
    glPopAttrib();
    pop_both_matrices();
}
