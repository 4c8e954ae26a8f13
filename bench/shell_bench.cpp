// The shell's per-frame and per-request costs: the frame clock read every frame, the tick
// count the loading screen reads on every archive request, and the log-line time stamp.
#include <benchmark/benchmark.h>

#include "main/frame_clock.h"
#include "main/loading_screen.h"
#include "platform/clock.h"

namespace {

void BM_FrameClockSeconds(benchmark::State& state) {
    FrameClock clock;
    clock.init();
    for (auto _ : state) benchmark::DoNotOptimize(clock.seconds());
}
BENCHMARK(BM_FrameClockSeconds);

void BM_FrameClockTick(benchmark::State& state) {
    FrameClock clock;
    clock.init();
    for (auto _ : state) clock.tick();
}
BENCHMARK(BM_FrameClockTick);

void BM_TickCount(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(tick_count_ms());
}
BENCHMARK(BM_TickCount);

// A throttled loading-screen request: what every archive request pays between redraws.
void BM_LoadingScreenThrottledDraw(benchmark::State& state) {
    LoadingScreen screen;
    screen.painter = LoadingScreenPainter{[] {}, [](const LoadingScreen&, float) {}};
    screen.poll = [](SDL_Event*) { return 0; };
    screen.begin(640, 360, 16.0f / 9.0f);
    screen.next_redraw_ms = UINT32_MAX;
    for (auto _ : state) screen.draw(1.0f, false);
}
BENCHMARK(BM_LoadingScreenThrottledDraw);

void BM_TimeStamp(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(time_stamp_now());
}
BENCHMARK(BM_TimeStamp);

}  // namespace
