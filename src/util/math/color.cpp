// Colour conversions.
#include "util/math/color.h"

Vec3 rgb_of_hsl(float h, float s, float l) {
    if (s == 0.0f) return Vec3(l, l, l);
    const float q = l < 0.5f ? l * (1.0f + s) : l + s - l * s;
    const float p = 2.0f * l - q;
    auto f = [p, q](float t) {
        if (t < 0.0f) t += 1.0f;
        if (t > 1.0f) t -= 1.0f;
        if (t < 1.0f / 6.0f) return p + (q - p) * 6.0f * t;
        if (t < 0.5f) return q;
        if (t < 2.0f / 3.0f) return p + (q - p) * (2.0f / 3.0f - t) * 6.0f;
        return p;
    };
    return Vec3(f(h + 1.0f / 3.0f), f(h), f(h - 1.0f / 3.0f));
}
