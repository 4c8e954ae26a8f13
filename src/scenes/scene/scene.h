// The base of every part of the show that an ActiveScene track can select: shared services set
// by the director, a time window, the output size, and a preset of fixed-function GL state that
// the director applies right before each use, so every scene starts from a known state.
// Depends on: util/music, util/fbo, util/shaderprogram (program table), util/ascii.
#pragma once

#include <GL/glew.h>

#include <cstdint>

class Music;
class ProgramTable;
class Fbo;
class AsciiEngine;
struct FrameInfo;

class Scene {
public:
    enum Preset {
        PRESET_ALPHA_TEST,
        PRESET_BLEND,
        PRESET_COLOR_MATERIAL,
        PRESET_CULL_FACE,
        PRESET_DEPTH_TEST,
        PRESET_LIGHT0,  // then LIGHT1 ... LIGHT7
        PRESET_LIGHTING = PRESET_LIGHT0 + 8,
        PRESET_MULTISAMPLE,
        PRESET_NORMALIZE,
        PRESET_TEXTURE_1D,
        PRESET_TEXTURE_2D,
        PRESET_TEXTURE_CUBE_MAP,
        PRESET_COUNT
    };
    static_assert(PRESET_COUNT == 19, "nineteen capabilities in the preset");
    static const GLenum preset_capabilities[PRESET_COUNT];

    Scene();
    virtual ~Scene() = default;
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    virtual void init();
    virtual void render();
    virtual void release() {}
    // Stores the size and resets projection, modelview, viewport and scissor box to it.
    virtual void reshape(int new_width, int new_height);
    // True where a reshape leaves something that reshaping back does not undo (a light's shadow
    // map takes the width of the last reshape, but starts at its own size): such a scene is only
    // ever given the show's size.
    virtual bool reshape_is_lasting() const { return false; }

    void set_time_window(float start, float end) {
        start_beat = start;
        end_beat = end;
    }
    void set_aspect(float a) { aspect = a; }
    void set_frame_info(FrameInfo* info) { frame_info = info; }
    void set_music(Music* m) { music = m; }
    void set_shader_set(ProgramTable* table) { shader_set = table; }
    void set_scene_target(Fbo* target) { scene_target = target; }
    void set_ascii_engine(AsciiEngine* engine) { ascii_engine = engine; }

    // Beats since the scene's own start.
    float local_time() const;
    void apply_gl_state() const;

    float start_beat = -10.0f;
    float end_beat = 5000.0f;
    FrameInfo* frame_info = nullptr;
    Music* music = nullptr;
    ProgramTable* shader_set = nullptr;
    Fbo* scene_target = nullptr;
    AsciiEngine* ascii_engine = nullptr;
    float aspect = 16.0f / 9.0f;
    int32_t width = 0, height = 0;
    bool preset[PRESET_COUNT];
    float clear_depth = 1.0f;
    GLenum color_material_face = GL_FRONT_AND_BACK;
    GLenum color_material_mode = GL_AMBIENT_AND_DIFFUSE;
    GLenum depth_func = GL_LESS;
    GLenum shade_model = GL_SMOOTH;
};

// The frame information the director shares with every scene.
struct FrameInfo {
    int32_t frame_number = 0;
};
