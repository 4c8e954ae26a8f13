// Ribbons: the recent history of the score as a stack of coloured ribbons seen in perspective,
// one band per MIDI track and in it one thin wall per note, whose height follows the note's
// modulated value over the last 512 samples. The camera drifts and rolls under its tracks.
// The history is sampled every 0.01 beats into ring buffers that survive while the scene is
// not shown; when the music has moved, the samples that come into view are recomputed first.
// Depends on: scenes/scene, util/music (note and track values, sync values), util/camera,
// util/gl (the strips' buffer).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "scenes/scene/scene.h"
#include "util/camera/camera.h"
#include "util/gl/streamed_vertices.h"
#include "util/music/sync_values.h"

struct TrackHistory {
    std::vector<int32_t> midi_tracks;  // the MIDI track(s) sampled; one here
    int32_t voices = 0;                // notes of that track
    // voices x SAMPLES values; voice v at v * SAMPLES ... v * SAMPLES + SAMPLES - 1, ring-indexed.
    std::vector<float> samples;
};

class Ribbons : public Scene {
public:
    static constexpr int SAMPLES = 512;
    static constexpr float LINE_WIDTH = 4.0f;
    static constexpr float RIBBON_DEPTH = 0.03f;

    void init() override;
    void render() override;
    void release() override;

    // The ring position of the sample `age` steps older than the newest.
    int ring_position(int age) const { return (write_index - age) & (SAMPLES - 1); }

    Camera camera;
    int32_t write_index = 0;  // ring position of the newest sample, kept within 0 ... SAMPLES - 1
    std::vector<std::unique_ptr<TrackHistory>> tracks;  // tracks[k] holds MIDI track n - 1 - k
    float sample_period = 0.01f;
    float history_time = 0.0f;  // beat of the newest sample
    // Samples computed (per track history) by the catch-up of the latest render.
    int32_t samples_computed = 0;

private:
    enum Value {
        BOB_AMOUNT, BOB_SPEED, MOVE_AMOUNT_X, MOVE_AMOUNT_Y, MOVE_SPEED_X, MOVE_SPEED_Y, OFFSET_X, OFFSET_Y,
        BLEND_MODE, FG_ALPHA, BG_ALPHA, COL0, COL1, VALUE_COUNT
    };
    SyncValueHandle values[VALUE_COUNT];
    std::vector<SyncValueHandle> track_heights;  // by MIDI track

    void sample_all(float beat, int position);
    void catch_up(float beat);
    void gather_strips();
    // Draws a band's ribbons from the frame's strips, from float `first` on, and moves it on.
    void draw_track(int band, size_t& first) const;

    StreamedVertices strips;
};
