#include "util/shaderprogram/shaderprogram.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "platform/fatal.h"
#include "platform/ui.h"
#include "util/data/data.h"

namespace {

// The programs made from files, for live reload.
std::vector<ShaderProgram*>& registry() {
    static std::vector<ShaderProgram*> programs;
    return programs;
}

// The source under its own name, else under the common shader folder; null when neither.
// `path` says which.
char* load_source(const std::string& name, std::string& path) {
    path = name;
    if (char* source = load_file(name.c_str(), "rt", nullptr, true)) return source;
    path = std::string(ShaderProgram::COMMON_DIRECTORY) + name;
    return load_file(path.c_str(), "rt", nullptr, true);
}

struct FreeSource {
    void operator()(char* source) const { free(source); }
};
using Source = std::unique_ptr<char, FreeSource>;

std::string info_log(GLhandleARB object) {
    GLint length = 0;
    glGetObjectParameterivARB(object, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
    std::vector<char> log(static_cast<size_t>(length > 0 ? length : 1), '\0');
    glGetInfoLogARB(object, static_cast<GLsizei>(log.size()), nullptr, log.data());
    return std::string(log.data());
}

// Drivers number a shader's source strings: "0:12(5): error" (Mesa) or "0(12) : error". With
// the one string's number replaced by its file, a line reads as the place to look.
std::string log_naming_file(const std::string& log, const std::string& file) {
    std::string out;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(start, end - start);
        if (line.size() > 1 && line[0] == '0' && (line[1] == ':' || line[1] == '(')) line = file + line.substr(1);
        if (!line.empty()) out += line + "\n";
        start = end + 1;
    }
    return out;
}

// On failure `reload_error` (when given) takes the log instead of a message box.
bool compile(GLhandleARB object, const char* kind, const std::string& file, std::string* reload_error) {
    glCompileShaderARB(object);
    std::string log = info_log(object);  // read on success too, and dropped
    GLint status = 0;
    glGetObjectParameterivARB(object, GL_OBJECT_COMPILE_STATUS_ARB, &status);
    if (status == 1) return true;
    if (reload_error) {
        *reload_error = std::string(kind) + " shader compilation failed: " + file + "\n" + log_naming_file(log, file);
        return false;
    }
    std::string caption = std::string(kind) + " shader compilation failed: " + file;
    std::string text = std::string("--- ") + kind + " shader compile failed, log:\n " + log;
    message_box(caption.c_str(), text.c_str(), MessageBoxButtons::Ok, MessageBoxIcon::None);
    return false;
}

// A linked program's objects: what compile_and_link makes and a successful reload swaps in.
struct Linked {
    GlObject vertex_shader, fragment_shader, program;
};

bool link(const char* vertex_source, const char* fragment_source, const std::string& vertex_file,
          const std::string& fragment_file, Linked& out, std::string* reload_error) {
    out.vertex_shader.reset(glCreateShaderObjectARB(GL_VERTEX_SHADER_ARB));
    out.fragment_shader.reset(glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB));
    glShaderSourceARB(out.vertex_shader, 1, &vertex_source, nullptr);
    glShaderSourceARB(out.fragment_shader, 1, &fragment_source, nullptr);
    if (!compile(out.vertex_shader, "Vertex", vertex_file, reload_error)) return false;
    if (!compile(out.fragment_shader, "Fragment", fragment_file, reload_error)) return false;
    out.program.reset(glCreateProgramObjectARB());
    glAttachObjectARB(out.program, out.vertex_shader);
    glAttachObjectARB(out.program, out.fragment_shader);
    // Attribute locations count only when bound before the link: the scene-graph draw code
    // feeds tangents on location 1.
    if (strstr(vertex_source, "tangent")) glBindAttribLocationARB(out.program, 1, "tangent");
    glLinkProgramARB(out.program);
    std::string log = info_log(out.program);
    GLint status = 0;
    glGetObjectParameterivARB(out.program, GL_OBJECT_LINK_STATUS_ARB, &status);
    if (status != 1) {
        if (reload_error) {
            *reload_error = "Shader linking failed: " + vertex_file + " and " + fragment_file + "\n" + log;
            return false;
        }
        std::string text = "--- Shader linking failed, log:\n " + log;
        message_box("Shader linking failed", text.c_str(), MessageBoxButtons::Ok, MessageBoxIcon::None);
        return false;
    }
    glValidateProgramARB(out.program);  // a program that links is accepted
    // The linked program holds all it runs; the shader objects would keep their own compiled
    // code in the driver for the whole run, several megabytes for the full table.
    glDetachObjectARB(out.program, out.vertex_shader);
    glDetachObjectARB(out.program, out.fragment_shader);
    out.vertex_shader.reset();
    out.fragment_shader.reset();
    return true;
}

// The values the old program's uniforms hold, set on the new one under the same names: the
// samplers' units and whatever a scene set once at load. A uniform the new program lacks, or
// has with another type, is left at its default.
void copy_uniforms(GLhandleARB from, GLhandleARB to) {
    GLint count = 0, longest = 0;
    glGetObjectParameterivARB(from, GL_OBJECT_ACTIVE_UNIFORMS_ARB, &count);
    glGetObjectParameterivARB(from, GL_OBJECT_ACTIVE_UNIFORM_MAX_LENGTH_ARB, &longest);
    glUseProgramObjectARB(to);
    std::vector<char> name(static_cast<size_t>(std::max(longest, 1)) + 16, '\0');
    for (GLint i = 0; i < count; ++i) {
        GLint size = 0;
        GLenum type = 0;
        glGetActiveUniformARB(from, static_cast<GLuint>(i), static_cast<GLsizei>(name.size()), nullptr, &size, &type,
                              name.data());
        std::string base = name.data();
        if (base.compare(0, 3, "gl_") == 0) continue;
        const size_t bracket = base.find('[');
        if (bracket != std::string::npos) base.resize(bracket);
        for (GLint element = 0; element < size; ++element) {
            const std::string element_name = size > 1 ? base + "[" + std::to_string(element) + "]" : base;
            const GLint source = glGetUniformLocationARB(from, element_name.c_str());
            const GLint target = glGetUniformLocationARB(to, element_name.c_str());
            if (source < 0 || target < 0) continue;
            GLfloat f[16] = {};
            GLint n[4] = {};
            switch (type) {
                case GL_FLOAT: glGetUniformfvARB(from, source, f); glUniform1fvARB(target, 1, f); break;
                case GL_FLOAT_VEC2: glGetUniformfvARB(from, source, f); glUniform2fvARB(target, 1, f); break;
                case GL_FLOAT_VEC3: glGetUniformfvARB(from, source, f); glUniform3fvARB(target, 1, f); break;
                case GL_FLOAT_VEC4: glGetUniformfvARB(from, source, f); glUniform4fvARB(target, 1, f); break;
                case GL_FLOAT_MAT2: glGetUniformfvARB(from, source, f); glUniformMatrix2fvARB(target, 1, GL_FALSE, f); break;
                case GL_FLOAT_MAT3: glGetUniformfvARB(from, source, f); glUniformMatrix3fvARB(target, 1, GL_FALSE, f); break;
                case GL_FLOAT_MAT4: glGetUniformfvARB(from, source, f); glUniformMatrix4fvARB(target, 1, GL_FALSE, f); break;
                case GL_INT_VEC2: case GL_BOOL_VEC2: glGetUniformivARB(from, source, n); glUniform2ivARB(target, 1, n); break;
                case GL_INT_VEC3: case GL_BOOL_VEC3: glGetUniformivARB(from, source, n); glUniform3ivARB(target, 1, n); break;
                case GL_INT_VEC4: case GL_BOOL_VEC4: glGetUniformivARB(from, source, n); glUniform4ivARB(target, 1, n); break;
                default:  // int, bool and the samplers
                    glGetUniformivARB(from, source, n);
                    glUniform1ivARB(target, 1, n);
                    break;
            }
        }
    }
    // Reloads come between frames, where nothing counts on a bound program.
    glUseProgramObjectARB(0);
}

// On failure `reload_error` (when given) takes the driver's report; without it the failure ends
// the process.
bool load_assembly_program(GLenum target, GlProgram& id, const char* source, const char* kind,
                           std::string* reload_error = nullptr) {
    glGenProgramsARB(1, id.put());
    glBindProgramARB(target, id);
    glProgramStringARB(target, GL_PROGRAM_FORMAT_ASCII_ARB, static_cast<GLsizei>(strlen(source)), source);
    GLint position = -1;
    glGetIntegerv(GL_PROGRAM_ERROR_POSITION_ARB, &position);
    if (position == -1) return true;
    const char* error = reinterpret_cast<const char*>(glGetString(GL_PROGRAM_ERROR_STRING_ARB));
    std::string text = std::string(kind) + " program error at position: " + std::to_string(position) + "\n" +
                       (error ? error : "") + "\n";
    if (reload_error) {
        *reload_error = text;
        return false;
    }
    message_box("Error", text.c_str(), MessageBoxButtons::Ok, MessageBoxIcon::None);
    ZV_FATAL_LOCATION();
}

}  // namespace

ShaderProgram::ShaderProgram(const char* vertex, const char* fragment) {
    if (!vertex || !fragment) return;
    vertex_file = vertex;
    fragment_file = fragment;
    if (!load()) ZV_FATAL("Shader compile and link failed!");
    remember();
}

ShaderProgram::~ShaderProgram() { forget(); }

ShaderProgram::ShaderProgram(ShaderProgram&& other) noexcept { *this = std::move(other); }

ShaderProgram& ShaderProgram::operator=(ShaderProgram&& other) noexcept {
    if (this == &other) return *this;
    forget();
    const bool watched = std::find(registry().begin(), registry().end(), &other) != registry().end();
    other.forget();
    vertex_file = std::exchange(other.vertex_file, std::string());
    fragment_file = std::exchange(other.fragment_file, std::string());
    vertex_path = std::exchange(other.vertex_path, std::string());
    fragment_path = std::exchange(other.fragment_path, std::string());
    vertex_shader = std::move(other.vertex_shader);
    fragment_shader = std::move(other.fragment_shader);
    program = std::move(other.program);
    vertex_program = std::move(other.vertex_program);
    fragment_program = std::move(other.fragment_program);
    kind = std::exchange(other.kind, 0);
    if (watched) remember();
    return *this;
}

void ShaderProgram::remember() { registry().push_back(this); }

void ShaderProgram::forget() {
    auto& programs = registry();
    programs.erase(std::remove(programs.begin(), programs.end(), this), programs.end());
}

std::vector<ShaderProgram*> ShaderProgram::programs_using(const std::string& path) {
    std::vector<ShaderProgram*> found;
    for (ShaderProgram* program : registry())
        if (program->vertex_path == path || program->fragment_path == path) found.push_back(program);
    return found;
}

bool ShaderProgram::load() {
    Source vertex_source(load_source(vertex_file, vertex_path));
    if (!vertex_source) ZV_FATAL("Can't read shader file %s", vertex_file.c_str());
    Source fragment_source(load_source(fragment_file, fragment_path));
    if (!fragment_source) ZV_FATAL("Can't read shader file %s", fragment_file.c_str());
    if (strncmp(vertex_source.get(), "!!ARB", 5) != 0) {
        kind = 0;
        return compile_and_link(vertex_source.get(), fragment_source.get());
    }
    if (strncmp(fragment_source.get(), "!!ARB", 5) != 0) ZV_FATAL_LOCATION();
    kind = 1;
    load_assembly(vertex_source.get(), fragment_source.get());
    return true;
}

bool ShaderProgram::reload(std::string& error) {
    std::string vertex_at, fragment_at;
    Source vertex_source(load_source(vertex_file, vertex_at));
    Source fragment_source(load_source(fragment_file, fragment_at));
    if (!vertex_source || !fragment_source) {
        error = "Can't read shader file " + (vertex_source ? fragment_file : vertex_file);
        return false;
    }
    const bool assembly = strncmp(vertex_source.get(), "!!ARB", 5) == 0;
    if (assembly != (kind == 1) || assembly != (strncmp(fragment_source.get(), "!!ARB", 5) == 0)) {
        error = vertex_at + " and " + fragment_at + " must both be GLSL, or both ARB assembly, as at load";
        return false;
    }
    if (assembly) {
        GlProgram vertex, fragment;
        if (!load_assembly_program(GL_VERTEX_PROGRAM_ARB, vertex, vertex_source.get(), "Vertex", &error) ||
            !load_assembly_program(GL_FRAGMENT_PROGRAM_ARB, fragment, fragment_source.get(), "Fragment", &error)) {
            error = vertex_at + " / " + fragment_at + ": " + error;
            return false;
        }
        vertex_program = std::move(vertex);
        fragment_program = std::move(fragment);
        return true;
    }
    Linked linked;
    if (!link(vertex_source.get(), fragment_source.get(), vertex_at, fragment_at, linked, &error)) return false;
    copy_uniforms(program, linked.program);
    program = std::move(linked.program);
    return true;
}

bool ShaderProgram::compile_and_link(const char* vertex_source, const char* fragment_source) {
    Linked linked;
    const bool ok = link(vertex_source, fragment_source, vertex_file, fragment_file, linked, nullptr);
    vertex_shader = std::move(linked.vertex_shader);
    fragment_shader = std::move(linked.fragment_shader);
    program = std::move(linked.program);
    return ok;
}

void ShaderProgram::load_assembly(const char* vertex_source, const char* fragment_source) {
    load_assembly_program(GL_VERTEX_PROGRAM_ARB, vertex_program, vertex_source, "Vertex");
    load_assembly_program(GL_FRAGMENT_PROGRAM_ARB, fragment_program, fragment_source, "Fragment");
}

void ShaderProgram::bind() const {
    if (kind == 0) {
        glUseProgramObjectARB(program);
    } else if (kind == 1) {
        glUseProgramObjectARB(0);
        glEnable(GL_FRAGMENT_PROGRAM_ARB);
        glBindProgramARB(GL_VERTEX_PROGRAM_ARB, vertex_program);
        glEnable(GL_VERTEX_PROGRAM_ARB);
        glBindProgramARB(GL_FRAGMENT_PROGRAM_ARB, fragment_program);
    } else {
        unbind_all();
    }
}

void ShaderProgram::unbind_all() {
    glDisable(GL_FRAGMENT_PROGRAM_ARB);
    glDisable(GL_VERTEX_PROGRAM_ARB);
    glUseProgramObjectARB(0);
}

void ShaderProgram::set_uniform_matrix4(const char* name, bool transpose, const float* values) const {
    glUniformMatrix4fvARB(glGetUniformLocationARB(program, name), 1, transpose ? GL_TRUE : GL_FALSE, values);
}
void ShaderProgram::set_uniform4(const char* name, const Vec4& v) const {
    const float values[4] = {v.x, v.y, v.z, v.w};
    glUniform4fvARB(glGetUniformLocationARB(program, name), 1, values);
}
void ShaderProgram::set_uniform3(const char* name, const Vec3& v) const {
    const float values[3] = {v.x, v.y, v.z};
    glUniform3fvARB(glGetUniformLocationARB(program, name), 1, values);
}
void ShaderProgram::set_uniform2(const char* name, float x, float y) const {
    glUniform2fARB(glGetUniformLocationARB(program, name), x, y);
}
void ShaderProgram::set_uniform1f(const char* name, float x) const {
    glUniform1fARB(glGetUniformLocationARB(program, name), x);
}
void ShaderProgram::set_uniform1i(const char* name, int i) const {
    glUniform1iARB(glGetUniformLocationARB(program, name), i);
}
void ShaderProgram::bind_attribute(const char* name, GLuint index) const {
    glBindAttribLocationARB(program, index, name);
}
