// zorvane-tool stats plot.
#include "stats_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <tuple>

#include "platform/fatal.h"
#include "track_plot.h"

namespace {

constexpr double LEFT = 70, RIGHT = 200, TOP = 30, HEIGHT = 560, WIDTH = 1800;
constexpr double PLOT_WIDTH = WIDTH - LEFT - RIGHT, PLOT_HEIGHT = HEIGHT - TOP - 40;
const char* const COLOURS[] = {"#4e79a7", "#f28e2b", "#e15759", "#76b7b2", "#59a14f", "#edc948", "#b07aa1",
                               "#ff9da7", "#9c755f", "#bab0ac", "#1f77b4", "#8c564b", "#17becf", "#bcbd22"};

// A step of 1, 2, 2.5 or 5 times a power of ten that cuts `range` into at most ten parts; the
// range is at least 1e-9 and at most 1e12 (an hour and a half of frames... a file's numbers
// may be anything).
double nice_step(double range) {
    range = std::min(std::max(range, 1e-9), 1e12);
    const double power = std::pow(10.0, std::floor(std::log10(range / 10.0)));
    for (double factor : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (range / (factor * power) <= 10.0) return factor * power;
    return 10.0 * power;
}

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> cells;
    size_t start = 0;
    for (;;) {
        const size_t comma = line.find(',', start);
        cells.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return cells;
        start = comma + 1;
    }
}

// An empty cell is -1 (the part did not run); false for anything but a finite number.
bool number(const std::string& cell, double& value) {
    if (cell.empty()) {
        value = -1;
        return true;
    }
    char* end = nullptr;
    value = strtod(cell.c_str(), &end);
    return end == cell.c_str() + cell.size() && std::isfinite(value);
}

std::string ending(const std::string& name, const char* suffix) {
    const std::string s = suffix;
    return name.size() > s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0
               ? name.substr(0, name.size() - s.size())
               : std::string();
}

}  // namespace

bool parse_stats_csv(const std::string& text, StatsTable& table, std::string& error) {
    table = StatsTable();
    size_t start = 0, line_number = 0;
    std::vector<std::string> header;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++line_number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const std::vector<std::string> cells = split(line);
        if (header.empty()) {
            header = cells;
            const bool parts_pair = header.size() >= 3 && (header.size() - 3) % 2 == 0;
            if (!parts_pair || header[0] != "frame" || header[1] != "music_seconds" || header[2] != "frame_ms") {
                error = "line 1: not a stats file (its header starts frame,music_seconds,frame_ms, then two columns a part)";
                return false;
            }
            for (size_t c = 3; c < header.size(); c += 2) {
                const std::string part = ending(header[c], "_gpu_ms");
                if (part.empty() || ending(header[c + 1], "_cpu_ms") != part) {
                    error = "line 1: column " + std::to_string(c + 1) + " is not <part>_gpu_ms followed by <part>_cpu_ms";
                    return false;
                }
                table.parts.push_back(part);
            }
            continue;
        }
        if (cells.size() != header.size()) {
            error = "line " + std::to_string(line_number) + ": " + std::to_string(cells.size()) + " cells, the header has " +
                    std::to_string(header.size());
            return false;
        }
        StatsFrame frame;
        double frame_number = 0;
        bool ok = number(cells[0], frame_number) && number(cells[1], frame.music_seconds) && number(cells[2], frame.frame_ms) &&
                  !cells[1].empty() && !cells[2].empty();
        for (size_t p = 0; ok && p < table.parts.size(); ++p) {
            double gpu = 0, cpu = 0;
            ok = number(cells[3 + 2 * p], gpu) && number(cells[4 + 2 * p], cpu);
            frame.part_ms.push_back(gpu >= 0 ? gpu : cpu);
        }
        if (!ok) {
            error = "line " + std::to_string(line_number) + ": a cell that is not a number";
            return false;
        }
        table.frames.push_back(std::move(frame));
    }
    if (header.empty()) {
        error = "the file is empty";
        return false;
    }
    if (table.frames.empty()) {
        error = "no frames after the header";
        return false;
    }
    std::stable_sort(table.frames.begin(), table.frames.end(),
                     [](const StatsFrame& a, const StatsFrame& b) { return a.music_seconds < b.music_seconds; });
    return true;
}

std::string plot_stats_svg(const StatsTable& table) {
    double from = table.frames.front().music_seconds, until = table.frames.back().music_seconds;
    if (until - from < 1e-3) until = from + 1.0;
    // The scale fits the slowest frames but one in a hundred, so that a few stalls (a texture's
    // first use, a page fault) do not flatten the rest; taller frames are cut at the top.
    std::vector<double> heights;
    for (const StatsFrame& frame : table.frames) {
        double stacked = 0;
        for (double ms : frame.part_ms) stacked += std::max(0.0, ms);
        heights.push_back(std::max(frame.frame_ms, stacked));
    }
    std::sort(heights.begin(), heights.end());
    // At least 40 ms, so that both frame-rate lines show.
    const double high = std::max(40.0, std::min(1e12, heights[std::min(heights.size() - 1, heights.size() * 99 / 100)] * 1.2));
    const double step = nice_step(high);
    const double top_ms = std::ceil(high / step) * step;
    auto x_of = [&](double seconds) { return LEFT + (seconds - from) / (until - from) * PLOT_WIDTH; };
    auto y_of = [&](double ms) { return TOP + PLOT_HEIGHT - std::min(ms, top_ms) / top_ms * PLOT_HEIGHT; };

    std::string svg = string_format(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" "
        "font-family=\"sans-serif\" font-size=\"12\">\n<rect width=\"%.0f\" height=\"%.0f\" fill=\"#ffffff\"/>\n",
        WIDTH, HEIGHT, WIDTH, HEIGHT, WIDTH, HEIGHT);
    for (const PlotSection& section : plot_sections()) {
        const double a = std::max(from, plot_seconds_of_row(section.from_row));
        const double b = std::min(until, plot_seconds_of_row(section.until_row));
        if (a >= b) continue;
        svg += string_format("<rect class=\"section\" x=\"%.2f\" y=\"%.0f\" width=\"%.2f\" height=\"%.0f\" fill=\"%s\"/>\n", x_of(a),
                      TOP, x_of(b) - x_of(a), PLOT_HEIGHT, section.index % 2 ? "#f0f0f0" : "#fafafa");
        svg += string_format("<text x=\"%.2f\" y=\"%.0f\" font-weight=\"bold\">%s</text>\n", x_of(a) + 4, TOP - 8, section.name);
    }
    // The axis: about ten lines, the seconds along the bottom. The loops count their lines rather
    // than add steps, which a step too small for the numbers' precision would never end.
    for (int k = 0; k <= 11 && k * step <= top_ms + step * 1e-6; ++k) {
        const double ms = k * step;
        svg += string_format("<line x1=\"%.0f\" y1=\"%.2f\" x2=\"%.0f\" y2=\"%.2f\" stroke=\"#dddddd\"/><text x=\"%.0f\" y=\"%.2f\" "
                      "text-anchor=\"end\" fill=\"#666666\">%.0f ms</text>\n",
                      LEFT, y_of(ms), LEFT + PLOT_WIDTH, y_of(ms), LEFT - 6, y_of(ms) + 4, ms);
    }
    const double tick = nice_step(until - from);
    for (int k = 0; k <= 11; ++k) {
        const double s = std::ceil(from / tick) * tick + k * tick;
        if (s > until + tick * 1e-6) break;
        svg += string_format("<text x=\"%.2f\" y=\"%.0f\" fill=\"#666666\" text-anchor=\"middle\">%.6g s</text>\n", x_of(s),
                      TOP + PLOT_HEIGHT + 16, s);
    }

    // Each part's band sits on those before it; a frame where it did not run adds nothing.
    std::vector<double> below(table.frames.size(), 0.0);
    for (size_t p = 0; p < table.parts.size(); ++p) {
        bool ran = false;
        for (const StatsFrame& frame : table.frames) ran = ran || frame.part_ms[p] >= 0;
        if (!ran) continue;
        const char* colour = COLOURS[p % std::size(COLOURS)];
        std::string upper, lower;
        for (size_t f = 0; f < table.frames.size(); ++f) {
            const double x = x_of(table.frames[f].music_seconds);
            const double top = below[f] + std::max(0.0, table.frames[f].part_ms[p]);
            upper += string_format("%.2f,%.2f ", x, y_of(top));
            lower = string_format("%.2f,%.2f ", x, y_of(below[f])) + lower;
            below[f] = top;
        }
        svg += string_format("<polygon class=\"part\" fill=\"%s\" fill-opacity=\"0.85\" points=\"", colour) + upper + lower +
               "\"><title>" + svg_escape(table.parts[p]) + "</title></polygon>\n";
        const double legend_y = TOP + 16 + static_cast<double>(p) * 18;
        svg += string_format("<rect x=\"%.0f\" y=\"%.0f\" width=\"12\" height=\"12\" fill=\"%s\"/><text x=\"%.0f\" y=\"%.0f\">",
                      LEFT + PLOT_WIDTH + 16, legend_y - 10, colour, LEFT + PLOT_WIDTH + 34, legend_y) +
               svg_escape(table.parts[p]) + "</text>\n";
    }
    svg += "<polyline class=\"frame\" fill=\"none\" stroke=\"#000000\" stroke-width=\"1\" points=\"";
    for (const StatsFrame& frame : table.frames) svg += string_format("%.2f,%.2f ", x_of(frame.music_seconds), y_of(frame.frame_ms));
    svg += "\"><title>frame time</title></polyline>\n";
    for (const auto& [ms, colour, label] : {std::make_tuple(1000.0 / 60, "#3aa655", "60 frames/s"),
                                            std::make_tuple(1000.0 / 30, "#c98a00", "30 frames/s")})
        svg += string_format("<line x1=\"%.0f\" y1=\"%.2f\" x2=\"%.0f\" y2=\"%.2f\" stroke=\"%s\" stroke-dasharray=\"6 4\"/>"
                      "<text x=\"%.0f\" y=\"%.2f\" fill=\"%s\">%s</text>\n",
                      LEFT, y_of(ms), LEFT + PLOT_WIDTH, y_of(ms), colour, LEFT + 4, y_of(ms) - 4, colour, label);
    svg += "</svg>\n";
    return svg;
}
