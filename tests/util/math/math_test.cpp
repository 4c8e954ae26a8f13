#include "util/math/math.h"

#include <gtest/gtest.h>

#include <random>

namespace {

void expect_near(const Mat4& a, const Mat4& b, float tolerance) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.m[i], b.m[i], tolerance) << "element " << i;
}

// The product written out in full, with no shortcut.
Mat4 general_product(const Mat4& a, const Mat4& b) {
    Mat4 c;
    for (int col = 0; col < 4; ++col)
        for (int r = 0; r < 4; ++r) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += a.m[k * 4 + r] * b.m[col * 4 + k];
            c.m[col * 4 + r] = sum;
        }
    return c;
}

Mat4 random_matrix(std::mt19937& random, bool affine) {
    Mat4 m;
    std::uniform_real_distribution<float> value(-2.0f, 2.0f);
    for (float& e : m.m) e = value(random);
    if (affine) m.m[3] = m.m[7] = m.m[11] = 0, m.m[15] = 1;
    return m;
}

TEST(Mat4, ElementAccessAndScalarDivision) {
    Mat4 m;
    EXPECT_EQ(m.get(0), 1.0f);
    EXPECT_EQ(m.get(16), 0.0f);
    EXPECT_EQ(m.get(-1), 0.0f);
    m.set(16, 5.0f);
    m.set(-1, 5.0f);
    expect_near(m, Mat4(), 0);
    m.set(13, 4.0f);
    EXPECT_EQ(m.get(3, 1), 4.0f);
    expect_near(m / 0.0f, m, 0);
    expect_near(m / 1.0f, m, 0);
    EXPECT_FLOAT_EQ((m / 2.0f).get(13), 2.0f);
}

TEST(Mat4, ShortcutsGiveTheGeneralProduct) {
    std::mt19937 random(5);
    for (int round = 0; round < 50; ++round)
        for (bool a_affine : {false, true})
            for (bool b_affine : {false, true}) {
                Mat4 a = random_matrix(random, a_affine), b = random_matrix(random, b_affine);
                expect_near(a * b, general_product(a, b), 1e-5f);
            }
}

TEST(Mat4, InverseOfPerspectiveAndOfAnAffineChain) {
    Mat4 p;
    p.perspective(60.0f, 16.0f / 9.0f, 0.1f, 100.0f);
    expect_near(p * p.inverse(), Mat4(), 1e-4f);
    Mat4 trs;
    trs.translate(3, -2, 5);
    trs.rotate(37, 1, 2, 3);
    trs.scale(2, 0.5f, 3);
    expect_near(trs.inverse() * trs, Mat4(), 1e-5f);
    std::mt19937 random(9);
    for (int round = 0; round < 20; ++round) {
        Mat4 a = random_matrix(random, false);
        expect_near(a * a.inverse(), Mat4(), 1e-3f);
    }
    Mat4 zero;
    for (float& e : zero.m) e = 0;
    expect_near(zero.inverse(), Mat4(), 0);
}

TEST(Mat4, RotateTranslateAndTransforms) {
    Mat4 a, b;
    a.rotate(90, 0, 0, 2);
    b.rotate(90, 0, 0, 1);
    expect_near(a, b, 0);
    Vec3 x = a.transform_direction(Vec3(1, 0, 0));
    EXPECT_NEAR(x.x, 0, 1e-6);
    EXPECT_NEAR(x.y, 1, 1e-6);
    Mat4 unchanged;
    unchanged.rotate(45, 0, 0, 0);
    expect_near(unchanged, Mat4(), 0);
    Mat4 t;
    t.rotate(90, 0, 0, 1);
    t.translate(1, 0, 0);  // in the rotated frame: along y
    Vec3 p = t.transform_point(Vec3(0, 0, 0));
    EXPECT_NEAR(p.x, 0, 1e-6);
    EXPECT_NEAR(p.y, 1, 1e-6);
    EXPECT_EQ(t.add_translation(Vec3(1, 1, 1)).z, 1.0f);
    Mat4 proj;
    proj.perspective(90, 1, 1, 10);
    Vec3 ndc = proj.transform_point(Vec3(0, 0, -10));
    EXPECT_NEAR(ndc.z, 1.0f, 1e-5);  // the far plane
    Vec4 w = proj.transform(Vec4(0, 0, -1, 1));
    EXPECT_NEAR(w.w, 1.0f, 1e-6);  // not affine: w comes from the bottom row
}

TEST(Mat4, LookAtPutsTheCentreOnTheNegativeZAxis) {
    Mat4 view;
    view.look_at(0, 0, 5, 0, 0, 0, 0, 1, 0);
    Vec3 centre = view.transform_point(Vec3(0, 0, 0));
    EXPECT_NEAR(centre.x, 0, 1e-6);
    EXPECT_NEAR(centre.z, -5, 1e-6);
    Mat4 side;
    side.look_at(5, 0, 0, 0, 0, 0, 0, 1, 0);
    Vec3 c = side.transform_point(Vec3(0, 0, 0));
    EXPECT_NEAR(c.z, -5, 1e-5);
    EXPECT_NEAR(c.x, 0, 1e-5);
}

TEST(Vectors, ArithmeticAndHelpers) {
    Vec3 a(1, 2, 3), b(4, 5, 6);
    EXPECT_EQ(dot(a, b), 32.0f);
    Vec3 c = cross(a, b);
    EXPECT_EQ(c.x, -3.0f);
    EXPECT_EQ(c.y, 6.0f);
    EXPECT_EQ(c.z, -3.0f);
    Vec3 d = 2.0f * a - b;
    EXPECT_EQ(d[0], -2.0f);
    d.w = 7;
    Vec3 e;
    e = d;
    EXPECT_EQ(e.w, 1.0f);  // assignment copies x, y, z only
    Vec3 l;
    l.lerp(a, b, 0.5f);
    EXPECT_FLOAT_EQ(l.y, 3.5f);
    for (int i = 0; i < 100; ++i) {
        Vec3 u;
        u.random_unit();
        EXPECT_NEAR(u.length(), 1.0f, 1e-5);
    }
    EXPECT_DOUBLE_EQ(round_to(145.00002, 2), 145.0);
    EXPECT_DOUBLE_EQ(round_to(1.005 + 1e-9, 2), 1.01);
    Vec4 v(1, 2, 3, 4);
    EXPECT_EQ((v * 2 + v)[3], 12.0f);
    v.clear();
    EXPECT_EQ(v.w, 0.0f);
}

}  // namespace
