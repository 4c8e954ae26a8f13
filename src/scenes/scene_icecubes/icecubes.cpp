// IceCubes: the program's inputs from the tracks and the one quad over the viewport.
#include "scenes/scene_icecubes/icecubes.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <cmath>

#include "util/music/music.h"

namespace {

const struct {
    const char* name;
    float value;
} sync_table[] = {
    {"rm_object", 0.0f},     {"rm_color_r", 0.2f},    {"rm_color_g", 0.6f},    {"rm_color_b", 0.9f},
    {"rm_cam_pos_x", 0.0f},  {"rm_cam_pos_y", 0.0f},  {"rm_cam_pos_z", 0.0f},  {"rm_cam_rotation", 0.0f},
    {"rm_cam_axis_x", 0.0f}, {"rm_cam_axis_y", 1.0f}, {"rm_cam_axis_z", 0.0f}, {"rm_obj_rotation", 0.0f},
    {"rm_obj_axis_x", 0.0f}, {"rm_obj_axis_y", 1.0f}, {"rm_obj_axis_z", 0.0f},
};

}  // namespace

void IceCubes::init() {
    raymarcher = std::make_unique<ShaderProgram>("data/icecubes/raymarcher.vert", "data/icecubes/raymarcher.frag");
    static_assert(sizeof sync_table / sizeof sync_table[0] == VALUE_COUNT, "one track per value");
    for (int i = 0; i < VALUE_COUNT; ++i) values[i] = music->add_sync_value(sync_table[i].name, sync_table[i].value, true);
}

float IceCubes::value(int v) const { return music->get_sync_value(values[v]); }

int IceCubes::object_number() const {
    const float v = value(OBJECT);
    // Past the range of int (or NaN) the conversion is undefined; the program shows its
    // first object for every number it does not know, so that is what such a value gets.
    if (!(std::fabs(v) < 2147483520.0f)) return 0;
    return static_cast<int>(v);
}

Mat4 IceCubes::camera_matrix() const {
    Mat4 m;
    m.translate(value(CAM_POS_X), value(CAM_POS_Y), value(CAM_POS_Z));
    m.rotate(value(CAM_ROTATION), value(CAM_AXIS_X), value(CAM_AXIS_Y), value(CAM_AXIS_Z));
    return m;
}

Mat4 IceCubes::object_matrix() const {
    Mat4 m;
    m.rotate(value(OBJ_ROTATION), value(OBJ_AXIS_X), value(OBJ_AXIS_Y), value(OBJ_AXIS_Z));
    return m;
}

void IceCubes::render() {
    raymarcher->bind();
    raymarcher->set_uniform1i("rm_object", object_number());
    raymarcher->set_uniform3("rm_color", Vec3(value(COLOR_R), value(COLOR_G), value(COLOR_B)));
    const Mat4 cam = camera_matrix();
    raymarcher->set_uniform_matrix4("rm_cam_matrix", false, cam.data());
    const Mat4 obj = object_matrix();
    raymarcher->set_uniform_matrix4("rm_obj_matrix", false, obj.data());

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glEnable(GL_COLOR_MATERIAL);

    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    // Into the modelview, which is current: the quad's unit square maps onto the viewport.
    gluOrtho2D(0, 1, 0, 1);
    glBegin(GL_QUADS);
    glVertex2f(0, 0);
    glVertex2f(1, 0);
    glVertex2f(1, 1);
    glVertex2f(0, 1);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
}
