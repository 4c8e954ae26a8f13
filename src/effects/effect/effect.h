// The two effect bases: Effect, the procedural effects that scenes embed and draw themselves,
// and PostProc, the full-screen post effects the director runs over the finished picture (a
// name, named float parameters and one program whose uniforms apply() sets). Also the five
// post effects of the chain.
// Depends on: util/shaderprogram.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "util/shaderprogram/shaderprogram.h"

namespace Effects {

class Effect {
public:
    virtual ~Effect() = default;
    virtual void render(float time);
};

class PostProc {
public:
    virtual ~PostProc() = default;
    PostProc(const PostProc&) = delete;
    PostProc& operator=(const PostProc&) = delete;

    // Binds the program and sets its uniforms; the director then draws the picture through it.
    virtual void apply(int viewport_width, int viewport_height, float beats);

    std::string name() const { return effect_name; }
    const std::vector<std::string>& param_names() const { return parameter_names; }
    // Out-of-range indices read 0 and write nothing.
    float get_param(int j) const;
    void set_param(int j, float v);

    std::unique_ptr<ShaderProgram> program;

protected:
    // Sets the name and builds the program from "data/effects/postproc/<name>/<name>.vert"
    // and ".frag", the name lower-cased.
    explicit PostProc(const std::string& name);
    void add_param(const char* suffix, float default_value);
    float param(int j) const { return param_values[static_cast<size_t>(j)]; }

    std::string effect_name;
    std::vector<float> param_values;
    std::vector<std::string> parameter_names;
};

// Pixelation into "blocks" across and up; Factor 0 keeps one block per pixel.
class Dither : public PostProc {
public:
    enum { FACTOR };
    Dither();
    void apply(int viewport_width, int viewport_height, float beats) override;
};

// Toward white (positive Value) or black, by |Value|.
class Fade : public PostProc {
public:
    enum { VALUE };
    Fade();
    void apply(int viewport_width, int viewport_height, float beats) override;
};

// Radial blur around a centre.
class Radblur : public PostProc {
public:
    enum { CNTR_X, CNTR_Y, STEP, STRENGTH };
    Radblur();
    void apply(int viewport_width, int viewport_height, float beats) override;
};

// Saturation; 0 keeps the picture, -1 makes it grey.
class Hsl : public PostProc {
public:
    enum { SATURATE };
    Hsl();
    void apply(int viewport_width, int viewport_height, float beats) override;
};

// A film look: colour and tone mix, contrast, brightness, grain and scanlines.
class Film : public PostProc {
public:
    enum { COLOR, MONOCHROME, BROWN_SEPIA, GREEN_SEPIA, BLUE_SEPIA, CONTRAST, BRIGHTNESS, FILMGRAIN_AMOUNT,
           SCANLINE_AMOUNT };
    // Where the grain's time starts at the beginning of the music.
    static constexpr float TIME_BASE = 999.9953f;
    Film();
    void apply(int viewport_width, int viewport_height, float beats) override;
};

}  // namespace Effects
