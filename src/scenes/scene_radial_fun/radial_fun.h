// Radial shapes: one square or circle per track of the score, circling slowly around the centre
// of the picture, lit by the track's current note value and coloured along a gradient from the
// first track to the last. The shapes are drawn into the shared scratch target and added onto
// the picture through the radial-blur program, so they trail light toward the centre.
// Depends on: scenes/scene, util/music (track values, sync values), util/fbo, the program table.
#pragma once

#include <cstdint>
#include <vector>

#include "scenes/scene/scene.h"
#include "util/music/sync_values.h"

struct RadialShape {
    float color[4];  // red, green, blue, alpha; alpha is rewritten before every use
    float size;      // multiplies the track's note value
    float angle_offset;  // radians
    int32_t track;
};

class RadialFun : public Scene {
public:
    static constexpr int CIRCLE_POINTS = 65;

    void init() override;
    void render() override;
    // The shapes in the picture's unit square, into whatever target is bound.
    void draw_shapes();

    std::vector<RadialShape> shapes;
    // The ends of the gradient; every draw takes their red, green and blue from the tracks.
    float radial_color0[4] = {0.125f, 0.6f, 1.0f, 1.0f};
    float radial_color1[4] = {1.0f, 0.76863f, 0.06275f, 1.0f};

private:
    enum Value { COL0_R, COL0_G, COL0_B, COL1_R, COL1_G, COL1_B, SPREAD, SIZE, BORDER, OBJECT, VALUE_COUNT };
    SyncValueHandle values[VALUE_COUNT];
};
