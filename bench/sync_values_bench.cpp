// The registry of a full show: 150 tracked values with keys on every track, every one read
// by name once per frame. Lookups are linear scans by string comparison, as the registry
// does them; this shows what a frame pays for that.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "util/music/sync_values.h"
#include "util/sync/sync.h"

namespace {

constexpr int VALUE_COUNT = 150;
constexpr int KEYS_PER_TRACK = 64;

double frame_row = 0;
double row_source(void*) { return frame_row; }

std::string value_name(int i) {
    // Shared prefixes, like "ppFadeAmount" and "ppFadeColour", make the comparisons realistic.
    static const char* prefixes[] = {"pp", "ri", "ss_", "sl", "ic"};
    return std::string(prefixes[i % 5]) + "Parameter" + std::to_string(i);
}

struct Show {
    Show() {
        char pattern[] = "/tmp/zorvane-bench-XXXXXX";
        folder = mkdtemp(pattern);
        folder += "/";
        device = create_sync_device(folder.c_str(), true);
        for (int i = 0; i < VALUE_COUNT; ++i) {
            SyncTrack track{const_cast<char*>(""), nullptr, 0};
            for (int k = 0; k < KEYS_PER_TRACK; ++k)
                insert_key(&track, SyncKey{k * 16, static_cast<float>(k % 7), k % 4});
            save_track_file(track_file_path(device, value_name(i).c_str()), &track);
            free(track.keys);
        }
        device->editor_mode = false;
        values = new SyncValues(device, row_source, nullptr);
        for (int i = 0; i < VALUE_COUNT; ++i) {
            names.push_back(value_name(i));
            values->add_sync_value(names.back().c_str(), 0.0f, true);
        }
        // Every track is in memory now; the files are not needed any more.
        std::string remove = "rm -rf " + folder;
        if (system(remove.c_str()) != 0) fprintf(stderr, "could not remove %s\n", folder.c_str());
    }
    std::string folder;
    SyncDevice* device;
    SyncValues* values;
    std::vector<std::string> names;
};

Show& show() {
    static Show* s = new Show();
    return *s;
}

void BM_ReadAllValuesOneFrame(benchmark::State& state) {
    Show& s = show();
    for (auto _ : state) {
        frame_row += 0.37;
        if (frame_row > KEYS_PER_TRACK * 16) frame_row = 0;
        float sum = 0;
        for (const auto& name : s.names) sum += s.values->get_sync_value(name.c_str());
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * VALUE_COUNT);
}
BENCHMARK(BM_ReadAllValuesOneFrame);

// The same frame without the name lookups: what evaluation alone costs.
void BM_EvaluateAllTracksOneFrame(benchmark::State& state) {
    Show& s = show();
    for (auto _ : state) {
        frame_row += 0.37;
        if (frame_row > KEYS_PER_TRACK * 16) frame_row = 0;
        float sum = 0;
        for (const auto& value : s.values->values()) sum += evaluate_track(value.track, frame_row);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * VALUE_COUNT);
}
BENCHMARK(BM_EvaluateAllTracksOneFrame);

}  // namespace
