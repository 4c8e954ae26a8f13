#include "util/math/math.h"

#include <cstdlib>
#include <cstring>

float lerp(float a, float b, float t) { return (1.0f - t) * a + t * b; }

float random_range(float lo, float hi) {
    float r = static_cast<float>(rand() % 32768);
    return lo + (r / 32767.0f) * (hi - lo);
}

// ---- vectors --------------------------------------------------------------------------------

void Vec3::lerp(const Vec3& a, const Vec3& b, float t) {
    x = ::lerp(a.x, b.x, t);
    y = ::lerp(a.y, b.y, t);
    z = ::lerp(a.z, b.z, t);
}

void Vec3::random_unit() {
    z = random_range(-1.0f, 1.0f);
    float r = std::sqrt(1.0f - z * z);
    float theta = random_range(-3.1415927f, 3.1415927f);
    x = std::cos(theta) * r;
    y = std::sin(theta) * r;
}

void Vec4::lerp(const Vec4& a, const Vec4& b, float t) {
    x = ::lerp(a.x, b.x, t);
    y = ::lerp(a.y, b.y, t);
    z = ::lerp(a.z, b.z, t);
    w = ::lerp(a.w, b.w, t);
}

// ---- matrices -------------------------------------------------------------------------------

void Mat4::set_identity() {
    memset(m, 0, sizeof m);
    m[0] = m[5] = m[10] = m[15] = 1.0f;
}

void Mat4::set(const float values[16]) { memcpy(m, values, sizeof m); }

void Mat4::transpose(Mat4& out) const {
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) out.m[r * 4 + c] = m[c * 4 + r];
}

void Mat4::transpose() {
    Mat4 t;
    transpose(t);
    *this = t;
}

Mat4 Mat4::operator*(float s) const {
    Mat4 out;
    for (int i = 0; i < 16; ++i) out.m[i] = m[i] * s;
    return out;
}

Mat4 Mat4::operator/(float s) const {
    if (s == 0.0f || s == 1.0f) return *this;
    return *this * (1.0f / s);
}

Mat4 Mat4::multiply(const Mat4& a, const Mat4& b) {
    Mat4 c;
    const float* A = a.m;
    const float* B = b.m;
    bool a_affine = a.is_affine(), b_affine = b.is_affine();
    if (a_affine && b_affine) {
        for (int col = 0; col < 3; ++col)
            for (int r = 0; r < 3; ++r)
                c.m[col * 4 + r] = A[r] * B[col * 4] + A[4 + r] * B[col * 4 + 1] + A[8 + r] * B[col * 4 + 2];
        for (int r = 0; r < 3; ++r) c.m[12 + r] = A[12 + r] + A[r] * B[12] + A[4 + r] * B[13] + A[8 + r] * B[14];
        c.m[3] = c.m[7] = c.m[11] = 0.0f;
        c.m[15] = 1.0f;
        return c;
    }
    if (b_affine) {
        // B's bottom row is 0 0 0 1: three terms for the first three columns, and the fourth
        // column adds A's fourth column.
        for (int col = 0; col < 3; ++col)
            for (int r = 0; r < 4; ++r)
                c.m[col * 4 + r] = A[r] * B[col * 4] + A[4 + r] * B[col * 4 + 1] + A[8 + r] * B[col * 4 + 2];
        for (int r = 0; r < 4; ++r) c.m[12 + r] = A[r] * B[12] + A[4 + r] * B[13] + A[8 + r] * B[14] + A[12 + r];
        return c;
    }
    for (int col = 0; col < 4; ++col)
        for (int r = 0; r < 4; ++r) {
            if (a_affine && r == 3) {
                c.m[col * 4 + 3] = B[col * 4 + 3];  // A's bottom row picks B's
                continue;
            }
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += A[k * 4 + r] * B[col * 4 + k];
            c.m[col * 4 + r] = sum;
        }
    return c;
}

Vec4 Mat4::transform(const Vec4& v) const {
    Vec4 out(m[0] * v.x + m[4] * v.y + m[8] * v.z + m[12] * v.w, m[1] * v.x + m[5] * v.y + m[9] * v.z + m[13] * v.w,
             m[2] * v.x + m[6] * v.y + m[10] * v.z + m[14] * v.w, v.w);
    if (!is_affine()) out.w = m[3] * v.x + m[7] * v.y + m[11] * v.z + m[15] * v.w;
    return out;
}

Vec3 Mat4::transform_point(const Vec3& p) const {
    Vec4 t = transform(Vec4(p.x, p.y, p.z, 1.0f));
    return Vec3(t.x / t.w, t.y / t.w, t.z / t.w);
}

Vec3 Mat4::transform_direction(const Vec3& d) const {
    return Vec3(m[0] * d.x + m[4] * d.y + m[8] * d.z, m[1] * d.x + m[5] * d.y + m[9] * d.z,
                m[2] * d.x + m[6] * d.y + m[10] * d.z);
}

void Mat4::translate(float x, float y, float z) {
    Vec4 t = transform(Vec4(x, y, z, 1.0f));
    m[12] = t.x, m[13] = t.y, m[14] = t.z;
}

void Mat4::scale(float x, float y, float z) {
    for (int r = 0; r < 4; ++r) {
        m[r] *= x;
        m[4 + r] *= y;
        m[8 + r] *= z;
    }
}

void Mat4::rotate(float degrees, float ax, float ay, float az) {
    float length = std::sqrt(ax * ax + ay * ay + az * az);
    if (length < 0.0001f) return;
    float x = ax / length, y = ay / length, z = az / length;
    float a = degrees * 0.017453292f;
    float c = std::cos(a), s = std::sin(a), t = 1.0f - c;
    const float r[16] = {c + t * x * x,     t * x * y + z * s, t * x * z - y * s, 0,
                         t * x * y - z * s, c + t * y * y,     t * y * z + x * s, 0,
                         t * x * z + y * s, t * y * z - x * s, c + t * z * z,     0,
                         0,                 0,                 0,                 1};
    *this = multiply(*this, Mat4(r));
}

void Mat4::look_at(float eye_x, float eye_y, float eye_z, float center_x, float center_y, float center_z,
                   float up_x, float up_y, float up_z) {
    Vec3 f(center_x - eye_x, center_y - eye_y, center_z - eye_z);
    f.normalize();
    Vec3 s = cross(f, Vec3(up_x, up_y, up_z));
    s.normalize();
    Vec3 u = cross(s, f);
    const float v[16] = {s.x, u.x, -f.x, 0, s.y, u.y, -f.y, 0, s.z, u.z, -f.z, 0, 0, 0, 0, 1};
    *this = multiply(*this, Mat4(v));
    translate(-eye_x, -eye_y, -eye_z);
}

void Mat4::perspective(float fovy, float aspect, float near, float far) {
    float e = std::tan(fovy * 3.1415927f / 360.0f) * near;
    float right = e * aspect, left = -right, bottom = -e;
    memset(m, 0, sizeof m);
    m[0] = 2 * near / (right - left);
    m[5] = 2 * near / (e - bottom);
    m[8] = (right + left) / (right - left);
    m[9] = (e + bottom) / (e - bottom);
    m[10] = (-far - near) / (far - near);
    m[11] = -1;
    m[14] = -2 * near * far / (far - near);
}

Mat4 Mat4::inverse() const {
    const float* s = m;
    float p[12] = {s[10] * s[15], s[11] * s[14], s[9] * s[15], s[11] * s[13], s[9] * s[14], s[10] * s[13],
                   s[8] * s[15],  s[11] * s[12], s[8] * s[14], s[10] * s[12], s[8] * s[13], s[9] * s[12]};
    Mat4 c;
    c.m[0] = p[0] * s[5] + p[3] * s[6] + p[4] * s[7] - (p[1] * s[5] + p[2] * s[6] + p[5] * s[7]);
    c.m[1] = p[1] * s[4] + p[6] * s[6] + p[9] * s[7] - (p[0] * s[4] + p[7] * s[6] + p[8] * s[7]);
    c.m[2] = p[2] * s[4] + p[7] * s[5] + p[10] * s[7] - (p[3] * s[4] + p[6] * s[5] + p[11] * s[7]);
    c.m[3] = p[5] * s[4] + p[8] * s[5] + p[11] * s[6] - (p[4] * s[4] + p[9] * s[5] + p[10] * s[6]);
    c.m[4] = p[1] * s[1] + p[2] * s[2] + p[5] * s[3] - (p[0] * s[1] + p[3] * s[2] + p[4] * s[3]);
    c.m[5] = p[0] * s[0] + p[7] * s[2] + p[8] * s[3] - (p[1] * s[0] + p[6] * s[2] + p[9] * s[3]);
    c.m[6] = p[3] * s[0] + p[6] * s[1] + p[11] * s[3] - (p[2] * s[0] + p[7] * s[1] + p[10] * s[3]);
    c.m[7] = p[4] * s[0] + p[9] * s[1] + p[10] * s[2] - (p[5] * s[0] + p[8] * s[1] + p[11] * s[2]);
    float q[12] = {s[2] * s[7], s[3] * s[6], s[1] * s[7], s[3] * s[5], s[1] * s[6], s[2] * s[5],
                   s[0] * s[7], s[3] * s[4], s[0] * s[6], s[2] * s[4], s[0] * s[5], s[1] * s[4]};
    c.m[8] = q[0] * s[13] + q[3] * s[14] + q[4] * s[15] - (q[1] * s[13] + q[2] * s[14] + q[5] * s[15]);
    c.m[9] = q[1] * s[12] + q[6] * s[14] + q[9] * s[15] - (q[0] * s[12] + q[7] * s[14] + q[8] * s[15]);
    c.m[10] = q[2] * s[12] + q[7] * s[13] + q[10] * s[15] - (q[3] * s[12] + q[6] * s[13] + q[11] * s[15]);
    c.m[11] = q[5] * s[12] + q[8] * s[13] + q[11] * s[14] - (q[4] * s[12] + q[9] * s[13] + q[10] * s[14]);
    c.m[12] = q[2] * s[10] + q[5] * s[11] + q[1] * s[9] - (q[4] * s[11] + q[0] * s[9] + q[3] * s[10]);
    c.m[13] = q[8] * s[11] + q[0] * s[8] + q[7] * s[10] - (q[6] * s[10] + q[9] * s[11] + q[1] * s[8]);
    c.m[14] = q[6] * s[9] + q[11] * s[11] + q[3] * s[8] - (q[10] * s[11] + q[2] * s[8] + q[7] * s[9]);
    c.m[15] = q[10] * s[10] + q[4] * s[8] + q[9] * s[9] - (q[8] * s[9] + q[11] * s[10] + q[5] * s[8]);
    float determinant = s[0] * c.m[0] + s[1] * c.m[1] + s[2] * c.m[2] + s[3] * c.m[3];
    if (determinant == 0.0f) return Mat4();
    Mat4 scaled = c / determinant;
    scaled.transpose();
    return scaled;
}

Mat4 Mat4::lerp(const Mat4& a, const Mat4& b, float t) {
    Mat4 out;
    for (int i = 0; i < 16; ++i) out.m[i] = ::lerp(a.m[i], b.m[i], t);
    return out;
}
