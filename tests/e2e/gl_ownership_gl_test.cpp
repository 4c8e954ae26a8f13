// Ownership of GL names on a real context: textures, cube maps, render targets, programs and the
// program table delete what they made when they go, exactly once, and a move hands the names on
// so that the moved-from object deletes nothing while the moved-to one keeps working.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gl_support.h"
#include "test_support.h"
#include "util/fbo/fbo.h"
#include "util/light/light.h"
#include "util/reflectionmap/reflectionmap.h"
#include "util/shaderprogram/program_table.h"
#include "util/shaderprogram/shaderprogram.h"
#include "util/texture/texture.h"

namespace {

constexpr int MANY = 300;

const char* const glsl_vertex = "#version 120\nvoid main() { gl_Position = ftransform(); }\n";
const char* const glsl_fragment = "#version 120\nuniform vec4 tint;\nvoid main() { gl_FragColor = tint; }\n";
const char* const arb_vertex = "!!ARBvp1.0\nMOV result.position, vertex.position;\nEND\n";
const char* const arb_fragment = "!!ARBfp1.0\nMOV result.color, fragment.color;\nEND\n";

class GlOwnership : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        ASSERT_EQ(chdir(ZORVANE_SOURCE_DIR), 0);
        write("plain.vert", glsl_vertex);
        write("plain.frag", glsl_fragment);
        write("asm.vp", arb_vertex);
        write("asm.fp", arb_fragment);
        write_tga("face.tga", 4, 0x40);
    }
    void TearDown() override {
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        GlTest::TearDown();
    }

    std::string file(const char* name) const { return folder.path + "/" + name; }
    void write(const char* name, const std::string& text) const { std::ofstream(file(name)) << text; }
    // An uncompressed 32-bit TGA of one grey level.
    void write_tga(const char* name, int size, unsigned char grey) const {
        std::string bytes(18, '\0');
        bytes[2] = 2;
        bytes[12] = static_cast<char>(size);
        bytes[14] = static_cast<char>(size);
        bytes[16] = 32;
        const char pixel[4] = {static_cast<char>(grey), static_cast<char>(grey), static_cast<char>(grey), '\xff'};
        for (int i = 0; i < size * size; ++i) bytes.append(pixel, 4);
        std::ofstream(file(name), std::ios::binary) << bytes;
    }

    static std::unique_ptr<Texture> texture_from_pixels(unsigned char red) {
        auto texture = std::make_unique<Texture>();
        texture->image_data = {red, 0, 0, 255, red, 0, 0, 255, red, 0, 0, 255, red, 0, 0, 255};
        texture->has_image_data = true;
        texture->bits_per_pixel = 32;
        texture->width = texture->height = 2;
        texture->pixel_format = GL_RGBA;
        texture->internal_format = GL_RGBA8;
        EXPECT_TRUE(texture->create());
        return texture;
    }

    static bool linked(GLhandleARB program) {
        GLint status = 0;
        glGetObjectParameterivARB(program, GL_OBJECT_LINK_STATUS_ARB, &status);
        return status == 1;
    }

    TempFolder folder;
};

// ---- textures ----------------------------------------------------------------------------

TEST_F(GlOwnership, TexturesDeleteTheirNamesAndMovesHandThemOn) {
    std::vector<std::unique_ptr<Texture>> textures;
    std::vector<GLuint> names;
    for (int i = 0; i < MANY; ++i) {
        if (i % 3 == 0) textures.push_back(texture_from_pixels(static_cast<unsigned char>(i)));
        else if (i % 3 == 1) textures.push_back(std::make_unique<Texture>(file("face.tga").c_str(), true, false));
        else {
            textures.push_back(std::make_unique<Texture>());
            ASSERT_TRUE(textures.back()->create_empty(8, 8, false, false, GL_RGBA32F_ARB));
        }
        names.push_back(textures.back()->get_id());
        ASSERT_TRUE(glIsTexture(names.back()));
    }
    textures.clear();
    for (GLuint name : names) EXPECT_FALSE(glIsTexture(name)) << name;

    auto source = texture_from_pixels(200);
    const GLuint name = source->get_id();
    Texture moved(std::move(*source));
    EXPECT_EQ(source->get_id(), 0u);
    EXPECT_TRUE(source->image_data.empty());
    source.reset();
    ASSERT_TRUE(glIsTexture(name));
    EXPECT_EQ(moved.get_id(), name);
    unsigned char* pixels = moved.read_pixels();
    EXPECT_EQ(pixels[0], 200);
    free(pixels);

    // Assignment deletes what the target held before and keeps what it takes over.
    Texture target;
    ASSERT_TRUE(target.create_empty(4, 4, false, false, GL_RGBA8));
    const GLuint replaced = target.get_id();
    target = std::move(moved);
    EXPECT_FALSE(glIsTexture(replaced));
    EXPECT_TRUE(glIsTexture(name));
    EXPECT_EQ(moved.get_id(), 0u);
}

TEST_F(GlOwnership, CubeMapsDeleteTheCubeAndTheirFaces) {
    const std::string face = file("face.tga");
    auto load = [&](TextureCube& cube) {
        return cube.load(face.c_str(), face.c_str(), face.c_str(), face.c_str(), face.c_str(), face.c_str());
    };
    std::vector<GLuint> names;
    {
        std::vector<TextureCube> cubes(MANY / 3);
        for (TextureCube& cube : cubes) {
            ASSERT_TRUE(load(cube));
            names.push_back(cube.id);
            for (const Texture& f : cube.tex_array) names.push_back(f.get_id());
        }
        for (GLuint name : names) ASSERT_TRUE(glIsTexture(name));
    }
    for (GLuint name : names) EXPECT_FALSE(glIsTexture(name)) << name;

    auto source = std::make_unique<TextureCube>();
    ASSERT_TRUE(load(*source));
    const GLuint name = source->id, first_face = source->tex_array[0].get_id();
    TextureCube moved(std::move(*source));
    EXPECT_EQ(source->id, 0u);
    EXPECT_EQ(source->tex_array[0].get_id(), 0u);
    source.reset();
    EXPECT_TRUE(glIsTexture(name));
    EXPECT_TRUE(glIsTexture(first_face));
    moved.bind(0);
    GLint width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_Z, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 4);
    TextureCube::unbind(0);
}

// ---- render targets ----------------------------------------------------------------------

struct TargetNames {
    GLuint framebuffer, depth_buffer;
    std::vector<GLuint> textures;
};

TargetNames names_of(const Fbo& target) {
    TargetNames names{target.framebuffer, target.depth_buffer, {}};
    if (target.depth_texture) names.textures.push_back(target.depth_texture->get_id());
    for (const auto& texture : target.color_textures) names.textures.push_back(texture->get_id());
    return names;
}

void expect_gone(const TargetNames& names) {
    EXPECT_FALSE(glIsFramebufferEXT(names.framebuffer)) << names.framebuffer;
    if (names.depth_buffer) {
        EXPECT_FALSE(glIsRenderbufferEXT(names.depth_buffer)) << names.depth_buffer;
    }
    for (GLuint name : names.textures) EXPECT_FALSE(glIsTexture(name)) << name;
}

TEST_F(GlOwnership, TargetsOfEveryTypeDeleteFramebufferRenderbufferAndTextures) {
    const FboType types[] = {FboType::Rgba8, FboType::ThreeRgba32f, FboType::Rgba32f, FboType::Rgba8DepthTexture,
                             FboType::Rgba8NoMipmaps};
    std::vector<std::unique_ptr<Fbo>> targets;
    std::vector<TargetNames> names;
    for (int i = 0; i < MANY; ++i) {
        targets.push_back(std::make_unique<Fbo>(16, 16, types[i % 5]));
        names.push_back(names_of(*targets.back()));
        ASSERT_TRUE(glIsFramebufferEXT(names.back().framebuffer));
    }
    targets.clear();
    for (const TargetNames& n : names) expect_gone(n);
}

TEST_F(GlOwnership, ReflectionMapsDeleteTheirCubeAndTarget) {
    std::vector<std::unique_ptr<ReflectionMap>> maps;
    std::vector<GLuint> cubes;
    std::vector<TargetNames> targets;
    for (int i = 0; i < 50; ++i) {
        maps.push_back(std::make_unique<ReflectionMap>(8, 8));
        cubes.push_back(maps.back()->cubemap);
        targets.push_back(names_of(*maps.back()->target));
        ASSERT_TRUE(glIsTexture(cubes.back()));
    }
    maps.clear();
    for (GLuint name : cubes) EXPECT_FALSE(glIsTexture(name)) << name;
    for (const TargetNames& n : targets) expect_gone(n);
}

TEST_F(GlOwnership, LightsDeleteTheirShadowCube) {
    std::vector<std::unique_ptr<Light>> lights;
    std::vector<GLuint> cubes;
    for (int i = 0; i < 20; ++i) {
        lights.push_back(std::make_unique<Light>());
        lights.back()->shadow_map_size = 8;
        lights.back()->set_shadow(true);
        cubes.push_back(lights.back()->shadow_cube);
        ASSERT_TRUE(glIsTexture(cubes.back()));
    }
    lights.push_back(std::make_unique<Light>());  // never shadowed: nothing to delete
    lights.clear();
    for (GLuint name : cubes) EXPECT_FALSE(glIsTexture(name)) << name;
}

TEST_F(GlOwnership, MovedLightsAndReflectionMapsDeleteTheirNamesOnce) {
    GLuint cube = 0, framebuffer = 0, map_cube = 0;
    TargetNames map_target{};
    {
        auto light = std::make_unique<Light>();
        light->shadow_map_size = 8;
        light->set_shadow(true);
        cube = light->shadow_cube;
        framebuffer = light->shadow_framebuffer;
        Light moved(std::move(*light));
        light.reset();
        EXPECT_TRUE(glIsTexture(cube));
        EXPECT_EQ(moved.shadow_framebuffer.get(), framebuffer);
        Light target;
        target = std::move(moved);
        EXPECT_EQ(moved.shadow_cube.get(), 0u);
        EXPECT_EQ(target.shadow_cube.get(), cube);

        auto map = std::make_unique<ReflectionMap>(8, 8);
        map_cube = map->cubemap;
        map_target = names_of(*map->target);
        ReflectionMap moved_map(std::move(*map));
        map.reset();
        ASSERT_TRUE(glIsTexture(map_cube));
        ASSERT_TRUE(glIsFramebufferEXT(map_target.framebuffer));
        ReflectionMap target_map(4, 4);
        const GLuint replaced = target_map.cubemap;
        target_map = std::move(moved_map);
        EXPECT_FALSE(glIsTexture(replaced));
        EXPECT_EQ(target_map.cubemap.get(), map_cube);
    }
    EXPECT_FALSE(glIsTexture(cube));
    EXPECT_FALSE(glIsFramebufferEXT(framebuffer));
    EXPECT_FALSE(glIsTexture(map_cube));
    expect_gone(map_target);
}

TEST_F(GlOwnership, AMovedTargetKeepsDrawingAndItsSourceDeletesNothing) {
    auto source = std::make_unique<Fbo>(8, 8, FboType::Rgba8);
    const TargetNames names = names_of(*source);
    Fbo moved(std::move(*source));
    EXPECT_EQ(source->framebuffer, 0u);
    EXPECT_EQ(source->depth_buffer, 0u);
    EXPECT_TRUE(source->color_textures.empty());
    source.reset();
    ASSERT_TRUE(glIsFramebufferEXT(names.framebuffer));
    ASSERT_TRUE(glIsRenderbufferEXT(names.depth_buffer));

    moved.bind(false);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    moved.unbind();
    unsigned char* pixels = moved.color_textures[0]->read_pixels();
    EXPECT_EQ(pixels[0], 0);
    EXPECT_EQ(pixels[1], 255);
    free(pixels);

    Fbo target(8, 8, FboType::Rgba8DepthTexture);
    const TargetNames replaced = names_of(target);
    target = std::move(moved);
    expect_gone(replaced);
    EXPECT_EQ(target.framebuffer, names.framebuffer);
    EXPECT_TRUE(glIsFramebufferEXT(names.framebuffer));
}

TEST_F(GlOwnership, ATargetThatGoesWhileBoundGivesBackTheOuterTarget) {
    Fbo outer(32, 32, FboType::Rgba8);
    outer.bind(false);
    {
        Fbo inner(8, 8, FboType::Rgba8NoMipmaps);
        inner.bind(false);
    }
    GLint bound = 0, viewport[4] = {};
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(static_cast<GLuint>(bound), outer.framebuffer);
    EXPECT_EQ(viewport[2], 32);
    outer.unbind();
}

// ---- programs ----------------------------------------------------------------------------

TEST_F(GlOwnership, ProgramsDeleteTheirShadersProgramsAndAssemblyPrograms) {
    const std::string vert = file("plain.vert"), frag = file("plain.frag");
    const std::string vp = file("asm.vp"), fp = file("asm.fp");
    std::vector<GLhandleARB> glsl;
    std::vector<GLuint> assembly;
    {
        std::vector<ShaderProgram> programs;
        programs.reserve(MANY);
        for (int i = 0; i < MANY; ++i) {
            if (i % 10 == 9) {
                programs.emplace_back(vp.c_str(), fp.c_str());
                ASSERT_EQ(programs.back().kind, 1);
                assembly.push_back(programs.back().vertex_program);
                assembly.push_back(programs.back().fragment_program);
            } else {
                programs.emplace_back(vert.c_str(), frag.c_str());
                const ShaderProgram& p = programs.back();
                ASSERT_TRUE(glIsProgram(p.program));
                glsl.insert(glsl.end(), {p.program, p.vertex_shader, p.fragment_shader});
            }
        }
        for (GLuint id : assembly) ASSERT_TRUE(glIsProgramARB(id));
    }
    for (size_t i = 0; i < glsl.size(); i += 3) {
        EXPECT_FALSE(glIsProgram(glsl[i])) << glsl[i];
        EXPECT_FALSE(glIsShader(glsl[i + 1])) << glsl[i + 1];
        EXPECT_FALSE(glIsShader(glsl[i + 2])) << glsl[i + 2];
    }
    for (GLuint id : assembly) EXPECT_FALSE(glIsProgramARB(id)) << id;
}

TEST_F(GlOwnership, AMovedProgramStillDrawsAndItsSourceDeletesNothing) {
    auto source = std::make_unique<ShaderProgram>(file("plain.vert").c_str(), file("plain.frag").c_str());
    const GLhandleARB program = source->program;
    ShaderProgram moved(std::move(*source));
    EXPECT_EQ(source->program, 0u);
    EXPECT_EQ(source->vertex_shader, 0u);
    EXPECT_TRUE(source->vertex_file.empty());
    source.reset();
    ASSERT_TRUE(glIsProgram(program));
    EXPECT_TRUE(linked(program));

    Fbo target(4, 4, FboType::Rgba8NoMipmaps);
    target.bind(true);
    load_identity_matrices();
    moved.bind();
    moved.set_uniform4("tint", Vec4(1, 0, 0, 1));
    glRectf(-1, -1, 1, 1);
    ShaderProgram::unbind_all();
    target.unbind();
    unsigned char* pixels = target.color_textures[0]->read_pixels();
    EXPECT_EQ(pixels[0], 255);
    EXPECT_EQ(pixels[1], 0);
    free(pixels);

    ShaderProgram assembly(file("asm.vp").c_str(), file("asm.fp").c_str());
    const GLuint vertex_program = assembly.vertex_program;
    moved = std::move(assembly);
    EXPECT_FALSE(glIsProgram(program));
    EXPECT_EQ(moved.kind, 1);
    EXPECT_EQ(assembly.vertex_program, 0u);
    EXPECT_TRUE(glIsProgramARB(vertex_program));
}

// ---- the program table -------------------------------------------------------------------

TEST_F(GlOwnership, TheTableDeletesItsProgramsButNotTheOneStillInUse) {
    auto table = std::make_unique<ProgramTable>();
    table->create();
    std::vector<GLhandleARB> handles;
    for (int k = 0; k < ProgramTable::ENTRY_COUNT; ++k)
        if (ShaderProgram* p = table->entry(k); p && p->program) handles.push_back(p->program);
    ASSERT_EQ(handles.size(), 35u);
    const GLhandleARB present = table->entry(ProgramId::UnlitTexture)->program;

    // A move leaves the source table empty; the programs survive it.
    ProgramTable moved(std::move(*table));
    for (int k = 0; k < ProgramTable::ENTRY_COUNT; ++k) EXPECT_EQ(table->entry(k), nullptr) << k;
    table.reset();
    for (GLhandleARB handle : handles) ASSERT_TRUE(linked(handle)) << handle;
    EXPECT_EQ(moved.entry(ProgramId::UnlitTexture)->program, present);

    // The program in use outlives its table until it is unbound.
    const GLhandleARB in_use = moved.entry(ProgramId::UnlitTexture)->program;
    moved.entry(ProgramId::UnlitTexture)->bind();
    { ProgramTable gone(std::move(moved)); }
    EXPECT_EQ(glGetHandleARB(GL_PROGRAM_OBJECT_ARB), in_use);
    EXPECT_TRUE(glIsProgram(in_use));
    for (GLhandleARB handle : handles) {
        if (handle != in_use) {
            EXPECT_FALSE(glIsProgram(handle)) << handle;
        }
    }
    ShaderProgram::unbind_all();
    EXPECT_FALSE(glIsProgram(in_use));
}

}  // namespace

// Objects that never made anything go without touching GL, even in a process where GLEW has not
// loaded a single entry point (tools and tests that never open a window).
TEST(GlOwnershipWithoutContext, EmptyObjectsDestructWithoutCallingGl) {
    Texture texture;
    TextureCube cube;
    ShaderProgram program;
    ShaderProgram nameless(nullptr, "plain.frag");
    ProgramTable table;
    Texture moved_texture(std::move(texture));
    ShaderProgram moved_program(std::move(program));
    ProgramTable moved_table(std::move(table));
    EXPECT_EQ(moved_table.entry(ProgramId::FixedFunction), nullptr);
}
