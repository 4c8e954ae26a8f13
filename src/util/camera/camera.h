// A camera for the fixed pipeline: a view matrix plus perspective (or orthographic) parameters,
// and the step that turns them into the GL viewport (letterboxed to the aspect) and projection.
// Depends on: util/math, GLU.
#pragma once

#include <string>
#include <vector>

#include "util/math/math.h"

class Camera {
public:
    void set_name(const std::string& new_name);
    // View = identity, then look_at.
    void set_view(const Vec3& new_eye, const Vec3& new_center, const Vec3& new_up);
    void set_near_far(float near, float far);
    void set_clip_from_size(float size);  // near 0.001 and far 10 times the size
    void rotate_z(float degrees);
    void rotate_y(float degrees);
    // The camera's own output size; when set it overrides what apply_projection is given.
    void set_output(int width, int height, float aspect);

    const Mat4& get_view() const { return view; }
    void set_view_matrix(const Mat4& m) { view = m; }
    Mat4 inverse_view() const { return view.inverse(); }
    Vec3 world_position() const { return inverse_view().transform_point(Vec3(0, 0, 0)); }
    float get_xfov() const { return xfov; }
    float get_yfov() const { return yfov; }
    void set_xfov(float degrees) { xfov = degrees; }
    void set_yfov(float degrees) { yfov = degrees; }
    // Half the width and height of an orthographic view, in scene units; either may be left
    // negative (derived from the other and the aspect).
    void set_orthographic(float xmag, float ymag) { ortho = {xmag, ymag}; }
    bool is_orthographic() const { return ortho.size() == 2; }
    float get_znear() const { return znear; }
    float get_zfar() const { return zfar; }

    void load_view() const;
    // Viewport and projection for an output of width by height with the given aspect; the
    // picture keeps the aspect and is centred vertically. A missing yfov is derived and stored.
    void apply_projection(int width, int height, float aspect, float depth_scale);

    std::string name;
    Vec3 eye{0, 10, -150}, center{0, 0, 0}, up{0, 0, -1};
    Mat4 view;
    float xfov = -1, yfov = -1;  // degrees; negative: not given
    // Empty for a perspective camera; else xmag and ymag. A list so that stored scenes from
    // before orthographic cameras, which have no such entry, read as perspective.
    std::vector<float> ortho;
    float znear = 1.0f, zfar = 1000.0f;
    int render_width = -1, render_height = -1;
    float render_aspect = -1;
};
