#include "util/fbo/fbo.h"

#include <new>
#include <utility>

#include "platform/fatal.h"

namespace {

// Restores the framebuffer that was bound before, on every exit, not framebuffer 0: scenes
// resize their targets while the director's target is bound, and binding 0 there would send
// the rest of the frame to the window.
class KeepFramebufferBinding {
public:
    KeepFramebufferBinding() { glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &previous); }
    ~KeepFramebufferBinding() { glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, static_cast<GLuint>(previous)); }

private:
    GLint previous = 0;
};

}  // namespace

Fbo::Fbo(int width, int height, FboType type) : width(width), height(height) {
    glGetIntegerv(GL_MAX_DRAW_BUFFERS, &max_draw_buffers);
    if (max_draw_buffers < 3)
        ZV_FATAL("GL_MAX_DRAW_BUFFERS is %d, which just ain't gonna cut it. You must have 3 for this ride.",
                 max_draw_buffers);
    KeepFramebufferBinding keep;
    glGenFramebuffersEXT(1, framebuffer.put());
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
    switch (type) {
        case FboType::Rgba8:
            add_depth_buffer();
            add_color_attachment(GL_RGBA8, true);
            break;
        case FboType::ThreeRgba32f:
            add_depth_buffer();
            for (int i = 0; i < 3; ++i) add_color_attachment(GL_RGBA32F_ARB, true);
            break;
        case FboType::Rgba32f:
            add_depth_buffer();
            add_color_attachment(GL_RGBA32F_ARB, true);
            break;
        case FboType::Rgba8DepthTexture:
            add_depth_texture();
            add_color_attachment(GL_RGBA8, true);
            break;
        case FboType::Rgba8NoMipmaps:
            add_depth_buffer();
            add_color_attachment(GL_RGBA8, false);
            break;
        default:
            ZV_FATAL("Unrecognized FBO type");
    }
    check_complete();
    fbo_pushed = -1;
}

// Deleting a bound framebuffer would fall back to the window, not to what was bound before this
// one, so a target that goes while bound first puts back what it saved. The textures are
// members and go after the framebuffer that still has them attached.
Fbo::~Fbo() {
    if (framebuffer && fbo_pushed >= 0) saved.restore();
    framebuffer.reset();
    depth_buffer.reset();
}

// The target taken over replaces this one the way a destructor would end it, so one that is
// bound gives back what was bound before it, as it does when it goes.
Fbo& Fbo::operator=(Fbo&& other) noexcept {
    if (this != &other) {
        this->~Fbo();
        new (this) Fbo(std::move(other));
    }
    return *this;
}

void Fbo::add_depth_buffer() {
    if (depth_buffer) ZV_FATAL("Depth buffer already present!");
    glGenRenderbuffersEXT(1, depth_buffer.put());
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, depth_buffer);
    if (samples < 1)
        glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT, width, height);
    else
        glRenderbufferStorageMultisampleEXT(GL_RENDERBUFFER_EXT, samples, GL_DEPTH_COMPONENT, width, height);
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, depth_buffer);
}

void Fbo::add_depth_texture() {
    if (depth_texture) ZV_FATAL("Trying to add depth texture to an FBO that already has one!");
    depth_texture = std::make_unique<Texture>();
    bool created = samples >= 1
                       ? depth_texture->create_empty_multisample(width, height, false, false, GL_DEPTH_COMPONENT24, samples)
                       : depth_texture->create_empty(width, height, false, false, GL_DEPTH_COMPONENT24);
    if (!created)
        ZV_FATAL("Failed to create %dx%d texture for FBO %u depth attachment", width, height, framebuffer.get());
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, texture_target(), depth_texture->get_id(), 0);
}

void Fbo::add_color_attachment(GLint internal_format, bool mipmaps) {
    int index = static_cast<int>(color_textures.size());
    if (index >= max_draw_buffers)
        ZV_FATAL("Tried to add more than %d color attachments, and GL_MAX_DRAW_BUFFERS is %d", index, max_draw_buffers);
    auto texture = std::make_unique<Texture>();
    bool created = samples >= 1
                       ? texture->create_empty_multisample(width, height, mipmaps, false, internal_format, samples)
                       : texture->create_empty(width, height, mipmaps, false, internal_format);
    if (!created)
        ZV_FATAL("Failed to create %dx%d texture for FBO %u color attachment %d", width, height, framebuffer.get(),
                 index);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT + static_cast<GLenum>(index), texture_target(),
                              texture->get_id(), 0);
    color_textures.push_back(std::move(texture));
}

void SavedDrawTarget::save() {
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &framebuffer);
    glGetIntegerv(GL_DRAW_BUFFER, &draw_buffer);
    glGetIntegerv(GL_READ_BUFFER, &read_buffer);
    glGetIntegerv(GL_VIEWPORT, viewport);
}

void SavedDrawTarget::restore() const {
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, static_cast<GLuint>(framebuffer));
    glDrawBuffer(static_cast<GLenum>(draw_buffer));
    glReadBuffer(static_cast<GLenum>(read_buffer));
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
}

void Fbo::bind(bool clear) {
    ZV_ASSERT(fbo_pushed < 0);
    saved.save();
    fbo_pushed = saved.framebuffer;
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
    if (color_textures.size() > 3) ZV_FATAL("Can only draw to 3 buffers at a time here");
    GLenum buffers[3] = {GL_COLOR_ATTACHMENT0_EXT, GL_COLOR_ATTACHMENT1_EXT, GL_COLOR_ATTACHMENT2_EXT};
    glDrawBuffers(static_cast<GLsizei>(color_textures.size()), buffers);
    glViewport(0, 0, width, height);
    if (clear) {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    }
}

void Fbo::unbind() {
    saved.restore();
    fbo_pushed = -1;
    generate_mipmaps();
}

// Only for textures made with mipmaps: the others sample their first level alone, and a chain
// built for them costs a third more memory and a filtering pass on every unbind.
void Fbo::generate_mipmaps() {
    for (auto& texture : color_textures) {
        if (!texture->mipmaps) continue;
        texture->bind(0);
        glGenerateMipmapEXT(GL_TEXTURE_2D);
    }
    glActiveTexture(GL_TEXTURE0);
}

void Fbo::bind_color_texture(int number, int unit) {
    if (number < 0 || number >= static_cast<int>(color_textures.size())) ZV_FATAL("Invalid texture number");
    color_textures[static_cast<size_t>(number)]->bind(unit);
}

void Fbo::draw() {
    if (!color_textures.empty()) color_textures[0]->draw(0, 0, 1, 1);
}

void Fbo::release_depth_buffer() {
    if (!depth_buffer) return;
    // A renderbuffer deleted while attached to a framebuffer that is not bound keeps its storage.
    KeepFramebufferBinding keep;
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, 0);
    depth_buffer.reset();
}

void Fbo::resize(int new_width, int new_height) {
    if (!GLEW_ARB_texture_non_power_of_two) {
        int p = 2;
        while (p < new_width) p *= 2;
        new_width = new_height = p / 2;
    }
    if (new_width == width && new_height == height) return;
    KeepFramebufferBinding keep;
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
    width = new_width;
    height = new_height;
    if (depth_buffer) {
        glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, 0);
        depth_buffer.reset();
        add_depth_buffer();
    }
    if (depth_texture) {
        glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, texture_target(), 0, 0);
        depth_texture->resize(width, height);
        glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, texture_target(), depth_texture->get_id(), 0);
    }
    for (size_t i = 0; i < color_textures.size(); ++i) {
        GLenum attachment = GL_COLOR_ATTACHMENT0_EXT + static_cast<GLenum>(i);
        glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, attachment, texture_target(), 0, 0);
        color_textures[i]->resize(width, height);
        glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, attachment, texture_target(), color_textures[i]->get_id(), 0);
    }
    check_complete();
}

void Fbo::check_complete() {
    GLenum status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
    switch (status) {
        case GL_FRAMEBUFFER_COMPLETE_EXT: return;
        case GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT_EXT: ZV_FATAL("FBO error: GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT_EXT");
        case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT_EXT:
            ZV_FATAL("FBO error: GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT_EXT");
        case GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT: ZV_FATAL("FBO error: GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT");
        case GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT: ZV_FATAL("FBO error: GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT");
        case GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER_EXT: ZV_FATAL("FBO error: GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER_EXT");
        case GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER_EXT: ZV_FATAL("FBO error: GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER_EXT");
        case GL_FRAMEBUFFER_UNSUPPORTED_EXT: ZV_FATAL("FBO error: GL_FRAMEBUFFER_UNSUPPORTED_EXT");
        case GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE: ZV_FATAL("FBO error: GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE");
        default: ZV_FATAL("FBO error: Unknown error %u", status);
    }
}
