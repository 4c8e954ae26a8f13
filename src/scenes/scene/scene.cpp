// Scene: the GL preset, reshape and the base operations that must be overridden.
#include "scenes/scene/scene.h"

#include "platform/fatal.h"
#include "util/music/music.h"
#include "util/shaderprogram/shaderprogram.h"

const GLenum Scene::preset_capabilities[PRESET_COUNT] = {
    GL_ALPHA_TEST, GL_BLEND,    GL_COLOR_MATERIAL, GL_CULL_FACE, GL_DEPTH_TEST, GL_LIGHT0,     GL_LIGHT1,
    GL_LIGHT2,     GL_LIGHT3,   GL_LIGHT4,         GL_LIGHT5,    GL_LIGHT6,     GL_LIGHT7,     GL_LIGHTING,
    GL_MULTISAMPLE, GL_NORMALIZE, GL_TEXTURE_1D,   GL_TEXTURE_2D, GL_TEXTURE_CUBE_MAP,
};

Scene::Scene() {
    for (bool& on : preset) on = false;
    preset[PRESET_COLOR_MATERIAL] = preset[PRESET_DEPTH_TEST] = preset[PRESET_LIGHT0] = true;
    preset[PRESET_MULTISAMPLE] = preset[PRESET_NORMALIZE] = true;
}

void Scene::init() { ZV_FATAL_LOCATION(); }

void Scene::render() { ZV_FATAL_LOCATION(); }

void Scene::reshape(int new_width, int new_height) {
    width = new_width;
    height = new_height;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glViewport(0, 0, width, height);
    glScissor(0, 0, width, height);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

float Scene::local_time() const { return music->get_beat() - start_beat; }

void Scene::apply_gl_state() const {
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glLineWidth(1.0f);

    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
    const float ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);

    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glClearColor(0, 0, 0, 0);
    glColor4f(1, 1, 1, 1);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);

    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glDisable(GL_TEXTURE_GEN_R);
    glDisable(GL_TEXTURE_GEN_Q);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);

    glDisable(GL_SCISSOR_TEST);

    for (int i = 0; i < PRESET_COUNT; ++i) {
        if (preset[i])
            glEnable(preset_capabilities[i]);
        else
            glDisable(preset_capabilities[i]);
    }

    glClearDepth(clear_depth);
    glColorMaterial(color_material_face, color_material_mode);
    glDepthFunc(depth_func);
    glShadeModel(shade_model);

    glBindTexture(GL_TEXTURE_1D, 0);
    for (int unit = 5; unit >= 0; --unit) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
        glBindTexture(GL_TEXTURE_2D, 0);
    }

    const float zero[4] = {0, 0, 0, 0};
    for (int light = 0; light < 8; ++light) {
        const GLenum id = GL_LIGHT0 + static_cast<GLenum>(light);
        glLightfv(id, GL_AMBIENT, zero);
        glLightfv(id, GL_DIFFUSE, zero);
        glLightfv(id, GL_SPECULAR, zero);
        glLightfv(id, GL_POSITION, zero);
    }

    ShaderProgram::unbind_all();
}
