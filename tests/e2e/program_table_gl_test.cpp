// The shared program table on a real GL context: every production program compiles and links,
// and the programs with users in the show do what those users rely on.
#include "util/shaderprogram/program_table.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "gl_support.h"
#include "test_support.h"

namespace {

class ProgramTableTest : public SharedGlTest {
protected:
    // Compiling 35 programs on a software renderer takes a while; one table serves every case.
    static void SetUpTestSuite() {
        SharedGlTest::SetUpTestSuite();
        ASSERT_EQ(chdir(ZORVANE_SOURCE_DIR), 0);
        shared = new ProgramTable();
        shared->create();
    }
    static ProgramTable& table() { return *shared; }
    static inline ProgramTable* shared = nullptr;

    void SetUp() override {
        ASSERT_EQ(chdir(ZORVANE_SOURCE_DIR), 0);
        glViewport(0, 0, 64, 64);
        load_identity_matrices();
        glDisable(GL_DEPTH_TEST);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
    }

    static GLuint solid_texture(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
        const unsigned char pixels[4 * 4] = {r, g, b, a, r, g, b, a, r, g, b, a, r, g, b, a};
        GLuint id = 0;
        glGenTextures(1, &id);
        glBindTexture(GL_TEXTURE_2D, id);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        return id;
    }

    static void full_screen_quad() {
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0);
        glVertex2f(-1, -1);
        glTexCoord2f(1, 0);
        glVertex2f(1, -1);
        glTexCoord2f(1, 1);
        glVertex2f(1, 1);
        glTexCoord2f(0, 1);
        glVertex2f(-1, 1);
        glEnd();
    }

    static void pixel(int x, int y, unsigned char out[4]) {
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, out);
    }

    static GLint uniform(int k, const char* name) {
        return glGetUniformLocationARB(table().entry(k)->program, name);
    }
};

TEST_F(ProgramTableTest, EveryProgramCompilesAndLinks) {
    for (int k = 0; k < ProgramTable::ENTRY_COUNT; ++k) {
        SCOPED_TRACE(k);
        ShaderProgram* program = table().entry(k);
        if (k == 8) {
            EXPECT_EQ(program, nullptr);
            continue;
        }
        ASSERT_NE(program, nullptr);
        if (k == static_cast<int>(ProgramId::FixedFunction)) {
            EXPECT_EQ(program->program, 0u);
            continue;
        }
        EXPECT_EQ(program->kind, 0);
        ASSERT_NE(program->program, 0u);
        GLint linked = 0;
        glGetObjectParameterivARB(program->program, GL_OBJECT_LINK_STATUS_ARB, &linked);
        EXPECT_EQ(linked, 1);
    }
    EXPECT_STREQ(ProgramTable::vertex_source(35), "twister.vert");
    EXPECT_STREQ(ProgramTable::fragment_source(35), ProgramTable::fragment_source(17));
}

TEST_F(ProgramTableTest, ProgramsLinkAgainstTheNamesTheirUsersSet) {
    EXPECT_NE(uniform(19, "CubeMap"), -1);
    EXPECT_NE(uniform(19, "difftex"), -1);
    EXPECT_NE(uniform(15, "num_lights"), -1);
    EXPECT_NE(uniform(16, "num_lights"), -1);
    for (int k : {24, 25}) {
        SCOPED_TRACE(k);
        for (const char* name : {"shadow", "camera_view_matrix_inv", "light_view_matrix", "light_projection_matrix"})
            EXPECT_NE(uniform(k, name), -1) << name;
    }
    EXPECT_NE(uniform(25, "texture"), -1);
    // Programs that read a tangent find it where the draw code puts it.
    for (int k = 0; k < ProgramTable::ENTRY_COUNT; ++k) {
        ShaderProgram* program = table().entry(k);
        if (!program || !program->program) continue;
        GLint location = glGetAttribLocationARB(program->program, "tangent");
        if (location != -1) {
            EXPECT_EQ(location, 1) << k;
        }
    }
}

TEST_F(ProgramTableTest, TheFixedFunctionEntryLeavesNoProgramInUse) {
    table().entry(20)->bind();
    ASSERT_NE(glGetHandleARB(GL_PROGRAM_OBJECT_ARB), 0u);
    table().entry(ProgramId::FixedFunction)->bind();
    EXPECT_EQ(glGetHandleARB(GL_PROGRAM_OBJECT_ARB), 0u);
    // Drawing afterwards is the fixed pipeline: the plain colour arrives untouched.
    glDisable(GL_TEXTURE_2D);
    glColor4f(0, 1, 0, 1);
    full_screen_quad();
    unsigned char out[4];
    pixel(32, 32, out);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 255);
}

TEST_F(ProgramTableTest, TexturedQuadsAreTintedByTheColourAndBlackAddsNothing) {
    GLuint texture = solid_texture(200, 100, 40, 255);
    glActiveTexture(GL_TEXTURE0);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    table().entry(20)->bind();
    glColor4f(1.0f, 0.5f, 1.0f, 0.5f);
    full_screen_quad();
    unsigned char out[4];
    pixel(10, 50, out);
    EXPECT_NEAR(out[0], 200, 1);
    EXPECT_NEAR(out[1], 50, 1);
    EXPECT_NEAR(out[2], 40, 1);
    EXPECT_NEAR(out[3], 128, 1);

    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glColor4f(0, 0, 0, 0);
    full_screen_quad();
    pixel(10, 50, out);
    EXPECT_EQ(out[0] + out[1] + out[2], 0);
    glDisable(GL_BLEND);
    ShaderProgram::unbind_all();
    glDeleteTextures(1, &texture);
}

TEST_F(ProgramTableTest, RadialBlurNeedsNoUniformsAndBlackAddsNothing) {
    GLuint black = solid_texture(0, 0, 0, 255);
    glActiveTexture(GL_TEXTURE0);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, black);
    table().entry(10)->bind();
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glColor4f(1, 1, 1, 1);
    full_screen_quad();
    unsigned char out[4];
    for (int x : {1, 32, 62}) {
        pixel(x, x, out);
        EXPECT_EQ(out[0] + out[1] + out[2], 0) << x;
    }
    // A bright picture is blurred, not lost: a white source gives a clearly lit result.
    GLuint white = solid_texture(255, 255, 255, 255);
    glBindTexture(GL_TEXTURE_2D, white);
    full_screen_quad();
    pixel(32, 32, out);
    EXPECT_GT(out[0], 100);
    glDisable(GL_BLEND);
    ShaderProgram::unbind_all();
    glDeleteTextures(1, &black);
    glDeleteTextures(1, &white);
}

// A cube map whose faces have six different colours, for telling reflection directions apart.
GLuint coloured_cube() {
    // +x red, -x green, +y yellow, -y cyan, +z blue, -z magenta
    const unsigned char colours[6][4] = {{255, 0, 0, 255},   {0, 255, 0, 255}, {255, 255, 0, 255},
                                         {0, 255, 255, 255}, {0, 0, 255, 255}, {255, 0, 255, 255}};
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_CUBE_MAP, id);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    for (int face = 0; face < 6; ++face) {
        unsigned char pixels[16];
        for (int i = 0; i < 16; ++i) pixels[i] = colours[face][i % 4];
        glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_RGBA8, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    }
    return id;
}

TEST_F(ProgramTableTest, CubeReflectionsAreTakenInWorldAxes) {
    GLuint cube = coloured_cube();
    GLuint plate = solid_texture(0, 0, 0, 255);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, plate);
    glActiveTexture(GL_TEXTURE0);
    glEnable(GL_TEXTURE_CUBE_MAP);
    glBindTexture(GL_TEXTURE_CUBE_MAP, cube);
    ShaderProgram* program = table().entry(19);
    program->bind();
    program->set_uniform1i("CubeMap", 0);
    program->set_uniform1i("difftex", 1);
    Mat4 projection;
    projection.perspective(45, 1, 0.1f, 100);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(projection.data());
    glMatrixMode(GL_MODELVIEW);

    // Looking at a mirror head-on reflects the direction back towards the viewer, in world axes:
    // from +z the +z face (blue), from +x the +x face (red). In eye axes both would look the same.
    struct View {
        Vec3 eye, normal, u, v;
        int channel;
    };
    const View views[] = {{Vec3(0, 0, 5), Vec3(0, 0, 1), Vec3(1, 0, 0), Vec3(0, 1, 0), 2},
                          {Vec3(5, 0, 0), Vec3(1, 0, 0), Vec3(0, 0, -1), Vec3(0, 1, 0), 0}};
    for (const View& view : views) {
        glClear(GL_COLOR_BUFFER_BIT);
        Mat4 look;
        look.look_at(view.eye.x, view.eye.y, view.eye.z, 0, 0, 0, 0, 1, 0);
        glLoadMatrixf(look.data());
        glBegin(GL_QUADS);
        glNormal3f(view.normal.x, view.normal.y, view.normal.z);
        for (float s : {-1.0f, 1.0f})
            for (float t : {-1.0f, 1.0f}) {
                float tt = s < 0 ? t : -t;
                Vec3 p = view.u * s + view.v * tt;
                glTexCoord2f(s, tt);
                glVertex3f(p.x, p.y, p.z);
            }
        glEnd();
        unsigned char out[4];
        pixel(32, 32, out);
        for (int c = 0; c < 3; ++c) {
            if (c == view.channel)
                EXPECT_GT(out[c], 128) << "channel " << c;
            else
                EXPECT_LT(out[c], 32) << "channel " << c;
        }
    }
    ShaderProgram::unbind_all();
    glDisable(GL_TEXTURE_CUBE_MAP);
    glDeleteTextures(1, &cube);
    glDeleteTextures(1, &plate);
}

TEST_F(ProgramTableTest, AMissingSimpleVertStopsAtEntryOne) {
    TempFolder folder(true);
    ASSERT_EQ(system("mkdir -p data/common && cp -r " ZORVANE_SOURCE_DIR "/data/common/shaders data/common/ && "
                     "rm data/common/shaders/simple.vert"),
              0);
    EXPECT_EQ(fatal_message_of([] { ProgramTable().create(); }), "Can't read shader file simple.vert");
}

}  // namespace
