// Shape geometry, checked without a GL context: the lists compile exactly these vertices.
#include "util/objects3d/prefabs/shapes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

float dot3(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

TEST(Geosphere, EachDivisionQuadruplesTheTrianglesOfAUnitSphere) {
    for (int divisions = 0; divisions <= 3; ++divisions) {
        auto vertices = geosphere_triangles(divisions, false);
        ASSERT_EQ(vertices.size(), 3u * 20u * (1u << (2 * divisions))) << divisions;
        for (const ShapeVertex& v : vertices) {
            EXPECT_NEAR(v.position.length(), 1.0f, 1e-5f);
            EXPECT_NEAR(dot3(v.normal, v.position), 1.0f, 1e-5f);  // normal = position
        }
    }
}

TEST(Geosphere, TrianglesAreEmittedLastCornerFirst) {
    // Undivided, the first face is (0, 4, 1) of the icosahedron, emitted as 1, 4, 0.
    auto vertices = geosphere_triangles(0, false);
    const float X = 0.525731112119133606f, Z = 0.850650808352039932f;
    EXPECT_NEAR(vertices[0].position.x, X, 1e-6f);  // vertex 1: (X, 0, Z)
    EXPECT_NEAR(vertices[0].position.z, Z, 1e-6f);
    EXPECT_NEAR(vertices[1].position.y, Z, 1e-6f);  // vertex 4: (0, Z, X)
    EXPECT_NEAR(vertices[2].position.x, -X, 1e-6f);  // vertex 0: (-X, 0, Z)
}

TEST(Geosphere, NoTriangleIsStretchedAcrossTheTextureSeam) {
    auto vertices = geosphere_triangles(3, false);
    for (size_t i = 0; i < vertices.size(); i += 3) {
        float lo = std::min({vertices[i].s, vertices[i + 1].s, vertices[i + 2].s});
        float hi = std::max({vertices[i].s, vertices[i + 1].s, vertices[i + 2].s});
        // A torn triangle spans almost the whole texture (5 repeats); at three divisions an
        // honest one spans well under one repeat, poles included.
        EXPECT_LT(hi - lo, 1.0f) << "triangle " << i / 3;
        for (int k = 0; k < 3; ++k) {
            const Vec3& p = vertices[i + k].position;
            EXPECT_NEAR(vertices[i + k].t, 5.0f * (std::asin(p.y) / static_cast<float>(M_PI) + 0.5f), 1e-4f);
        }
    }
}

TEST(Geosphere, InvertedSpheresFaceInwardsWithTheSameCorners) {
    auto outward = geosphere_triangles(2, false);
    auto inward = geosphere_triangles(2, true);
    ASSERT_EQ(outward.size(), inward.size());
    for (size_t i = 0; i < outward.size(); ++i) {
        EXPECT_FLOAT_EQ(inward[i].position.x, outward[i].position.x);
        EXPECT_NEAR(dot3(inward[i].normal, outward[i].normal), -1.0f, 1e-5f);
        EXPECT_EQ(inward[i].tangent.w, -1.0f);
        EXPECT_EQ(outward[i].tangent.w, 1.0f);
        // A unit tangent in the surface.
        Vec3 t(outward[i].tangent.x, outward[i].tangent.y, outward[i].tangent.z);
        EXPECT_NEAR(t.length(), 1.0f, 1e-5f);
    }
}

TEST(Cube, FacesPointOutwardsAndInvertingFlipsOnlyTheNormals) {
    auto outward = cube_quads(false);
    auto inward = cube_quads(true);
    ASSERT_EQ(outward.size(), 24u);
    ASSERT_EQ(inward.size(), 24u);
    for (size_t face = 0; face < 6; ++face) {
        Vec3 centre(0, 0, 0);
        for (size_t k = 0; k < 4; ++k) centre = centre + outward[face * 4 + k].position * 0.25f;
        const Vec3& n = outward[face * 4].normal;
        EXPECT_NEAR(dot3(n, centre), 1.0f, 1e-6f) << face;
        for (size_t k = 0; k < 4; ++k) {
            const ShapeVertex& out = outward[face * 4 + k];
            const ShapeVertex& in = inward[face * 4 + k];
            EXPECT_EQ(in.position.x, out.position.x);
            EXPECT_EQ(in.position.y, out.position.y);
            EXPECT_EQ(in.position.z, out.position.z);
            EXPECT_EQ(in.s, out.s);
            EXPECT_EQ(in.normal.x, -out.normal.x);
            EXPECT_EQ(in.normal.y, -out.normal.y);
            EXPECT_EQ(in.normal.z, -out.normal.z);
            // Tangents lie in the face.
            EXPECT_EQ(dot3(Vec3(out.tangent.x, out.tangent.y, out.tangent.z), out.normal), 0.0f);
        }
    }
}

TEST(Column, SegmentsStackWithTheTextureRepeatingOncePerSegment) {
    const int segments = 3;
    auto quads = column_quads(segments, false);
    ASSERT_EQ(quads.size(), 4u * (2 + 4 * segments));
    float lowest = 1e9f, highest = -1e9f;
    for (const ShapeVertex& v : quads) {
        lowest = std::min(lowest, v.position.y);
        highest = std::max(highest, v.position.y);
    }
    EXPECT_EQ(lowest, -1.0f);
    EXPECT_EQ(highest, 2.0f * (segments - 1) + 1.0f);
    // Side quads of segment i run from y = 2i - 1 to 2i + 1 with t from i to i + 1.
    for (size_t q = 1; q + 1 < quads.size() / 4; ++q) {
        for (size_t k = 0; k < 4; ++k) {
            const ShapeVertex& v = quads[q * 4 + k];
            const int segment = static_cast<int>((q - 1) / 4);
            EXPECT_EQ(v.position.y, v.t * 2.0f - 1.0f) << q;
            EXPECT_TRUE(v.t == segment || v.t == segment + 1) << q;
            EXPECT_EQ(v.normal.y, 0.0f);
        }
    }
    EXPECT_EQ(quads.front().normal.y, -1.0f);  // bottom first
    EXPECT_EQ(quads.back().normal.y, 1.0f);    // top last
}

TEST(CircleTable, QuarterStepsInBothDirections) {
    double *sint, *cost;
    fghCircleTable(&sint, &cost, 4);
    const double expect_sin[] = {0, 1, 0, -1, 0}, expect_cos[] = {1, 0, -1, 0, 1};
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(sint[i], expect_sin[i], 1e-12) << i;
        EXPECT_NEAR(cost[i], expect_cos[i], 1e-12) << i;
    }
    free(sint);
    free(cost);
    fghCircleTable(&sint, &cost, -4);
    EXPECT_NEAR(sint[1], -1.0, 1e-12);  // the other way round
    EXPECT_EQ(sint[4], 0.0);
    EXPECT_EQ(cost[4], 1.0);
    free(sint);
    free(cost);
    // Zero steps counts as one: a single entry, no division by zero.
    fghCircleTable(&sint, &cost, 0);
    EXPECT_EQ(sint[0], 0.0);
    EXPECT_EQ(cost[0], 1.0);
    free(sint);
    free(cost);
}

}  // namespace
