// The PNG decoder against libpng (a reference for tests only, never linked into the engine).
#include "util/texture/png.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "util/texture/inflate.h"

namespace {

std::string slurp(const std::string& name) {
    std::ifstream f(std::string(ZORVANE_TEST_DATA) + "/png/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

struct Memory {
    const uint8_t* data;
    size_t size, at;
};

// libpng, asked for what the engine's decoder gives: 8-bit RGBA, 16-bit samples cut to their
// high byte, tRNS as alpha, rows top first.
bool reference_decode(const std::string& file, uint32_t& width, uint32_t& height, std::vector<uint8_t>& rgba) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    Memory memory{reinterpret_cast<const uint8_t*>(file.data()), file.size(), 0};
    png_set_read_fn(png, &memory, [](png_structp p, png_bytep out, png_size_t n) {
        auto* m = static_cast<Memory*>(png_get_io_ptr(p));
        if (m->size - m->at < n) png_error(p, "short");
        memcpy(out, m->data + m->at, n);
        m->at += n;
    });
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    width = png_get_image_width(png, info);
    height = png_get_image_height(png, info);
    rgba.assign(static_cast<size_t>(width) * height * 4, 0);
    std::vector<png_bytep> rows(height);
    for (uint32_t y = 0; y < height; ++y) rows[y] = rgba.data() + static_cast<size_t>(y) * width * 4;
    png_read_image(png, rows.data());
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

TEST(PngDecoder, AgreesWithLibpngOnEverySupportedType) {
    for (const char* name : {"gray8_n.png", "gray8_i.png", "rgb8_n.png", "rgb8_i.png", "rgb16_n.png", "rgb16_i.png",
                             "pal8_n.png", "pal8_i.png", "graya8_n.png", "graya8_i.png", "rgba8_n.png", "rgba8_i.png",
                             "gray1_n.png", "pal4_n.png", "rgb8_trns.png", "gray8_trns.png"}) {
        std::string file = slurp(name);
        ASSERT_FALSE(file.empty()) << name;
        DecodedPng ours;
        ASSERT_TRUE(decode_png(reinterpret_cast<const uint8_t*>(file.data()), file.size(), ours)) << name;
        uint32_t width, height;
        std::vector<uint8_t> theirs;
        ASSERT_TRUE(reference_decode(file, width, height, theirs)) << name;
        EXPECT_EQ(ours.width, width) << name;
        EXPECT_EQ(ours.height, height) << name;
        EXPECT_EQ(ours.rgba, theirs) << name;
    }
}

TEST(PngDecoder, TransparencyKeysAndPaletteAlpha) {
    std::string file = slurp("rgb8_trns.png");
    DecodedPng png;
    ASSERT_TRUE(decode_png(reinterpret_cast<const uint8_t*>(file.data()), file.size(), png));
    int transparent = 0;
    for (size_t i = 3; i < png.rgba.size(); i += 4) transparent += png.rgba[i] == 0;
    EXPECT_GE(transparent, 1);  // the key pixel (and any equal to it)
    EXPECT_LT(transparent, 13 * 11);
    file = slurp("pal8_n.png");
    ASSERT_TRUE(decode_png(reinterpret_cast<const uint8_t*>(file.data()), file.size(), png));
    bool partial = false;
    for (size_t i = 3; i < png.rgba.size(); i += 4) partial |= png.rgba[i] > 0 && png.rgba[i] < 255;
    EXPECT_TRUE(partial);
}

TEST(PngDecoder, NotAPngOrABadPaletteFails) {
    DecodedPng png;
    EXPECT_FALSE(decode_png(reinterpret_cast<const uint8_t*>("GIF89a"), 6, png));
    std::string file = slurp("pal8_n.png");
    size_t plte = file.find("PLTE");
    ASSERT_NE(plte, std::string::npos);
    file[plte - 1] = static_cast<char>(file[plte - 1] - 1);  // a length that is not a multiple of 3
    EXPECT_FALSE(decode_png(reinterpret_cast<const uint8_t*>(file.data()), file.size(), png));
}

TEST(PngDecoder, DamagedFilesNeverOverrun) {
    std::string file = slurp("rgba8_i.png");
    std::mt19937 random(4);
    for (size_t cut = 8; cut < file.size(); cut += 7) {
        DecodedPng png;
        decode_png(reinterpret_cast<const uint8_t*>(file.data()), cut, png);
        if (png.width) {
            EXPECT_EQ(png.rgba.size(), png.width * png.height * 4u);
        }
    }
    for (int round = 0; round < 200; ++round) {
        std::string damaged = slurp("rgb8_n.png");
        for (int k = 0; k < 4; ++k) damaged[8 + random() % (damaged.size() - 8)] = static_cast<char>(random());
        DecodedPng png;
        decode_png(reinterpret_cast<const uint8_t*>(damaged.data()), damaged.size(), png);
    }
}

TEST(Inflate, BlockTypesAndDamage) {
    std::vector<uint8_t> out;
    // "hello" in a stored block, and with fixed codes.
    const uint8_t stored[] = {0x78, 0x01, 0x01, 0x05, 0x00, 0xFA, 0xFF, 'h', 'e', 'l', 'l', 'o', 0, 0, 0, 0};
    EXPECT_EQ(inflate_zlib(stored, sizeof stored, out, 100), InflateResult::Complete);
    EXPECT_EQ(std::string(out.begin(), out.end()), "hello");
    EXPECT_EQ(inflate_zlib(stored, 9, out, 100), InflateResult::Truncated);
    EXPECT_EQ(inflate_zlib(stored, sizeof stored, out, 3), InflateResult::Corrupt);  // more than the limit
    // Fixed codes with back-references, as zlib writes a short repetitive text.
    const uint8_t fixed[] = {0x78, 0xDA, 0xCB, 0x48, 0xCD, 0xC9, 0xC9, 0x57, 0xC8, 0x40,
                             0x27, 0x01, 0x68, 0x03, 0x08, 0xB1};
    EXPECT_EQ(inflate_zlib(fixed, sizeof fixed, out, 100), InflateResult::Complete);
    EXPECT_EQ(std::string(out.begin(), out.end()), "hello hello hello hello");
    const uint8_t wrong_method[] = {0x79, 0x01, 0x00};
    EXPECT_EQ(inflate_zlib(wrong_method, sizeof wrong_method, out, 100), InflateResult::Corrupt);
    const uint8_t dictionary[] = {0x78, 0x20 | 0x1F, 0x00};
    EXPECT_EQ(inflate_zlib(dictionary, sizeof dictionary, out, 100), InflateResult::Corrupt);
}

TEST(Inflate, ZlibStreamsOfEveryMatchShapeAndTheirCutOffPrefixes) {
    // Repeats of every short period (the copies that overlap their own output), long matches,
    // literals between them, and a tail near the output limit, under each of zlib's block
    // kinds. A stream cut short must give back a correct prefix and say it is truncated.
    std::mt19937 random(11);
    std::vector<uint8_t> data;
    while (data.size() < 200000) {
        size_t period = 1 + random() % 12, run = 3 + random() % 300;
        size_t from = data.size();
        for (size_t i = 0; i < period; ++i) data.push_back(static_cast<uint8_t>(random()));
        for (size_t i = 0; i < run; ++i) data.push_back(data[from + i % period]);
        for (int i = random() % 20; i > 0; --i) data.push_back(static_cast<uint8_t>(random() % 4));
    }
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY, Z_RLE}) {
        z_stream z{};
        ASSERT_EQ(deflateInit2(&z, 9, Z_DEFLATED, 15, 9, strategy), Z_OK);
        std::vector<uint8_t> packed(deflateBound(&z, static_cast<uLong>(data.size())));
        z.next_in = data.data();
        z.avail_in = static_cast<uInt>(data.size());
        z.next_out = packed.data();
        z.avail_out = static_cast<uInt>(packed.size());
        ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
        packed.resize(z.total_out);
        deflateEnd(&z);
        std::vector<uint8_t> out;
        ASSERT_EQ(inflate_zlib(packed.data(), packed.size(), out, data.size()), InflateResult::Complete) << strategy;
        ASSERT_EQ(out, data) << strategy;
        EXPECT_EQ(inflate_zlib(packed.data(), packed.size(), out, data.size() - 1), InflateResult::Corrupt) << strategy;
        for (size_t cut = 2; cut < packed.size(); cut += 1 + packed.size() / 23) {
            ASSERT_EQ(inflate_zlib(packed.data(), cut, out, data.size()), InflateResult::Truncated) << cut;
            ASSERT_LE(out.size(), data.size());
            ASSERT_TRUE(std::equal(out.begin(), out.end(), data.begin())) << strategy << " cut at " << cut;
        }
    }
}

}  // namespace
