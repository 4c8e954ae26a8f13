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

#include "gl_window.h"
#include "scenes/scene_attractor_fun/attractor_fun.h"
#include "scenes/scene_icecubes/icecubes.h"
#include "scenes/scene_modulators/modulators.h"
#include "scenes/scene_radial_fun/radial_fun.h"
#include "scenes/scene_reflection_cubes/reflection_cubes.h"
#include "scenes/scene_ribbons/ribbons.h"
#include "scenes/scene_ssaotest/scene_ssaotest.h"
#include "scenes/scene_stagelights/stagelights.h"
#include "scenes/scene_text_billboards/text_billboards.h"
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

}  // namespace
