// The frame times of a run (zorvane --stats) drawn as SVG, for comparing two versions of a
// scene: frame time over music time, stacked by part (GPU time where the driver measured it,
// CPU time elsewhere), with the 60 and 30 frames-per-second lines and the soundtrack's sections
// as bands, as track plots draw them.
#pragma once

#include <string>
#include <vector>

struct StatsFrame {
    double music_seconds = 0.0;
    double frame_ms = 0.0;
    std::vector<double> part_ms;  // by part; < 0 where the part did not run
};

struct StatsTable {
    std::vector<std::string> parts;
    std::vector<StatsFrame> frames;
};

// False, with `error` naming the line, for text that is not such a file.
bool parse_stats_csv(const std::string& text, StatsTable& table, std::string& error);
// The table must hold at least one frame.
std::string plot_stats_svg(const StatsTable& table);
