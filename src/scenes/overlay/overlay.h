// The overlay: what an author needs to see while the show runs, drawn over the finished
// picture with the engine's own text and lines: music time (seconds, bar.beat, row), what the
// tracks select, frames per second, a graph of recent frame times against the 60 and 30
// frames-per-second lines, each part's GPU and CPU time, and the standing reload error in red.
// The error alone is drawn while the overlay is off.
// Depends on: util/text, scenes/frame_stats.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "scenes/frame_stats/frame_stats.h"

class Text;

struct OverlayView {
    double music_seconds = 0.0;
    double beat = 0.0;  // from the start of the music, 4 to a bar
    double row = 0.0;
    bool paused = false;
    std::string scenes;   // "Ribbons + StageLights"
    std::string effects;  // "Fade, Film"
    double frames_per_second = 0.0;
    const std::deque<float>* frame_ms = nullptr;  // the latest frames, oldest first
    const FrameRecord* parts = nullptr;           // the latest frame whose times are all in
    const std::vector<std::string>* part_names = nullptr;
    GpuTimer timer = GpuTimer::None;
    std::string reload_error;
};

// How many frame times the graph shows.
constexpr size_t OVERLAY_GRAPH_FRAMES = 300;

// Both draw into the whole window (width x height) and leave blending off and no program bound.
void draw_overlay(const OverlayView& view, const Text& font, int width, int height);
void draw_reload_error(const std::string& error, const Text& font, int width, int height);
