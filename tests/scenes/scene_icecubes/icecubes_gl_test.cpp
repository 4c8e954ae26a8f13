// The ray-marched ice: what the program is given (object number, colour, the two matrices as
// they are), the quad over the whole target, and a picture of its own for every object.
#include "scenes/scene_icecubes/icecubes.h"

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

class IceCubesGl : public SceneStillSuite<320, 180> {
protected:
    static void SetUpTestSuite() {
        SceneStillSuite::SetUpTestSuite();
        scene = &still->add<IceCubes>();
    }
    void SetUp() override {
        const struct {
            const char* name;
            float value;
        } defaults[] = {
            {"rm_object", 0},     {"rm_color_r", 0.2f}, {"rm_color_g", 0.6f}, {"rm_color_b", 0.9f},
            {"rm_cam_pos_x", 0},  {"rm_cam_pos_y", 0},  {"rm_cam_pos_z", 0},  {"rm_cam_rotation", 0},
            {"rm_cam_axis_x", 0}, {"rm_cam_axis_y", 1}, {"rm_cam_axis_z", 0}, {"rm_obj_rotation", 0},
            {"rm_obj_axis_x", 0}, {"rm_obj_axis_y", 1}, {"rm_obj_axis_z", 0},
        };
        for (const auto& d : defaults) ASSERT_TRUE(still->set(d.name, d.value)) << d.name;
        still->set_beat(100);
    }

    static GLint uniform_int(const char* name) {
        GLint v = -1;
        glGetUniformivARB(scene->raymarcher->program, glGetUniformLocationARB(scene->raymarcher->program, name), &v);
        return v;
    }
    static std::vector<float> uniform_floats(const char* name, int count) {
        std::vector<float> v(static_cast<size_t>(count), -99.0f);
        glGetUniformfvARB(scene->raymarcher->program, glGetUniformLocationARB(scene->raymarcher->program, name), v.data());
        return v;
    }

    static inline IceCubes* scene = nullptr;
};

TEST_F(IceCubesGl, RayMarcherLinks) { EXPECT_TRUE(linked(*scene->raymarcher)); }

TEST_F(IceCubesGl, ObjectNumberIsTruncatedTowardZero) {
    const struct {
        float track;
        int object;
    } cases[] = {{2.9f, 2}, {-0.7f, 0}, {3.0f, 3}, {0.999f, 0}, {-1.5f, -1}, {3e9f, 0}, {-1e30f, 0}, {NAN, 0}};
    for (const auto& c : cases) {
        still->set("rm_object", c.track);
        still->render(*scene);
        EXPECT_EQ(scene->object_number(), c.object) << c.track;
        EXPECT_EQ(uniform_int("rm_object"), c.object) << c.track;
    }
}

TEST_F(IceCubesGl, RegistersItsTracksInOrder) {
    const char* const names[] = {"rm_object", "rm_color_r", "rm_color_g", "rm_color_b", "rm_cam_pos_x",
                                 "rm_cam_pos_y", "rm_cam_pos_z", "rm_cam_rotation", "rm_cam_axis_x", "rm_cam_axis_y",
                                 "rm_cam_axis_z", "rm_obj_rotation", "rm_obj_axis_x", "rm_obj_axis_y", "rm_obj_axis_z"};
    const auto& values = still->music->sync_values().values();
    auto first = std::find_if(values.begin(), values.end(), [](const SyncValue& v) { return v.name == "rm_object"; });
    ASSERT_LE(first - values.begin() + 15, values.end() - values.begin());
    for (const char* name : names) {
        EXPECT_EQ(first->name, name);
        EXPECT_NE(first->track, nullptr) << name;
        ++first;
    }
}

TEST_F(IceCubesGl, DefaultsGiveIdentityMatricesAndTheDefaultColour) {
    still->render(*scene);
    const std::vector<float> identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    EXPECT_EQ(uniform_floats("rm_cam_matrix", 16), identity);
    EXPECT_EQ(uniform_floats("rm_obj_matrix", 16), identity);
    EXPECT_EQ(uniform_floats("rm_color", 3), (std::vector<float>{0.2f, 0.6f, 0.9f}));
}

// Column-major as GL takes it: the camera's translation lands in elements 12 to 14, and a
// quarter turn about z sends x to y in the first column.
TEST_F(IceCubesGl, MatricesGoToTheProgramUntransposed) {
    still->set("rm_cam_pos_x", 1);
    still->set("rm_cam_pos_y", 2);
    still->set("rm_cam_pos_z", 3);
    still->set("rm_cam_rotation", 90);
    still->set("rm_cam_axis_y", 0);
    still->set("rm_cam_axis_z", 2);
    still->set("rm_obj_rotation", 90);
    still->set("rm_obj_axis_x", 1);
    still->set("rm_obj_axis_y", 0);
    still->render(*scene);
    const std::vector<float> cam = uniform_floats("rm_cam_matrix", 16);
    EXPECT_EQ(cam[12], 1.0f);
    EXPECT_EQ(cam[13], 2.0f);
    EXPECT_EQ(cam[14], 3.0f);
    EXPECT_NEAR(cam[0], 0.0f, 1e-6f);
    EXPECT_NEAR(cam[1], 1.0f, 1e-6f);
    EXPECT_NEAR(cam[4], -1.0f, 1e-6f);
    const Mat4 expected = scene->camera_matrix();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(cam[static_cast<size_t>(i)], expected.m[i]) << i;
    // Rotation after translation: the turn does not move the translation.
    const std::vector<float> obj = uniform_floats("rm_obj_matrix", 16);
    EXPECT_NEAR(obj[6], 1.0f, 1e-6f);  // y goes to z about x
    EXPECT_NEAR(obj[9], -1.0f, 1e-6f);
    EXPECT_EQ(obj[12], 0.0f);
}

TEST_F(IceCubesGl, TheQuadCoversTheWholeTarget) {
    still->render(*scene);
    // The target is cleared to transparent black; the program writes every pixel opaque.
    const Picture p = still->read_target();
    int uncovered = 0;
    for (size_t i = 3; i < p.rgba.size(); i += 4) uncovered += p.rgba[i] != 255;
    EXPECT_EQ(uncovered, 0);
    // And it leaves the matrices as it found them.
    float projection[16], modelview[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(projection[i], i % 5 == 0 ? 1.0f : 0.0f);
        EXPECT_EQ(modelview[i], i % 5 == 0 ? 1.0f : 0.0f);
    }
}

TEST_F(IceCubesGl, EveryObjectHasAPictureOfItsOwn) {
    std::vector<Picture> pictures;
    for (int object = 0; object < 4; ++object) {
        still->set("rm_object", static_cast<float>(object));
        still->set("rm_obj_rotation", 25);
        still->set("rm_obj_axis_x", 0.4f);
        pictures.push_back(still->render(*scene));
        const Picture& p = pictures.back();
        EXPECT_FALSE(p.uniform()) << object;
        EXPECT_GT(p.lit_pixels(120), WIDTH * HEIGHT / 50) << object;
        if (const char* dir = getenv("ZORVANE_STILLS")) p.write_ppm(std::string(dir) + "/icecubes_" + std::to_string(object) + ".ppm");
    }
    for (size_t a = 0; a < pictures.size(); ++a)
        for (size_t b = a + 1; b < pictures.size(); ++b) EXPECT_FALSE(pictures[a].same_colours(pictures[b])) << a << " " << b;
    // The tint colours the ice: a red cube is redder than a blue one.
    still->set("rm_object", 0);
    still->set("rm_color_r", 1);
    still->set("rm_color_g", 0.2f);
    still->set("rm_color_b", 0.2f);
    const Picture red = still->render(*scene);
    const uint8_t* centre = red.at(WIDTH / 2, HEIGHT / 2);
    EXPECT_GT(centre[0], centre[2]);
}

}  // namespace
