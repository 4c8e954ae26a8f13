// PNG decoding: the engine's decoder against libpng (the reference, linked only here) on the
// same files in the same run: a photo-like 1024x1024 RGBA image and a flat-colour 2048x2048
// palette image, both made here and compressed with zlib at level 6, as image tools do.
#include <benchmark/benchmark.h>
#include <png.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "util/texture/png.h"

namespace {

void put_chunk(std::string& png, const char* type, const std::string& data) {
    auto be = [](uint32_t v) {
        uint8_t word[4];
        write_u32_be(word, v);
        return std::string(reinterpret_cast<const char*>(word), 4);
    };
    std::string body = std::string(type, 4) + data;
    png += be(static_cast<uint32_t>(data.size())) + body +
           be(static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

std::string make_png(uint32_t w, uint32_t h, int color, bool photo) {
    int channels = color == 6 ? 4 : 1;
    std::string raw;
    for (uint32_t y = 0; y < h; ++y) {
        raw += static_cast<char>(0);  // unfiltered rows
        std::string row;
        for (uint32_t x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c) {
                double v = photo ? 127 + 60 * std::sin(x * 0.011 + c) * std::cos(y * 0.017) + ((x * 7 + y * 13 + c) % 9)
                                 : ((x / 256) + (y / 256) * 8) % 16;
                row += static_cast<char>(static_cast<uint8_t>(v));
            }
        raw += row;
    }
    uLongf size = compressBound(raw.size());
    std::string compressed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(&compressed[0]), &size, reinterpret_cast<const Bytef*>(raw.data()), raw.size(), 6);
    compressed.resize(size);
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header(13, '\0');
    write_u32_be(reinterpret_cast<uint8_t*>(&header[0]), w);
    write_u32_be(reinterpret_cast<uint8_t*>(&header[4]), h);
    header[8] = 8;
    header[9] = static_cast<char>(color);
    put_chunk(png, "IHDR", header);
    if (color == 3) {
        std::string palette;
        for (int i = 0; i < 16; ++i) palette += std::string{static_cast<char>(i * 16), static_cast<char>(255 - i * 16), static_cast<char>(i * 7)};
        put_chunk(png, "PLTE", palette);
    }
    put_chunk(png, "IDAT", compressed);
    put_chunk(png, "IEND", "");
    return png;
}

const std::string& photo() {
    static const std::string png = make_png(1024, 1024, 6, true);
    return png;
}
const std::string& flat() {
    static const std::string png = make_png(2048, 2048, 3, false);
    return png;
}

void engine_decode(benchmark::State& state, const std::string& file) {
    for (auto _ : state) {
        DecodedPng png;
        decode_png(reinterpret_cast<const uint8_t*>(file.data()), file.size(), png);
        benchmark::DoNotOptimize(png.rgba.data());
    }
}

struct Memory {
    const std::string* file;
    size_t at;
};

void libpng_decode(benchmark::State& state, const std::string& file) {
    for (auto _ : state) {
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        Memory memory{&file, 0};
        png_set_read_fn(png, &memory, [](png_structp p, png_bytep out, png_size_t n) {
            auto* m = static_cast<Memory*>(png_get_io_ptr(p));
            memcpy(out, m->file->data() + m->at, n);
            m->at += n;
        });
        png_read_info(png, info);
        png_set_expand(png);
        png_set_gray_to_rgb(png);
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
        png_read_update_info(png, info);
        uint32_t w = png_get_image_width(png, info), h = png_get_image_height(png, info);
        std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
        std::vector<png_bytep> rows(h);
        for (uint32_t y = 0; y < h; ++y) rows[y] = rgba.data() + static_cast<size_t>(y) * w * 4;
        png_read_image(png, rows.data());
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(rgba.data());
    }
}

void BM_EnginePhotoRgba1024(benchmark::State& s) { engine_decode(s, photo()); }
void BM_LibpngPhotoRgba1024(benchmark::State& s) { libpng_decode(s, photo()); }
void BM_EngineFlatPalette2048(benchmark::State& s) { engine_decode(s, flat()); }
void BM_LibpngFlatPalette2048(benchmark::State& s) { libpng_decode(s, flat()); }
BENCHMARK(BM_EnginePhotoRgba1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpngPhotoRgba1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineFlatPalette2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpngFlatPalette2048)->Unit(benchmark::kMillisecond);

}  // namespace
