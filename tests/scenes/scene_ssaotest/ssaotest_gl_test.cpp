// The ambient-occlusion scene: where the cube chain and the sphere are drawn as the progress
// grows (read from the modelview at each shape), the camera, the targets, the occlusion in
// the creases, and the composite.
#include "scenes/scene_ssaotest/scene_ssaotest.h"

#include <GL/glu.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "scenes/scene_still_suite.h"

namespace {

// Whether a program object linked (a failed compile or link would also have shown its log).
bool linked(const ShaderProgram& p) {
    GLint status = 0;
    glGetObjectParameterivARB(p.program, GL_OBJECT_LINK_STATUS_ARB, &status);
    return p.program != 0 && status == GL_TRUE;
}

// Records where each shape would be drawn: the translation of the modelview, which starts at
// the identity in these tests.
class RecordingSsaotest : public Ssaotest {
public:
    std::vector<Vec3> cubes, spheres;
    std::vector<float> cube_sizes, sphere_radii;

protected:
    void draw_chain_cube(float size) override {
        cubes.push_back(translation());
        cube_sizes.push_back(size);
        Ssaotest::draw_chain_cube(size);
    }
    void draw_sphere(float radius) override {
        spheres.push_back(translation());
        sphere_radii.push_back(radius);
        Ssaotest::draw_sphere(radius);
    }

private:
    static Vec3 translation() {
        float m[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, m);
        return Vec3(m[12], m[13], m[14]);
    }
};

const Vec3 unit_steps[6] = {Vec3(1, 0, 0), Vec3(-1, 0, 0), Vec3(0, 1, 0), Vec3(0, -1, 0), Vec3(0, 0, 1), Vec3(0, 0, -1)};

void expect_near(const Vec3& a, const Vec3& b, const std::string& what) {
    EXPECT_NEAR(a.x, b.x, 1e-5f) << what;
    EXPECT_NEAR(a.y, b.y, 1e-5f) << what;
    EXPECT_NEAR(a.z, b.z, 1e-5f) << what;
}

class SsaotestGl : public SceneStillSuite<640, 360> {
protected:
    static void SetUpTestSuite() {
        SceneStillSuite::SetUpTestSuite();
        scene = &still->add<RecordingSsaotest>();
    }
    void SetUp() override {
        const struct {
            const char* name;
            float value;
        } defaults[] = {
            {"ss_totStrength", 1.38f}, {"ss_strength", 0.07f}, {"ss_offset", 18}, {"ss_falloff", 0.000002f},
            {"ss_rad", 0.006f}, {"ss_uv_mul", 0.98f}, {"ss_z_near", 1}, {"ss_z_far", 10}, {"ss_org_str", 1},
            {"ss_radblur_str", 0}, {"ss_sphere_radius", 1}, {"ss_cam_rot", 0}, {"ss_col_r", 0.3f},
            {"ss_col_g", 0.8f}, {"ss_col_b", 0.3f}, {"ss_discard", 0.9f}, {"ss_progress", 0}, {"ss_cam_fov", 45},
            {"ss_clear_r", 0}, {"ss_clear_g", 0.2f}, {"ss_clear_b", 0.4f}, {"ss_cube_size", 1.5f},
        };
        for (const auto& d : defaults) ASSERT_TRUE(still->set(d.name, d.value)) << d.name;
        still->set_beat(40);
    }

    // The geometry alone at progress p, from an identity modelview.
    static void geometry_at(float p) {
        still->set("ss_progress", p);
        still->music->update();
        scene->cubes.clear();
        scene->spheres.clear();
        scene->cube_sizes.clear();
        scene->sphere_radii.clear();
        load_identity_matrices();
        scene->draw_geometry();
    }

    static inline RecordingSsaotest* scene = nullptr;
};

TEST_F(SsaotestGl, BelowTheFirstStepOnlyTheSphereIsDrawnAtOneOneMinusOne) {
    for (float p : {0.0f, 0.5f, 0.989f}) {
        geometry_at(p);
        EXPECT_TRUE(scene->cubes.empty()) << p;
        ASSERT_EQ(scene->spheres.size(), 1u) << p;
        expect_near(scene->spheres[0], Vec3(1, 1, -1), "sphere");
        EXPECT_EQ(scene->sphere_radii[0], 1.0f);
    }
    // The sphere's move is not undone: the modelview stays where the sphere was drawn.
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    expect_near(Vec3(m[12], m[13], m[14]), Vec3(1, 1, -1), "modelview after the geometry");
}

TEST_F(SsaotestGl, AtOneAndAHalfTheSecondCubeIsThreeQuartersAlongXAndTheRestWait) {
    still->set("ss_cube_size", 0.7f);
    geometry_at(1.5f);
    ASSERT_EQ(scene->cubes.size(), 17u);
    expect_near(scene->cubes[0], Vec3(0, 0, 0), "first cube");
    for (size_t k = 1; k < 17; ++k) expect_near(scene->cubes[k], Vec3(0.75f, 0, 0), "cube " + std::to_string(k));
    for (float s : scene->cube_sizes) EXPECT_EQ(s, 0.7f);
    // The chain's moves are undone before the sphere's.
    ASSERT_EQ(scene->spheres.size(), 1u);
    expect_near(scene->spheres[0], Vec3(1, 1, -1), "sphere");
}

TEST_F(SsaotestGl, FromSixtyFourAllSeventeenCubesAreTwoApartAlongThePath) {
    for (float p : {64.0f, 200.0f}) {
        geometry_at(p);
        ASSERT_EQ(scene->cubes.size(), 17u);
        expect_near(scene->cubes[0], Vec3(0, 0, 0), "first cube");
        for (int k = 0; k < Ssaotest::CHAIN_STEPS; ++k) {
            const Vec3 step = scene->cubes[static_cast<size_t>(k) + 1] - scene->cubes[static_cast<size_t>(k)];
            expect_near(step, unit_steps[Ssaotest::chain_directions[k]] * 2.0f, "step " + std::to_string(k));
        }
        expect_near(scene->cubes[16], Vec3(4, 2, -2), "last cube");
    }
}

// Each step grows to 1.5 over one unit of progress, rests for one, then opens to 2.0 over the
// next; the last step begins at 61, so just below 64 it has not quite reached 2.0.
TEST_F(SsaotestGl, EachStepGrowsRestsThenOpens) {
    const struct {
        float p, first, last;
    } cases[] = {{1.0f, 0.0f, 0.0f}, {1.9f, 1.35f, 0.0f}, {2.6f, 1.5f, 0.0f}, {3.5f, 1.75f, 0.0f}, {62.0f, 2.0f, 1.5f},
                 {63.5f, 2.0f, 1.75f}};
    for (const auto& c : cases) {
        geometry_at(c.p);
        ASSERT_EQ(scene->cubes.size(), 17u);
        const Vec3 first = scene->cubes[1] - scene->cubes[0];
        const Vec3 last = scene->cubes[16] - scene->cubes[15];
        EXPECT_NEAR(first.x, c.first, 1e-5f) << c.p;
        EXPECT_NEAR(-last.z, c.last, 1e-5f) << c.p;
    }
    float length = -1;
    EXPECT_FALSE(Ssaotest::step_length(4.99f, 5.0f, &length));
    EXPECT_EQ(length, -1.0f);
}

TEST(SsaotestChain, DirectionOutsideTheSixIsFatal) {
    // A fresh process for each: GL's threads do not survive a fork.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(Ssaotest::step_along(6, 1.0f), ::testing::ExitedWithCode(1), "Invalid direction 6");
    EXPECT_EXIT(Ssaotest::step_along(-1, 1.0f), ::testing::ExitedWithCode(1), "Invalid direction -1");
}

TEST_F(SsaotestGl, CameraCirclesAtHeightFourInHalfTurns) {
    still->set("ss_cam_rot", 0.5f);
    still->set("ss_z_near", 0.5f);
    still->set("ss_z_far", 12);
    still->set("ss_cam_fov", 60);
    still->render(*scene);
    expect_near(scene->camera.eye, Vec3(4, 4, 0), "eye at a half turn");
    EXPECT_EQ(scene->camera.get_znear(), 0.5f);
    EXPECT_EQ(scene->camera.get_zfar(), 12.0f);
    EXPECT_EQ(scene->camera.get_yfov(), 60.0f);
    still->set("ss_cam_rot", 1.0f);
    still->render(*scene);
    expect_near(scene->camera.eye, Vec3(0, 4, -4), "eye at a whole turn");
}

TEST_F(SsaotestGl, ProgramsLinkAndTheNoiseIsLoaded) {
    EXPECT_TRUE(linked(*scene->normaldepth));
    EXPECT_TRUE(linked(*scene->ssao));
    EXPECT_TRUE(linked(*scene->ssaomultiply));
    EXPECT_GE(scene->noise->width, 64);
    EXPECT_GE(scene->noise->height, 64);
}

TEST_F(SsaotestGl, ThreeTargetsFollowTheSizeAndTheCombinedOneStays) {
    EXPECT_EQ(scene->normal_target->width, WIDTH);
    EXPECT_EQ(scene->ao_target->height, HEIGHT);
    EXPECT_EQ(scene->plain_target->width, WIDTH);
    EXPECT_EQ(scene->combined_target->width, Ssaotest::TARGET_SIZE);
    EXPECT_EQ(scene->combined_target->height, Ssaotest::TARGET_SIZE);
    scene->reshape(320, 200);
    EXPECT_EQ(scene->plain_target->height, 200);
    EXPECT_EQ(scene->combined_target->width, Ssaotest::TARGET_SIZE);
    scene->reshape(WIDTH, HEIGHT);
    EXPECT_EQ(scene->noise->min_filter, GL_NEAREST);
    EXPECT_EQ(scene->noise->mag_filter, GL_NEAREST);
    EXPECT_EQ(scene->noise->wrap, GL_REPEAT);
    EXPECT_FALSE(scene->noise->mipmaps);
}

// A cube of edge 2 with the sphere centred on its top back corner: on the top face the ring
// where the sphere rises out of it is a crease; the front of the same face is open.
TEST_F(SsaotestGl, OcclusionDarkensTheCreaseAndLeavesOpenFacesLit) {
    still->set("ss_progress", 0.99f);
    still->set("ss_cube_size", 2.0f);
    still->set("ss_rad", 0.02f);
    while (glGetError() != GL_NO_ERROR) {
    }
    const Picture picture = still->render(*scene);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    const Picture occlusion = SceneStill::read(*scene->ao_target);

    Mat4 projection;
    projection.perspective(45, static_cast<float>(WIDTH) / HEIGHT, 1, 10);
    double model[16], proj[16];
    for (int i = 0; i < 16; ++i) {
        model[i] = scene->camera.get_view().m[i];
        proj[i] = projection.m[i];
    }
    const GLint viewport[4] = {0, 0, WIDTH, HEIGHT};
    // Mean occlusion (red) over a 5 x 5 patch around where a point of the scene lands.
    auto open_at = [&](const Vec3& p) {
        double x, y, z;
        EXPECT_TRUE(gluProject(p.x, p.y, p.z, model, proj, viewport, &x, &y, &z));
        int sum = 0;
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) sum += occlusion.at(static_cast<int>(x) + dx, static_cast<int>(y) + dy)[0];
        return sum / 25.0;
    };
    const double d = 1.06 / std::sqrt(2.0);
    const double crease = open_at(Vec3(static_cast<float>(1 - d), 1, static_cast<float>(-1 + d)));
    const double open = open_at(Vec3(-0.5f, 1, 0.5f));
    EXPECT_GT(open, 240) << "open face";
    EXPECT_LT(crease, open - 40) << "crease";
    if (const char* dir = getenv("ZORVANE_STILLS")) {
        picture.write_ppm(std::string(dir) + "/ssaotest_crease.ppm");
        occlusion.write_ppm(std::string(dir) + "/ssaotest_occlusion.ppm");
    }
}

TEST_F(SsaotestGl, RegistersItsValuesInOrderTheLastTwoAsConstants) {
    const char* const names[] = {"ss_totStrength", "ss_strength", "ss_offset", "ss_falloff", "ss_rad", "ss_uv_mul",
                                 "ss_z_near", "ss_z_far", "ss_org_str", "ss_radblur_str", "ss_sphere_radius",
                                 "ss_cam_rot", "ss_col_r", "ss_col_g", "ss_col_b", "ss_discard", "ss_progress",
                                 "ss_cam_fov", "ss_clear_r", "ss_clear_g", "ss_clear_b", "ss_cube_size",
                                 "normals_intensity", "geom_intensity"};
    const auto& values = still->music->sync_values().values();
    auto first = std::find_if(values.begin(), values.end(), [](const SyncValue& v) { return v.name == "ss_totStrength"; });
    ASSERT_LE(first - values.begin() + 24, values.end() - values.begin());
    for (size_t i = 0; i < 24; ++i, ++first) {
        EXPECT_EQ(first->name, names[i]);
        EXPECT_EQ(first->track != nullptr, i < 22) << names[i];
    }
}

TEST_F(SsaotestGl, ConstantWeightsAddNothingAndTheBlurAddsLight) {
    EXPECT_EQ(still->music->get_sync_value("normals_intensity"), 0.0f);
    EXPECT_EQ(still->music->get_sync_value("geom_intensity"), 0.0f);
    EXPECT_FALSE(still->set("normals_intensity", 1.0f)) << "constants have no track";
    still->set("ss_progress", 64);
    still->set("ss_cam_fov", 65);
    const Picture full = still->render(*scene);
    EXPECT_FALSE(full.uniform());
    EXPECT_TRUE(still->render(*scene).same_colours(full));
    // Neither the normal-depth nor the plain picture shows without the combined one.
    still->set("ss_org_str", 0);
    EXPECT_EQ(still->render(*scene).lit_pixels(0), 0);
    still->set("ss_radblur_str", 0.5f);
    EXPECT_GT(still->render(*scene).lit_pixels(30), WIDTH * HEIGHT / 10);
    if (const char* dir = getenv("ZORVANE_STILLS")) full.write_ppm(std::string(dir) + "/ssaotest_chain.ppm");
}

}  // namespace
