// Framebuffer objects: an off-screen render target of one to three colour textures and a
// depth renderbuffer or depth texture, in one of five fixed configurations. Bindings nest:
// each target saves and restores what was bound before it. Every failure is fatal. A target owns
// its framebuffer, renderbuffer and textures and deletes them when it goes; moves hand them on.
// Depends on: GLEW (EXT framebuffer objects), util/gl (the names' owner), util/texture.
#pragma once

#include <GL/glew.h>

#include <memory>
#include <vector>

#include "util/gl/gl_name.h"
#include "util/texture/texture.h"

// The drawing destination a render target takes over while it is bound: framebuffer binding,
// draw and read buffer and viewport, saved so that they can be put back exactly.
struct SavedDrawTarget {
    GLint framebuffer = -1;
    GLint draw_buffer = 0, read_buffer = 0;
    GLint viewport[4] = {};

    void save();
    void restore() const;
};

// The fixed configurations; the values are the type numbers the targets have always had.
enum class FboType {
    Rgba8 = 1,                 // depth renderbuffer, one RGBA8 texture with mipmaps
    ThreeRgba32f = 2,          // depth renderbuffer, three RGBA32F textures with mipmaps
    Rgba32f = 3,               // depth renderbuffer, one RGBA32F texture with mipmaps
    Rgba8DepthTexture = 4,     // depth texture, one RGBA8 texture with mipmaps
    Rgba8NoMipmaps = 5,        // depth renderbuffer, one RGBA8 texture without mipmaps
};

class Fbo final {
public:
    Fbo(int width, int height, FboType type);
    ~Fbo();
    // The source is left owning nothing, so its destructor deletes nothing.
    Fbo(Fbo&&) noexcept = default;
    Fbo& operator=(Fbo&& other) noexcept;

    void add_depth_buffer();
    void add_depth_texture();
    void add_color_attachment(GLint internal_format, bool mipmaps = true);
    void bind(bool clear);
    void unbind();
    void generate_mipmaps();
    void bind_color_texture(int number, int unit);
    void draw();
    void resize(int width, int height);
    // For a target drawn once and only sampled afterwards: its depth renderbuffer, as large as
    // a colour texture in the driver's memory, goes. Drawing into it again tests no depth.
    void release_depth_buffer();

    int width = 0, height = 0;
    int samples = 0;
    GLint max_draw_buffers = 0;
    GlFramebuffer framebuffer;
    GlRenderbuffer depth_buffer;
    std::unique_ptr<Texture> depth_texture;
    std::vector<std::unique_ptr<Texture>> color_textures;
    GLint fbo_pushed = -1;  // the framebuffer bound before this one; -1 while not bound
    SavedDrawTarget saved;

private:
    GLenum texture_target() const { return samples >= 1 ? GL_TEXTURE_2D_MULTISAMPLE : GL_TEXTURE_2D; }
    void check_complete();
};
