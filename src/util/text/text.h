// One line of TrueType text over the current frame, laid out on a 1280-pixel-wide design screen
// and scaled with the viewport, so a layout fills the same share of the screen at any size.
// Glyphs come from FTGL's buffer font over FreeType; the font file is read through the archive.
// Depends on: FTGL, util/data (load_file), util/shaderprogram (unbind_all).
#pragma once

#include <cstdarg>
#include <cstdint>

#include "util/math/math.h"

class FTFont;

class Text {
public:
    static constexpr float DESIGN_WIDTH = 1280.0f;
    static constexpr int BUFFER_SIZE = 256;  // formatted text, terminator included; longer is cut

    // A missing or unreadable font file is fatal.
    Text(const char* font_file, int size);
    ~Text();
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;

    void Reshape(int new_width, int new_height);
    // Viewport, an orthographic pixel projection and plain fixed-function state for text.
    void set_gl_state() const;
    void print(const char* format, ...) const __attribute__((format(printf, 2, 3)));
    // The shadow first at the origin, then the text offset by (offset, offset) font pixels; the
    // colours' fourth components are replaced by alpha.
    void print_shadowed(bool centered, float offset, const Vec4& color, const Vec4& shadow_color, float alpha,
                        const char* format, ...) const __attribute__((format(printf, 7, 8)));

    int32_t width = -1, height = -1;

private:
    void check_reshaped() const;
    // False when there is nothing to draw (a null format).
    bool format_and_prepare(char* buffer, const char* format, va_list args) const;

    FTFont* font = nullptr;
    char* font_data = nullptr;  // FreeType reads glyphs from it on demand
};
