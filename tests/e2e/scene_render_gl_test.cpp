// Scene graph rendering on a real GL context: what the passes put into the picture (fixed
// pipeline materials, transparency, glow, attached scenes, shadows, mirrors), the buffer upload
// that follows skinning, the fatal reports, and what loading a document sets up around the
// loaded tables (loading draws once, so it needs a context too).
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "gl_support.h"
#include "test_support.h"
#include "util/fbo/fbo.h"
#include "util/objects3d/mirror.h"
#include "util/objects3d/objects3d.h"
#include "util/shaderprogram/program_table.h"

namespace {

constexpr int SIZE = 64;

struct Rgb {
    int r, g, b;
};

// ---- scenes built in code -------------------------------------------------------------------

// A master node and whatever the test hangs below it: flat quads and boxes with face normals
// and texture coordinates, materials, cameras and lights.
struct TestScene : Objects3D {
    TestScene() { add_node("Master node", -1); }

    int32_t material(const Vec4& diffuse, const Vec4& ambient = Vec4(0, 0, 0, 1)) {
        auto m = std::make_unique<Material>();
        m->name = "m" + std::to_string(materials.size());
        m->diffuse = diffuse;
        m->ambient = ambient;
        m->specular = Vec4(0, 0, 0, 1);
        materials.push_back(std::move(m));
        return static_cast<int32_t>(materials.size()) - 1;
    }

    // A mesh of the given triangles (corner positions, one normal per triangle) on a new node.
    int32_t mesh_node(const std::vector<Vec3>& corners, int32_t material_index, int32_t parent = 0) {
        auto mesh = std::make_unique<Mesh>();
        auto object = std::make_unique<GeomObject>();
        for (size_t c = 0; c < corners.size(); ++c) {
            const Vec3& p = corners[c];
            mesh->vertices.insert(mesh->vertices.end(), {p.x, p.y, p.z});
            object->ivertices.push_back(static_cast<int32_t>(c));
            if (c % 3 == 0) {
                Vec3 n = cross(corners[c + 1] - p, corners[c + 2] - p);
                n.normalize();
                mesh->normals.insert(mesh->normals.end(), {n.x, n.y, n.z});
            }
            object->inormals.push_back(static_cast<int32_t>(c / 3));
            mesh->texcoords.insert(mesh->texcoords.end(), {c % 2 ? 1.0f : 0.0f, c % 3 ? 1.0f : 0.0f});
            object->itexcoords.push_back(static_cast<int32_t>(c));
        }
        mesh->vertices_stride = mesh->normals_stride = 3;
        mesh->texcoords_stride = 2;
        object->name = "object" + std::to_string(geom_objects.size());
        object->mesh_id = static_cast<int32_t>(meshes.size());
        object->mesh_ptr = mesh.get();
        object->material_index = material_index;
        const int32_t node = add_node("node" + std::to_string(nodes.size()), parent);
        nodes[static_cast<size_t>(node)]->objects.push_back(static_cast<int32_t>(geom_objects.size()));
        meshes.push_back(std::move(mesh));
        geom_objects.push_back(std::move(object));
        return node;
    }

    // A quad a-b-c-d (counter-clockwise seen from its front).
    int32_t quad(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& d, int32_t material_index) {
        return mesh_node({a, b, c, a, c, d}, material_index);
    }
    // A horizontal square of half size h at height z around (x, y), facing up.
    int32_t floor_square(float x, float y, float z, float h, int32_t material_index) {
        return quad(Vec3(x - h, y - h, z), Vec3(x + h, y - h, z), Vec3(x + h, y + h, z), Vec3(x - h, y + h, z),
                    material_index);
    }

    GeomObject& object_of(int32_t node) {
        return *geom_objects[static_cast<size_t>(nodes[static_cast<size_t>(node)]->objects[0])];
    }

    Camera& camera(const Vec3& eye, const Vec3& center, const Vec3& up, float yfov = 50) {
        auto c = std::make_unique<Camera>();
        c->set_view(eye, center, up);
        c->set_yfov(yfov);
        c->set_near_far(0.1f, 100);
        cameras.push_back(std::move(c));
        cur_cam = 0;
        set_viewport(SIZE, SIZE, 1.0f);
        return *cameras.back();
    }

    Light& light(const Vec3& p, const Vec4& colour = Vec4(1, 1, 1, 1), int type = Light::POINT) {
        auto l = std::make_unique<Light>();
        l->set_type(type);
        l->set_position(p.x, p.y, p.z);
        l->set_diffuse(colour);
        l->set_ambient(Vec4(0, 0, 0, 1));
        l->set_specular(Vec4(0, 0, 0, 1));
        l->set_attenuation(1, 0, 0);
        l->set_range(20);
        lights.push_back(std::move(l));
        return *lights.back();
    }
};

// A texture of one colour, for glow textures.
std::unique_ptr<Texture> solid_texture(unsigned char r, unsigned char g, unsigned char b) {
    auto texture = std::make_unique<Texture>();
    EXPECT_TRUE(texture->create_empty(4, 4, false, false, GL_RGBA8));
    std::vector<unsigned char> pixels;
    for (int i = 0; i < 16; ++i) pixels.insert(pixels.end(), {r, g, b, 255});
    texture->bind(0);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 4, 4, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    Texture::unbind(0);
    return texture;
}

// ---- the fixture: programs as the production builds them, a target to draw into -------------

class SceneRenderTest : public SharedGlTest {
protected:
    static void SetUpTestSuite() {
        SharedGlTest::SetUpTestSuite();
        ASSERT_EQ(chdir(ZORVANE_SOURCE_DIR), 0);
        for (ProgramId id : {ProgramId::MultiMaterialNoTexture, ProgramId::MultiMaterialTexture,
                             ProgramId::ShadowDepthWrite, ProgramId::ShadowAmbient, ProgramId::ShadowAmbientTexture,
                             ProgramId::ShadowCubeSingleMaterialNoTexture, ProgramId::ShadowCubeSingleMaterialTexture,
                             ProgramId::UnlitTexture, ProgramId::Black}) {
            const int k = static_cast<int>(id);
            programs[k] = new ShaderProgram(ProgramTable::vertex_source(k), ProgramTable::fragment_source(k));
        }
    }
    static void TearDownTestSuite() {
        for (auto& program : programs) {
            delete program;
            program = nullptr;
        }
        SharedGlTest::TearDownTestSuite();
    }
    static ShaderProgram* program(ProgramId id) { return programs[static_cast<int>(id)]; }
    static inline ShaderProgram* programs[ProgramTable::ENTRY_COUNT] = {};

    // The slots the reflection cubes scene fills.
    static void set_production_shaders(Objects3D& scene) {
        const ProgramId slots[] = {ProgramId::MultiMaterialNoTexture, ProgramId::MultiMaterialTexture,
                                   ProgramId::ShadowDepthWrite,       ProgramId::ShadowAmbient,
                                   ProgramId::ShadowAmbientTexture,   ProgramId::ShadowCubeSingleMaterialNoTexture,
                                   ProgramId::ShadowCubeSingleMaterialTexture};
        for (int slot = 0; slot < 7; ++slot) scene.set_shader(slot, program(slots[slot]));
    }

    void SetUp() override {
        ASSERT_EQ(chdir(ZORVANE_SOURCE_DIR), 0);
        target = std::make_unique<Fbo>(SIZE, SIZE, FboType::Rgba8NoMipmaps);
        target->bind(true);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        glEnable(GL_LIGHTING);
        glDisable(GL_BLEND);
        glDisable(GL_CULL_FACE);
        const float no_ambient[4] = {0, 0, 0, 1};
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, no_ambient);
    }
    void TearDown() override {
        target->unbind();
        target.reset();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }

    // (x, y) counted from the bottom left of the target, as GL does.
    static Rgb pixel(int x, int y) {
        unsigned char p[4] = {};
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
        return Rgb{p[0], p[1], p[2]};
    }
    static void clear() { glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); }

    std::unique_ptr<Fbo> target;
};

// ---- materials and programs -----------------------------------------------------------------

TEST_F(SceneRenderTest, EmptySlotsDrawWithTheFixedPipelineAndTheMaterialColours) {
    TestScene scene;
    const int32_t green = scene.material(Vec4(0, 0.8f, 0, 1));
    scene.quad(Vec3(-1, -1, 0), Vec3(1, -1, 0), Vec3(1, 1, 0), Vec3(-1, 1, 0), green);
    scene.camera(Vec3(0, 0, 3), Vec3(0, 0, 0), Vec3(0, 1, 0));
    scene.light(Vec3(0, 0, 3));
    scene.render(false);
    Rgb p = pixel(SIZE / 2, SIZE / 2);
    EXPECT_LT(p.r, 10);
    EXPECT_GT(p.g, 150);
    EXPECT_LT(p.b, 10);
    GLint current = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(current, 0);

    // color_add is added to the material's colours when drawing.
    scene.materials[static_cast<size_t>(green)]->color_add = Vec4(0.8f, 0, 0, 0);
    clear();
    scene.render(false);
    p = pixel(SIZE / 2, SIZE / 2);
    EXPECT_GT(p.r, 150);
    EXPECT_GT(p.g, 150);
}

TEST_F(SceneRenderTest, AnAmbientLightGivesOnlyItsAmbientColourToThePerPixelPrograms) {
    TestScene scene;
    const int32_t white = scene.material(Vec4(1, 1, 1, 1), Vec4(1, 1, 1, 1));
    scene.quad(Vec3(-1, -1, 0), Vec3(1, -1, 0), Vec3(1, 1, 0), Vec3(-1, 1, 0), white);
    scene.camera(Vec3(0, 0, 3), Vec3(0, 0, 0), Vec3(0, 1, 0));
    scene.light(Vec3(0, 0, 3), Vec4(1, 1, 1, 1), Light::AMBIENT).set_ambient(Vec4(0, 0, 0, 1));
    set_production_shaders(scene);
    scene.render(false);
    Rgb p = pixel(SIZE / 2, SIZE / 2);
    EXPECT_EQ(p.r + p.g + p.b, 0);
    // A light that shades after it still lights the square.
    scene.light(Vec3(0, 0, 3), Vec4(1, 0, 0, 1));
    clear();
    scene.render(false);
    p = pixel(SIZE / 2, SIZE / 2);
    EXPECT_GT(p.r, 150);
    EXPECT_EQ(p.g + p.b, 0);
}

TEST_F(SceneRenderTest, TheNormalPassUsesTheMastersSlotsAndLightsForAttachedScenes) {
    TestScene master, child;
    // The master draws nothing itself; the child's white square is lit by the master's red
    // light, not by the child's own blue one.
    master.camera(Vec3(0, 0, 3), Vec3(0, 0, 0), Vec3(0, 1, 0));
    master.light(Vec3(0, 0, 3), Vec4(1, 0, 0, 1));
    const int32_t white = child.material(Vec4(1, 1, 1, 1));
    child.quad(Vec3(-1, -1, 0), Vec3(1, -1, 0), Vec3(1, 1, 0), Vec3(-1, 1, 0), white);
    child.light(Vec3(0, 0, 3), Vec4(0, 0, 1, 1));
    master.attach(&child);
    EXPECT_EQ(child.master, &master);
    set_production_shaders(master);

    master.render(false);
    Rgb p = pixel(SIZE / 2, SIZE / 2);
    EXPECT_GT(p.r, 150);
    EXPECT_LT(p.b, 10);

    // The child has no programs of its own; the master's untextured slot paints it.
    master.set_shader(OBJ_SHADER_NOTEX, program(ProgramId::Black));
    clear();
    master.render(false);
    p = pixel(SIZE / 2, SIZE / 2);
    EXPECT_EQ(p.r + p.g + p.b, 0);
}

TEST_F(SceneRenderTest, TranslucentMaterialsWriteNoDepth) {
    TestScene scene;
    const int32_t red = scene.material(Vec4(1, 0, 0, 0.5f));
    const int32_t blue = scene.material(Vec4(0, 0, 1, 1));
    // The translucent square in front is drawn first; without its depth the one behind it still
    // lands in the picture.
    scene.quad(Vec3(-1, -1, 1), Vec3(1, -1, 1), Vec3(1, 1, 1), Vec3(-1, 1, 1), red);
    scene.quad(Vec3(-1, -1, 0), Vec3(1, -1, 0), Vec3(1, 1, 0), Vec3(-1, 1, 0), blue);
    scene.camera(Vec3(0, 0, 4), Vec3(0, 0, 0), Vec3(0, 1, 0));
    scene.light(Vec3(0, 0, 4));
    scene.render(false);
    Rgb p = pixel(SIZE / 2, SIZE / 2);
    EXPECT_GT(p.b, 100);
    EXPECT_LT(p.r, 10);

    // Made opaque, the front square hides the back one.
    scene.materials[static_cast<size_t>(red)]->diffuse.w = 1;
    clear();
    scene.render(false);
    p = pixel(SIZE / 2, SIZE / 2);
    EXPECT_GT(p.r, 100);
    EXPECT_LT(p.b, 10);
}

// ---- glow ------------------------------------------------------------------------------------

TEST_F(SceneRenderTest, GlowDrawsObjectsWithoutGlowTextureBlackAndIsOnlyMadeWhenEnabled) {
    TestScene scene;
    const int32_t glowing = scene.material(Vec4(1, 1, 1, 1));
    scene.materials[static_cast<size_t>(glowing)]->glow_tex = solid_texture(255, 0, 0);
    const int32_t plain = scene.material(Vec4(0, 0, 1, 1));
    // A glowing square across the picture, a plain one in front of its right half.
    scene.quad(Vec3(-1, -1, 0), Vec3(1, -1, 0), Vec3(1, 1, 0), Vec3(-1, 1, 0), glowing);
    scene.quad(Vec3(0, -1, 1), Vec3(1, -1, 1), Vec3(1, 1, 1), Vec3(0, 1, 1), plain);
    scene.camera(Vec3(0, 0, 4), Vec3(0, 0, 0), Vec3(0, 1, 0), 40);
    scene.light(Vec3(0, 0, 4));
    // The frame itself is drawn black, so what the glow adds stands out.
    scene.set_shader(OBJ_SHADER_NOTEX, program(ProgramId::Black));
    scene.set_shader(OBJ_SHADER_GLOW_COMPOSITE, program(ProgramId::UnlitTexture));

    scene.render(false);
    EXPECT_EQ(scene.glow_fbo, nullptr);
    EXPECT_EQ(pixel(SIZE / 4, SIZE / 2).r, 0);

    scene.glow_enabled = true;
    clear();
    scene.render(false);
    ASSERT_NE(scene.glow_fbo, nullptr);
    EXPECT_EQ(scene.glow_fbo->width, 512);
    EXPECT_EQ(scene.glow_fbo->height, 512);
    // In the glow target: the glow texture on the left, black where the plain square covers it.
    std::unique_ptr<unsigned char, decltype(&free)> glow(scene.glow_fbo->color_textures[0]->read_pixels(), free);
    const unsigned char* left = glow.get() + (256 * 512 + 128) * 4;
    const unsigned char* right = glow.get() + (256 * 512 + 384) * 4;
    EXPECT_GT(left[0], 200);
    EXPECT_EQ(left[1] + left[2], 0);
    EXPECT_EQ(right[0] + right[1] + right[2], 0);
    // Added over the frame.
    EXPECT_GT(pixel(SIZE / 4, SIZE / 2).r, 200);
    EXPECT_EQ(pixel(3 * SIZE / 4, SIZE / 2).r, 0);
}

// ---- shadows ---------------------------------------------------------------------------------

// A floor, a blocker between it and a light, and a camera on the far side looking at the spot
// the blocker shades and at a spot at the same distance from the light that nothing shades.
struct ShadowScene : TestScene {
    int32_t blocker_material;
    Vec3 shaded, open;

    ShadowScene(const Vec3& light_at, const std::vector<Vec3>& blocker, Vec3 shaded_spot, Vec3 open_spot)
        : shaded(shaded_spot), open(open_spot) {
        const int32_t floor = material(Vec4(1, 1, 1, 1));
        blocker_material = material(Vec4(1, 1, 1, 1));
        floor_square(0, 0, 0, 8, floor);
        mesh_node(blocker, blocker_material);
        light(light_at);
        set_shadows(true);
    }
    // Where a world point lands in the target.
    void spot_pixel(const Vec3& p, int& x, int& y) {
        Mat4 projection;
        glGetFloatv(GL_PROJECTION_MATRIX, projection.m);
        const Vec4 clip = (projection * cameras[0]->get_view()).transform(Vec4(p.x, p.y, p.z, 1));
        x = static_cast<int>((clip.x / clip.w + 1) / 2 * SIZE);
        y = static_cast<int>((clip.y / clip.w + 1) / 2 * SIZE);
    }
};

TEST_F(SceneRenderTest, AShadowFallsWhereABlockerStandsBetweenLightAndFloor) {
    struct Case {
        const char* name;
        Vec3 light;
        std::vector<Vec3> blocker;
        Vec3 shaded, open, eye;
    };
    // Seen from the light the shaded spot lies beyond the blocker: straight down in the first
    // case, sideways in the second (other faces of the shadow cube).
    const Case cases[] = {
        {"from above", Vec3(0, 0, 4),
         {Vec3(1, -0.5f, 2), Vec3(2, -0.5f, 2), Vec3(2, 0.5f, 2), Vec3(1, -0.5f, 2), Vec3(2, 0.5f, 2), Vec3(1, 0.5f, 2)},
         Vec3(3, 0, 0), Vec3(0, -3, 0), Vec3(9, -2, 8)},
        {"from the side", Vec3(0, 0, 1),
         {Vec3(2, -1, 0.2f), Vec3(2, 1, 0.2f), Vec3(2, 1, 1.8f), Vec3(2, -1, 0.2f), Vec3(2, 1, 1.8f), Vec3(2, -1, 1.8f)},
         Vec3(4, 0, 0), Vec3(0, -4, 0), Vec3(9, -6, 9)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ShadowScene scene(c.light, c.blocker, c.shaded, c.open);
        scene.camera(c.eye, Vec3(2, -1, 0), Vec3(0, 0, 1), 60);
        set_production_shaders(scene);
        clear();
        scene.render(true);
        int sx, sy, ox, oy;
        scene.spot_pixel(c.shaded, sx, sy);
        scene.spot_pixel(c.open, ox, oy);
        ASSERT_TRUE(sx > 0 && sx < SIZE && sy > 0 && sy < SIZE && ox > 0 && ox < SIZE && oy > 0 && oy < SIZE);
        const Rgb shaded = pixel(sx, sy), open = pixel(ox, oy);
        EXPECT_GT(open.r, 60);
        EXPECT_LT(shaded.r, open.r / 4);

        // A translucent blocker casts no shadow.
        scene.materials[static_cast<size_t>(scene.blocker_material)]->diffuse.w = 0.5f;
        clear();
        scene.render(true);
        const Rgb through = pixel(sx, sy);
        EXPECT_GT(through.r, open.r / 2);
    }
}

TEST_F(SceneRenderTest, TexturedObjectsKeepTheirTextureBesideTheShadowCube) {
    // The shadow cube holds unit 0 in the lighting pass; the diffuse texture goes to unit 1,
    // where the textured lighting program reads it.
    TestScene scene;
    const int32_t green = scene.material(Vec4(1, 1, 1, 1));
    scene.materials[static_cast<size_t>(green)]->diff_tex = solid_texture(0, 255, 0);
    const int32_t floor = scene.floor_square(0, 0, 0, 2, green);
    scene.object_of(floor).textured = true;
    scene.camera(Vec3(0, -3, 3), Vec3(0, 0, 0), Vec3(0, 0, 1));
    scene.light(Vec3(0, 0, 2));
    set_production_shaders(scene);
    scene.render(true);
    const Rgb p = pixel(SIZE / 2, SIZE / 2);
    EXPECT_GT(p.g, 100);
    EXPECT_LT(p.r, 10);
}

TEST_F(SceneRenderTest, AmbientLightsGetNoShadowPasses) {
    TestScene scene;
    const int32_t white = scene.material(Vec4(1, 1, 1, 1), Vec4(1, 1, 1, 1));
    scene.floor_square(0, 0, 0, 2, white);
    scene.camera(Vec3(0, -3, 3), Vec3(0, 0, 0), Vec3(0, 0, 1));
    Light& ambient = scene.light(Vec3(0, 0, 2), Vec4(1, 1, 1, 1), Light::AMBIENT);
    Light& point = scene.light(Vec3(0, 0, 2));
    set_production_shaders(scene);
    scene.render(true);
    EXPECT_FALSE(ambient.has_shadow());
    EXPECT_EQ(ambient.shadow_cube, 0u);
    EXPECT_TRUE(point.has_shadow());
    EXPECT_NE(point.shadow_cube, 0u);
    // The floor still gets its ambient and lit passes.
    EXPECT_GT(pixel(SIZE / 2, SIZE / 2).r, 30);
}

// ---- mirrors ---------------------------------------------------------------------------------

TEST_F(SceneRenderTest, AMirrorShowsWhatStandsInFrontOfItAndNotItself) {
    TestScene scene;
    const int32_t red = scene.material(Vec4(1, 0, 0, 1), Vec4(1, 0, 0, 1));
    // The viewer looks at the mirror (in the z = 0 plane, facing +z) at 45 degrees; the red
    // square stands where the reflected view goes, outside the viewer's own view.
    scene.quad(Vec3(-3.7f, -1, 2.3f), Vec3(-3.7f, 1, 2.3f), Vec3(-2.3f, 1, 3.7f), Vec3(-2.3f, -1, 3.7f), red);
    Camera& viewer = scene.camera(Vec3(3, 0, 3), Vec3(0, 0, 0), Vec3(0, 1, 0), 20);
    scene.light(Vec3(0, 0, 1));
    set_production_shaders(scene);

    Mirror mirror(32, 32);
    mirror.width = mirror.height = 1;
    mirror.fov = 30;
    // Behind the mirror, the reflection camera looks through the mirror's own quad.
    mirror.camera_behind = true;
    scene.mirrors.push_back(&mirror);

    const Mat4 view_before = viewer.get_view();
    scene.render(false);
    const Rgb centre = pixel(SIZE / 2, SIZE / 2);
    EXPECT_GT(centre.r, 100);
    EXPECT_LT(centre.g, 20);
    EXPECT_TRUE(mirror.visible);
    EXPECT_FALSE(scene.mirror_pass_active);
    ASSERT_FALSE(mirror.fbo->color_textures.empty());
    EXPECT_EQ(mirror.reflection, mirror.fbo->color_textures[0].get());
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(scene.cameras[0]->get_view().get(i), view_before.get(i));

    // Without the red square the mirror shows nothing red.
    scene.set_all_visible(false);
    clear();
    scene.render(false);
    EXPECT_LT(pixel(SIZE / 2, SIZE / 2).r, 20);
}

// ---- debug views ------------------------------------------------------------------------------

TEST_F(SceneRenderTest, DebugViewsDrawTheBoxAndTheLightsThatShadeAndKeepTheMatrices) {
    TestScene scene;
    scene.floor_square(0, 0, 0, 1, scene.material(Vec4(1, 1, 1, 1)));
    scene.camera(Vec3(0, 0, 4), Vec3(0, 0, 0), Vec3(0, 1, 0), 40);
    scene.light(Vec3(-0.5f, 0, 0), Vec4(1, 0, 0, 1));
    scene.light(Vec3(0.5f, 0, 0), Vec4(0, 1, 0, 1), Light::AMBIENT);
    GLint projection_depth = 0, modelview_depth = 0;
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &projection_depth);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &modelview_depth);

    // The box is flat here (the floor), drawn translucent blue over black.
    scene.draw_bounding_box();
    Rgb p = pixel(SIZE / 2, SIZE / 2);
    EXPECT_EQ(p.r, 0);
    EXPECT_GT(p.b, 40);
    EXPECT_GT(p.b, p.g);

    clear();
    scene.draw_lights(0.2f);
    const int left = SIZE / 2 - 11, right = SIZE / 2 + 11;  // 22 pixels a unit
    p = pixel(left, SIZE / 2);
    EXPECT_EQ(p.r, 255);
    EXPECT_EQ(p.g, 0);
    // The ambient light has no place to be drawn at.
    p = pixel(right, SIZE / 2);
    EXPECT_EQ(p.g, 0);

    GLint depth = 0;
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, projection_depth);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, modelview_depth);

    scene.cameras.clear();
    EXPECT_EQ(fatal_message_of([&] { scene.draw_lights(-1); }), "Failed assert cameras.size() > 0");
}

// ---- buffers ---------------------------------------------------------------------------------

// One joint that turns about z over a second, one triangle fully bound to it.
struct SkinnedTriangle : TestScene {
    SkinnedTriangle() {
        const int32_t joint = add_node("joint", 0);
        auto turn = std::make_unique<Animation>();
        turn->name = "turn";
        turn->target = "joint";
        turn->kind = Animation::ROTATION;
        turn->axis = Vec3(0, 0, 1);
        turn->timeline = {0, 1};
        turn->rotation_amount = {0, 90};
        turn->interpolation = {1, 1};
        turn->interpolation_stride = 1;
        nodes[static_cast<size_t>(joint)]->animations.push_back(0);
        animations.push_back(std::move(turn));

        const int32_t skinned = mesh_node({Vec3(1, 0, 0), Vec3(2, 0, 0), Vec3(1, 1, 0)}, material(Vec4(1, 1, 1, 1)));
        GeomObject& object = object_of(skinned);
        object.prepare_deformation();
        auto skin = std::make_unique<Controller>();
        skin->joints = {joint};
        skin->inv_bind_matrices = {Mat4()};
        skin->weights = {1.0f};
        skin->vcounts = {1, 1, 1};
        skin->v = {0, 0, 0, 0, 0, 0};
        controllers.push_back(std::move(skin));
        nodes[static_cast<size_t>(skinned)]->controllers = {0};
        start_animation(false);
    }
    std::vector<float> buffered_vertices() {
        const GeomObject& object = *geom_objects[0];
        std::vector<float> out(object.vertex_bytes / sizeof(float));
        glBindBuffer(GL_ARRAY_BUFFER, object.vertex_buffer.get_id());
        glGetBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(object.vertex_bytes), out.data());
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        return out;
    }
};

TEST_F(SceneRenderTest, ASkinnedMeshReachesItsBufferOnlyWhenItsAnimationAdvanced) {
    SkinnedTriangle scene;
    scene.update(0, false);
    scene.render(false);
    GeomObject& object = *scene.geom_objects[0];
    ASSERT_NE(object.vertex_buffer.get_id(), 0u);
    EXPECT_TRUE(object.buffer_allocated);
    EXPECT_FALSE(object.vertex_dirty);
    EXPECT_EQ(scene.buffered_vertices(), (std::vector<float>{1, 0, 0, 2, 0, 0, 1, 1, 0}));

    // Overwritten behind the scene's back: an update to the same time must not upload again.
    const float marker[9] = {7, 7, 7, 7, 7, 7, 7, 7, 7};
    glBindBuffer(GL_ARRAY_BUFFER, object.vertex_buffer.get_id());
    glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof marker, marker);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    scene.update(0, false);
    scene.render(false);
    EXPECT_EQ(scene.buffered_vertices(), std::vector<float>(marker, marker + 9));

    // A second later the joint has turned by 90 degrees: (x, y) becomes (-y, x).
    scene.update(1, false);
    scene.render(false);
    const std::vector<float> turned = scene.buffered_vertices();
    const float expected[9] = {0, 1, 0, 0, 2, 0, -1, 1, 0};
    ASSERT_EQ(turned.size(), 9u);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(turned[static_cast<size_t>(i)], expected[i], 1e-5f);
}

TEST_F(SceneRenderTest, SkippedIndicesLeaveTrianglesOut) {
    TestScene scene;
    const int32_t white = scene.material(Vec4(1, 1, 1, 1));
    // Left triangle first, then the right one.
    const int32_t node = scene.mesh_node({Vec3(-1, -1, 0), Vec3(0, -1, 0), Vec3(-1, 1, 0), Vec3(0.2f, -1, 0),
                                          Vec3(1, -1, 0), Vec3(1, 1, 0)},
                                         white);
    scene.camera(Vec3(0, 0, 3), Vec3(0, 0, 0), Vec3(0, 1, 0));
    scene.light(Vec3(0, 0, 3));
    GeomObject& object = scene.object_of(node);
    object.skipped_indices_start = 3;
    scene.render(false);
    EXPECT_EQ(object.index_bytes, 6 * sizeof(uint32_t));
    EXPECT_EQ(pixel(SIZE / 4, SIZE / 2 - 8).r, 0);
    EXPECT_GT(pixel(3 * SIZE / 4 + 4, SIZE / 2 - 8).r, 100);

    object.skipped_indices_start = 0;
    object.skipped_indices_end = 3;
    object.index_dirty = true;
    clear();
    scene.render(false);
    EXPECT_GT(pixel(SIZE / 4, SIZE / 2 - 8).r, 100);
    EXPECT_EQ(pixel(3 * SIZE / 4 + 4, SIZE / 2 - 8).r, 0);

    // Skipping everything draws nothing and is no error.
    object.skipped_indices_end = 6;
    clear();
    scene.render(false);
    EXPECT_EQ(pixel(SIZE / 4, SIZE / 2 - 8).r, 0);
}

// ---- fatal reports ---------------------------------------------------------------------------

class SceneRenderFailureTest : public GlTest {};

TEST_F(SceneRenderFailureTest, RenderingReportsWhatItCannotDraw) {
    TestScene scene;
    scene.floor_square(0, 0, 0, 1, scene.material(Vec4(1, 1, 1, 1)));
    scene.set_viewport(SIZE, SIZE, 1);
    EXPECT_EQ(fatal_message_of([&] { scene.render(true); }), "No camera defined! Needed for shadows");
    scene.camera(Vec3(0, 0, 3), Vec3(0, 0, 0), Vec3(0, 1, 0));
    scene.cur_cam = 3;
    EXPECT_EQ(fatal_message_of([&] { scene.render(true); }), "cur_cam 3 out of range for 1 cameras!");
    EXPECT_EQ(fatal_message_of([&] { render_node(&scene, scene.master_node, false, 7, 0); }),
              "Unsupported draw mode 7");

    // Without a camera to follow, mirrors cannot be rendered.
    Mirror mirror(8, 8);
    scene.mirrors.push_back(&mirror);
    EXPECT_EQ(fatal_message_of([&] { scene.render(false); }), "cur_cam 3 out of range for 1 cameras!");
    // Mirrors need the textured slot.
    scene.cur_cam = 0;
    EXPECT_EQ(fatal_message_of([&] { scene.render(false); }), "Failed assert master->shaders[OBJ_SHADER_TEXTURE]");
    EXPECT_FALSE(scene.mirror_pass_active);
}

TEST_F(SceneRenderFailureTest, DamagedCornerIndicesAreReportedNotRead) {
    TestScene scene;
    const int32_t node = scene.floor_square(0, 0, 0, 1, scene.material(Vec4(1, 1, 1, 1)));
    GeomObject& object = scene.object_of(node);
    object.ivertices[2] = 6;  // the mesh has six vertices
    EXPECT_EQ(fatal_message_of([&] { draw_object(&scene, 0, DRAW_NORMAL); }), "Failed to create VBOs!");

    object.ivertices[2] = 2;
    draw_object(&scene, 0, DRAW_NORMAL);
    // Skinning marks the data dirty; by then an index names a normal that is not there.
    object.inormals[4] = 100;
    object.vertex_dirty = true;
    EXPECT_EQ(fatal_message_of([&] { draw_object(&scene, 0, DRAW_NORMAL); }), "Failed to update VBOs!");

    object.mesh_ptr = nullptr;
    EXPECT_EQ(fatal_message_of([&] { draw_object(&scene, 0, DRAW_NORMAL); }), "object->mesh_ptr is NULL");
}

// ---- loading ---------------------------------------------------------------------------------

struct ScratchFolder {
    std::string path;
    ScratchFolder() {
        char pattern[] = "/tmp/zorvane-scene-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~ScratchFolder() {
        std::string command = "rm -rf '" + path + "'";
        if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", path.c_str());
    }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(path + "/" + name, std::ios::binary) << text;
        return path + "/" + name;
    }
};

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class SceneGraph : public GlTest {};

TEST_F(SceneGraph, LoadedScenesStartTheirAnimationAndKeepNoCameraWhenTheyHaveNone) {
    ScratchFolder folder;
    // The ending is matched without regard to case.
    std::string path = folder.write("BONES.DAE", read_file(ZORVANE_TEST_DATA "/collada/skinned_bones.dae"));
    Objects3D scene;
    ASSERT_TRUE(scene.load(path.c_str()));
    EXPECT_EQ(scene.master_node, scene.nodes[0].get());
    EXPECT_EQ(scene.cur_cam, -1);
    EXPECT_TRUE(scene.animating);
    EXPECT_FLOAT_EQ(scene.animation_length, 2.0f);
    // Loading drew the scene once: every object has its buffers.
    for (const auto& object : scene.geom_objects) {
        EXPECT_NE(object->vertex_buffer.get_id(), 0u);
        EXPECT_FALSE(object->vertex_dirty);
    }
}

TEST_F(SceneGraph, LoadingPicksTheFirstCameraAndFitsTheLightsToTheScene) {
    // A two-unit cube centred at (3, 0, 0), a camera and a lamp ten units above the origin.
    std::string document =
        "<?xml version=\"1.0\"?><COLLADA><library_cameras><camera id=\"Cam\"><optics><technique_common>"
        "<perspective><yfov>40</yfov><znear>0.1</znear><zfar>100</zfar></perspective></technique_common></optics>"
        "</camera></library_cameras><library_lights><light id=\"Lamp\"><technique_common><point>"
        "<color>1 1 1</color></point></technique_common></light></library_lights><library_geometries>"
        "<geometry id=\"Box\"><mesh><source id=\"p\"><float_array id=\"pa\">2 -1 -1 4 1 1 4 -1 1</float_array>"
        "<technique_common><accessor source=\"#pa\" count=\"3\" stride=\"3\"/></technique_common></source>"
        "<vertices id=\"v\"><input semantic=\"POSITION\" source=\"#p\"/></vertices><triangles>"
        "<input semantic=\"VERTEX\" source=\"#v\" offset=\"0\"/><p>0 1 2</p></triangles></mesh></geometry>"
        "</library_geometries><library_visual_scenes><visual_scene id=\"s\"><node id=\"Box\">"
        "<instance_geometry url=\"#Box\"/></node><node id=\"View\"><translate>0 0 10</translate>"
        "<instance_camera url=\"#Cam\"/><instance_light url=\"#Lamp\"/></node></visual_scene>"
        "</library_visual_scenes></COLLADA>";
    ScratchFolder folder;
    std::string path = folder.write("box.dae", document);
    Objects3D scene;
    ASSERT_TRUE(scene.load(path.c_str()));
    EXPECT_EQ(scene.cur_cam, 0);
    EXPECT_FALSE(scene.animating);
    ASSERT_EQ(scene.lights.size(), 1u);
    const float size = scene.size(nullptr);
    EXPECT_FLOAT_EQ(size, std::sqrt(12.0f));
    EXPECT_FLOAT_EQ(scene.lights[0]->get_far(), 2 * size);
    // The fall-off is measured from the lamp to the middle of the scene.
    EXPECT_FLOAT_EQ(scene.lights[0]->linear_attenuation, 1.0f / (10.0f * std::sqrt(9.0f + 100.0f)));
}

}  // namespace
