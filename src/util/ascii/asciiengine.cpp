// AsciiEngine: chart loading and the letterbox rectangle.
#include "util/ascii/asciiengine.h"

#include "platform/fatal.h"

AsciiEngine::AsciiEngine() {
    chart = std::make_unique<Texture>();
    if (!chart->load(CHART, false, false, GL_NEAREST, GL_NEAREST)) ZV_FATAL("Failed to load texture!");
    target = std::make_unique<Fbo>(640, 480, FboType::Rgba8);
}

// In double precision: 1920 / 1.7777778f is 1079.99999, which single precision would round up to
// 1080 before the truncation.
void AsciiEngine::reshape(int window_width, int window_height, float aspect) {
    const double a = aspect;
    if (a < static_cast<double>(window_width) / window_height) {
        width = static_cast<int>(a * window_height);
        height = window_height;
    } else {
        width = window_width;
        height = static_cast<int>(window_width / a);
    }
    x = (window_width - width) / 2;
    y = (window_height - height) / 2;
}
