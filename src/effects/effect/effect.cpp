// Effect bases and the post effects of the chain.
#include "effects/effect/effect.h"

#include <GL/glew.h>

#include <algorithm>
#include <cctype>
#include <cmath>

#include "platform/fatal.h"

namespace Effects {

// ---- bases -------------------------------------------------------------------------------

void Effect::render(float) { ZV_FATAL_LOCATION(); }

PostProc::PostProc(const std::string& name) : effect_name(name) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    const std::string base = "data/effects/postproc/" + lower + "/" + lower;
    program = std::make_unique<ShaderProgram>((base + ".vert").c_str(), (base + ".frag").c_str());
}

void PostProc::apply(int, int, float) { ZV_FATAL("Well this shouldn't happen..."); }

float PostProc::get_param(int j) const {
    if (j < 0 || static_cast<size_t>(j) >= param_values.size()) return 0.0f;
    return param_values[static_cast<size_t>(j)];
}

void PostProc::set_param(int j, float v) {
    if (j < 0 || static_cast<size_t>(j) >= param_values.size()) return;
    param_values[static_cast<size_t>(j)] = v;
}

void PostProc::add_param(const char* suffix, float default_value) {
    param_values.push_back(default_value);
    parameter_names.push_back(effect_name + suffix);
}

// ---- the chain's effects -----------------------------------------------------------------

Dither::Dither() : PostProc("Dither") { add_param("Factor", 0.5f); }

void Dither::apply(int viewport_width, int viewport_height, float) {
    const float base = 1.0f - 0.85f * param(FACTOR);
    const float d = base * base * base;
    program->bind();
    program->set_uniform2("blocks", d * static_cast<float>(viewport_width), d * static_cast<float>(viewport_height));
}

Fade::Fade() : PostProc("Fade") { add_param("Value", 0.0f); }

void Fade::apply(int, int, float) {
    const float value = param(VALUE);
    program->bind();
    program->set_uniform2("color", value > 0 ? 1.0f : 0.0f, std::fabs(value));
}

Radblur::Radblur() : PostProc("Radblur") {
    add_param("CntrX", 0.5f);
    add_param("CntrY", 0.5f);
    add_param("Step", 0.9f);
    add_param("Strength", 1.0f);
}

void Radblur::apply(int, int, float) {
    glColor4f(1, 1, 1, 1);
    program->bind();
    program->set_uniform4("RadialBlurParams", Vec4(param(CNTR_X), param(CNTR_Y), param(STEP), param(STRENGTH)));
}

Hsl::Hsl() : PostProc("Hsl") { add_param("Saturate", 0.0f); }

void Hsl::apply(int, int, float) {
    program->bind();
    program->set_uniform1f("saturate", param(SATURATE) + 1.0f);
}

Film::Film() : PostProc("Film") {
    add_param("Color", 1.0f);
    add_param("Monochrome", 0.0f);
    add_param("BrownSepia", 0.0f);
    add_param("GreenSepia", 0.0f);
    add_param("BlueSepia", 0.0f);
    add_param("Contrast", 0.0f);
    add_param("Brightness", 0.0f);
    add_param("FilmgrainAmount", 0.0f);
    add_param("ScanlineAmount", 0.0f);
}

void Film::apply(int, int, float beats) {
    program->bind();
    program->set_uniform1f("time", beats + TIME_BASE);
    program->set_uniform1f("Color", param(COLOR));
    program->set_uniform1f("Monochrome", param(MONOCHROME));
    program->set_uniform1f("BrownSepia", param(BROWN_SEPIA));
    program->set_uniform1f("GreenSepia", param(GREEN_SEPIA));
    program->set_uniform1f("BlueSepia", param(BLUE_SEPIA));
    program->set_uniform1f("Contrast", param(CONTRAST) + 1.0f);
    program->set_uniform1f("Brightness", param(BRIGHTNESS));
    program->set_uniform1f("FilmgrainAmount", param(FILMGRAIN_AMOUNT));
    program->set_uniform1f("ScanlineAmount", param(SCANLINE_AMOUNT));
}

}  // namespace Effects
