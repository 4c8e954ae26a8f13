// A dynamic environment map: a colour cube map that a scene renders itself into, one face at a
// time, from a chosen point, and then binds while it draws reflective objects. The map owns its
// cube and target: they go with it, and a move hands them on.
// Depends on: util/math, util/fbo, util/gl (the cube's owner), util/light (cube_face_matrices), GLEW.
#pragma once

#include <GL/glew.h>

#include <memory>

#include "util/fbo/fbo.h"
#include "util/gl/gl_name.h"
#include "util/math/math.h"

class ReflectionMap {
public:
    ReflectionMap(int width, int height);
    ReflectionMap(ReflectionMap&&) noexcept = default;
    ReflectionMap& operator=(ReflectionMap&&) noexcept = default;

    void set_position(const Vec3& point);
    // The full modelview of face i: the face's orientation times the view.
    Mat4 face_matrix(int i) const;
    // Redirects drawing into face i with its projection and modelview; end_face undoes it all.
    void begin_face(int i);
    void end_face();
    void bind() const;
    static void unbind();

    int width, height;
    GlTexture cubemap;
    std::unique_ptr<Fbo> target;  // its framebuffer and depth buffer; the colour goes to a face
    Mat4 view;
    Mat4 face_matrices[6];
    Mat4 projection;

private:
    SavedDrawTarget saved;
};
