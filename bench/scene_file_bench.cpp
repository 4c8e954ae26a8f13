// Loading one scene both ways a run can: the COLLADA document parsed from memory (loose files),
// and its converted entries rebuilt from the archive in memory (a packed build). The scene is the
// generated grid of 100 352 triangles with normals and texture coordinates; neither path touches
// a file or a texture.
#include <benchmark/benchmark.h>

#include <string>

#include "grid_document.h"
#include "util/data/data.h"
#include "util/objects3d/dae_loader.h"
#include "util/objects3d/scene_file.h"

namespace {

const int GRID_CELLS = 224;  // 2 * 224^2 = 100 352 triangles

void count_triangles(benchmark::State& state, const SceneTables& tables, size_t bytes) {
    state.counters["triangles"] = static_cast<double>(tables.geom_objects[0]->ivertices.size() / 3);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_GridFromCollada(benchmark::State& state) {
    const std::string document = grid_document(GRID_CELLS);
    SceneTables tables;
    for (auto _ : state) {
        tables = SceneTables();
        load_collada_from_memory(document.data(), document.size(), "grid.dae", tables);
        benchmark::DoNotOptimize(tables.geom_objects.data());
    }
    count_triangles(state, tables, document.size());
}
BENCHMARK(BM_GridFromCollada)->Unit(benchmark::kMillisecond);

void BM_GridFromArchiveEntries(benchmark::State& state) {
    const std::string document = grid_document(GRID_CELLS);
    SceneTables converted;
    load_collada_from_memory(document.data(), document.size(), "grid.dae", converted);
    reset_datafile();
    set_datafile_mode(DATAFILE_MODE_WRITE);
    save_internal(converted, "grid.dae");
    size_t stored = 0;
    for (const DataChunk& entry : get_datafile_entries()) stored += entry.size;
    // The recorded entries serve reads as an unpacked archive would.
    set_datafile_mode(DATAFILE_MODE_READ);

    SceneTables tables;
    for (auto _ : state) {
        tables = SceneTables();
        load_internal(tables, "grid.dae");
        benchmark::DoNotOptimize(tables.geom_objects.data());
    }
    count_triangles(state, tables, stored);
    state.counters["entry_bytes"] = static_cast<double>(stored);
    reset_datafile();
}
BENCHMARK(BM_GridFromArchiveEntries)->Unit(benchmark::kMillisecond);

}  // namespace
