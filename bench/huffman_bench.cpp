// Archive body coding: the Huffman block coder against zlib (compress2 level 6 and uncompress)
// on the same deterministic 16 MiB corpus, mixed like a real archive: prose, source code,
// float tables, pixels and a little noise. Reports MB/s (bytes_per_second), the compressed
// size as a fraction of the input, and the Huffman block against the order-0 entropy bound.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "util/data/huffman.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes& corpus() {
    static const Bytes data = [] {
        constexpr size_t target = 16u << 20;
        std::mt19937 random(2026);
        Bytes out;
        out.reserve(target + 65536);
        const char* words[] = {"the", "scene", "light", "shader", "music", "beat", "row", "track",
                               "camera", "fades", "into", "a", "glow", "while", "cubes", "spin",
                               "of", "and", "ribbons", "over", "ice", "bright", "slowly", "demo"};
        const char* code[] = {"    glUniform1f(location, value);\n", "    for (int i = 0; i < n; ++i) {\n",
                              "        sum += weights[i] * samples[i];\n", "    }\n",
                              "uniform sampler2D tex;\n", "varying vec2 uv;\n",
                              "    gl_FragColor = texture2D(tex, uv) * brightness;\n",
                              "    if (!buffer) ZV_FATAL(\"Failed to allocate\");\n", "}\n\n"};
        while (out.size() < target) {
            switch (random() % 5) {
                case 0:  // prose
                    for (int i = 0; i < 2000; ++i) {
                        const char* w = words[random() % (sizeof words / sizeof *words)];
                        out.insert(out.end(), w, w + strlen(w));
                        out.push_back(random() % 12 == 0 ? '\n' : ' ');
                    }
                    break;
                case 1:  // source
                    for (int i = 0; i < 400; ++i) {
                        const char* line = code[random() % (sizeof code / sizeof *code)];
                        out.insert(out.end(), line, line + strlen(line));
                    }
                    break;
                case 2: {  // float tables (vertices, keys)
                    float phase = static_cast<float>(random() % 1000);
                    for (int i = 0; i < 4000; ++i) {
                        float v = std::sin(phase + i * 0.01f) * 10.0f;
                        uint8_t b[4];
                        memcpy(b, &v, 4);
                        out.insert(out.end(), b, b + 4);
                    }
                    break;
                }
                case 3:  // pixels: smooth gradients
                    for (int i = 0; i < 12000; ++i)
                        out.push_back(static_cast<uint8_t>((i / 3 + (i % 3) * 40 + random() % 4) & 0xFF));
                    break;
                default:  // compressed-looking noise
                    for (int i = 0; i < 3000; ++i) out.push_back(static_cast<uint8_t>(random()));
            }
        }
        out.resize(target);
        return out;
    }();
    return data;
}

double entropy_bound_bytes(const Bytes& data) {
    double counts[256] = {};
    for (uint8_t b : data) ++counts[b];
    double bits = 0;
    for (double c : counts)
        if (c > 0) bits -= c * std::log2(c / static_cast<double>(data.size()));
    return bits / 8;
}

void BM_HuffmanEncode(benchmark::State& state) {
    const Bytes& in = corpus();
    Bytes out(in.size() + HuffmanCoder::WORST_CASE_OVERHEAD);
    auto coder = std::make_unique<HuffmanCoder>();
    uint32_t size = 0;
    for (auto _ : state) {
        coder->encode(out.data(), size, in.data(), static_cast<uint32_t>(in.size()));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
    state.counters["ratio"] = static_cast<double>(size) / in.size();
    state.counters["vs_entropy"] = size / entropy_bound_bytes(in);
}
BENCHMARK(BM_HuffmanEncode)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_HuffmanDecode(benchmark::State& state) {
    const Bytes& in = corpus();
    Bytes block(in.size() + HuffmanCoder::WORST_CASE_OVERHEAD);
    auto coder = std::make_unique<HuffmanCoder>();
    uint32_t size = 0;
    coder->encode(block.data(), size, in.data(), static_cast<uint32_t>(in.size()));
    Bytes out(in.size());
    for (auto _ : state) {
        uint32_t got = 0;
        coder->decode(out.data(), got, block.data(), size);
        benchmark::DoNotOptimize(out.data());
    }
    if (out != in) state.SkipWithError("decoded bytes differ");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
    state.counters["ratio"] = static_cast<double>(size) / in.size();
}
BENCHMARK(BM_HuffmanDecode)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_ZlibCompress6(benchmark::State& state) {
    const Bytes& in = corpus();
    Bytes out(compressBound(in.size()));
    uLongf size = 0;
    for (auto _ : state) {
        size = out.size();
        compress2(out.data(), &size, in.data(), in.size(), 6);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
    state.counters["ratio"] = static_cast<double>(size) / in.size();
}
BENCHMARK(BM_ZlibCompress6)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_ZlibUncompress(benchmark::State& state) {
    const Bytes& in = corpus();
    Bytes packed(compressBound(in.size()));
    uLongf packed_size = packed.size();
    compress2(packed.data(), &packed_size, in.data(), in.size(), 6);
    Bytes out(in.size());
    for (auto _ : state) {
        uLongf size = out.size();
        uncompress(out.data(), &size, packed.data(), packed_size);
        benchmark::DoNotOptimize(out.data());
    }
    if (out != in) state.SkipWithError("inflated bytes differ");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
    state.counters["ratio"] = static_cast<double>(packed_size) / in.size();
}
BENCHMARK(BM_ZlibUncompress)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace
