// Vector and matrix math: single-precision value types in OpenGL's convention (column-major
// storage, column vectors, composition by post-multiplication), so a Mat4 goes to
// glLoadMatrixf or a shader uniform as it is. Nearly every scene-graph matrix is affine
// (bottom row 0 0 0 1), and the product and transform take shortcuts for that case.
// Depends on: util/math/rounding; nothing else beyond the standard library.
#pragma once

#include <cmath>

#include "util/math/rounding.h"

float lerp(float a, float b, float t);
// lo + (rand() / 32767) * (hi - lo)
float random_range(float lo, float hi);

struct Vec3 {
    float x = 0, y = 0, z = 0, w = 1;  // w is kept at 1 and never read

    Vec3() = default;
    Vec3(float x, float y, float z) : x(x), y(y), z(z) {}
    Vec3(const Vec3& o) : x(o.x), y(o.y), z(o.z) {}
    Vec3& operator=(const Vec3& o) {
        x = o.x, y = o.y, z = o.z;
        return *this;
    }

    Vec3 operator+(const Vec3& o) const { return Vec3(x + o.x, y + o.y, z + o.z); }
    Vec3 operator-(const Vec3& o) const { return Vec3(x - o.x, y - o.y, z - o.z); }
    Vec3 operator*(float s) const { return Vec3(x * s, y * s, z * s); }
    Vec3& operator+=(const Vec3& o) { return x += o.x, y += o.y, z += o.z, *this; }
    Vec3& operator-=(const Vec3& o) { return x -= o.x, y -= o.y, z -= o.z, *this; }
    Vec3& operator*=(float s) { return x *= s, y *= s, z *= s, *this; }
    float& operator[](int i) { return i == 0 ? x : i == 1 ? y : z; }
    float operator[](int i) const { return i == 0 ? x : i == 1 ? y : z; }

    float length() const { return std::sqrt(x * x + y * y + z * z); }
    // Not guarded: a zero vector gives NaNs, as callers never pass one.
    void normalize() {
        float l = length();
        x /= l, y /= l, z /= l;
    }
    void lerp(const Vec3& a, const Vec3& b, float t);
    void random_unit();
};

inline Vec3 operator*(float s, const Vec3& v) { return v * s; }
inline float dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(const Vec3& a, const Vec3& b) {
    return Vec3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

struct Vec4 {
    float x = 0, y = 0, z = 0, w = 0;

    Vec4() = default;
    Vec4(float x, float y, float z, float w) : x(x), y(y), z(z), w(w) {}
    void set(float nx, float ny, float nz, float nw) { x = nx, y = ny, z = nz, w = nw; }
    void clear() { set(0, 0, 0, 0); }
    Vec4 operator*(float s) const { return Vec4(x * s, y * s, z * s, w * s); }
    Vec4 operator+(const Vec4& o) const { return Vec4(x + o.x, y + o.y, z + o.z, w + o.w); }
    float& operator[](int i) { return i == 0 ? x : i == 1 ? y : i == 2 ? z : w; }
    float operator[](int i) const { return i == 0 ? x : i == 1 ? y : i == 2 ? z : w; }
    void lerp(const Vec4& a, const Vec4& b, float t);
};

struct Mat4 {
    float m[16];

    Mat4() { set_identity(); }
    explicit Mat4(const float values[16]) { set(values); }
    void set_identity();
    void set(const float values[16]);

    float get(int index) const { return index >= 0 && index < 16 ? m[index] : 0.0f; }
    void set(int index, float value) {
        if (index >= 0 && index < 16) m[index] = value;
    }
    float get(int column, int row) const { return m[column * 4 + row]; }
    const float* data() const { return m; }

    bool is_affine() const { return m[3] == 0 && m[7] == 0 && m[11] == 0 && m[15] == 1; }

    void transpose(Mat4& out) const;
    void transpose();
    Mat4 operator*(float s) const;
    // 0 and 1 leave the matrix as it is, so no division ever makes infinities.
    Mat4 operator/(float s) const;
    Mat4 operator*(const Mat4& b) const { return multiply(*this, b); }
    Mat4& operator*=(const Mat4& b) { return *this = multiply(*this, b); }
    static Mat4 multiply(const Mat4& a, const Mat4& b);

    Vec4 transform(const Vec4& v) const;
    Vec3 transform_point(const Vec3& p) const;
    Vec3 transform_direction(const Vec3& d) const;
    Vec3 add_translation(const Vec3& p) const { return Vec3(p.x + m[12], p.y + m[13], p.z + m[14]); }

    void translate(float x, float y, float z);
    void scale(float x, float y, float z);
    void rotate(float degrees, float ax, float ay, float az);
    void look_at(float eye_x, float eye_y, float eye_z, float center_x, float center_y, float center_z,
                 float up_x, float up_y, float up_z);
    void perspective(float fovy, float aspect, float near, float far);
    // The identity when the matrix is singular.
    Mat4 inverse() const;
    static Mat4 lerp(const Mat4& a, const Mat4& b, float t);
};

static_assert(sizeof(Mat4) == 16 * sizeof(float), "a Mat4 goes to GL as 16 contiguous floats");
static_assert(sizeof(Vec3) == 4 * sizeof(float), "a Vec3 is four contiguous floats");
