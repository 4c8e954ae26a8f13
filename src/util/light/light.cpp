// Light: GL set-up and the shadow cube.
#include "util/light/light.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "platform/fatal.h"
#include "util/texture/texture.h"

void cube_face_matrices(Mat4 out[6]) {
    static const float directions[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    static const float ups[6][3] = {{0, -1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}, {0, -1, 0}, {0, -1, 0}};
    for (int i = 0; i < 6; ++i) {
        out[i].set_identity();
        out[i].look_at(0, 0, 0, directions[i][0], directions[i][1], directions[i][2], ups[i][0], ups[i][1], ups[i][2]);
    }
}

void push_cube_face_view(const Mat4& projection, const Mat4& face, const Mat4& view) {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadMatrixf(projection.data());
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadMatrixf(face.data());
    glMultMatrixf(view.data());
}

void pop_cube_face_view() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

Light::Light() {
    cube_face_matrices(face_matrices);
    set_range(10);
    attenuation_from_point(Vec3(10, 10, 10));
}

void Light::set_name(const std::string& new_name) {
    name = new_name;
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
}

void Light::set_position(float x, float y, float z, float w) {
    position.set(x, y, z, w);
    view.set_identity();
    view.translate(-x, -y, -z);
}

void Light::set_range(float size) {
    near = size * 0.001f;
    far = size * 2.0f;
    projection.set_identity();
    projection.perspective(90, 1, near, far);
}

void Light::attenuation_from_point(const Vec3& p) {
    const float d = (Vec3(position.x, position.y, position.z) - p).length();
    constant_attenuation = 1;
    // A light at the point itself gets no fall-off rather than an infinite one.
    linear_attenuation = d > 0 ? 1.0f / (d * 10.0f) : 0.0f;
    quadratic_attenuation = 0;
}

void Light::apply(int index) const {
    const GLenum light = GL_LIGHT0 + static_cast<GLenum>(index);
    switch (type) {
    case POINT:
    case DIRECTIONAL: {
        const float direction[4] = {spot_direction.x, spot_direction.y, spot_direction.z, 1};
        glLightfv(light, GL_AMBIENT, &ambient.x);
        glLightfv(light, GL_DIFFUSE, &diffuse.x);
        glLightfv(light, GL_SPECULAR, &specular.x);
        glLightfv(light, GL_POSITION, &position.x);
        glLightfv(light, GL_SPOT_DIRECTION, direction);
        glLightf(light, GL_SPOT_CUTOFF, spot_cutoff);
        glLightf(light, GL_SPOT_EXPONENT, spot_exponent);
        glLightf(light, GL_CONSTANT_ATTENUATION, constant_attenuation);
        glLightf(light, GL_LINEAR_ATTENUATION, linear_attenuation);
        glLightf(light, GL_QUADRATIC_ATTENUATION, quadratic_attenuation);
        glEnable(light);
        break;
    }
    case AMBIENT:
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, &ambient.x);
        break;
    default:
        ZV_FATAL("Unrecognized light type %d", type);
    }
}

void Light::set_shadow(bool on) {
    shadow = on;
    if (on) create_shadow_cube();
}

void Light::create_shadow_cube() {
    if (!shadow_cube) {
        shadow_drawn_from.clear();
        glGenTextures(1, shadow_cube.put());
        glBindTexture(GL_TEXTURE_CUBE_MAP, shadow_cube);
        glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_DEPTH_TEXTURE_MODE, GL_LUMINANCE);
        glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_R_TO_TEXTURE);
        glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_COMPARE_FUNC, GL_LEQUAL);
        allocate_clamped_cube_faces(GL_DEPTH_COMPONENT24, shadow_map_size, shadow_map_size, GL_DEPTH_COMPONENT,
                                    GL_FLOAT);
        glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    }
    if (!shadow_framebuffer) glGenFramebuffersEXT(1, shadow_framebuffer.put());
}

void Light::resize(int width, int height) {
    if ((width != last_width || height != last_height) && shadow_cube) {
        shadow_map_size = width;
        shadow_cube.reset();
        create_shadow_cube();
    }
    last_width = width;
    last_height = height;
}

void Light::begin_shadow_face(int i) {
    if (!shadow || i < 0 || i >= 6) return;
    face_active = true;
    saved.save();
    glPushAttrib(GL_VIEWPORT_BIT | GL_ACCUM_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_LIGHTING_BIT | GL_LINE_BIT);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, shadow_framebuffer);
    glDrawBuffer(GL_NONE);
    glReadBuffer(GL_NONE);
    glViewport(0, 0, shadow_map_size, shadow_map_size);
    glCullFace(GL_FRONT);
    glDisable(GL_LIGHTING);
    push_cube_face_view(projection, face_matrices[i], view);
    glEnable(GL_POLYGON_OFFSET_FILL);
    glEnable(GL_POLYGON_OFFSET_LINE);
    glEnable(GL_POLYGON_OFFSET_POINT);
    glPolygonOffset(1, 1);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT,
                              GL_TEXTURE_CUBE_MAP_POSITIVE_X + static_cast<GLenum>(i), shadow_cube, 0);
    // The depth group is restored by end_shadow_face, so this only matters for the face itself:
    // a face whose clear was masked off would keep the previous frame's shadows.
    glDepthMask(GL_TRUE);
    glClear(GL_DEPTH_BUFFER_BIT);
}

void Light::end_shadow_face() {
    // Only a face that was begun has state to put back; popping after a refused face index
    // would underflow the matrix stacks.
    if (!shadow || !face_active) return;
    face_active = false;
    glDisable(GL_POLYGON_OFFSET_FILL);
    glDisable(GL_POLYGON_OFFSET_LINE);
    glDisable(GL_POLYGON_OFFSET_POINT);
    saved.restore();
    glPopAttrib();
    pop_cube_face_view();
}

void Light::bind_shadow_cube() const {
    glEnable(GL_TEXTURE_CUBE_MAP);
    glBindTexture(GL_TEXTURE_CUBE_MAP, shadow_cube);
}
