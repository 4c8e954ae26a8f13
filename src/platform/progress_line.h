// Progress of a long run (a capture of the whole show takes minutes): on a terminal one status
// line on standard error, rewritten in place; otherwise a plain line at every tenth of the way.
// Depends on: the C library and POSIX (isatty).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class ProgressLine {
public:
    // `stream` defaults to standard error; `terminal` < 0 asks the stream itself.
    explicit ProgressLine(FILE* stream = nullptr, int terminal = -1);
    ~ProgressLine();  // ends the status line with a line break

    // `total` frames of `frames_per_second` each, from now (`now_seconds` on any steady clock).
    void start(int64_t total, int frames_per_second, double now_seconds);
    // After each frame; `done` frames so far.
    void update(int64_t done, double now_seconds);

    // The text for a state, without a line break: frames done of total, frames per second,
    // speed as a multiple of real time, time left.
    static std::string describe(int64_t done, int64_t total, int frames_per_second, double elapsed_seconds);

private:
    FILE* stream;
    bool terminal;
    int64_t total = 0;
    int fps = 30;
    double started = 0, last_drawn = -1;
    int last_tenth = 0;
    bool drawn = false;
};
