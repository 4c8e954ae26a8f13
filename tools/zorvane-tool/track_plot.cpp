// zorvane-tool track plot: SVG written as text, so reviewing the show needs nothing beyond a
// browser.
#include "track_plot.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "commands.h"
#include "platform/fatal.h"

namespace {

// The soundtrack's sections, 16 bars each, in order.
const char* const SECTIONS[] = {"intro", "build-up", "main", "breakdown", "climax", "outro"};
constexpr int BARS_PER_SECTION = 16;

constexpr double LEFT = 170, RIGHT = 20, TOP = 58, LANE = 64, LANE_GAP = 10, WIDTH = 1800;
constexpr double PLOT_WIDTH = WIDTH - LEFT - RIGHT;

const char* const INTERPOLATION_NAMES[] = {"hold", "linear", "smooth", "ramp"};
const char* const INTERPOLATION_COLOURS[] = {"#d9534f", "#2a7ae2", "#3aa655", "#c98a00"};

}  // namespace

std::string svg_escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default:
                // Control characters are not allowed in XML 1.0 at all.
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
                break;
        }
    }
    return out;
}

int write_svg_file(const char* path, const std::string& svg) {
    FILE* out = fopen(path, "wb");
    if (!out) return tool_error(std::string("cannot write ") + path + ": " + strerror(errno));
    const bool written = fwrite(svg.data(), 1, svg.size(), out) == svg.size();
    if (fclose(out) != 0 || !written) return tool_error(std::string("cannot write ") + path + ": " + strerror(errno));
    return 0;
}

std::vector<PlotSection> plot_sections() {
    std::vector<PlotSection> sections;
    const int rows = BARS_PER_SECTION * SYNC_ROWS_PER_BAR;
    for (int s = 0; s < static_cast<int>(std::size(SECTIONS)); ++s)
        sections.push_back(PlotSection{s, SECTIONS[s], static_cast<double>(s * rows), static_cast<double>((s + 1) * rows)});
    return sections;
}

namespace {

// The interpolation that shapes the track from `row` on: that of the last key at or before it.
int governing_interpolation(const std::vector<SyncKey>& keys, double row) {
    auto after = std::upper_bound(keys.begin(), keys.end(), row,
                                  [](double r, const SyncKey& key) { return r < key.row; });
    if (after == keys.begin() || after == keys.end()) return INTERP_HOLD;  // flat outside the keys
    return (after - 1)->interpolation;
}

// The curve as (row, value) points: exact corners where a hold key switches, samples along the
// interpolated stretches.
std::vector<std::pair<double, double>> curve(const std::vector<SyncKey>& keys, double from, double until) {
    SyncTrack track{nullptr, const_cast<SyncKey*>(keys.data()), static_cast<int32_t>(keys.size())};
    auto value = [&](double row) { return static_cast<double>(evaluate_track(&track, row)); };
    std::vector<double> breaks{from};
    for (const SyncKey& key : keys)
        if (key.row > from && key.row < until) breaks.push_back(key.row);
    breaks.push_back(until);
    std::vector<std::pair<double, double>> points;
    for (size_t i = 0; i + 1 < breaks.size(); ++i) {
        const double a = breaks[i], b = breaks[i + 1];
        if (governing_interpolation(keys, a) == INTERP_HOLD) {
            const double v = value(a);
            points.emplace_back(a, v);
            points.emplace_back(b, v);
        } else {
            constexpr int SAMPLES = 32;
            for (int s = 0; s <= SAMPLES; ++s) {
                const double row = a + (b - a) * s / SAMPLES;
                // The end of an interpolated stretch reaches the next key's value.
                points.emplace_back(row, s == SAMPLES ? value(b - 1e-9 * std::max(1.0, std::fabs(b))) : value(row));
            }
        }
    }
    return points;
}

}  // namespace

double plot_seconds_of_row(double row) { return row / SYNC_ROWS_PER_BEAT * 60.0 / SOUNDTRACK_BPM; }
double plot_row_of_seconds(double seconds) { return seconds * SOUNDTRACK_BPM / 60.0 * SYNC_ROWS_PER_BEAT; }
int plot_show_rows() { return static_cast<int>(std::size(SECTIONS)) * BARS_PER_SECTION * SYNC_ROWS_PER_BAR; }

std::string plot_tracks_svg(const std::vector<PlotTrack>& tracks, double from, double until) {
    const double span = until - from;
    auto x_of = [&](double row) { return LEFT + (row - from) / span * PLOT_WIDTH; };
    const double height = TOP + static_cast<double>(tracks.size()) * (LANE + LANE_GAP) + 24;

    std::string svg = string_format(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" "
        "font-family=\"sans-serif\" font-size=\"12\">\n",
        WIDTH, height, WIDTH, height);
    svg += string_format("<rect width=\"%.0f\" height=\"%.0f\" fill=\"#ffffff\"/>\n", WIDTH, height);

    // Sections as alternating bands with their names; bar lines every 4 bars with their numbers.
    for (const PlotSection& section : plot_sections()) {
        const double a = std::max(from, section.from_row);
        const double b = std::min(until, section.until_row);
        if (a >= b) continue;
        svg += string_format("<rect class=\"section\" x=\"%.2f\" y=\"%.0f\" width=\"%.2f\" height=\"%.0f\" fill=\"%s\"/>\n",
                      x_of(a), 18.0, x_of(b) - x_of(a), height - 18.0, section.index % 2 ? "#f2f2f2" : "#fafafa");
        svg += string_format("<text x=\"%.2f\" y=\"14\" font-weight=\"bold\">%s</text>\n", x_of(a) + 4, section.name);
    }
    const int first_line = static_cast<int>(std::ceil(from / (4.0 * SYNC_ROWS_PER_BAR)));
    for (int line = first_line; line * 4.0 * SYNC_ROWS_PER_BAR <= until; ++line) {
        const double x = x_of(line * 4.0 * SYNC_ROWS_PER_BAR);
        svg += string_format("<line class=\"bar\" x1=\"%.2f\" y1=\"%.0f\" x2=\"%.2f\" y2=\"%.0f\" stroke=\"#c8c8c8\"/>\n", x, TOP - 4,
                      x, height - 20);
        svg += string_format("<text x=\"%.2f\" y=\"%.0f\" fill=\"#888888\" font-size=\"10\">%d | %.1fs</text>\n", x + 2,
                      height - 8, line * 4, plot_seconds_of_row(line * 4.0 * SYNC_ROWS_PER_BAR));
    }
    // What the marker colours mean.
    for (int k = 0; k < 4; ++k) {
        const double x = WIDTH - RIGHT - 300 + k * 75;
        svg += string_format("<circle cx=\"%.0f\" cy=\"34\" r=\"4\" fill=\"%s\"/><text x=\"%.0f\" y=\"38\">%s</text>\n", x,
                      INTERPOLATION_COLOURS[k], x + 8, INTERPOLATION_NAMES[k]);
    }

    for (size_t t = 0; t < tracks.size(); ++t) {
        const PlotTrack& track = tracks[t];
        const double top = TOP + static_cast<double>(t) * (LANE + LANE_GAP);
        const auto points = curve(track.keys, from, until);
        double low = points.front().second, high = low;
        for (const auto& p : points) low = std::min(low, p.second), high = std::max(high, p.second);
        if (high - low < 1e-6) low -= 0.5, high += 0.5;
        auto y_of = [&](double v) { return top + LANE - 4 - (v - low) / (high - low) * (LANE - 8); };

        svg += string_format("<g class=\"lane\" id=\"lane-%zu\">\n", t);
        svg += string_format("<rect x=\"%.0f\" y=\"%.2f\" width=\"%.0f\" height=\"%.0f\" fill=\"none\" stroke=\"#999999\"/>\n",
                      LEFT, top, PLOT_WIDTH, LANE);
        svg += "<text x=\"6\" y=\"" + string_format("%.2f", top + 16) + "\" font-weight=\"bold\">" + svg_escape(track.name) +
               "</text>\n";
        svg += string_format("<text x=\"6\" y=\"%.2f\" fill=\"#666666\" font-size=\"10\">%.6g .. %.6g</text>\n", top + 32, low,
                      high);
        svg += "<polyline fill=\"none\" stroke=\"#333333\" stroke-width=\"1.5\" points=\"";
        for (const auto& p : points) svg += string_format("%.2f,%.2f ", x_of(p.first), y_of(p.second));
        svg += "\"/>\n";
        for (const SyncKey& key : track.keys) {
            if (key.row < from || key.row > until) continue;
            const int kind = key.interpolation >= 0 && key.interpolation < 4 ? key.interpolation : 0;
            svg += string_format("<circle class=\"key\" cx=\"%.2f\" cy=\"%.2f\" r=\"3.5\" fill=\"%s\"><title>row %d (%.2fs): "
                          "%.6g, %s</title></circle>\n",
                          x_of(key.row), y_of(key.value), INTERPOLATION_COLOURS[kind], key.row,
                          plot_seconds_of_row(key.row), static_cast<double>(key.value),
                          key.interpolation >= 0 && key.interpolation < 4 ? INTERPOLATION_NAMES[kind] : "unknown");
        }
        svg += "</g>\n";
    }
    svg += "</svg>\n";
    return svg;
}
