// Text: font loading, GL state for text, and the two print forms.
#include "util/text/text.h"

#include <FTGL/ftgl.h>
#include <GL/glew.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "platform/fatal.h"
#include "util/data/data.h"
#include "util/shaderprogram/shaderprogram.h"

Text::Text(const char* font_file, int size) {
    uint32_t bytes = 0;
    font_data = load_file(font_file, "rb", &bytes, true);
    if (!font_data) ZV_FATAL("Failed to open font file %s", font_file);
    font = new FTBufferFont(reinterpret_cast<const unsigned char*>(font_data), bytes);
    if (font->Error()) {
        delete font;
        font = nullptr;
        free(font_data);
        font_data = nullptr;
        ZV_FATAL("Failed to create font from %s", font_file);
    }
    font->CharMap(ft_encoding_unicode);
    font->FaceSize(static_cast<unsigned>(size), 72);
}

Text::~Text() {
    delete font;
    free(font_data);
}

void Text::Reshape(int new_width, int new_height) {
    width = new_width;
    height = new_height;
}

void Text::set_gl_state() const {
    if (width < 1 || height < 1) ZV_FATAL("Can't set gl state before calling Text::Reshape() at least once!");
    glViewport(0, 0, width, height);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor4f(1, 1, 1, 1);
    ShaderProgram::unbind_all();
    glDisable(GL_FOG);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glDisable(GL_TEXTURE_GEN_R);
    glDisable(GL_TEXTURE_GEN_Q);
    glDisable(GL_SCISSOR_TEST);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

void Text::check_reshaped() const {
    if (width < 1 || height < 1) ZV_FATAL("Can't print before calling Text::Reshape() at least once!");
}

bool Text::format_and_prepare(char* buffer, const char* format, va_list args) const {
    if (!format) return false;
    vsnprintf(buffer, BUFFER_SIZE, format, args);
    // Glyph textures must not be combined with whatever earlier drawing left bound.
    for (int unit = 7; unit >= 0; --unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    return true;
}

void Text::print(const char* format, ...) const {
    check_reshaped();
    char buffer[BUFFER_SIZE];
    va_list args;
    va_start(args, format);
    bool draw = format_and_prepare(buffer, format, args);
    va_end(args);
    if (!draw) return;
    const float s = static_cast<float>(width) / DESIGN_WIDTH;
    glPushMatrix();
    glScalef(s, s, s);
    font->Render(buffer, -1, FTPoint(), FTPoint(), FTGL::RENDER_ALL);
    glPopMatrix();
}

void Text::print_shadowed(bool centered, float offset, const Vec4& color, const Vec4& shadow_color, float alpha,
                          const char* format, ...) const {
    check_reshaped();
    char buffer[BUFFER_SIZE];
    va_list args;
    va_start(args, format);
    bool draw = format_and_prepare(buffer, format, args);
    va_end(args);
    if (!draw) return;
    const float s = static_cast<float>(width) / DESIGN_WIDTH;
    glPushMatrix();
    if (centered) {
        FTBBox box = font->BBox(buffer);
        float text_width = box.Upper().Xf() - box.Lower().Xf();
        glTranslatef((static_cast<float>(width) - text_width * s) / 2.0f, 0, 0);
    }
    glScalef(s, s, s);
    glColor4f(shadow_color.x, shadow_color.y, shadow_color.z, alpha);
    font->Render(buffer, -1, FTPoint(), FTPoint(), FTGL::RENDER_ALL);
    glTranslatef(offset, offset, 0);
    glColor4f(color.x, color.y, color.z, alpha);
    font->Render(buffer, -1, FTPoint(), FTPoint(), FTGL::RENDER_ALL);
    glPopMatrix();
}
