// The track plot's curve and markers, read back from the SVG it writes.
#include "stats_plot.h"
#include "track_plot.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

// Every element of a kind, depth first.
void collect(TiXmlElement* element, const std::string& name, std::vector<TiXmlElement*>& out) {
    for (; element; element = element->NextSiblingElement()) {
        if (name == element->Value()) out.push_back(element);
        collect(element->FirstChildElement(), name, out);
    }
}

std::vector<TiXmlElement*> elements(TiXmlDocument& doc, const std::string& svg, const std::string& name) {
    doc.Clear();
    doc.Parse(svg.c_str());
    EXPECT_FALSE(doc.Error()) << doc.ErrorDesc();
    std::vector<TiXmlElement*> out;
    collect(doc.RootElement(), name, out);
    return out;
}

// The (x, y) pairs of a polyline.
std::vector<std::pair<double, double>> points_of(const TiXmlElement* polyline) {
    std::vector<std::pair<double, double>> out;
    const char* text = polyline->Attribute("points");
    double x, y;
    int used;
    while (text && sscanf(text, "%lf,%lf%n", &x, &y, &used) == 2) {
        out.emplace_back(x, y);
        text += used;
    }
    return out;
}

TEST(TrackPlot, MarksOnlyTheKeysInsideTheWindowButDrawsTheCurveAcrossIt) {
    PlotTrack track{"ppFade", {{0, 0.0f, INTERP_HOLD}, {64, 1.0f, INTERP_LINEAR}, {128, 0.0f, INTERP_HOLD},
                               {512, 3.0f, INTERP_HOLD}}};
    TiXmlDocument doc;
    const std::string svg = plot_tracks_svg({track}, 32, 256);
    int keys = 0;
    for (TiXmlElement* c : elements(doc, svg, "circle"))
        if (c->Attribute("class") && std::string(c->Attribute("class")) == "key") ++keys;
    EXPECT_EQ(keys, 2);  // rows 64 and 128
    auto lines = elements(doc, svg, "polyline");
    ASSERT_EQ(lines.size(), 1u);
    auto points = points_of(lines[0]);
    ASSERT_GE(points.size(), 4u);
    // The window starts inside the first hold: flat until the key at 64, then a vertical step.
    EXPECT_DOUBLE_EQ(points[0].second, points[1].second);
    EXPECT_DOUBLE_EQ(points[1].first, points[2].first);
    EXPECT_LT(points[2].second, points[1].second);  // up in value is up on the page
    // The last point is at the window's right edge, still holding 0 (the key at 512 lies beyond).
    EXPECT_DOUBLE_EQ(points.back().second, points[0].second);
}

TEST(TrackPlot, InterpolatedStretchesEndOnTheNextKeysValue) {
    PlotTrack track{"rcFOV", {{0, 10.0f, INTERP_SMOOTHSTEP}, {100, 20.0f, INTERP_HOLD}}};
    TiXmlDocument doc;
    auto lines = elements(doc, plot_tracks_svg({track}, 0, 200), "polyline");
    ASSERT_EQ(lines.size(), 1u);
    auto points = points_of(lines[0]);
    // Highest value at the top: the stretch climbs from the lane's bottom to its top at row 100.
    double top = points[0].second;
    for (auto& p : points) top = std::min(top, p.second);
    bool reached = false;
    for (auto& p : points)
        if (std::abs(p.first - points[0].first - (points.back().first - points[0].first) / 2) < 1e-6 &&
            std::abs(p.second - top) < 1e-6)
            reached = true;
    EXPECT_TRUE(reached) << "the curve reaches the next key's value where that key lies";
}

TEST(TrackPlot, NamesAreEscapedAndEmptyOrFlatTracksStillDraw) {
    PlotTrack odd{"a<b>&\"c\"", {}};
    PlotTrack flat{"flat", {{10, 2.0f, INTERP_LINEAR}}};
    TiXmlDocument doc;
    const std::string svg = plot_tracks_svg({odd, flat}, 0, 64);
    auto texts = elements(doc, svg, "text");
    bool named = false;
    for (TiXmlElement* t : texts)
        if (t->GetText() && std::string(t->GetText()) == "a<b>&\"c\"") named = true;
    EXPECT_TRUE(named);
    EXPECT_EQ(elements(doc, svg, "polyline").size(), 2u);
    EXPECT_EQ(svg.find("nan"), std::string::npos);
}

TEST(StatsPlot, StacksThePartsThatRanAndRefusesWhatIsNotAStatsFile) {
    StatsTable table;
    std::string error;
    const std::string header = "frame,music_seconds,frame_ms,A<b>_gpu_ms,A<b>_cpu_ms,Idle_gpu_ms,Idle_cpu_ms\n";
    // GPU time where measured, CPU time where not; Idle never ran.
    ASSERT_TRUE(parse_stats_csv(header + "0,10.0,20.0,5.0,1.0,,\n1,10.5,30.0,,7.0,,\n", table, error)) << error;
    ASSERT_EQ(table.frames.size(), 2u);
    EXPECT_EQ(table.frames[0].part_ms, (std::vector<double>{5.0, -1.0}));
    EXPECT_EQ(table.frames[1].part_ms, (std::vector<double>{7.0, -1.0}));
    TiXmlDocument doc;
    const auto parts = elements(doc, plot_stats_svg(table), "polygon");
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_STREQ(parts[0]->FirstChildElement("title")->GetText(), "A<b>");

    for (const char* bad : {"", "frame,seconds,frame_ms\n0,1,2\n", "frame,music_seconds,frame_ms,A_gpu_ms\n",
                            "frame,music_seconds,frame_ms,A_gpu_ms,B_cpu_ms\n0,1,2,3,4\n"})
        EXPECT_FALSE(parse_stats_csv(bad, table, error)) << bad;
    EXPECT_FALSE(parse_stats_csv(header, table, error));
    EXPECT_EQ(error, "no frames after the header");
    EXPECT_FALSE(parse_stats_csv(header + "0,10.0,20.0,5.0,1.0\n", table, error));
    EXPECT_EQ(error, "line 2: 5 cells, the header has 7");
    EXPECT_FALSE(parse_stats_csv(header + "0,10.0,nan,5.0,1.0,,\n", table, error));
    EXPECT_EQ(error, "line 2: a cell that is not a number");
}

TEST(TrackPlot, RowsAndSecondsAtTheSoundtracksTempo) {
    EXPECT_DOUBLE_EQ(plot_seconds_of_row(8 * 145), 60.0);
    EXPECT_NEAR(plot_row_of_seconds(plot_seconds_of_row(1234.5)), 1234.5, 1e-9);
    EXPECT_EQ(plot_show_rows(), 96 * 32);
}

}  // namespace
