#include "scenes/frame_stats/frame_stats.h"

#include <utility>

#include "platform/clock.h"

namespace {

double milliseconds_between(uint64_t start, uint64_t end) {
    uint64_t frequency = 0;
    if (!performance_frequency(&frequency) || frequency == 0) return 0.0;
    return static_cast<double>(end - start) * 1000.0 / static_cast<double>(frequency);
}

// A frame whose answers have not come after this many later frames is handed out without them,
// so that a driver that never answers cannot grow the queue.
constexpr size_t MOST_PENDING = 8;

}  // namespace

FrameStats::~FrameStats() {
    if (!all_queries.empty()) glDeleteQueries(static_cast<GLsizei>(all_queries.size()), all_queries.data());
}

void FrameStats::init(std::vector<std::string> names) {
    part_names = std::move(names);
    // The extension's word alone is not enough for a call through GLEW: the function must be there.
    if (GLEW_ARB_timer_query && glGetQueryObjectui64v) gpu_timer = GpuTimer::Arb;
    else if (GLEW_EXT_timer_query && glGetQueryObjectui64vEXT) gpu_timer = GpuTimer::Ext;
    else gpu_timer = GpuTimer::None;
}

GLuint FrameStats::take_query() {
    if (gpu_timer == GpuTimer::None) return 0;
    if (spare_queries.empty()) {
        GLuint query = 0;
        glGenQueries(1, &query);
        all_queries.push_back(query);
        return query;
    }
    GLuint query = spare_queries.back();
    spare_queries.pop_back();
    return query;
}

void FrameStats::begin_frame() {
    current = Pending();
    in_frame = true;
}

void FrameStats::begin_part(int part) {
    if (!in_frame) return;
    PartTime time;
    time.part = part;
    current.record.parts.push_back(time);
    const GLuint query = take_query();
    current.queries.push_back(query);
    if (query) glBeginQuery(GL_TIME_ELAPSED, query);
    part_start = performance_counter();
}

void FrameStats::end_part() {
    if (!in_frame || current.queries.empty()) return;
    current.record.parts.back().cpu_ms = milliseconds_between(part_start, performance_counter());
    if (current.queries.back()) glEndQuery(GL_TIME_ELAPSED);
}

void FrameStats::end_frame(int32_t frame, double music_seconds, double frame_ms) {
    if (!in_frame) return;
    in_frame = false;
    current.record.frame = frame;
    current.record.music_seconds = music_seconds;
    current.record.frame_ms = frame_ms;
    pending.push_back(std::move(current));
}

double FrameStats::query_ms(GLuint query) const {
    GLuint64 nanoseconds = 0;
    if (gpu_timer == GpuTimer::Arb) glGetQueryObjectui64v(query, GL_QUERY_RESULT, &nanoseconds);
    else glGetQueryObjectui64vEXT(query, GL_QUERY_RESULT, &nanoseconds);
    return static_cast<double>(nanoseconds) / 1e6;
}

std::vector<FrameRecord> FrameStats::collect(bool wait) {
    std::vector<FrameRecord> done;
    while (!pending.empty()) {
        Pending& oldest = pending.front();
        bool answered = true;
        if (!wait && pending.size() <= MOST_PENDING) {
            for (GLuint query : oldest.queries) {
                GLint available = 1;
                if (query) glGetQueryObjectiv(query, GL_QUERY_RESULT_AVAILABLE, &available);
                if (!available) {
                    answered = false;
                    break;
                }
            }
        }
        if (!answered) break;
        for (size_t i = 0; i < oldest.queries.size(); ++i) {
            const GLuint query = oldest.queries[i];
            if (!query) continue;
            oldest.record.parts[i].gpu_ms = query_ms(query);
            spare_queries.push_back(query);
        }
        done.push_back(std::move(oldest.record));
        pending.pop_front();
    }
    return done;
}

std::string FrameStats::csv_header() const {
    std::string header = "frame,music_seconds,frame_ms";
    for (const std::string& name : part_names) header += "," + name + "_gpu_ms," + name + "_cpu_ms";
    return header + "\n";
}

std::string FrameStats::csv_row(const FrameRecord& record) const {
    // A scene selected twice in one frame counts once, with both its times.
    struct Sum {
        bool ran = false;
        bool gpu = true;
        double gpu_ms = 0.0, cpu_ms = 0.0;
    };
    std::vector<Sum> sums(part_names.size());
    for (const PartTime& time : record.parts) {
        if (time.part < 0 || static_cast<size_t>(time.part) >= sums.size()) continue;
        Sum& sum = sums[static_cast<size_t>(time.part)];
        sum.ran = true;
        sum.cpu_ms += time.cpu_ms;
        sum.gpu = sum.gpu && time.gpu_ms >= 0;
        sum.gpu_ms += time.gpu_ms;
    }
    char cell[64];
    snprintf(cell, sizeof cell, "%d,%.4f,%.3f", record.frame, record.music_seconds, record.frame_ms);
    std::string row = cell;
    for (const Sum& sum : sums) {
        if (!sum.ran) row += ",,";
        else if (sum.gpu) snprintf(cell, sizeof cell, ",%.3f,%.3f", sum.gpu_ms, sum.cpu_ms), row += cell;
        else snprintf(cell, sizeof cell, ",,%.3f", sum.cpu_ms), row += cell;
    }
    return row + "\n";
}
