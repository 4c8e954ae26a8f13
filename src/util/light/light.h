// An OpenGL light with its colours and attenuation, and an optional shadow: a depth cube map
// around the light, rendered one face at a time into its own framebuffer.
// The light owns its cube and framebuffer: they go with it, and a move hands them on.
// Depends on: util/math, util/fbo (SavedDrawTarget), util/gl (the names' owner), GLEW.
#pragma once

#include <GL/glew.h>

#include <cstdint>
#include <string>
#include <vector>

#include "util/fbo/fbo.h"
#include "util/gl/gl_name.h"
#include "util/math/math.h"

class Light {
public:
    enum Type { POINT = 1, DIRECTIONAL = 2, AMBIENT = 3 };

    Light();
    Light(Light&&) noexcept = default;
    Light& operator=(Light&&) noexcept = default;

    void set_name(const std::string& new_name);
    void set_position(float x, float y, float z, float w = 1.0f);
    const Vec4& get_position() const { return position; }
    // Near 0.001 and far 2 times the size; a square 90-degree projection, one cube face each.
    void set_range(float size);
    // Constant 1 and a linear fall-off scaled by the distance from the light to p.
    void attenuation_from_point(const Vec3& p);

    void set_ambient(const Vec4& c) { ambient = c; }
    void set_diffuse(const Vec4& c) { diffuse = c; }
    void set_specular(const Vec4& c) { specular = c; }
    void set_spot_direction(const Vec3& d) { spot_direction = d; }
    void set_attenuation(float c, float l, float q) { constant_attenuation = c, linear_attenuation = l, quadratic_attenuation = q; }
    void set_spot(float cutoff, float exponent) { spot_cutoff = cutoff, spot_exponent = exponent; }
    void set_type(int t) { type = t; }
    const Vec4& get_ambient() const { return ambient; }
    const Vec4& get_diffuse() const { return diffuse; }
    const Vec4& get_specular() const { return specular; }
    int get_type() const { return type; }
    const Mat4& get_view() const { return view; }
    const Mat4& get_projection() const { return projection; }
    const Mat4& get_face_matrix(int i) const { return face_matrices[i]; }
    float get_near() const { return near; }
    float get_far() const { return far; }

    // Sets GL light `index` from the fields; an ambient light only sets the global ambient colour.
    void apply(int index) const;

    void set_shadow(bool on);
    bool has_shadow() const { return shadow; }
    void create_shadow_cube();
    void resize(int width, int height);
    // Redirects drawing into one face of the shadow cube with the light's projection and view.
    void begin_shadow_face(int i);
    // Puts back what begin_shadow_face changed, except the cull-face mode.
    void end_shadow_face();
    void bind_shadow_cube() const;

    std::string name;
    Vec4 position{0, 0, 0, 1};
    Mat4 view;
    Mat4 face_matrices[6];
    Mat4 projection;
    Vec3 spot_direction;
    Vec4 ambient{0.002f, 0.002f, 0.002f, 1}, diffuse{1, 1, 1, 1}, specular{1, 1, 1, 1};
    float constant_attenuation = 1, linear_attenuation = 0, quadratic_attenuation = 0;
    float spot_cutoff = 180, spot_exponent = 0;
    int type = POINT;
    bool shadow = false;
    float near = 0, far = 0;
    int shadow_map_size = 1024;
    GlTexture shadow_cube;
    GlFramebuffer shadow_framebuffer;
    // What the cube's depth was last drawn from, as the scene that draws it describes the light
    // and its casters; empty while the cube holds nothing to reuse.
    std::vector<uint8_t> shadow_drawn_from;
    int last_width = 0, last_height = 0;

private:
    SavedDrawTarget saved;
    bool face_active = false;
};

// The six views of a cube map from the origin, in the order and orientation of the GL faces
// (+x, -x, +y, -y, +z, -z).
void cube_face_matrices(Mat4 out[6]);
// Pushes both matrix stacks and loads the view of one cube face: the projection, and the face
// matrix times the view as modelview (left current). pop_cube_face_view puts both back.
void push_cube_face_view(const Mat4& projection, const Mat4& face, const Mat4& view);
void pop_cube_face_view();
