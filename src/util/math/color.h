// Colour conversions shared by the scenes that pick their colours as hues.
// Depends on: util/math.
#pragma once

#include "util/math/math.h"

// The standard HSL to RGB conversion: hue in turns (0..1, one step outside is wrapped),
// saturation and lightness in 0..1. With saturation 0 all three channels are the lightness.
Vec3 rgb_of_hsl(float h, float s, float l);
