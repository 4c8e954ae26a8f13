// PLACEHOLDER scene (see placeholder_scene.h).
#include "scenes/placeholder_scene.h"

void PlaceholderScene::init() { label = std::make_unique<Text>("data/common/fonts/courier_new.ttf", 48); }

void PlaceholderScene::render() {
    if (width < 1 || height < 1) return;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(colour.x, colour.y, colour.z, 0.45f);
    glBegin(GL_QUADS);
    glVertex2f(0, 0.38f);
    glVertex2f(1, 0.38f);
    glVertex2f(1, 0.62f);
    glVertex2f(0, 0.62f);
    glEnd();

    label->Reshape(width, height);
    label->set_gl_state();
    glEnable(GL_BLEND);
    glTranslatef(0, static_cast<float>(height) * 0.5f - 14.0f * static_cast<float>(width) / Text::DESIGN_WIDTH, 0);
    label->print_shadowed(true, 3, Vec4(1, 1, 1, 1), Vec4(0, 0, 0, 1), 0.9f, "%s", class_name.c_str());
}
