// ReflectionMap: the cube texture, its render target and the face passes.
#include "util/reflectionmap/reflectionmap.h"

#include "platform/fatal.h"
#include "util/light/light.h"

ReflectionMap::ReflectionMap(int w, int h) : width(w), height(h) {
    cube_face_matrices(face_matrices);
    projection.perspective(90, 1, 0.01f, 100);
    glGenTextures(1, cubemap.put());
    ZV_ASSERT(0 != cubemap);
    glEnable(GL_TEXTURE_CUBE_MAP);
    glBindTexture(GL_TEXTURE_CUBE_MAP, cubemap);
    allocate_clamped_cube_faces(GL_RGBA8, width, height, GL_RGBA, GL_UNSIGNED_BYTE);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    glDisable(GL_TEXTURE_CUBE_MAP);
    target = std::make_unique<Fbo>(width, height, FboType::Rgba8NoMipmaps);
}

void ReflectionMap::set_position(const Vec3& point) {
    view.set_identity();
    view.translate(-point.x, -point.y, -point.z);
}

namespace {

void check_face(int i) {
    if (!(i >= 0 && i < 6)) ZV_FATAL("Failed assert ( i >= 0 && i < 6 )");
}

}  // namespace

Mat4 ReflectionMap::face_matrix(int i) const {
    check_face(i);
    return face_matrices[i] * view;
}

void ReflectionMap::begin_face(int i) {
    check_face(i);
    saved.save();
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, target->framebuffer);
    const GLenum buffer = GL_COLOR_ATTACHMENT0_EXT;
    glDrawBuffers(1, &buffer);
    glViewport(0, 0, width, height);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT,
                              GL_TEXTURE_CUBE_MAP_POSITIVE_X + static_cast<GLenum>(i), cubemap, 0);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    push_cube_face_view(projection, face_matrices[i], view);
}

void ReflectionMap::end_face() {
    pop_cube_face_view();
    saved.restore();
}

void ReflectionMap::bind() const {
    glEnable(GL_TEXTURE_CUBE_MAP);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_CUBE_MAP, cubemap);
}

void ReflectionMap::unbind() {
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    glDisable(GL_TEXTURE_CUBE_MAP);
}
