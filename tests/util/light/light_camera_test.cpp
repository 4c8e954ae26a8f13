// Camera and light state that needs no GL context: views, ranges, attenuation, cube faces.
#include "util/light/light.h"

#include <gtest/gtest.h>

#include <cmath>

#include "util/camera/camera.h"

namespace {

void expect_vec(const Vec3& actual, float x, float y, float z) {
    EXPECT_NEAR(actual.x, x, 1e-5f);
    EXPECT_NEAR(actual.y, y, 1e-5f);
    EXPECT_NEAR(actual.z, z, 1e-5f);
}

TEST(CameraState, ViewsNamesAndClipRanges) {
    Camera camera;
    camera.set_name("Main CAMERA");
    EXPECT_EQ(camera.name, "main camera");
    camera.set_view(Vec3(3, -4, 5), Vec3(0, 0, 0), Vec3(0, 0, 1));
    expect_vec(camera.world_position(), 3, -4, 5);
    // The centre lies straight ahead, on the negative z axis of the eye.
    expect_vec(camera.get_view().transform_point(Vec3(0, 0, 0)), 0, 0, -std::sqrt(50.0f));
    camera.set_clip_from_size(200);
    EXPECT_FLOAT_EQ(camera.get_znear(), 0.2f);
    EXPECT_FLOAT_EQ(camera.get_zfar(), 2000.0f);
}

TEST(LightState, DefaultsRangeAndAttenuation) {
    Light light;
    EXPECT_EQ(light.get_type(), Light::POINT);
    EXPECT_FLOAT_EQ(light.get_near(), 0.01f);
    EXPECT_FLOAT_EQ(light.get_far(), 20.0f);
    EXPECT_EQ(light.constant_attenuation, 1.0f);
    EXPECT_NEAR(light.linear_attenuation, 1.0f / (10.0f * 17.3205f), 1e-7f);
    EXPECT_EQ(light.quadratic_attenuation, 0.0f);
    EXPECT_FLOAT_EQ(light.get_ambient().x, 0.002f);

    light.set_position(1, 2, 3);
    expect_vec(light.get_view().transform_point(Vec3(1, 2, 3)), 0, 0, 0);
    light.attenuation_from_point(Vec3(1, 2, 8));
    EXPECT_FLOAT_EQ(light.linear_attenuation, 1.0f / 50.0f);
    // At the light itself: no fall-off instead of an infinite one.
    light.attenuation_from_point(Vec3(1, 2, 3));
    EXPECT_EQ(light.linear_attenuation, 0.0f);

    light.set_range(100);
    Mat4 expected;
    expected.perspective(90, 1, 0.1f, 200);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(light.get_projection().m[i], expected.m[i]) << i;
}

TEST(CubeFaces, EachFaceLooksAlongItsAxisWithTheGlUpVector) {
    Mat4 faces[6];
    cube_face_matrices(faces);
    const Vec3 directions[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    const Vec3 ups[6] = {{0, -1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}, {0, -1, 0}, {0, -1, 0}};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        expect_vec(faces[i].transform_direction(directions[i]), 0, 0, -1);
        expect_vec(faces[i].transform_direction(ups[i]), 0, 1, 0);
    }
}

}  // namespace
