#include "util/shaderprogram/shaderprogram.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/fatal.h"
#include "platform/ui.h"
#include "util/data/data.h"

namespace {

// The source under its own name, else under the common shader folder; null when neither.
char* load_source(const std::string& name) {
    if (char* source = load_file(name.c_str(), "rt", nullptr, true)) return source;
    return load_file((std::string(ShaderProgram::COMMON_DIRECTORY) + name).c_str(), "rt", nullptr, true);
}

std::string info_log(GLhandleARB object) {
    GLint length = 0;
    glGetObjectParameterivARB(object, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
    std::vector<char> log(static_cast<size_t>(length > 0 ? length : 1), '\0');
    glGetInfoLogARB(object, static_cast<GLsizei>(log.size()), nullptr, log.data());
    return std::string(log.data());
}

bool compile(GLhandleARB object, const char* kind, const std::string& file) {
    glCompileShaderARB(object);
    std::string log = info_log(object);  // read on success too, and dropped
    GLint status = 0;
    glGetObjectParameterivARB(object, GL_OBJECT_COMPILE_STATUS_ARB, &status);
    if (status == 1) return true;
    std::string caption = std::string(kind) + " shader compilation failed: " + file;
    std::string text = std::string("--- ") + kind + " shader compile failed, log:\n " + log;
    message_box(caption.c_str(), text.c_str(), MessageBoxButtons::Ok, MessageBoxIcon::None);
    return false;
}

void load_assembly_program(GLenum target, GlProgram& id, const char* source, const char* kind) {
    glGenProgramsARB(1, id.put());
    glBindProgramARB(target, id);
    glProgramStringARB(target, GL_PROGRAM_FORMAT_ASCII_ARB, static_cast<GLsizei>(strlen(source)), source);
    GLint position = -1;
    glGetIntegerv(GL_PROGRAM_ERROR_POSITION_ARB, &position);
    if (position == -1) return;
    const char* error = reinterpret_cast<const char*>(glGetString(GL_PROGRAM_ERROR_STRING_ARB));
    std::string text = std::string(kind) + " program error at position: " + std::to_string(position) + "\n" +
                       (error ? error : "") + "\n";
    message_box("Error", text.c_str(), MessageBoxButtons::Ok, MessageBoxIcon::None);
    ZV_FATAL_LOCATION();
}

}  // namespace

ShaderProgram::ShaderProgram(const char* vertex, const char* fragment) {
    if (!vertex || !fragment) return;
    vertex_file = vertex;
    fragment_file = fragment;
    if (!load()) ZV_FATAL("Shader compile and link failed!");
}

bool ShaderProgram::load() {
    char* vertex_source = load_source(vertex_file);
    if (!vertex_source) ZV_FATAL("Can't read shader file %s", vertex_file.c_str());
    char* fragment_source = load_source(fragment_file);
    if (!fragment_source) {
        free(vertex_source);
        ZV_FATAL("Can't read shader file %s", fragment_file.c_str());
    }
    bool ok = true;
    if (strncmp(vertex_source, "!!ARB", 5) != 0) {
        kind = 0;
        ok = compile_and_link(vertex_source, fragment_source);
    } else if (strncmp(fragment_source, "!!ARB", 5) != 0) {
        free(vertex_source);
        free(fragment_source);
        ZV_FATAL_LOCATION();
    } else {
        kind = 1;
        load_assembly(vertex_source, fragment_source);
    }
    free(vertex_source);
    free(fragment_source);
    return ok;
}

bool ShaderProgram::compile_and_link(const char* vertex_source, const char* fragment_source) {
    vertex_shader.reset(glCreateShaderObjectARB(GL_VERTEX_SHADER_ARB));
    fragment_shader.reset(glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB));
    glShaderSourceARB(vertex_shader, 1, &vertex_source, nullptr);
    glShaderSourceARB(fragment_shader, 1, &fragment_source, nullptr);
    if (!compile(vertex_shader, "Vertex", vertex_file)) return false;
    if (!compile(fragment_shader, "Fragment", fragment_file)) return false;
    program.reset(glCreateProgramObjectARB());
    glAttachObjectARB(program, vertex_shader);
    glAttachObjectARB(program, fragment_shader);
    // Attribute locations count only when bound before the link: the scene-graph draw code
    // feeds tangents on location 1.
    if (strstr(vertex_source, "tangent")) glBindAttribLocationARB(program, 1, "tangent");
    glLinkProgramARB(program);
    std::string log = info_log(program);
    GLint status = 0;
    glGetObjectParameterivARB(program, GL_OBJECT_LINK_STATUS_ARB, &status);
    if (status != 1) {
        std::string text = "--- Shader linking failed, log:\n " + log;
        message_box("Shader linking failed", text.c_str(), MessageBoxButtons::Ok, MessageBoxIcon::None);
        return false;
    }
    glValidateProgramARB(program);  // a program that links is accepted
    // The linked program holds all it runs; the shader objects would keep their own compiled
    // code in the driver for the whole run, several megabytes for the full table.
    glDetachObjectARB(program, vertex_shader);
    glDetachObjectARB(program, fragment_shader);
    vertex_shader.reset();
    fragment_shader.reset();
    return true;
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
