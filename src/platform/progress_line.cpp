#include "platform/progress_line.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

ProgressLine::ProgressLine(FILE* stream, int terminal)
    : stream(stream ? stream : stderr),
      terminal(terminal < 0 ? isatty(fileno(this->stream)) != 0 : terminal != 0) {}

ProgressLine::~ProgressLine() {
    if (terminal && drawn) fputc('\n', stream);
}

void ProgressLine::start(int64_t total_frames, int frames_per_second, double now_seconds) {
    total = std::max<int64_t>(1, total_frames);
    fps = std::max(1, frames_per_second);
    started = now_seconds;
    last_drawn = -1;
    last_tenth = 0;
}

std::string ProgressLine::describe(int64_t done, int64_t total, int frames_per_second, double elapsed) {
    const double rate = elapsed > 0 ? static_cast<double>(done) / elapsed : 0.0;
    const double speed = rate / std::max(1, frames_per_second);
    char left[32] = "--:--";
    if (rate > 0) {
        const long seconds = std::lround(static_cast<double>(std::max<int64_t>(0, total - done)) / rate);
        snprintf(left, sizeof left, "%ld:%02ld", seconds / 60, seconds % 60);
    }
    char text[160];
    snprintf(text, sizeof text, "%lld of %lld frames (%d%%), %.1f frames/s, %.2fx real time, %s left",
             static_cast<long long>(done), static_cast<long long>(total),
             static_cast<int>(100 * std::min(done, total) / std::max<int64_t>(1, total)), rate, speed, left);
    return text;
}

void ProgressLine::update(int64_t done, double now_seconds) {
    const double elapsed = now_seconds - started;
    if (terminal) {
        // A few times a second is enough to read, and keeps the terminal out of the frame time.
        if (done < total && last_drawn >= 0 && now_seconds - last_drawn < 0.25) return;
        last_drawn = now_seconds;
        fprintf(stream, "\r\033[K%s", describe(done, total, fps, elapsed).c_str());
        fflush(stream);
        drawn = true;
        return;
    }
    const int tenth = static_cast<int>(10 * std::min(done, total) / total);
    if (tenth <= last_tenth) return;
    last_tenth = tenth;
    fprintf(stream, "%s\n", describe(done, total, fps, elapsed).c_str());
    fflush(stream);
}
