// GL names: one owner type for every name the engine makes and keeps (textures, buffers,
// framebuffers, renderbuffers, shader and program objects, assembly programs). The owner deletes
// its name when it goes; a move hands the name on and leaves the source owning nothing, so
// exactly one owner deletes each name. It reads as the bare name wherever GL takes one.
// Depends on: GLEW.
#pragma once

#include <GL/glew.h>

#include <utility>

// The delete calls. Most GL entry points are function pointers that GLEW loads at start-up, so
// each is wrapped in a function of the engine's own that an owner type can name.
inline void delete_texture(GLuint name) { glDeleteTextures(1, &name); }
inline void delete_buffer(GLuint name) { glDeleteBuffers(1, &name); }
inline void delete_framebuffer(GLuint name) { glDeleteFramebuffersEXT(1, &name); }
inline void delete_renderbuffer(GLuint name) { glDeleteRenderbuffersEXT(1, &name); }
inline void delete_object(GLhandleARB name) { glDeleteObjectARB(name); }  // GLSL shaders and programs
inline void delete_program(GLuint name) { glDeleteProgramsARB(1, &name); }  // ARB assembly programs

template <class Name, void (*Delete)(Name)>
class GlName {
public:
    GlName() = default;
    explicit GlName(Name name) noexcept : name(name) {}
    ~GlName() { reset(); }
    GlName(const GlName&) = delete;
    GlName& operator=(const GlName&) = delete;
    GlName(GlName&& other) noexcept : name(other.release()) {}
    GlName& operator=(GlName&& other) noexcept {
        reset(other.release());
        return *this;
    }

    Name get() const noexcept { return name; }
    operator Name() const noexcept { return name; }

    // Deletes the name held (never name 0, so objects that made nothing never call GL, even
    // where GLEW has loaded no entry points) and takes the new one.
    void reset(Name replacement = 0) noexcept {
        const Name old = std::exchange(name, replacement);
        if (old && old != replacement) Delete(old);
    }
    // Hands the name to the caller, who then deletes it.
    Name release() noexcept { return std::exchange(name, Name{0}); }
    // Deletes the name held and gives the slot for a glGen* call to fill.
    Name* put() noexcept {
        reset();
        return &name;
    }

private:
    Name name = 0;
};

using GlTexture = GlName<GLuint, delete_texture>;
using GlFramebuffer = GlName<GLuint, delete_framebuffer>;
using GlRenderbuffer = GlName<GLuint, delete_renderbuffer>;
using GlObject = GlName<GLhandleARB, delete_object>;
using GlProgram = GlName<GLuint, delete_program>;

// One GL buffer name, made on first use.
class GlBuffer : public GlName<GLuint, delete_buffer> {
public:
    // Generates a name when there is none yet; false when GL gives none.
    bool create() {
        if (!get()) glGenBuffers(1, put());
        return get() != 0;
    }
    GLuint get_id() const { return get(); }
};
