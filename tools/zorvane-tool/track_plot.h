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

// Plots count time with the soundtrack's tempo (SOUNDTRACK_BPM) and the tracks' rows.
double plot_seconds_of_row(double row);
double plot_row_of_seconds(double seconds);

// The end of the music in rows: the last bar of its last section.
int plot_show_rows();

// The soundtrack's sections, in order, in rows.
struct PlotSection {
    int index;
    const char* name;
    double from_row, until_row;
};
std::vector<PlotSection> plot_sections();

// ---- SVG text, shared by the plots ----
// Text for an element or an attribute: markup escaped, control characters dropped.
std::string svg_escape(const std::string& text);
// Writes the picture; 0, or 1 after a tool error.
int write_svg_file(const char* path, const std::string& svg);

// The whole picture for the rows from..until (until > from). Keys outside the window are not
// marked, but they still shape the curve that crosses into it.
std::string plot_tracks_svg(const std::vector<PlotTrack>& tracks, double from_row, double until_row);
