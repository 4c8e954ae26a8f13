// Frame time of each scene alone at 640x360 on the machine's GL driver, as the director draws
// it (preset, reshape, render into the picture target), with the music moving 1/30 s a frame
// from where the show selects the scene; next to an empty frame (clear and swap) in the same
// run. Every frame ends with a swap and waits for GL to finish, so the times are wall-clock
// frame times. Runs under a display (xvfb-run on machines without one).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include <deque>
#include <string>
#include <vector>

#include "gl_window.h"
#include "platform/clock.h"
#include "platform/file_watcher.h"
#include "scenes/frame_stats/frame_stats.h"
#include "scenes/overlay/overlay.h"
#include "scenes/scene_attractor_fun/attractor_fun.h"
#include "scenes/scene_icecubes/icecubes.h"
#include "scenes/scene_modulators/modulators.h"
#include "scenes/scene_radial_fun/radial_fun.h"
#include "scenes/scene_reflection_cubes/reflection_cubes.h"
#include "scenes/scene_ribbons/ribbons.h"
#include "scenes/scene_ssaotest/scene_ssaotest.h"
#include "scenes/scene_stagelights/stagelights.h"
#include "scenes/scene_text_billboards/text_billboards.h"
#include "util/text/text.h"
#include "scenes/scene_still.h"

namespace {

constexpr int WIDTH = 640, HEIGHT = 360;

SceneStill& still() {
    static SceneStill* instance = [] {
        open_test_window(WIDTH, HEIGHT);
        if (chdir(ZORVANE_SOURCE_DIR) != 0) perror(ZORVANE_SOURCE_DIR);
        return new SceneStill(WIDTH, HEIGHT);
    }();
    return *instance;
}

void end_frame() {
    SDL_GL_SwapBuffers();
    glFinish();
}

void BM_EmptyFrame(benchmark::State& state) {
    still();
    for (auto _ : state) {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        end_frame();
    }
}
BENCHMARK(BM_EmptyFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// `from_beat`: a beat inside the part of the show that selects the scene.
template <typename S>
void scene_frames(benchmark::State& state, double from_beat) {
    SceneStill& s = still();
    S& scene = s.add<S>();
    const double beats_per_frame = s.music->bpm / 60.0 / 30.0;
    // Catch up once outside the timing, as the scene would have while the show ran.
    double beat = from_beat;
    s.set_beat(beat);
    s.draw(scene);
    for (auto _ : state) {
        beat += beats_per_frame;
        s.set_beat(beat);
        s.draw(scene);
        end_frame();
    }
}
void BM_RadialFun(benchmark::State& state) { scene_frames<RadialFun>(state, 162.0); }
void BM_AttractorFun(benchmark::State& state) { scene_frames<AttractorFun>(state, 258.0); }
void BM_Ribbons(benchmark::State& state) { scene_frames<Ribbons>(state, 194.0); }
void BM_Modulators(benchmark::State& state) { scene_frames<Modulators>(state, 322.0); }
BENCHMARK(BM_RadialFun)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AttractorFun)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Ribbons)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Modulators)->Unit(benchmark::kMillisecond)->UseRealTime();
// The chain fully unfolded; the beams through thick smoke; a single cube, and the field of
// cubes, the costliest object to march.
void BM_Ssaotest(benchmark::State& state) { scene_frames<Ssaotest>(state, 60.0); }
void BM_StageLights(benchmark::State& state) { scene_frames<StageLights>(state, 80.0); }
void BM_IceCubes(benchmark::State& state) { scene_frames<IceCubes>(state, 100.0); }
void BM_IceCubesField(benchmark::State& state) { scene_frames<IceCubes>(state, 244.0); }
BENCHMARK(BM_Ssaotest)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StageLights)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_IceCubes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_IceCubesField)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_TextBillboards(benchmark::State& state) { scene_frames<TextBillboards>(state, 8.0); }
void BM_ReflectionCubes(benchmark::State& state) { scene_frames<ReflectionCubes>(state, 136.0); }
BENCHMARK(BM_TextBillboards)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReflectionCubes)->Unit(benchmark::kMillisecond)->UseRealTime();

// Where the reflection cubes' frame goes: one draw of its world as the frame draws it seven
// times (six cube faces of 512 x 512, then the view), with the shadow passes (range(1) = 1) or
// in one lit pass; range(0) = 1 draws a cube face, 0 the view at the picture size.
void BM_ReflectionCubesWorldDraw(benchmark::State& state) {
    SceneStill& s = still();
    static ReflectionCubes* scene = &s.add<ReflectionCubes>();
    const bool face = state.range(0) != 0, shadows = state.range(1) != 0;
    s.set_beat(136.0);
    s.draw(*scene);  // positions, the light and the first (unshadowed) faces
    for (auto _ : state) {
        if (face) {
            scene->world.set_camera(scene->cube_camera);
            scene->reflection->begin_face(0);
            scene->world.cameras[static_cast<size_t>(scene->cube_camera)]->set_view_matrix(scene->reflection->face_matrix(0));
            scene->world.render(shadows);
            scene->reflection->end_face();
        } else {
            s.target->bind(true);
            scene->world.set_camera(scene->viewer_camera);
            scene->world.render(shadows);
            s.target->unbind();
        }
        end_frame();
    }
}
BENCHMARK(BM_ReflectionCubesWorldDraw)->ArgsProduct({{1, 0}, {1, 0}})->ArgNames({"face", "shadows"})
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// What authoring adds to a frame, beside the same frame without it: three parts (a small
// clear each, as cheap as a part can be), then range(0) = 0 nothing more, 1 the file watcher's
// poll over data/ (a loose-files run), 2 also the timer queries and clock readings around each
// part (the overlay or --stats), 3 also drawing the overlay.
void BM_AuthoringFrame(benchmark::State& state) {
    SceneStill& s = still();
    const int mode = static_cast<int>(state.range(0));
    static FileWatcher watcher;
    static std::string watch_error;
    static const bool watching = watcher.start("data", watch_error);
    if (!watching) state.SkipWithError(watch_error.c_str());
    FrameStats stats;
    stats.init({"A", "B", "C"});
    static Text font("data/common/fonts/courier_new.ttf", 48);
    font.Reshape(WIDTH, HEIGHT);
    std::deque<float> history(OVERLAY_GRAPH_FRAMES, 16.0f);
    FrameRecord latest;
    const std::vector<std::string> names = {"A", "B", "C"};
    int32_t frame = 0;
    for (auto _ : state) {
        if (mode >= 1) benchmark::DoNotOptimize(watcher.poll(tick_count_ms()));
        if (mode >= 2) stats.begin_frame();
        s.target->bind(true);
        for (int part = 0; part < 3; ++part) {
            if (mode >= 2) stats.begin_part(part);
            glClear(GL_COLOR_BUFFER_BIT);
            if (mode >= 2) stats.end_part();
        }
        s.target->unbind();
        if (mode >= 3) {
            OverlayView view;
            view.frame_ms = &history;
            view.parts = &latest;
            view.part_names = &names;
            view.timer = stats.timer();
            draw_overlay(view, font, WIDTH, HEIGHT);
        }
        end_frame();
        if (mode >= 2) {
            stats.end_frame(frame++, 0.0, 16.0);
            for (FrameRecord& record : stats.collect(false)) latest = std::move(record);
        }
    }
    state.SetLabel(mode == 0 ? "plain" : mode == 1 ? "watcher" : mode == 2 ? "watcher+timers" : "watcher+timers+overlay");
}
BENCHMARK(BM_AuthoringFrame)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The watcher's poll alone, over data/ with nothing changed: what every frame of a loose run pays.
void BM_WatcherPoll(benchmark::State& state) {
    FileWatcher watcher;
    std::string error;
    if (chdir(ZORVANE_SOURCE_DIR) != 0 || !watcher.start("data", error)) state.SkipWithError(error.c_str());
    for (auto _ : state) benchmark::DoNotOptimize(watcher.poll(tick_count_ms()));
}
BENCHMARK(BM_WatcherPoll)->Unit(benchmark::kMicrosecond);

}  // namespace
