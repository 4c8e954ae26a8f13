// Clocks on POSIX: CLOCK_MONOTONIC serves both the tick count and the high-resolution counter.
#include "platform/clock.h"

#include <sys/time.h>

#include <cstdarg>
#include <cstdio>

namespace {
uint64_t monotonic_ns() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}
}  // namespace

uint32_t tick_count_ms() { return static_cast<uint32_t>(monotonic_ns() / 1000000ull); }

bool performance_frequency(uint64_t* counts_per_second) {
    timespec resolution;
    if (clock_getres(CLOCK_MONOTONIC, &resolution) != 0) return false;
    *counts_per_second = 1000000000ull;
    return true;
}

uint64_t performance_counter() { return monotonic_ns(); }

LocalTime local_time_now() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts;
    localtime_r(&now.tv_sec, &parts);
    return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                     parts.tm_min,         parts.tm_sec,     static_cast<int>(now.tv_nsec / 1000000)};
}

std::string format_time_stamp(const LocalTime& t) {
    char buffer[64];
    snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d:%03d ", t.year, t.month, t.day,
             t.hour, t.minute, t.second, t.millisecond);
    return buffer;
}

void line_buffer_standard_output() { setvbuf(stdout, nullptr, _IOLBF, BUFSIZ); }

void log_line(const char* format, ...) {
    std::string stamp = time_stamp_now();
    fputs(stamp.c_str(), stdout);
    va_list args;
    va_start(args, format);
    vfprintf(stdout, format, args);
    va_end(args);
    fputc('\n', stdout);
    fflush(stdout);
}
