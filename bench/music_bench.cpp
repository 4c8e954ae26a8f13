// Music start-up and clock costs: constructing Music for a 3-minute MP3 and a 3-minute Ogg
// Vorbis soundtrack (the one decode into float samples, and into 16-bit samples too when
// capturing), and one get_beat call while the music plays (SDL's dummy driver unless a device
// is given). The soundtracks are made once per run with sox, lame and oggenc.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "util/data/data.h"
#include "util/music/music.h"

namespace {

const std::string& soundtrack(const char* kind) {
    static std::string mp3, ogg;
    if (mp3.empty()) {
        std::string dir = "/tmp/zorvane-music-bench";
        std::string make = "mkdir -p " + dir + " && cd " + dir +
                           " && sox -q -n -r 44100 -c 2 -b 16 long.wav synth 180 pinknoise vol 0.3"
                           " && lame --quiet -b 192 long.wav long.mp3 && oggenc -Q -q 5 long.wav -o long.ogg";
        if (system(make.c_str()) != 0) fprintf(stderr, "could not make the soundtracks (sox, lame, oggenc)\n");
        mp3 = dir + "/long.mp3";
        ogg = dir + "/long.ogg";
    }
    return std::string(kind) == "mp3" ? mp3 : ogg;
}

void construct(benchmark::State& state, const char* kind, bool capture) {
    const std::string& file = soundtrack(kind);
    set_datafile_mode(DATAFILE_MODE_NONE);
    for (auto _ : state) {
        Music music(file.c_str(), 145.0f, 0.0f, capture, 0);
        benchmark::DoNotOptimize(music.float_samples);
    }
}

void BM_ConstructMusicMp3(benchmark::State& state) { construct(state, "mp3", false); }
void BM_ConstructMusicMp3Capture(benchmark::State& state) { construct(state, "mp3", true); }
void BM_ConstructMusicOgg(benchmark::State& state) { construct(state, "ogg", false); }
void BM_ConstructMusicOggCapture(benchmark::State& state) { construct(state, "ogg", true); }
BENCHMARK(BM_ConstructMusicMp3)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ConstructMusicMp3Capture)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ConstructMusicOgg)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ConstructMusicOggCapture)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_GetBeatWhilePlaying(benchmark::State& state) {
    if (!getenv("SDL_AUDIODRIVER")) setenv("SDL_AUDIODRIVER", "dummy", 1);
    set_datafile_mode(DATAFILE_MODE_NONE);
    Music music(soundtrack("ogg").c_str(), 145.0f, 0.0f, false, 0);
    music.start();
    for (auto _ : state) benchmark::DoNotOptimize(music.get_beat());
}
BENCHMARK(BM_GetBeatWhilePlaying);

}  // namespace
