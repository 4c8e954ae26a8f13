// Shader programs on a real GL context (Mesa under Xvfb).
#include "util/shaderprogram/shaderprogram.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "gl_support.h"
#include "platform/ui.h"
#include "test_support.h"
#include "util/data/data.h"

namespace {

const char* const vertex = "#version 120\nattribute vec3 tangent;\nvarying vec3 t;\n"
                           "void main() { t = tangent; gl_Position = ftransform(); }\n";
const char* const fragment = "#version 120\nvarying vec3 t;\nuniform vec4 tint;\n"
                             "void main() { gl_FragColor = tint + vec4(t, 0.0); }\n";

class Shaders : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        ASSERT_EQ(system("mkdir -p data/common/shaders"), 0);
        write("data/common/shaders/plain.vert", vertex);
        write("data/common/shaders/plain.frag", fragment);
    }
    static void write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
    TempFolder folder{true};
};

TEST_F(Shaders, ShortNamesFindTheCommonFolderAndUniformsAreSet) {
    ShaderProgram program("plain.vert", "plain.frag");
    EXPECT_EQ(program.kind, 0);
    ASSERT_NE(program.program, 0u);
    // "tangent" was bound to location 1 before the link.
    EXPECT_EQ(glGetAttribLocationARB(program.program, "tangent"), 1);
    program.bind();
    program.set_uniform4("tint", Vec4(0.25f, 0.5f, 0.75f, 1.0f));
    program.set_uniform1f("not_there", 3.0f);  // silently ignored
    float tint[4] = {};
    glGetUniformfvARB(program.program, glGetUniformLocationARB(program.program, "tint"), tint);
    EXPECT_FLOAT_EQ(tint[1], 0.5f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    ShaderProgram::unbind_all();
    EXPECT_EQ(glGetHandleARB(GL_PROGRAM_OBJECT_ARB), 0u);
}

TEST_F(Shaders, OwnNameIsPreferredToTheCommonFolder) {
    write("plain.frag", "#version 120\nvarying vec3 t;\nuniform float own;\nvoid main() { gl_FragColor = vec4(own); }\n");
    ShaderProgram program("plain.vert", "plain.frag");
    EXPECT_NE(glGetUniformLocationARB(program.program, "own"), -1);
}

TEST_F(Shaders, FailuresShowTheLogThenEndTheProcess) {
    write("broken.frag", "#version 120\nvoid main() { gl_FragColor = nonsense; }\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(fatal_message_of([] { ShaderProgram("plain.vert", "broken.frag"); }), "Shader compile and link failed!");
    std::string boxes = testing::internal::GetCapturedStderr();
    EXPECT_NE(boxes.find("Fragment shader compilation failed: broken.frag: --- Fragment shader compile failed, log:\n "),
              std::string::npos) << boxes;
    write("unlinked.frag", "#version 120\nvarying vec3 missing;\nvoid main() { gl_FragColor = vec4(missing, 1.0); }\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(fatal_message_of([] { ShaderProgram("plain.vert", "unlinked.frag"); }), "Shader compile and link failed!");
    boxes = testing::internal::GetCapturedStderr();
    EXPECT_NE(boxes.find("Shader linking failed: --- Shader linking failed, log:\n "), std::string::npos) << boxes;
    EXPECT_EQ(fatal_message_of([] { ShaderProgram("absent.vert", "plain.frag"); }), "Can't read shader file absent.vert");
    EXPECT_EQ(fatal_message_of([] { ShaderProgram("plain.vert", "absent.frag"); }), "Can't read shader file absent.frag");
}

TEST_F(Shaders, AssemblyPrograms) {
    write("a.vp", "!!ARBvp1.0\nMOV result.position, vertex.position;\nEND\n");
    write("a.fp", "!!ARBfp1.0\nMOV result.color, fragment.color;\nEND\n");
    ShaderProgram program("a.vp", "a.fp");
    EXPECT_EQ(program.kind, 1);
    program.bind();
    EXPECT_TRUE(glIsEnabled(GL_VERTEX_PROGRAM_ARB));
    EXPECT_TRUE(glIsEnabled(GL_FRAGMENT_PROGRAM_ARB));
    ShaderProgram::unbind_all();
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_PROGRAM_ARB));
    EXPECT_FALSE(glIsEnabled(GL_FRAGMENT_PROGRAM_ARB));
    // An assembly vertex program with a GLSL fragment shader: the bare report.
    ThrowOnFatal guard;
    try {
        ShaderProgram mixed("a.vp", "plain.frag");
        FAIL();
    } catch (const FatalError& e) {
        EXPECT_EQ(e.report.caption, "Error");
        EXPECT_NE(e.report.text.find("Error in file src/util/shaderprogram/shaderprogram:"), std::string::npos);
    }
    write("bad.vp", "!!ARBvp1.0\nMOV result.position, nowhere;\nEND\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(fatal_message_of([] { ShaderProgram("bad.vp", "a.fp"); }), "");  // location-only report
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Error: Vertex program error at position: "), std::string::npos);
}

TEST_F(Shaders, AReloadCarriesTheUniformsOverAndAFailedOneKeepsTheProgram) {
    auto program = std::make_unique<ShaderProgram>("plain.vert", "plain.frag");
    ShaderProgram moved = std::move(*program);  // the live list follows a move
    program.reset();
    ASSERT_EQ(ShaderProgram::programs_using("data/common/shaders/plain.frag"), std::vector<ShaderProgram*>{&moved});
    moved.bind();
    moved.set_uniform4("tint", Vec4(0.25f, 0.5f, 0.75f, 1.0f));
    ShaderProgram::unbind_all();

    write("data/common/shaders/plain.frag", "#version 120\nvarying vec3 t;\nuniform vec4 tint;\nuniform float gain;\n"
                                           "void main() { gl_FragColor = tint * gain + vec4(t, 0.0); }\n");
    std::string error;
    const GLhandleARB before = moved.program;
    ASSERT_TRUE(moved.reload(error)) << error;
    EXPECT_NE(moved.program.get(), before);
    EXPECT_NE(glGetUniformLocationARB(moved.program, "gain"), -1);
    float tint[4] = {};
    glGetUniformfvARB(moved.program, glGetUniformLocationARB(moved.program, "tint"), tint);
    EXPECT_FLOAT_EQ(tint[2], 0.75f);
    EXPECT_EQ(glGetAttribLocationARB(moved.program, "tangent"), 1);

    write("data/common/shaders/plain.frag", "#version 120\nvoid main() {\n    gl_FragColor = vec4(1.0) +;\n}\n");
    const GLhandleARB good = moved.program;
    EXPECT_FALSE(moved.reload(error));
    EXPECT_EQ(moved.program.get(), good);
    EXPECT_EQ(error.rfind("Fragment shader compilation failed: data/common/shaders/plain.frag\n", 0), 0u) << error;
    EXPECT_NE(error.find("\ndata/common/shaders/plain.frag:3("), std::string::npos) << error;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
