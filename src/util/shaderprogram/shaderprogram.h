// Shader programs: a vertex and a fragment program loaded by file name and compiled at
// construction, either OpenGL Shading Language (through the ARB shader objects) or ARB
// assembly (sources starting "!!ARB"). Short names resolve to "data/common/shaders/".
// Any load failure ends the process. A program owns its GL objects and deletes them when it
// goes; a move hands them on, leaving the source empty. Every program made from files can be
// built again from them while running (live reload), and a failed rebuild keeps the old one.
// Depends on: GLEW, util/gl (the objects' owner), util/data (load_file), util/math.
#pragma once

#include <GL/glew.h>

#include <string>
#include <vector>

#include "util/gl/gl_name.h"
#include "util/math/math.h"

class ShaderProgram {
public:
    static constexpr const char* COMMON_DIRECTORY = "data/common/shaders/";

    ShaderProgram() = default;  // empty: program object 0
    ShaderProgram(const char* vertex_file, const char* fragment_file);
    ~ShaderProgram();
    ShaderProgram(ShaderProgram&& other) noexcept;
    ShaderProgram& operator=(ShaderProgram&& other) noexcept;

    void bind() const;
    static void unbind_all();

    // Each looks the location up again; a uniform that is not active is a silent no-op.
    void set_uniform_matrix4(const char* name, bool transpose, const float* values) const;
    void set_uniform4(const char* name, const Vec4& v) const;
    void set_uniform3(const char* name, const Vec3& v) const;
    void set_uniform2(const char* name, float x, float y) const;
    void set_uniform1f(const char* name, float x) const;
    void set_uniform1i(const char* name, int i) const;
    void bind_attribute(const char* name, GLuint index) const;

    // ---- live reload ----
    // The programs built from `path` (a file name as the archive knows it), alive now.
    static std::vector<ShaderProgram*> programs_using(const std::string& path);
    // Compiles and links the files again. On success the new program takes this one's place
    // with every uniform's value carried over; on failure nothing changes and `error` holds
    // the driver's log, each line naming its file.
    bool reload(std::string& error);

    std::string vertex_file, fragment_file;
    std::string vertex_path, fragment_path;  // where the sources were found
    // A program still in use stays alive in GL until it is unbound, so a table that goes while
    // one of its programs is bound leaves the drawing intact. The shader objects are deleted
    // once the program has linked (0 from then on); a failed link keeps them.
    GlObject vertex_shader, fragment_shader, program;
    GlProgram vertex_program, fragment_program;  // ARB assembly
    int kind = 0;                                     // 0 GLSL, 1 ARB assembly

private:
    bool load();
    bool compile_and_link(const char* vertex_source, const char* fragment_source);
    void load_assembly(const char* vertex_source, const char* fragment_source);
    void remember();
    void forget();
};
