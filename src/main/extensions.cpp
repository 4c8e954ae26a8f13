#include "main/extensions.h"

#include <GL/glew.h>

#include <cstdlib>

#include "platform/fatal.h"
#include "platform/ui.h"

std::vector<std::string> missing_required_extensions() {
    const struct {
        const char* name;
        GLboolean available;
    } required[] = {
        {"GLEW_ARB_vertex_program", GLEW_ARB_vertex_program},
        {"GLEW_ARB_fragment_program", GLEW_ARB_fragment_program},
        {"GLEW_ARB_multitexture", GLEW_ARB_multitexture},
        {"GLEW_ARB_vertex_shader", GLEW_ARB_vertex_shader},
        {"GLEW_ARB_fragment_shader", GLEW_ARB_fragment_shader},
        {"GLEW_ARB_multisample", GLEW_ARB_multisample},
        {"GLEW_ARB_point_sprite", GLEW_ARB_point_sprite},
        {"GLEW_EXT_texture_filter_anisotropic", GLEW_EXT_texture_filter_anisotropic},
        {"GLEW_ARB_vertex_buffer_object", GLEW_ARB_vertex_buffer_object},
        {"GLEW_EXT_framebuffer_object", GLEW_EXT_framebuffer_object},
        {"GLEW_ARB_texture_non_power_of_two", GLEW_ARB_texture_non_power_of_two},
        {"GLEW_ARB_texture_float", GLEW_ARB_texture_float},
        {"GLEW_ARB_draw_buffers", GLEW_ARB_draw_buffers},
        {"GLEW_ARB_depth_texture", GLEW_ARB_depth_texture},
    };
    std::vector<std::string> missing;
    for (const auto& extension : required)
        if (!extension.available) missing.push_back(extension.name);
    return missing;
}

std::string missing_extensions_message(const std::vector<std::string>& missing) {
    if (missing.empty()) return std::string();
    std::string text = missing.size() == 1 ? "Extension " : "Extensions ";
    for (size_t i = 0; i < missing.size(); ++i) {
        if (i > 0) text += ", ";
        text += missing[i];
    }
    text +=
        " not supported, which means this demo probably won't run very well or at all. If you "
        "still want to risk it, press OK. \n\n(Side effects may include bubonic plague, outbreaks "
        "of cholera, Spontaneous Massive Existence Failures and other conditions too horrible for "
        "mere words. The author of this application does not take responsibility for any damages, "
        "injuries or death resulting from the erroneous use of this product.)";
    return text;
}

void check_required_extensions() {
    std::string text = missing_extensions_message(missing_required_extensions());
    if (text.empty()) return;
    if (message_box("Missing extension(s)", text.c_str(), MessageBoxButtons::OkCancel,
                    MessageBoxIcon::Question) != MESSAGE_BOX_OK)
        exit(1);
}

namespace {

template <typename Name, typename Core>
void fall_back(Name& name, Core core) {
    // Same parameters and ABI; only the typedef spellings (GLhandleARB, GLcharARB) differ.
    if (!name && core) name = reinterpret_cast<Name>(core);
}

}  // namespace

// Every GLEW-loaded function the engine calls (tests/e2e/gl_entry_points_listed.sh keeps this
// list complete); GL 1.1 functions come straight from libGL and need no check.
std::vector<std::string> resolve_gl_entry_points() {
#define FALL_BACK(name, core) fall_back(__glew##name, __glew##core)
    FALL_BACK(ActiveTexture, ActiveTextureARB);
    FALL_BACK(AttachObjectARB, AttachShader);
    FALL_BACK(BindAttribLocationARB, BindAttribLocation);
    FALL_BACK(BindBuffer, BindBufferARB);
    FALL_BACK(BindFramebufferEXT, BindFramebuffer);
    FALL_BACK(BindRenderbufferEXT, BindRenderbuffer);
    FALL_BACK(BufferData, BufferDataARB);
    FALL_BACK(BufferSubData, BufferSubDataARB);
    FALL_BACK(CheckFramebufferStatusEXT, CheckFramebufferStatus);
    FALL_BACK(CompileShaderARB, CompileShader);
    FALL_BACK(CreateProgramObjectARB, CreateProgram);
    FALL_BACK(CreateShaderObjectARB, CreateShader);
    FALL_BACK(DeleteBuffers, DeleteBuffersARB);
    FALL_BACK(DeleteFramebuffersEXT, DeleteFramebuffers);
    FALL_BACK(DeleteRenderbuffersEXT, DeleteRenderbuffers);
    FALL_BACK(DisableVertexAttribArray, DisableVertexAttribArrayARB);
    FALL_BACK(DrawBuffers, DrawBuffersARB);
    FALL_BACK(EnableVertexAttribArray, EnableVertexAttribArrayARB);
    FALL_BACK(FramebufferRenderbufferEXT, FramebufferRenderbuffer);
    FALL_BACK(FramebufferTexture2DEXT, FramebufferTexture2D);
    FALL_BACK(GenBuffers, GenBuffersARB);
    FALL_BACK(GenFramebuffersEXT, GenFramebuffers);
    FALL_BACK(GenRenderbuffersEXT, GenRenderbuffers);
    FALL_BACK(GenerateMipmapEXT, GenerateMipmap);
    FALL_BACK(GetActiveUniformARB, GetActiveUniform);
    FALL_BACK(GetUniformLocationARB, GetUniformLocation);
    FALL_BACK(GetUniformfvARB, GetUniformfv);
    FALL_BACK(GetUniformivARB, GetUniformiv);
    FALL_BACK(BeginQuery, BeginQueryARB);
    FALL_BACK(DeleteQueries, DeleteQueriesARB);
    FALL_BACK(EndQuery, EndQueryARB);
    FALL_BACK(GenQueries, GenQueriesARB);
    FALL_BACK(GetQueryObjectiv, GetQueryObjectivARB);
    FALL_BACK(LinkProgramARB, LinkProgram);
    FALL_BACK(RenderbufferStorageEXT, RenderbufferStorage);
    FALL_BACK(RenderbufferStorageMultisampleEXT, RenderbufferStorageMultisample);
    FALL_BACK(ShaderSourceARB, ShaderSource);
    FALL_BACK(Uniform1fARB, Uniform1f);
    FALL_BACK(Uniform1fvARB, Uniform1fv);
    FALL_BACK(Uniform1iARB, Uniform1i);
    FALL_BACK(Uniform1ivARB, Uniform1iv);
    FALL_BACK(Uniform2fARB, Uniform2f);
    FALL_BACK(Uniform2fvARB, Uniform2fv);
    FALL_BACK(Uniform2ivARB, Uniform2iv);
    FALL_BACK(Uniform3fvARB, Uniform3fv);
    FALL_BACK(Uniform3ivARB, Uniform3iv);
    FALL_BACK(Uniform4fvARB, Uniform4fv);
    FALL_BACK(Uniform4ivARB, Uniform4iv);
    FALL_BACK(UniformMatrix2fvARB, UniformMatrix2fv);
    FALL_BACK(UniformMatrix3fvARB, UniformMatrix3fv);
    FALL_BACK(UniformMatrix4fvARB, UniformMatrix4fv);
    FALL_BACK(UseProgramObjectARB, UseProgram);
    FALL_BACK(ValidateProgramARB, ValidateProgram);
    FALL_BACK(VertexAttrib4f, VertexAttrib4fARB);
    FALL_BACK(VertexAttribPointer, VertexAttribPointerARB);
#undef FALL_BACK

    std::vector<std::string> missing;
#define REQUIRE(name) \
    if (!__glew##name) missing.push_back("gl" #name)
    REQUIRE(ActiveTexture);
    REQUIRE(AttachObjectARB);
    REQUIRE(DetachObjectARB);
    REQUIRE(BindAttribLocationARB);
    REQUIRE(BindBuffer);
    REQUIRE(BindFramebufferEXT);
    REQUIRE(BindProgramARB);
    REQUIRE(BindRenderbufferEXT);
    REQUIRE(BufferData);
    REQUIRE(BufferSubData);
    REQUIRE(CheckFramebufferStatusEXT);
    REQUIRE(CompileShaderARB);
    REQUIRE(CreateProgramObjectARB);
    REQUIRE(CreateShaderObjectARB);
    REQUIRE(DeleteBuffers);
    REQUIRE(DeleteFramebuffersEXT);
    REQUIRE(DeleteObjectARB);
    REQUIRE(DeleteProgramsARB);
    REQUIRE(DeleteRenderbuffersEXT);
    REQUIRE(DisableVertexAttribArray);
    REQUIRE(DrawBuffers);
    REQUIRE(EnableVertexAttribArray);
    REQUIRE(FramebufferRenderbufferEXT);
    REQUIRE(FramebufferTexture2DEXT);
    REQUIRE(GenBuffers);
    REQUIRE(GenFramebuffersEXT);
    REQUIRE(GenProgramsARB);
    REQUIRE(GenRenderbuffersEXT);
    REQUIRE(GenerateMipmapEXT);
    REQUIRE(GetInfoLogARB);
    REQUIRE(GetObjectParameterivARB);
    REQUIRE(GetActiveUniformARB);
    REQUIRE(GetUniformLocationARB);
    REQUIRE(GetUniformfvARB);
    REQUIRE(GetUniformivARB);
    REQUIRE(BeginQuery);
    REQUIRE(DeleteQueries);
    REQUIRE(EndQuery);
    REQUIRE(GenQueries);
    REQUIRE(GetQueryObjectiv);
    REQUIRE(LinkProgramARB);
    REQUIRE(ProgramStringARB);
    REQUIRE(RenderbufferStorageEXT);
    REQUIRE(RenderbufferStorageMultisampleEXT);
    REQUIRE(ShaderSourceARB);
    REQUIRE(TexImage2DMultisample);
    REQUIRE(Uniform1fARB);
    REQUIRE(Uniform1fvARB);
    REQUIRE(Uniform1iARB);
    REQUIRE(Uniform1ivARB);
    REQUIRE(Uniform2fARB);
    REQUIRE(Uniform2fvARB);
    REQUIRE(Uniform2ivARB);
    REQUIRE(Uniform3fvARB);
    REQUIRE(Uniform3ivARB);
    REQUIRE(Uniform4fvARB);
    REQUIRE(Uniform4ivARB);
    REQUIRE(UniformMatrix2fvARB);
    REQUIRE(UniformMatrix3fvARB);
    REQUIRE(UniformMatrix4fvARB);
    REQUIRE(UseProgramObjectARB);
    REQUIRE(ValidateProgramARB);
    REQUIRE(VertexAttrib4f);
    REQUIRE(VertexAttribPointer);
#undef REQUIRE
    // Functions of optional extensions: their one user checks the extension and the function
    // before it calls them (frame statistics' timer queries).
#define OPTIONAL(name) static_cast<void>(__glew##name)
    OPTIONAL(GetQueryObjectui64v);     // GL_ARB_timer_query
    OPTIONAL(GetQueryObjectui64vEXT);  // GL_EXT_timer_query
#undef OPTIONAL
    return missing;
}

void check_gl_entry_points() {
    const std::vector<std::string> missing = resolve_gl_entry_points();
    if (missing.empty()) return;
    std::string names;
    for (const std::string& name : missing) names += (names.empty() ? "" : ", ") + name;
    ZV_FATAL("The graphics driver does not provide these OpenGL functions: %s. The demo cannot run without them.",
             names.c_str());
}
