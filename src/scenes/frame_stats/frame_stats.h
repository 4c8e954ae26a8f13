// Frame statistics: where a frame's time goes. Each part of a frame (a scene, a post effect) is
// timed on the CPU clock around its drawing calls and on the GPU by a timer query
// (GL_ARB_timer_query, else GL_EXT_timer_query; neither: CPU time alone). The driver answers a
// query some frames later, so a frame's record is handed out once all of its answers are in.
// The records feed the overlay and the --stats file: one CSV row per frame, a fixed column pair
// per part, empty where the part did not run.
// Depends on: GLEW, platform/clock.
#pragma once

#include <GL/glew.h>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

struct PartTime {
    int part = 0;
    double cpu_ms = 0.0;
    double gpu_ms = -1.0;  // < 0: not measured
};

struct FrameRecord {
    int32_t frame = 0;
    double music_seconds = 0.0;
    double frame_ms = 0.0;
    std::vector<PartTime> parts;  // in drawing order
};

enum class GpuTimer { None, Arb, Ext };

class FrameStats {
public:
    FrameStats() = default;
    ~FrameStats();
    FrameStats(const FrameStats&) = delete;
    FrameStats& operator=(const FrameStats&) = delete;

    // `part_names` name the parts by number: the CSV's columns, in that order.
    void init(std::vector<std::string> part_names);
    const std::vector<std::string>& names() const { return part_names; }
    GpuTimer timer() const { return gpu_timer; }

    // Parts must not nest. Between begin_frame and end_frame only.
    void begin_frame();
    void begin_part(int part);
    void end_part();
    void end_frame(int32_t frame, double music_seconds, double frame_ms);
    // The frames whose GPU times have all come in, oldest first, each once; with `wait` every
    // frame ended so far.
    std::vector<FrameRecord> collect(bool wait);

    // ---- the --stats file ----
    std::string csv_header() const;
    std::string csv_row(const FrameRecord& record) const;

private:
    struct Pending {
        FrameRecord record;
        std::vector<GLuint> queries;  // one per part; 0 where none was made
    };
    GLuint take_query();
    double query_ms(GLuint query) const;

    std::vector<std::string> part_names;
    GpuTimer gpu_timer = GpuTimer::None;
    bool in_frame = false;
    Pending current;
    uint64_t part_start = 0;
    std::deque<Pending> pending;
    std::vector<GLuint> spare_queries;
    std::vector<GLuint> all_queries;
};
