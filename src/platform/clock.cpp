// Clocks on POSIX: CLOCK_MONOTONIC serves both the tick count and the high-resolution counter.
#include "platform/clock.h"

#include <malloc.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

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

namespace {
// The start time in /proc/self/stat is in clock ticks since boot, the clock CLOCK_BOOTTIME
// keeps; negative when it cannot be read.
double process_start_boot_seconds() {
    FILE* f = fopen("/proc/self/stat", "r");
    if (!f) return -1.0;
    char line[1024];
    const size_t got = fread(line, 1, sizeof line - 1, f);
    fclose(f);
    line[got] = 0;
    // The command name may hold blanks and parentheses: the fields start after the last ')'.
    const char* at = strrchr(line, ')');
    if (!at) return -1.0;
    unsigned long long start_ticks = 0;
    // Field 22 is the start time; after the name come field 3 (state) to field 21.
    if (sscanf(at + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %*d %*d %llu",
               &start_ticks) != 1)
        return -1.0;
    const long ticks_per_second = sysconf(_SC_CLK_TCK);
    if (ticks_per_second <= 0) return -1.0;
    return static_cast<double>(start_ticks) / static_cast<double>(ticks_per_second);
}

double boot_seconds_now() {
    timespec ts;
    if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0) return -1.0;
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}
}  // namespace

double seconds_since_process_start() {
    static const double start = process_start_boot_seconds();
    static const double first_call = boot_seconds_now();
    const double now = boot_seconds_now();
    if (start >= 0 && now >= start) return now - start;
    return now >= first_call ? now - first_call : 0.0;
}

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

void map_large_blocks_on_their_own() { mallopt(M_MMAP_THRESHOLD, 1 << 20); }

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
