// The tracks of the show drawn over music time as SVG, for reviewing the choreography: one lane
// per track with its keys and their interpolation, bar lines and the soundtrack's sections.
#pragma once

#include <string>
#include <vector>

#include "util/sync/sync.h"

struct PlotTrack {
    std::string name;
    std::vector<SyncKey> keys;  // sorted by row, as a track file stores them
};

// The soundtrack's clock: 145 beats a minute, 8 rows a beat, 4 beats a bar.
constexpr double PLOT_BPM = 145.0;
constexpr int PLOT_ROWS_PER_BEAT = 8;
constexpr int PLOT_ROWS_PER_BAR = 4 * PLOT_ROWS_PER_BEAT;

double plot_seconds_of_row(double row);
double plot_row_of_seconds(double seconds);

// The end of the music in rows: the last bar of its last section.
int plot_show_rows();

// The whole picture for the rows from..until (until > from). Keys outside the window are not
// marked, but they still shape the curve that crosses into it.
std::string plot_tracks_svg(const std::vector<PlotTrack>& tracks, double from_row, double until_row);
