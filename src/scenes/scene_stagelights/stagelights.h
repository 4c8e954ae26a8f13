// Stage lights: four coloured beams sweeping through drifting smoke, like stage lasers. The
// smoke is the fire effect in its smoke mode; the beams are flat translucent triangles from a
// source point to a moving segment far behind it. Each beam takes its colour from a hue track
// and its brightness from a MIDI track chosen by a sync value, so beams flash with the notes.
// A small program combines the smoke and beam pictures.
// Depends on: scenes/scene, effects/firesl, util/camera, util/fbo, util/shaderprogram,
// util/math (HSL colours), util/music (sync values, track values).
#pragma once

#include <memory>

#include "effects/firesl/firesl.h"
#include "scenes/scene/scene.h"
#include "util/camera/camera.h"
#include "util/fbo/fbo.h"
#include "util/math/math.h"
#include "util/music/sync_values.h"
#include "util/shaderprogram/shaderprogram.h"

class StageLights : public Scene {
public:
    static constexpr int TARGET_SIZE = 512;
    static constexpr int BEAM_COUNT = 4;

    // One beam's place and shape at a beat: fans have rays == 0.
    struct Beam {
        float half_width, edge_width;
        Vec3 source, target;
        int rays;
    };

    // The smoke, like any embedded effect, loads its programs when the scene is made.
    StageLights() : smoke(std::make_unique<Effects::Fire>()) {}
    void init() override;
    void render() override;
    void reshape(int new_width, int new_height) override;

    // The brightness a beam gets from its track value: the MIDI track's modulated value when
    // the value rounds to an existing track, else full.
    float beam_brightness(float track_value) const;
    // The colour of a hue at the common lightness, fully saturated.
    Vec3 beam_color(float hue) const;
    static Beam beam_at(int index, float beat);
    // Each beam as triangles with per-corner colours into whatever target is bound.
    static void draw_fan(const Vec3& s, const Vec3& t, float a, float e, const Vec3& c, float k);
    static void draw_rays(const Vec3& s, const Vec3& t, float a, float e, const Vec3& c, float k, int n);
    // The four beams with the scene's camera, into whatever target is bound.
    void draw_beams();

    std::unique_ptr<Effects::Fire> smoke;
    Camera camera;
    std::unique_ptr<Fbo> smoke_target, beam_target;
    std::unique_ptr<ShaderProgram> combine;

private:
    enum Value { COLOR0, COLOR1, COLOR2, COLOR3, LUMINANCE, TRACK0, TRACK1, TRACK2, TRACK3, VALUE_COUNT };
    SyncValueHandle values[VALUE_COUNT];
};
