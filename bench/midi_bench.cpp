// Score queries: every track's note values at one beat (what one frame of the ribbons or the
// modulator monitor asks), and 512 successive samples of one track after a seek (a scene
// catching up its history). The score is made here: 3 minutes at 145 BPM, 8 tracks, 16
// notes a track played in turn every quarter beat, each track with an envelope and an LFO.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "util/music/midi.h"
#include "util/music/modulators/adsr.h"
#include "util/music/modulators/lfo.h"

namespace {

constexpr int TRACKS = 8;
constexpr int BEATS = 435;  // 3 minutes at 145 BPM
constexpr int TICKS_PER_BEAT = 96;

std::string be(uint32_t v, int bytes) {
    std::string s;
    for (int i = bytes - 1; i >= 0; --i) s += static_cast<char>(v >> (8 * i));
    return s;
}

std::string vlq(uint32_t v) {
    std::string s(1, static_cast<char>(v & 0x7F));
    while (v >>= 7) s.insert(s.begin(), static_cast<char>((v & 0x7F) | 0x80));
    return s;
}

MidiFile& score() {
    static MidiFile* file = [] {
        std::string smf = "MThd" + be(6, 4) + be(1, 2) + be(TRACKS, 2) + be(TICKS_PER_BEAT, 2);
        for (int t = 0; t < TRACKS; ++t) {
            std::string events = vlq(0) + "\xFF\x03\x01" + static_cast<char>('a' + t);
            const int step = TICKS_PER_BEAT / 4;
            for (int i = 0; i < BEATS * 4; ++i) {
                uint8_t note = static_cast<uint8_t>(36 + t * 4 + (i * 7 + t) % 16);
                events += vlq(0) + static_cast<char>(0x90) + static_cast<char>(note) + static_cast<char>(100);
                events += vlq(step) + static_cast<char>(0x80) + static_cast<char>(note) + static_cast<char>(0);
            }
            events += vlq(0) + std::string("\xFF\x2F\x00", 3);
            smf += "MTrk" + be(static_cast<uint32_t>(events.size()), 4) + events;
        }
        auto* midi = new MidiFile(reinterpret_cast<const uint8_t*>(smf.data()), smf.size());
        for (auto& track : midi->tracks) {
            track.modulators.push_back(std::make_unique<ADSR>(0.1f, SLOPE_LINEAR, 0.2f, SLOPE_EXP, 0.5f, 0.3f, SLOPE_LINEAR));
            track.modulators.push_back(std::make_unique<LFO>(WAVE_SINE, -1, 1, 8, false));
        }
        return midi;
    }();
    return *file;
}

void BM_NoteValuesAllTracksOneFrame(benchmark::State& state) {
    MidiFile& midi = score();
    float beat = static_cast<float>(state.range(0));
    for (auto _ : state) {
        float sum = 0;
        for (uint32_t t = 0; t < midi.tracks.size(); ++t)
            for (float v : midi.note_values(t, beat, 145.0f)) sum += v;
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_NoteValuesAllTracksOneFrame)->Arg(10)->Arg(200)->Arg(430);

void BM_CatchUp512SamplesAfterSeek(benchmark::State& state) {
    MidiFile& midi = score();
    float seek = static_cast<float>(state.range(0));
    for (auto _ : state) {
        float sum = 0;
        for (int i = 0; i < 512; ++i) sum += midi.note_values(0, seek + i * (1.0f / 60.0f), 145.0f)[0];
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_CatchUp512SamplesAfterSeek)->Arg(10)->Arg(400)->Unit(benchmark::kMillisecond);

}  // namespace
