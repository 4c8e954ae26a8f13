// Camera: view set-up and the viewport/projection step.
#include "util/camera/camera.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <algorithm>
#include <cctype>

#include "platform/fatal.h"

void Camera::set_name(const std::string& new_name) {
    name = new_name;
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
}

void Camera::set_view(const Vec3& new_eye, const Vec3& new_center, const Vec3& new_up) {
    eye = new_eye;
    center = new_center;
    up = new_up;
    view.set_identity();
    view.look_at(eye.x, eye.y, eye.z, center.x, center.y, center.z, up.x, up.y, up.z);
}

void Camera::set_near_far(float near, float far) {
    znear = near;
    zfar = far;
}

void Camera::set_clip_from_size(float size) { set_near_far(size * 0.001f, size * 10.0f); }

void Camera::rotate_z(float degrees) { view.rotate(degrees, 0, 0, 1); }

void Camera::rotate_y(float degrees) { view.rotate(degrees, 0, 1, 0); }

void Camera::set_output(int width, int height, float aspect) {
    render_width = width;
    render_height = height;
    render_aspect = aspect;
}

void Camera::load_view() const {
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(view.data());
}

void Camera::apply_projection(int width, int height, float aspect, float depth_scale) {
    if (width < 0 || width > 10000 || height < 0 || height > 10000)
        ZV_FATAL("Sanity check failed on width/height %d/%d", width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (render_width >= 1 && render_height >= 1 && render_aspect > 0) {
        width = render_width;
        height = render_height;
        aspect = render_aspect;
    }
    if (height == 0) height = 1;
    // Without an aspect the output's own shape is the picture's; dividing by it would not be.
    if (!(aspect > 0)) aspect = static_cast<float>(width) / static_cast<float>(height);
    if (!(aspect > 0)) aspect = 1.0f;
    const int picture_height = static_cast<int>(static_cast<float>(width) / aspect);
    glViewport(0, (height - picture_height) / 2, width, picture_height);
    if (znear < 0 || zfar < 0) ZV_FATAL("Invalid znear/zfar of %f/%f", znear, zfar);
    if (is_orthographic()) {
        // The picture keeps the output's aspect, as a perspective one does: ymag rules when
        // given, as yfov does.
        const float half_height = ortho[1] > 0 ? ortho[1] : ortho[0] > 0 ? ortho[0] / aspect : 1.0f;
        const float half_width = half_height * aspect;
        glOrtho(-half_width, half_width, -half_height, half_height, znear * depth_scale, zfar * depth_scale);
    } else {
        if (yfov < 0) yfov = xfov < 0 ? 45.0f : xfov / aspect;
        gluPerspective(yfov, aspect, znear * depth_scale, zfar * depth_scale);
    }
    load_view();
}
