// Primitive shapes in immediate mode, compiled into display lists on first use and kept for the
// run: an icosahedron-based sphere, a cube, a segmented box and a latitude-longitude sphere.
// Every shape gives normals, texture coordinates and a tangent as generic vertex attribute 1
// (the fourth component -1 on inverted shapes, else 1), the attribute meshes use too.
// Display lists belong to one GL context: reset_shape_caches() forgets them for a new one.
// Depends on: util/math, GLEW.
#pragma once

#include <vector>

#include "util/math/math.h"

// One corner of a shape as it is handed to GL.
struct ShapeVertex {
    Vec3 position, normal;
    float s = 0, t = 0;
    Vec4 tangent;
};

// A sphere of `radius` around `center`, its icosahedron faces subdivided `divisions` times
// (1 to 5; below 1 nothing is drawn, above 5 is fatal). The cached list is a unit sphere.
void draw_geosphere(float radius, int divisions, bool inverted, const Vec3& center);
void draw_geosphere(float radius, int divisions, bool inverted);
// A cube of edge `size` around the origin; inverted shapes face inwards.
void draw_cube(float size, bool inverted);
// A box of sx by sy by sz around `center`, made of `segments` stacked segments so that a texture
// repeats once per segment vertically.
void draw_column(float sx, float sy, float sz, int segments, bool inverted, const Vec3& center);
// A latitude-longitude sphere around the z axis, drawn without a display list.
void draw_uv_sphere(float radius, int slices, int stacks);

// Sines and cosines of n steps round the circle (a negative n runs the other way), |n| + 1
// entries each, the last equal to the first. The caller frees both with free().
void fghCircleTable(double** sint, double** cost, int n);

// The geometry behind the lists: a unit icosahedron sphere as triangles, the cube from -1 to 1
// and the column of unit segments as quads, in the order they are drawn.
std::vector<ShapeVertex> geosphere_triangles(int divisions, bool inverted);
std::vector<ShapeVertex> cube_quads(bool inverted);
std::vector<ShapeVertex> column_quads(int segments, bool inverted);

void reset_shape_caches();
// The segment count the cached column list of [inverted] was built for (0: none yet).
int column_list_segments(bool inverted);
unsigned column_list(bool inverted);
