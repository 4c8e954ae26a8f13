// Decimal rounding shared by the loaders.
// Depends on: the standard library only.
#pragma once

#include <cmath>

// x rounded to n decimal places, halves upward: floor(10^n * x + 0.5) / 10^n.
inline double round_to(double x, int n) {
    double scale = std::pow(10.0, n);
    return std::floor(scale * x + 0.5) / scale;
}
