// Shapes: list caches, icosahedron subdivision, cube and column faces, the uv sphere.
#include "util/objects3d/prefabs/shapes.h"

#include <GL/glew.h>

#include <cmath>
#include <cstdlib>

#include "platform/fatal.h"

namespace {

// ---- caches -----------------------------------------------------------------------------

// The display lists of the current GL context, by shape and [outward, inverted]; 0 until made.
struct ShapeCaches {
    GLuint geosphere_lists[5][2] = {};
    GLuint cube_lists[2] = {};
    GLuint column_lists[2] = {};
    int column_segments[2] = {};  // the segment count each column list was made with
};
ShapeCaches caches;

Vec4 tangent(float x, float y, float z, bool inverted) { return Vec4(x, y, z, inverted ? -1.0f : 1.0f); }

void emit(const std::vector<ShapeVertex>& vertices) {
    for (const ShapeVertex& v : vertices) {
        glNormal3f(v.normal.x, v.normal.y, v.normal.z);
        glTexCoord2f(v.s, v.t);
        glVertexAttrib4f(1, v.tangent.x, v.tangent.y, v.tangent.z, v.tangent.w);
        glVertex3f(v.position.x, v.position.y, v.position.z);
    }
}

// Compiles a new list of one primitive kind. The previous list, if any, is deleted only after
// the new one exists, so a rebuilt list always gets a new name.
GLuint compile_list(GLenum mode, const std::vector<ShapeVertex>& vertices, GLuint previous) {
    GLuint list = glGenLists(1);
    if (!list) ZV_FATAL("Unable to create display list!");
    glNewList(list, GL_COMPILE);
    glBegin(mode);
    emit(vertices);
    glEnd();
    glEndList();
    if (previous) glDeleteLists(previous, 1);
    return list;
}

// ---- icosahedron sphere -----------------------------------------------------------------

const float X = 0.525731112119133606f;
const float Z = 0.850650808352039932f;
const float ico_vertices[12][3] = {{-X, 0, Z}, {X, 0, Z},  {-X, 0, -Z}, {X, 0, -Z}, {0, Z, X},  {0, Z, -X},
                                   {0, -Z, X}, {0, -Z, -X}, {Z, X, 0},  {-Z, X, 0}, {Z, -X, 0}, {-Z, -X, 0}};
const int ico_faces[20][3] = {{0, 4, 1},  {0, 9, 4},  {9, 5, 4},  {4, 5, 8},  {4, 8, 1},  {8, 10, 1}, {8, 3, 10},
                              {5, 3, 8},  {5, 2, 3},  {2, 7, 3},  {7, 10, 3}, {7, 6, 10}, {7, 11, 6}, {11, 0, 6},
                              {0, 1, 6},  {6, 1, 10}, {9, 0, 11}, {9, 11, 2}, {9, 2, 5},  {7, 2, 11}};

float sphere_u(const Vec3& v) { return std::atan2(v.x, v.z) / (2.0f * static_cast<float>(M_PI)) + 0.5f; }
float sphere_t(const Vec3& v) { return std::asin(std::fmax(-1.0f, std::fmin(1.0f, v.y))) / static_cast<float>(M_PI) + 0.5f; }

// A pole has no longitude of its own.
bool at_pole(const Vec3& v) { return std::fabs(v.x) < 1e-6f && std::fabs(v.z) < 1e-6f; }

// Keeps a triangle that straddles the u seam (where u wraps from 1 to 0) on the side of its
// vertex a: each u is moved by a whole turn when it lies more than half a turn from u(a).
// Judging by that distance, not by comparing each u with a fixed 0.75, keeps triangles that
// merely cross u = 0.75 intact. A triangle with a pole is judged against another corner, and
// the pole takes the mean longitude of the other two, so it does not twist the triangle.
void triangle_longitudes(const Vec3 corners[3], float u[3]) {
    int reference = 0;
    while (reference < 2 && at_pole(corners[reference])) ++reference;
    const float u_ref = sphere_u(corners[reference]);
    float sum = 0;
    int counted = 0;
    for (int k = 0; k < 3; ++k) {
        if (at_pole(corners[k])) continue;
        u[k] = sphere_u(corners[k]);
        if (u[k] - u_ref < -0.5f) u[k] += 1.0f;
        if (u[k] - u_ref > 0.5f) u[k] -= 1.0f;
        sum += u[k];
        ++counted;
    }
    for (int k = 0; k < 3; ++k)
        if (at_pole(corners[k])) u[k] = counted ? sum / static_cast<float>(counted) : 0.5f;
}

void add_sphere_triangle(std::vector<ShapeVertex>& out, const Vec3& a, const Vec3& b, const Vec3& c, bool inverted) {
    Vec3 t = cross(Vec3(0, 0, 1), a);
    if (t.length() < 0.1f) t = cross(Vec3(0, 1, 0), a);
    t.normalize();
    const Vec3 corners[3] = {a, b, c};
    float u[3];
    triangle_longitudes(corners, u);
    const float n = inverted ? -1.0f : 1.0f;
    for (int k = 2; k >= 0; --k) {  // emitted c, b, a
        ShapeVertex corner;
        corner.position = corners[k];
        corner.normal = corners[k] * n;
        corner.s = 5.0f * u[k];
        corner.t = 5.0f * sphere_t(corners[k]);
        corner.tangent = tangent(t.x, t.y, t.z, inverted);
        out.push_back(corner);
    }
}

Vec3 midpoint(const Vec3& p, const Vec3& q) {
    Vec3 m((p.x + q.x) * 0.5f, (p.y + q.y) * 0.5f, (p.z + q.z) * 0.5f);
    m.normalize();
    return m;
}

void subdivide(std::vector<ShapeVertex>& out, const Vec3& a, const Vec3& b, const Vec3& c, int depth, bool inverted) {
    if (depth <= 0) {
        add_sphere_triangle(out, a, b, c, inverted);
        return;
    }
    const Vec3 ab = midpoint(a, b), ac = midpoint(a, c), bc = midpoint(b, c);
    subdivide(out, a, ab, ac, depth - 1, inverted);
    subdivide(out, b, bc, ab, depth - 1, inverted);
    subdivide(out, c, ac, bc, depth - 1, inverted);
    subdivide(out, ab, bc, ac, depth - 1, inverted);
}

Vec3 ico_vertex(int i) { return Vec3(ico_vertices[i][0], ico_vertices[i][1], ico_vertices[i][2]); }

// ---- cube faces -------------------------------------------------------------------------

struct CubeFace {
    float normal[3];
    float tangent[3];
    float texcoords[4][2];
    float corners[4][3];
};

// +z, -z, +y, -y, +x, -x
const CubeFace cube_faces[6] = {
    {{0, 0, 1}, {1, 0, 0}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}}},
    {{0, 0, -1}, {-1, 0, 0}, {{1, 0}, {1, 1}, {0, 1}, {0, 0}}, {{-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}}},
    {{0, 1, 0}, {1, 0, 0}, {{0, 1}, {0, 0}, {1, 0}, {1, 1}}, {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}}},
    {{0, -1, 0}, {-1, 0, 0}, {{1, 1}, {0, 1}, {0, 0}, {1, 0}}, {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}}},
    {{1, 0, 0}, {0, 0, -1}, {{1, 0}, {1, 1}, {0, 1}, {0, 0}}, {{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}}},
    {{-1, 0, 0}, {0, 0, 1}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}}},
};
enum { FACE_POS_Z, FACE_NEG_Z, FACE_POS_Y, FACE_NEG_Y, FACE_POS_X, FACE_NEG_X };

// One cube face as a quad, its corners' y moved by y_offset and its texture t by t_offset; the
// sides of a column are cube sides stacked this way.
void add_cube_face(std::vector<ShapeVertex>& out, const CubeFace& face, bool inverted, float y_offset, float t_offset) {
    const float n = inverted ? -1.0f : 1.0f;
    for (int k = 0; k < 4; ++k) {
        ShapeVertex corner;
        corner.position = Vec3(face.corners[k][0], face.corners[k][1] + y_offset, face.corners[k][2]);
        corner.normal = Vec3(face.normal[0] * n, face.normal[1] * n, face.normal[2] * n);
        corner.s = face.texcoords[k][0];
        corner.t = face.texcoords[k][1] + t_offset;
        corner.tangent = tangent(face.tangent[0], face.tangent[1], face.tangent[2], inverted);
        out.push_back(corner);
    }
}

}  // namespace

// ---- geometry ----------------------------------------------------------------------------

std::vector<ShapeVertex> geosphere_triangles(int divisions, bool inverted) {
    std::vector<ShapeVertex> out;
    for (const auto& face : ico_faces)
        subdivide(out, ico_vertex(face[0]), ico_vertex(face[1]), ico_vertex(face[2]), divisions, inverted);
    return out;
}

std::vector<ShapeVertex> cube_quads(bool inverted) {
    std::vector<ShapeVertex> out;
    for (const CubeFace& face : cube_faces) add_cube_face(out, face, inverted, 0, 0);
    return out;
}

std::vector<ShapeVertex> column_quads(int segments, bool inverted) {
    std::vector<ShapeVertex> out;
    add_cube_face(out, cube_faces[FACE_NEG_Y], inverted, 0, 0);
    for (int i = 0; i < segments; ++i)
        for (int face : {FACE_POS_Z, FACE_NEG_Z, FACE_POS_X, FACE_NEG_X})
            add_cube_face(out, cube_faces[face], inverted, 2.0f * static_cast<float>(i), static_cast<float>(i));
    add_cube_face(out, cube_faces[FACE_POS_Y], inverted, 2.0f * static_cast<float>(segments - 1), 0);
    return out;
}

// ---- drawing -----------------------------------------------------------------------------

void draw_geosphere(float radius, int divisions, bool inverted, const Vec3& center) {
    if (divisions < 1) return;
    if (divisions > 5) ZV_FATAL("More than 5 divisions not supported");
    glPushMatrix();
    glTranslatef(center.x, center.y, center.z);
    glScalef(radius, radius, radius);
    GLuint& list = caches.geosphere_lists[divisions - 1][inverted ? 1 : 0];
    if (!list) list = compile_list(GL_TRIANGLES, geosphere_triangles(divisions, inverted), 0);
    glCallList(list);
    glPopMatrix();
}

void draw_geosphere(float radius, int divisions, bool inverted) {
    draw_geosphere(radius, divisions, inverted, Vec3(0, 0, 0));
}

void draw_cube(float size, bool inverted) {
    glPushMatrix();
    glScalef(size / 2, size / 2, size / 2);
    GLuint& list = caches.cube_lists[inverted ? 1 : 0];
    if (!list) list = compile_list(GL_QUADS, cube_quads(inverted), 0);
    glCallList(list);
    glPopMatrix();
}

void draw_column(float sx, float sy, float sz, int segments, bool inverted, const Vec3& center) {
    // A column has at least one segment; none would divide its height by zero.
    if (segments < 1) segments = 1;
    const int side = inverted ? 1 : 0;
    glPushMatrix();
    glTranslatef(center.x, center.y, center.z);
    glScalef(sx / 2, sy / (2.0f * static_cast<float>(segments)), sz / 2);
    glTranslatef(0, -static_cast<float>(segments - 1), 0);
    if (!caches.column_lists[side] || caches.column_segments[side] != segments) {
        caches.column_lists[side] = compile_list(GL_QUADS, column_quads(segments, inverted), caches.column_lists[side]);
        caches.column_segments[side] = segments;
    }
    glCallList(caches.column_lists[side]);
    glPopMatrix();
}

void fghCircleTable(double** sint, double** cost, int n) {
    const int size = std::abs(n);
    const double angle = 2.0 * M_PI / static_cast<double>(n == 0 ? 1 : n);
    *sint = static_cast<double*>(calloc(static_cast<size_t>(size) + 1, sizeof(double)));
    *cost = static_cast<double*>(calloc(static_cast<size_t>(size) + 1, sizeof(double)));
    if (!*sint || !*cost) {
        free(*sint);
        free(*cost);
        ZV_FATAL("Failed to allocate memory in fghCircleTable");
    }
    (*sint)[0] = 0.0;
    (*cost)[0] = 1.0;
    for (int i = 1; i < size; ++i) {
        (*sint)[i] = std::sin(angle * i);
        (*cost)[i] = std::cos(angle * i);
    }
    (*sint)[size] = (*sint)[0];
    (*cost)[size] = (*cost)[0];
}

namespace {

void uv_sphere_point(const double* s1, const double* c1, int j, double r, double z, double radius) {
    const double nx = c1[j] * r, ny = s1[j] * r;
    glNormal3d(nx, ny, z);
    glVertex3d(nx * radius, ny * radius, z * radius);
}

}  // namespace

void draw_uv_sphere(float radius, int slices, int stacks) {
    double *s1, *c1, *s2, *c2;
    fghCircleTable(&s1, &c1, -slices);
    fghCircleTable(&s2, &c2, stacks * 2);
    const int first = stacks < 1 ? 0 : 1;
    double z0, r0, z1 = c2[first], r1 = s2[first];

    glBegin(GL_TRIANGLE_FAN);
    glNormal3d(0, 0, 1);
    glVertex3d(0, 0, radius);
    for (int j = slices; j >= 0; --j) uv_sphere_point(s1, c1, j, r1, z1, radius);
    glEnd();

    for (int i = 1; i < stacks - 1; ++i) {
        z0 = z1;
        r0 = r1;
        z1 = c2[i + 1];
        r1 = s2[i + 1];
        glBegin(GL_QUAD_STRIP);
        for (int j = 0; j <= slices; ++j) {
            uv_sphere_point(s1, c1, j, r1, z1, radius);
            uv_sphere_point(s1, c1, j, r0, z0, radius);
        }
        glEnd();
    }

    z0 = z1;
    r0 = r1;
    glBegin(GL_TRIANGLE_FAN);
    glNormal3d(0, 0, -1);
    glVertex3d(0, 0, -radius);
    for (int j = 0; j <= slices; ++j) uv_sphere_point(s1, c1, j, r0, z0, radius);
    glEnd();

    free(s1);
    free(c1);
    free(s2);
    free(c2);
}

void reset_shape_caches() {
    caches = ShapeCaches();
}

int column_list_segments(bool inverted) { return caches.column_segments[inverted ? 1 : 0]; }
unsigned column_list(bool inverted) { return caches.column_lists[inverted ? 1 : 0]; }
