// TextBillboards: the lines rendered once into textures, the flight of the billboards, drawing.
#include "scenes/scene_text_billboards/text_billboards.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

#include "util/music/music.h"
#include "util/shaderprogram/program_table.h"

namespace {

const char* const TITLE_LINES[] = {"Trelvane", "presents", "Quillory"};
// The blank line keeps the two roles apart; it still gets a billboard of its own.
const char* const CREDIT_LINES[] = {"Code & syncing", "Quellbit", " ", "Music & syncing", "Tarnwhistle"};
const char* const GREETING_LINES[] = {
    "Brindlecode", "Caskwerk",    "Dovetail Nine", "Embermoth",   "Fjordhaus",  "Glimmerstack",
    "Hollowpixel", "Inkvault",    "Jadeforge",     "Kelpgarden",  "Lumenwisp",  "Mossbyte",
    "Nettlecore",  "Orbtangle",   "Pewterfall",    "Quartzmill",  "Rustlantern", "Saltgrid",
    "Thistlewave", "Umberloop",   "Vantablink",    "Wickerbeam",  "Yarrowsoft", "Zincpetal",
};

// Lines are laid out on the text's 1280 x 720 design screen; this lifts the baseline so that
// the descenders stay inside the texture.
constexpr float BASELINE = 396.0f / 50.0f;

}  // namespace

// ---- layout ---------------------------------------------------------------------------------

TextBillboards::Layout TextBillboards::layout_of(int group) {
    if (group == GREETINGS) return Layout{6.0f, -0.5f, 2.9f, 3.8f, 8.0f};
    return Layout{15.0f, -2.5f, 0.9f, 2.2f, 12.0f};
}

int TextBillboards::group_of(float scene_value) {
    const float rounded = std::floor(scene_value + 0.5f);
    // Compared as floats so that huge or non-finite values cannot overflow the conversion.
    if (!(rounded >= 0.0f)) return TITLE;
    if (rounded >= 2.0f) return GREETINGS;
    return static_cast<int>(rounded);
}

Vec3 TextBillboards::billboard_position(int group, int i, int n, float p) {
    const Layout l = layout_of(group);
    const float f = static_cast<float>(i);
    const float jitter = std::cos(0.31f * f) * std::sin(2.56f * f * f) * l.spread * 0.3f + l.base_x;
    const Vec3 start(f / 15.0f, f / 15.0f, -(0.5f * f + 11.0f));
    const Vec3 end(-f / 15.0f, -f / 15.0f, -(0.5f * f + 11.0f));
    const Vec3 settled(jitter + l.spread - 2.0f * l.spread * static_cast<float>(i % 2),
                       l.top - (2.0f * f / static_cast<float>(n)) * l.top, 0.0f);
    Vec3 position;
    if (p < 1.0f)
        position.lerp(start, settled, p);
    else
        position.lerp(end, settled, 2.0f - p);
    return position;
}

float TextBillboards::billboard_turn(int i) {
    const float f = static_cast<float>(i);
    return 30.0f * std::sin(3.0f * f * f) * std::cos(0.1f * f);
}

const std::vector<std::string>& TextBillboards::lines(int group) const {
    return group == TITLE ? title : group == CREDITS ? credits : greetings;
}

const std::vector<std::unique_ptr<Fbo>>& TextBillboards::targets(int group) const {
    return group == TITLE ? title_targets : group == CREDITS ? credits_targets : greetings_targets;
}

// ---- loading --------------------------------------------------------------------------------

void TextBillboards::render_line(const std::string& line, int w, int h, std::vector<std::unique_ptr<Fbo>>& list) {
    list.push_back(std::make_unique<Fbo>(w, h, FboType::Rgba8));
    Fbo& target = *list.back();
    target.bind(true);
    ShaderProgram::unbind_all();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    font->Reshape(1280, 720);
    font->set_gl_state();
    glColor4f(1, 1, 1, 1);
    glTranslatef(0.0f, BASELINE, 0.0f);
    font->print_shadowed(false, 3.5f, Vec4(1, 1, 1, 1), Vec4(0.5f, 0.5f, 0.5f, 1), 1.0f, "%s", line.c_str());
    target.unbind();
    target.release_depth_buffer();  // the line is drawn: only its texture is used from now on
}

void TextBillboards::init() {
    font = std::make_unique<Text>(FONT_FILE, FONT_SIZE);

    greetings_width = 1024, greetings_height = 128, greetings_aspect = 8.0f;
    credits_width = 1536, credits_height = 128, credits_aspect = 12.0f;
    title_width = 1536, title_height = 128, title_aspect = 12.0f;
    title.assign(std::begin(TITLE_LINES), std::end(TITLE_LINES));
    credits.assign(std::begin(CREDIT_LINES), std::end(CREDIT_LINES));
    greetings.assign(std::begin(GREETING_LINES), std::end(GREETING_LINES));

    progress = music->add_sync_value("txProgress", 0.0f, true);
    scene_choice = music->add_sync_value("txScene", 0.0f, true);

    for (const std::string& line : greetings) render_line(line, greetings_width, greetings_height, greetings_targets);
    for (const std::string& line : credits) render_line(line, credits_width, credits_height, credits_targets);
    for (const std::string& line : title) render_line(line, title_width, title_height, title_targets);
}

// ---- drawing --------------------------------------------------------------------------------

void TextBillboards::render() {
    // The near and far distances reach the projection only from the next frame on.
    camera.set_view(Vec3(0, 0, -10), Vec3(0, 0, 0), Vec3(0, 1, 0));
    camera.apply_projection(width, height, aspect, 1.0f);
    camera.set_near_far(0.001f, 100.0f);

    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    shader_set->entry(ProgramId::UnlitTexture)->bind();
    glColor4f(1, 1, 1, 1);

    const float p = music->get_sync_value(progress);
    glRotatef(10.0f * std::sin(0.25f * music->get_beat()), 0, 1, 0);

    const int group = group_of(music->get_sync_value(scene_choice));
    const Layout l = layout_of(group);
    const float half_w = l.quad_width / 2.0f, half_h = l.quad_width / l.aspect / 2.0f;
    const auto& list = targets(group);
    const int n = static_cast<int>(list.size());
    for (int i = 0; i < n; ++i) {
        list[static_cast<size_t>(i)]->bind_color_texture(0, 0);
        const Vec3 c = billboard_position(group, i, n, p);
        glPushMatrix();
        glRotatef(billboard_turn(i), 0, 1, 0);
        // Mirrored: the camera looks along +z, so +x is on the left of the picture.
        glBegin(GL_QUADS);
        glTexCoord2f(1, 0);
        glVertex3f(c.x - half_w, c.y - half_h, c.z);
        glTexCoord2f(0, 0);
        glVertex3f(c.x + half_w, c.y - half_h, c.z);
        glTexCoord2f(0, 1);
        glVertex3f(c.x + half_w, c.y + half_h, c.z);
        glTexCoord2f(1, 1);
        glVertex3f(c.x - half_w, c.y + half_h, c.z);
        glEnd();
        glPopMatrix();
    }
}
