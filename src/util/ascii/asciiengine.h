// The text-mode engine's resources: the character chart (a 16 by 16 grid of the 256 glyphs of
// a code page), an off-screen target, and the letterbox rectangle it would draw into.
// Depends on: util/fbo, util/texture.
#pragma once

#include <memory>

#include "util/fbo/fbo.h"
#include "util/texture/texture.h"

class AsciiEngine {
public:
    static constexpr const char* CHART = "data/common/images/asciichart.png";

    AsciiEngine();
    // The largest rectangle of the aspect that fits the window, centred.
    void reshape(int window_width, int window_height, float aspect);

    std::unique_ptr<Texture> chart;
    std::unique_ptr<Fbo> target;
    int x = 1, y = 1, width = 1, height = 1;
};
