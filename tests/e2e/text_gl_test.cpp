// Text on a real GL context: layout on the 1280-pixel design width, centring, the shadow pass
// and the fatal reports.
#include "util/text/text.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "gl_support.h"
#include "test_support.h"
#include "util/fbo/fbo.h"

namespace {

const std::string font_file = std::string(ZORVANE_SOURCE_DIR) + "/data/common/fonts/arial.ttf";

// The horizontal and vertical extent of every pixel that differs from black, and its colours.
struct Ink {
    int left = 1 << 30, right = -1, bottom = 1 << 30, top = -1;
    std::vector<unsigned char> pixels;
    int width = 0;
    const unsigned char* at(int x, int y) const { return &pixels[static_cast<size_t>((y * width + x) * 4)]; }
};

Ink read_ink(int width, int height) {
    Ink ink;
    ink.width = width;
    ink.pixels.resize(static_cast<size_t>(width * height * 4));
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, ink.pixels.data());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = ink.at(x, y);
            if (p[0] + p[1] + p[2] < 60) continue;
            ink.left = std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
            ink.bottom = std::min(ink.bottom, y);
            ink.top = std::max(ink.top, y);
        }
    return ink;
}

class TextTest : public GlTest {
protected:
    // Draws into a target of the given width, 200 pixels high, and reads the result back.
    Ink draw(Text& text, int width, const std::function<void()>& print) {
        Fbo target(width, 200, FboType::Rgba8);
        target.bind(true);
        text.Reshape(width, 200);
        text.set_gl_state();
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glTranslatef(0, 60, 0);
        print();
        Ink ink = read_ink(width, 200);
        target.unbind();
        return ink;
    }
};

TEST_F(TextTest, CentredTextScalesWithTheViewportAndStaysCentred) {
    Text text(font_file.c_str(), 48);
    const Vec4 white(1, 1, 1, 1), black(0, 0, 0, 1);
    auto centred = [&] { text.print_shadowed(true, 0, white, black, 1, "%s", "Zorvane centred"); };
    Ink design = draw(text, 1280, centred);
    Ink wide = draw(text, 1920, centred);
    Ink narrow = draw(text, 640, centred);
    ASSERT_GT(design.right, design.left);
    const float span = static_cast<float>(design.right - design.left);
    // At 1920 pixels everything is 1.5 times larger and the scaled string is centred:
    // it starts (1920 - 1.5 w) / 2 pixels in, give or take the glyphs' side bearings.
    EXPECT_NEAR(wide.right - wide.left, 1.5f * span, 4.0f);
    EXPECT_NEAR(wide.left, (1920.0f - 1.5f * span) / 2.0f, 6.0f);
    EXPECT_NEAR(narrow.right - narrow.left, 0.5f * span, 3.0f);
    EXPECT_NEAR((narrow.left + narrow.right) / 2.0f, 320.0f, 4.0f);
    EXPECT_NEAR((design.left + design.right) / 2.0f, 640.0f, 4.0f);
    // Plain print starts at the origin: the string's left edge is near x = 0.
    Ink plain = draw(text, 1280, [&] { text.print("%s", "Zorvane centred"); });
    EXPECT_LT(plain.left, 8);
    EXPECT_NEAR(plain.right - plain.left, span, 2.0f);
}

TEST_F(TextTest, TheShadowIsDrawnFirstAndTheTextOverIt) {
    Text text(font_file.c_str(), 96);
    const Vec4 red(1, 0, 0, 1), blue(0, 0, 1, 1);
    // With no offset the text covers its shadow: blue shows at most through the text's
    // anti-aliased edges, never more than the red drawn over it.
    Ink covered = draw(text, 1280, [&] { text.print_shadowed(false, 0, red, blue, 1, "%s", "Il"); });
    ASSERT_GT(covered.right, covered.left);
    int blue_pixels = 0;
    for (int y = covered.bottom; y <= covered.top; ++y)
        for (int x = covered.left; x <= covered.right; ++x) blue_pixels += covered.at(x, y)[2] > covered.at(x, y)[0];
    EXPECT_EQ(blue_pixels, 0);
    // Offset up and to the right: the lowest-leftmost ink is shadow, the highest-rightmost text.
    Ink offset = draw(text, 1280, [&] { text.print_shadowed(false, 12, red, blue, 1, "%s", "Il"); });
    int x = offset.left, y = offset.bottom;
    bool found_blue = false;
    for (int yy = y; yy < y + 12 && !found_blue; ++yy)
        for (int xx = x; xx < x + 12 && !found_blue; ++xx) found_blue = offset.at(xx, yy)[2] > 200;
    EXPECT_TRUE(found_blue);
    EXPECT_NEAR(offset.right - covered.right, 12, 2);
    EXPECT_NEAR(offset.top - covered.top, 12, 2);
}

TEST_F(TextTest, LongTextsAreCutAndANullFormatDrawsNothing) {
    Text text(font_file.c_str(), 12);
    const std::string fits(Text::BUFFER_SIZE - 1, 'W');
    const std::string longer(1000, 'W');
    Ink cut = draw(text, 1280, [&] { text.print("%s", longer.c_str()); });
    Ink full = draw(text, 1280, [&] { text.print("%s", fits.c_str()); });
    EXPECT_EQ(cut.pixels, full.pixels);
    Ink nothing = draw(text, 1280, [&] { text.print(nullptr); });
    EXPECT_EQ(nothing.right, -1);
}

TEST_F(TextTest, FatalReports) {
    Text text(font_file.c_str(), 48);
    EXPECT_EQ(fatal_message_of([&] { text.print("%s", "early"); }),
              "Can't print before calling Text::Reshape() at least once!");
    EXPECT_EQ(fatal_message_of([&] { text.set_gl_state(); }),
              "Can't set gl state before calling Text::Reshape() at least once!");
    text.Reshape(0, 0);
    EXPECT_EQ(fatal_message_of([&] { text.print(nullptr); }),
              "Can't print before calling Text::Reshape() at least once!");
    EXPECT_EQ(fatal_message_of([] { Text("no/such/font.ttf", 10); }), "Failed to open font file no/such/font.ttf");
    TempFolder folder(true);
    std::ofstream("not_a_font.ttf") << "these bytes are no font at all";
    EXPECT_EQ(fatal_message_of([] { Text("not_a_font.ttf", 10); }), "Failed to create font from not_a_font.ttf");
}

}  // namespace
