// COLLADA loading: a generated grid of 100 352 triangles with normals and texture coordinates,
// one <p> list of about 900 000 indices, loaded from memory (no file or texture access); and any
// document an exporter wrote, named by ZORVANE_BENCH_DAE, from its file (textures not decoded),
// to set beside another importer's time for the same file.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "grid_document.h"
#include "util/objects3d/dae_loader.h"

namespace {

void BM_LoadColladaGrid(benchmark::State& state) {
    const std::string document = grid_document(224);  // 2 * 224^2 = 100 352 triangles
    size_t triangles = 0;
    for (auto _ : state) {
        SceneTables tables;
        load_collada_from_memory(document.data(), document.size(), "grid.dae", tables);
        triangles = tables.geom_objects[0]->ivertices.size() / 3;
        benchmark::DoNotOptimize(tables.geom_objects.data());
    }
    state.counters["triangles"] = static_cast<double>(triangles);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
}
BENCHMARK(BM_LoadColladaGrid)->Unit(benchmark::kMillisecond);

std::unique_ptr<Texture> no_texture(const char*) { return std::make_unique<Texture>(); }

void BM_LoadColladaFile(benchmark::State& state) {
    const char* file = getenv("ZORVANE_BENCH_DAE");
    if (!file) {
        state.SkipWithError("set ZORVANE_BENCH_DAE to a COLLADA file");
        return;
    }
    size_t triangles = 0;
    for (auto _ : state) {
        SceneTables tables;
        load_collada(file, tables, no_texture);
        triangles = 0;
        for (const auto& object : tables.geom_objects) triangles += object->ivertices.size() / 3;
        benchmark::DoNotOptimize(tables.geom_objects.data());
    }
    state.counters["triangles"] = static_cast<double>(triangles);
}
BENCHMARK(BM_LoadColladaFile)->Unit(benchmark::kMillisecond);

}  // namespace
