// The fixed-pipeline toolkit on a real GL context: cameras, lights and their shadow faces,
// shapes, reflection maps, and a small scene that uses them all with text.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "gl_support.h"
#include "test_support.h"
#include "util/camera/camera.h"
#include "util/fbo/fbo.h"
#include "util/light/light.h"
#include "util/objects3d/prefabs/shapes.h"
#include "util/reflectionmap/reflectionmap.h"
#include "util/shaderprogram/shaderprogram.h"
#include "util/text/text.h"

namespace {

using CameraGl = GlTest;
using LightGl = GlTest;

struct Viewport {
    GLint v[4];
};

Viewport viewport() {
    Viewport result;
    glGetIntegerv(GL_VIEWPORT, result.v);
    return result;
}

void expect_viewport(int x, int y, int w, int h) {
    Viewport got = viewport();
    EXPECT_EQ(got.v[0], x);
    EXPECT_EQ(got.v[1], y);
    EXPECT_EQ(got.v[2], w);
    EXPECT_EQ(got.v[3], h);
}

Mat4 gl_matrix(GLenum which) {
    Mat4 m;
    glGetFloatv(which, m.m);
    return m;
}

void expect_matrix_near(const Mat4& actual, const Mat4& expected) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(actual.m[i], expected.m[i], 1e-4f) << i;
}

TEST_F(CameraGl, ViewportIsLetterboxedToTheAspect) {
    Camera camera;
    camera.apply_projection(1280, 1024, 16.0f / 9.0f, 1.0f);
    expect_viewport(0, 152, 1280, 720);
    // The view is loaded as the modelview afterwards.
    camera.set_view(Vec3(1, 2, 3), Vec3(0, 0, 0), Vec3(0, 0, 1));
    camera.apply_projection(640, 480, 4.0f / 3.0f, 1.0f);
    expect_viewport(0, 0, 640, 480);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    expect_matrix_near(gl_matrix(GL_MODELVIEW_MATRIX), camera.get_view());
}

TEST_F(CameraGl, ItsOwnOutputSizeOverridesTheArguments) {
    Camera camera;
    camera.set_output(512, 512, 1.0f);
    camera.apply_projection(1280, 1024, 16.0f / 9.0f, 1.0f);
    expect_viewport(0, 0, 512, 512);
    // An aspect of 0 would divide by zero; the output's own shape is used instead.
    Camera plain;
    plain.apply_projection(300, 200, 0.0f, 1.0f);
    expect_viewport(0, 0, 300, 200);
}

TEST_F(CameraGl, FieldOfViewDefaultsAndIsStored) {
    Camera camera;
    camera.set_near_far(1, 100);
    camera.apply_projection(600, 400, 1.5f, 2.0f);
    EXPECT_EQ(camera.get_yfov(), 45.0f);
    Mat4 expected;
    expected.perspective(45, 1.5f, 2, 200);  // clip planes scaled by the depth scale
    expect_matrix_near(gl_matrix(GL_PROJECTION_MATRIX), expected);

    Camera wide;
    wide.set_xfov(60);
    wide.apply_projection(600, 400, 1.5f, 1.0f);
    EXPECT_FLOAT_EQ(wide.get_yfov(), 40.0f);
    wide.set_xfov(90);  // a stored yfov is kept from now on
    wide.apply_projection(600, 400, 1.5f, 1.0f);
    EXPECT_FLOAT_EQ(wide.get_yfov(), 40.0f);

    // An orthographic camera with only xmag keeps the output's aspect: half height 3 / 1.5.
    Camera flat;
    flat.set_near_far(1, 9);
    flat.set_orthographic(3, -1);
    flat.apply_projection(600, 400, 1.5f, 1.0f);
    const Mat4 ortho = gl_matrix(GL_PROJECTION_MATRIX);
    EXPECT_FLOAT_EQ(ortho.m[0], 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(ortho.m[5], 0.5f);
    EXPECT_FLOAT_EQ(ortho.m[10], -0.25f);
    EXPECT_FLOAT_EQ(ortho.m[14], -1.25f);
    EXPECT_FLOAT_EQ(ortho.m[15], 1.0f);
}

TEST_F(CameraGl, SanityReports) {
    Camera camera;
    EXPECT_EQ(fatal_message_of([&] { camera.apply_projection(10001, 10, 1, 1); }),
              "Sanity check failed on width/height 10001/10");
    EXPECT_EQ(fatal_message_of([&] { camera.apply_projection(10, -1, 1, 1); }),
              "Sanity check failed on width/height 10/-1");
    camera.set_near_far(-1, 10);
    EXPECT_EQ(fatal_message_of([&] { camera.apply_projection(10, 10, 1, 1); }),
              "Invalid znear/zfar of -1.000000/10.000000");
}

TEST_F(LightGl, AmbientLightsOnlyChangeTheGlobalAmbientColour) {
    Light light;
    light.set_type(Light::AMBIENT);
    light.set_ambient(Vec4(0.25f, 0.5f, 0.75f, 1));
    light.set_diffuse(Vec4(0.1f, 0.1f, 0.1f, 1));
    light.apply(0);
    float model_ambient[4];
    glGetFloatv(GL_LIGHT_MODEL_AMBIENT, model_ambient);
    EXPECT_FLOAT_EQ(model_ambient[1], 0.5f);
    EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
    float diffuse[4];
    glGetLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    EXPECT_EQ(diffuse[0], 1.0f);  // GL's default for light 0, untouched
}

TEST_F(LightGl, PointLightsSetEveryParameterAndAreEnabled) {
    Light light;
    light.set_position(1, 2, 3);
    light.set_diffuse(Vec4(0.5f, 0.25f, 1, 1));
    light.set_spot(30, 2);
    light.apply(3);
    EXPECT_TRUE(glIsEnabled(GL_LIGHT3));
    float value[4];
    glGetLightfv(GL_LIGHT3, GL_DIFFUSE, value);
    EXPECT_FLOAT_EQ(value[1], 0.25f);
    glGetLightfv(GL_LIGHT3, GL_POSITION, value);  // eye space, through the identity modelview
    EXPECT_FLOAT_EQ(value[2], 3.0f);
    glGetLightfv(GL_LIGHT3, GL_SPOT_CUTOFF, value);
    EXPECT_FLOAT_EQ(value[0], 30.0f);
    glGetLightfv(GL_LIGHT3, GL_LINEAR_ATTENUATION, value);
    EXPECT_FLOAT_EQ(value[0], light.linear_attenuation);
    light.set_type(7);
    EXPECT_EQ(fatal_message_of([&] { light.apply(0); }), "Unrecognized light type 7");
}

// Everything a shadow face may touch, to compare before and after.
struct Snapshot {
    GLint framebuffer, draw_buffer, read_buffer, projection_depth, modelview_depth, mode;
    Viewport view;
    Mat4 projection, modelview;
    GLboolean lighting, offset_fill;

    static Snapshot take() {
        Snapshot s;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &s.framebuffer);
        glGetIntegerv(GL_DRAW_BUFFER, &s.draw_buffer);
        glGetIntegerv(GL_READ_BUFFER, &s.read_buffer);
        glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &s.projection_depth);
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &s.modelview_depth);
        glGetIntegerv(GL_MATRIX_MODE, &s.mode);
        s.view = viewport();
        s.projection = gl_matrix(GL_PROJECTION_MATRIX);
        s.modelview = gl_matrix(GL_MODELVIEW_MATRIX);
        s.lighting = glIsEnabled(GL_LIGHTING);
        s.offset_fill = glIsEnabled(GL_POLYGON_OFFSET_FILL);
        return s;
    }
    void expect_equal(const Snapshot& o) const {
        EXPECT_EQ(framebuffer, o.framebuffer);
        EXPECT_EQ(draw_buffer, o.draw_buffer);
        EXPECT_EQ(read_buffer, o.read_buffer);
        EXPECT_EQ(projection_depth, o.projection_depth);
        EXPECT_EQ(modelview_depth, o.modelview_depth);
        EXPECT_EQ(mode, o.mode);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(view.v[i], o.view.v[i]);
        expect_matrix_near(projection, o.projection);
        expect_matrix_near(modelview, o.modelview);
        EXPECT_EQ(lighting, o.lighting);
        EXPECT_EQ(offset_fill, o.offset_fill);
    }
};

TEST_F(LightGl, ShadowFacesRenderDepthAndRestoreEverything) {
    Fbo outer(32, 32, FboType::Rgba8);
    outer.bind(true);
    glViewport(1, 2, 30, 29);
    glEnable(GL_LIGHTING);
    load_identity_matrices();
    glTranslatef(5, 6, 7);
    glCullFace(GL_BACK);
    Snapshot before = Snapshot::take();

    Light light;
    light.set_position(1, 2, 3);
    light.set_range(10);
    light.shadow_map_size = 64;
    light.set_shadow(true);
    ASSERT_NE(light.shadow_cube, 0u);
    ASSERT_NE(light.shadow_framebuffer, 0u);
    for (int face = 0; face < 6; ++face) {
        light.begin_shadow_face(face);
        GLint bound = 0;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
        EXPECT_EQ(static_cast<GLuint>(bound), light.shadow_framebuffer);
        expect_viewport(0, 0, 64, 64);
        EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
        expect_matrix_near(gl_matrix(GL_MODELVIEW_MATRIX), light.get_face_matrix(face) * light.get_view());
        expect_matrix_near(gl_matrix(GL_PROJECTION_MATRIX), light.get_projection());
        EXPECT_EQ(glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE_EXT));
        light.end_shadow_face();
        before.expect_equal(Snapshot::take());
    }
    // The cull-face mode stays as the face set it; the scene graph sets it back.
    GLint cull = 0;
    glGetIntegerv(GL_CULL_FACE_MODE, &cull);
    EXPECT_EQ(cull, GL_FRONT);

    // A face index of 6 does nothing, and so does the end that follows it.
    light.begin_shadow_face(6);
    before.expect_equal(Snapshot::take());
    light.end_shadow_face();
    before.expect_equal(Snapshot::take());
    // So do both on a light without shadows.
    Light plain;
    plain.begin_shadow_face(0);
    plain.end_shadow_face();
    before.expect_equal(Snapshot::take());
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    outer.unbind();
}

TEST_F(LightGl, ResizeRecreatesTheCubeOnlyForANewSize) {
    Light light;
    light.resize(256, 256);  // no cube yet: only remembered
    EXPECT_EQ(light.shadow_cube, 0u);
    light.shadow_map_size = 256;
    light.set_shadow(true);
    GLuint first = light.shadow_cube;
    light.resize(256, 256);
    EXPECT_EQ(light.shadow_cube, first);
    light.resize(128, 128);
    EXPECT_EQ(light.shadow_map_size, 128);
    glBindTexture(GL_TEXTURE_CUBE_MAP, light.shadow_cube);
    GLint width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_X, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 128);
    GLint compare = 0;
    glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_COMPARE_MODE, &compare);
    EXPECT_EQ(compare, GL_COMPARE_R_TO_TEXTURE);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
}

// ---- shapes ------------------------------------------------------------------------------

class ShapesGl : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        reset_shape_caches();  // the lists of an earlier test's context are gone
        load_identity_matrices();
        glDisable(GL_LIGHTING);
        glDisable(GL_CULL_FACE);
        glColor4f(1, 1, 1, 1);
    }

    // Left and right edge of what was drawn on row y of a width-wide target, -1 when nothing.
    static std::pair<int, int> row_extent(int y, int width) {
        std::vector<unsigned char> row(static_cast<size_t>(width) * 4);
        glReadPixels(0, y, width, 1, GL_RGBA, GL_UNSIGNED_BYTE, row.data());
        int left = -1, right = -1;
        for (int x = 0; x < width; ++x)
            if (row[static_cast<size_t>(x) * 4] > 128) {
                if (left < 0) left = x;
                right = x;
            }
        return {left, right};
    }
};

TEST_F(ShapesGl, GeospheresHaveTheRadiusAskedForEveryTime) {
    Fbo target(128, 128, FboType::Rgba8);
    target.bind(true);
    // Orthographic -1..1: one unit is 64 pixels.
    draw_geosphere(0.5f, 3, false, Vec3(0.25f, 0, 0));
    auto [left, right] = row_extent(64, 128);
    EXPECT_NEAR(left, 64 + 16 - 32, 1);
    EXPECT_NEAR(right, 64 + 16 + 32 - 1, 1);
    // The cached list is a unit sphere: a second radius is not multiplied by the first.
    glClear(GL_COLOR_BUFFER_BIT);
    draw_geosphere(0.25f, 3, false);
    std::tie(left, right) = row_extent(64, 128);
    EXPECT_NEAR(right - left + 1, 32, 2);
    // Nothing at all for zero divisions; more than five is refused.
    glClear(GL_COLOR_BUFFER_BIT);
    draw_geosphere(0.5f, 0, false);
    EXPECT_EQ(row_extent(64, 128).first, -1);
    EXPECT_EQ(fatal_message_of([] { draw_geosphere(1, 6, false); }), "More than 5 divisions not supported");
    // The uv sphere has its radius too.
    glClear(GL_COLOR_BUFFER_BIT);
    draw_uv_sphere(0.75f, 24, 12);
    std::tie(left, right) = row_extent(64, 128);
    EXPECT_NEAR(right - left + 1, 96, 2);
    target.unbind();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ShapesGl, TheColumnListIsRebuiltOnlyForANewSegmentCount) {
    draw_column(1, 2, 1, 3, false, Vec3(0, 0, 0));
    const unsigned first = column_list(false);
    ASSERT_NE(first, 0u);
    draw_column(1, 4, 1, 3, false, Vec3(0, 1, 0));
    EXPECT_EQ(column_list(false), first);
    draw_column(1, 2, 1, 4, false, Vec3(0, 0, 0));
    EXPECT_NE(column_list(false), first);
    EXPECT_EQ(column_list_segments(false), 4);
    EXPECT_FALSE(glIsList(first));
    EXPECT_EQ(column_list(true), 0u);  // the inverted column has its own list
    // A column fills its box: 1 by 1.5 units around its centre, whatever the segment count.
    Fbo target(128, 128, FboType::Rgba8);
    target.bind(true);
    draw_column(1, 1.5f, 1, 5, false, Vec3(0, 0, 0));
    int bottom = -1, top = -1;
    for (int y = 0; y < 128; ++y)
        if (row_extent(y, 128).first >= 0) {
            if (bottom < 0) bottom = y;
            top = y;
        }
    EXPECT_NEAR(bottom, 64 - 48, 1);
    EXPECT_NEAR(top, 64 + 48 - 1, 1);
    target.unbind();
}

// ---- reflection maps ----------------------------------------------------------------------

using ReflectionGl = GlTest;

TEST_F(ReflectionGl, FacesRenderFromThePositionAndPutEverythingBack) {
    ReflectionMap map(32, 32);
    ASSERT_NE(map.cubemap, 0u);
    map.set_position(Vec3(1, 2, 3));
    Fbo outer(16, 16, FboType::Rgba8);
    outer.bind(true);
    glViewport(2, 3, 10, 11);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(30, 0, 1, 0);
    Snapshot before = Snapshot::take();
    Mat4 translation;
    translation.translate(-1, -2, -3);
    for (int face = 0; face < 6; ++face) {
        map.begin_face(face);
        expect_matrix_near(gl_matrix(GL_MODELVIEW_MATRIX), map.face_matrices[face] * translation);
        expect_matrix_near(map.face_matrix(face), map.face_matrices[face] * translation);
        expect_viewport(0, 0, 32, 32);
        EXPECT_EQ(glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE_EXT));
        map.end_face();
        before.expect_equal(Snapshot::take());
    }
    EXPECT_EQ(fatal_message_of([&] { map.begin_face(6); }), "Failed assert ( i >= 0 && i < 6 )");
    before.expect_equal(Snapshot::take());
    outer.unbind();
}

// ---- a scene using it all -----------------------------------------------------------------

TEST_F(ReflectionGl, ASceneWithTextAndAReflectingSphere) {
    ASSERT_EQ(chdir(ZORVANE_SOURCE_DIR), 0);
    // A room whose six walls have six colours, seen from the origin.
    const float walls[6][3] = {{1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0, 1, 1}, {0, 0, 1}, {1, 0, 1}};
    ReflectionMap map(64, 64);
    map.set_position(Vec3(0, 0, 0));
    for (int face = 0; face < 6; ++face) {
        map.begin_face(face);
        glClearColor(walls[face][0], walls[face][1], walls[face][2], 1);
        glClear(GL_COLOR_BUFFER_BIT);
        map.end_face();
    }
    glClearColor(0, 0, 0, 0);

    Fbo target(128, 128, FboType::Rgba8);
    target.bind(true);
    Camera camera;
    camera.set_view(Vec3(0, 0, 5), Vec3(0, 0, 0), Vec3(0, 1, 0));
    camera.apply_projection(128, 128, 1, 1);
    ShaderProgram mirror("nolight_cubemap.vert", "nolight_cubemap.frag");
    GLuint black = 0;
    glGenTextures(1, &black);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, black);
    const unsigned char pixel[4] = {0, 0, 0, 255};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    map.bind();
    mirror.bind();
    mirror.set_uniform1i("CubeMap", 0);
    mirror.set_uniform1i("difftex", 1);
    glColor4f(1, 1, 1, 1);
    glEnable(GL_DEPTH_TEST);
    draw_geosphere(1, 3, false, Vec3(0, 0, 0));
    glDisable(GL_DEPTH_TEST);
    ReflectionMap::unbind();
    ShaderProgram::unbind_all();

    Text text((std::string(ZORVANE_SOURCE_DIR) + "/data/common/fonts/arial.ttf").c_str(), 200);
    text.Reshape(128, 128);
    text.set_gl_state();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTranslatef(4, 104, 0);
    text.print("%s", "Zv");
    glDisable(GL_BLEND);

    std::vector<unsigned char> frame(128 * 128 * 4);
    glReadPixels(0, 0, 128, 128, GL_RGBA, GL_UNSIGNED_BYTE, frame.data());
    auto at = [&](int x, int y) { return &frame[static_cast<size_t>((y * 128 + x) * 4)]; };
    auto lit = [&](int x, int y) { return at(x, y)[0] + at(x, y)[1] + at(x, y)[2] > 60; };
    // The sphere: a disc of radius about 31.5 pixels (radius 1 at distance 5, 45-degree view).
    int covered = 0;
    for (int x = 0; x < 128; ++x) covered += lit(x, 64);
    EXPECT_NEAR(covered, 63, 3);

    // Head-on it reflects the wall behind the viewer (+z, blue); seven tenths out to the left
    // and right, where the surface faces 45 degrees sideways, the walls at -x (green) and +x
    // (red). Reflections in eye axes would look the same; these are in world axes.
    EXPECT_GT(at(64, 64)[2], 150);
    EXPECT_LT(at(64, 64)[0] + at(64, 64)[1], 40);
    EXPECT_GT(at(42, 64)[1], 150);
    EXPECT_LT(at(42, 64)[0], 40);
    EXPECT_GT(at(86, 64)[0], 150);
    EXPECT_LT(at(86, 64)[1], 40);
    // The text: white ink in its band above the sphere, and none below the band.
    int ink = 0;
    for (int y = 100; y < 128; ++y)
        for (int x = 0; x < 128; ++x) ink += at(x, y)[0] > 200 && at(x, y)[1] > 200 && at(x, y)[2] > 200;
    EXPECT_GT(ink, 40);
    target.unbind();
    glDeleteTextures(1, &black);
}

}  // namespace
