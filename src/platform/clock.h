// Clocks: a monotonic millisecond tick count, a high-resolution counter, and the local time
// stamp that starts log lines.
// Depends on: POSIX clock_gettime, localtime_r.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// Milliseconds since an arbitrary start; wraps like a 32-bit tick count.
uint32_t tick_count_ms();

// High-resolution counter. performance_frequency() returns false when there is none.
bool performance_frequency(uint64_t* counts_per_second);
uint64_t performance_counter();

// Seconds since the kernel started this process (before the loader and static constructors
// ran), to within the kernel's clock tick; since the first call when the start is not known.
double seconds_since_process_start();

struct LocalTime {
    int year, month, day, hour, minute, second, millisecond;
};

LocalTime local_time_now();

// "YYYY-MM-DD HH:MM:SS:mmm " with the trailing blank, every field zero-filled.
std::string format_time_stamp(const LocalTime& t);
inline std::string time_stamp_now() { return format_time_stamp(local_time_now()); }

// Standard output written out at every line end even when it is a file or a pipe, where the C
// library would hold a block: a run redirected to a log keeps every line it wrote when a
// signal or a crash ends it. Called first thing in main, before anything is written.
void line_buffer_standard_output();

// Render targets, decoded images and the driver's texture storage are megabytes each, and many
// are let go during loading. Left to itself the C library raises its threshold for mapping
// blocks of their own to the largest one freed, after which such blocks come from the heap and
// what is freed stays resident (28 MB at 1280x720); a fixed threshold of 1 MB gives each back.
// Called first thing in main.
void map_large_blocks_on_their_own();

// printf to standard output, preceded by the time stamp and followed by a line break.
void log_line(const char* format, ...) __attribute__((format(printf, 1, 2)));
