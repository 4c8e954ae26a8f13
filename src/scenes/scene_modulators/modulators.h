// The modulator monitor: the score's MIDI tracks as scrolling graphs, one band per track and in
// it one filled curve per note of the track, over a window of 512 columns (10.24 beats) centred
// on the current beat, with a label per track that pulses with the track's value.
// The columns live in ring buffers that catch up column by column when the music moves, so a
// seek recomputes exactly the columns that come into view.
// Depends on: scenes/scene, util/music (note values), util/text, util/gl (the curves' buffer).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "scenes/scene/scene.h"
#include "util/gl/streamed_vertices.h"
#include "util/text/text.h"

class Modulators : public Scene {
public:
    static constexpr int COLUMNS = 512;
    static constexpr const char* FONT_FILE = "data/common/fonts/arial.ttf";

    void init() override;
    void render() override;
    void release() override;
    // Its own projection over the columns and bands; the base reshape is not used.
    void reshape(int new_width, int new_height) override;

    // Value of note `note` of track `track` in ring column `column` (NaN: never sampled).
    float column_value(int track, int note, int column) const {
        return history[static_cast<size_t>(track)][static_cast<size_t>(note) * COLUMNS + static_cast<size_t>(column)];
    }

    // One array per MIDI track: note j of ring column c at j * COLUMNS + c.
    std::vector<std::vector<float>> history;
    int32_t cursor = 0;  // ring column of the newest sample, 0 ... COLUMNS - 1
    float last_beat = 0.0f;
    float step = 0.02f;
    std::unique_ptr<Text> font;
    // Columns sampled by the catch-up of the latest render (bounded to the visible window).
    int32_t columns_sampled = 0;

private:
    void catch_up(float now);
    void sample_column(int column, float beat);
    void draw_curves(uint32_t track_count);

    // A curve's unbroken run of sampled columns: its colour's blue, and where its fill strip
    // and its line start in the frame's vertices (the fill has 2 * line_count - 2 of them).
    struct CurveRun {
        float d;
        int fill_first, line_first, line_count;
    };
    std::vector<CurveRun> runs;
    StreamedVertices curves, lines;
};
