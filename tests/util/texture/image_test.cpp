#include "util/texture/image.h"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/byte_order.h"
#include "platform/ui.h"

namespace {

// Runs a decoder over bytes in memory; `boxes` gets what its message boxes said.
bool decode(bool (*decoder)(FILE*, DecodedImage&, const char*), const std::string& bytes, DecodedImage& image,
            std::string& boxes) {
    setenv("ZORVANE_BATCH", "1", 1);
    reset_batch_mode();
    FILE* f = bytes.empty() ? tmpfile() : fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    testing::internal::CaptureStderr();
    bool ok = decoder(f, image, "images/test");
    boxes = testing::internal::GetCapturedStderr();
    fclose(f);
    return ok;
}

std::string tga_header(int type, int width, int height, int bpp) {
    std::string h(12, '\0');
    h[2] = static_cast<char>(type);
    uint8_t size[4];
    write_u16_le(size, static_cast<uint16_t>(width));
    write_u16_le(size + 2, static_cast<uint16_t>(height));
    return h + std::string(reinterpret_cast<const char*>(size), 4) + std::string{static_cast<char>(bpp), 0};
}

TEST(TgaDecoder, UncompressedAndRunLengthPixelsInRgbOrder) {
    DecodedImage image;
    std::string boxes;
    std::string plain = tga_header(2, 2, 1, 24) + "\x01\x02\x03\x04\x05\x06";
    ASSERT_TRUE(decode(decode_tga, plain, image, boxes));
    EXPECT_EQ(image.format, IMAGE_RGB);
    EXPECT_EQ(image.bits_per_pixel, 24u);
    EXPECT_EQ(image.data, (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
    // A run of 3, then a raw packet of 1, for a 4x1 32-bit image.
    std::string rle = tga_header(10, 4, 1, 32) + std::string("\x82\x0a\x0b\x0c\xff\x00\x01\x02\x03\x80", 10);
    ASSERT_TRUE(decode(decode_tga, rle, image, boxes));
    EXPECT_EQ(image.format, IMAGE_RGBA);
    EXPECT_EQ(image.data, (std::vector<uint8_t>{12, 11, 10, 255, 12, 11, 10, 255, 12, 11, 10, 255, 3, 2, 1, 128}));
}

TEST(TgaDecoder, RefusalsAndTheirBoxes) {
    DecodedImage image;
    std::string boxes;
    std::string with_id = tga_header(2, 1, 1, 24);
    with_id[0] = 4;
    EXPECT_FALSE(decode(decode_tga, with_id + "abcd\1\2\3", image, boxes));
    EXPECT_EQ(boxes, "Invalid Image: TGA file be type 2 or type 10 \n");
    EXPECT_FALSE(decode(decode_tga, tga_header(2, 1, 1, 16) + "\1\2", image, boxes));
    EXPECT_NE(boxes.find("ERROR at src/util/texture/image:"), std::string::npos) << boxes;
    EXPECT_NE(boxes.find(": Invalid texture information\n"), std::string::npos);
    EXPECT_FALSE(decode(decode_tga, std::string(5, '\0'), image, boxes));
    EXPECT_EQ(boxes, "ERROR: Could not read file header\n");
    EXPECT_FALSE(decode(decode_tga, tga_header(2, 2, 2, 24) + "\1\2\3", image, boxes));
    EXPECT_EQ(boxes, "ERROR: Could not read image data\n");
    // A run of 3 into a 2-pixel image: refused before anything is written past it.
    EXPECT_FALSE(decode(decode_tga, tga_header(10, 2, 1, 24) + "\x82\1\2\3", image, boxes));
    EXPECT_EQ(boxes, "ERROR: Too many pixels read\n");
    EXPECT_FALSE(decode(decode_tga, tga_header(10, 2, 1, 24), image, boxes));
    EXPECT_EQ(boxes, "ERROR: Could not read RLE header\n");
    EXPECT_FALSE(decode_tga(nullptr, image, "images/test"));
}

std::string bmp(int width, int height, uint32_t image_size, int bpp = 24) {
    auto le32 = [](uint32_t v) {
        uint8_t word[4];
        write_u32_le(word, v);
        return std::string(reinterpret_cast<const char*>(word), 4);
    };
    std::string info = le32(40) + le32(static_cast<uint32_t>(width)) + le32(static_cast<uint32_t>(height)) +
                       std::string{1, 0, static_cast<char>(bpp), 0} + le32(0) + le32(image_size) + le32(2835) +
                       le32(2835) + le32(0) + le32(0) + le32(0);
    std::string file = "BM" + le32(0) + le32(0) + le32(14 + 44) + info;
    size_t row = static_cast<size_t>(width) * 3, padded = (row + 3) / 4 * 4;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) file += std::string{static_cast<char>(x), static_cast<char>(y), static_cast<char>(9)};
        file += std::string(padded - row, '\0');
    }
    return file;
}

TEST(BmpDecoder, RowsPaddedToFourBytesWithOrWithoutTheSizeField) {
    for (uint32_t size_field : {0u, 2u * 8u}) {  // 2x2 image: rows of 6 bytes padded to 8
        DecodedImage image;
        std::string boxes;
        ASSERT_TRUE(decode(decode_bmp, bmp(2, 2, size_field), image, boxes)) << size_field;
        EXPECT_EQ(image.data, (std::vector<uint8_t>{9, 0, 0, 255, 9, 0, 1, 255, 9, 1, 0, 255, 9, 1, 1, 255}));
    }
    // A size field far beyond the file: the one row is still read as it stands.
    DecodedImage image;
    std::string boxes;
    ASSERT_TRUE(decode(decode_bmp, bmp(2, 1, 0xff000000u), image, boxes));
    EXPECT_EQ(image.data, (std::vector<uint8_t>{9, 0, 0, 255, 9, 0, 1, 255}));
    EXPECT_FALSE(decode(decode_bmp, bmp(2, 2, 0, 32), image, boxes));
    EXPECT_FALSE(decode(decode_bmp, bmp(2, 2, 0).substr(0, 70), image, boxes));
    EXPECT_FALSE(decode(decode_bmp, bmp(0, 2, 0), image, boxes));
    EXPECT_NE(boxes.find("Invalid texture information"), std::string::npos);
}

TEST(PngImage, EightBitImagesOnlyBottomRowFirst) {
    auto file = [](const char* name) {
        std::ifstream f(std::string(ZORVANE_TEST_DATA) + "/png/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    };
    DecodedImage image;
    std::string boxes;
    ASSERT_TRUE(decode(decode_png_image, file("rgba8_n.png"), image, boxes));
    EXPECT_EQ(image.bits_per_pixel, 32u);
    EXPECT_EQ(image.width, 13u);
    for (const char* refused : {"rgb16_n.png", "gray1_n.png", "pal4_n.png"}) {
        EXPECT_FALSE(decode(decode_png_image, file(refused), image, boxes)) << refused;
        EXPECT_NE(boxes.find("Invalid texture information"), std::string::npos) << refused;
    }
    EXPECT_FALSE(decode(decode_png_image, "GIF89a", image, boxes));
    EXPECT_EQ(boxes, "");  // not a PNG: no box, the load just fails
}

std::string make_jpeg(int width, int height) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        // Top half red, bottom half blue.
        bool top = cinfo.next_scanline < static_cast<JDIMENSION>(height / 2);
        for (int x = 0; x < width; ++x) row[x * 3] = top ? 220 : 10, row[x * 3 + 1] = 10, row[x * 3 + 2] = top ? 10 : 220;
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&cinfo, &pointer, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string out(reinterpret_cast<char*>(buffer), size);
    free(buffer);
    return out;
}

TEST(JpegDecoder, DecodesBottomRowFirstAndADamagedFileIsAFailedLoad) {
    DecodedImage image;
    std::string boxes;
    ASSERT_TRUE(decode(decode_jpeg, make_jpeg(16, 16), image, boxes));
    EXPECT_EQ(image.width, 16u);
    EXPECT_GT(image.data[2], 150);  // the first stored row is the picture's bottom: blue
    EXPECT_LT(image.data[0], 100);
    EXPECT_EQ(image.data[3], 255);
    std::string damaged = make_jpeg(16, 16).substr(0, 40);
    EXPECT_FALSE(decode(decode_jpeg, damaged, image, boxes));
    EXPECT_NE(boxes.find("JPEG error: "), std::string::npos) << boxes;
}

// Headers that give more than a texture can be: each decoder refuses them from the header alone
// (the files hold a few bytes of pixels), naming the file in its box.
TEST(ImageSize, HeadersBeyondATextureAreRefusedBeforeDecoding) {
    const std::string side = ": Invalid texture information\nimages/test: 32768 x 32768 pixels, more than the largest "
                             "texture (16384 a side)\n";
    DecodedImage image;
    std::string boxes;
    EXPECT_FALSE(decode(decode_tga, tga_header(2, 32768, 32768, 32) + std::string(64, '\0'), image, boxes));
    EXPECT_NE(boxes.find(side), std::string::npos) << boxes;

    auto be32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    const std::string png = "\x89PNG\r\n\x1a\n" + be32(13) + "IHDR" + be32(32768) + be32(32768) +
                            std::string("\x08\x06\0\0\0", 5) + be32(0) + be32(4096) + "IDAT" + std::string(4096, '\0') +
                            be32(0) + be32(0) + "IEND" + be32(0);
    EXPECT_FALSE(decode(decode_png_image, png, image, boxes));
    EXPECT_NE(boxes.find(side), std::string::npos) << boxes;

    // The JPEG's frame header (SOF0: marker, length, precision, height, width) says 32768 x 32768.
    std::string jpeg = make_jpeg(16, 16);
    const size_t frame = jpeg.find("\xff\xc0");
    ASSERT_NE(frame, std::string::npos);
    jpeg.replace(frame + 5, 4, std::string("\x80\0\x80\0", 4));
    EXPECT_FALSE(decode(decode_jpeg, jpeg, image, boxes));
    EXPECT_NE(boxes.find(side), std::string::npos) << boxes;

    // Within the side limit, more pixels than decoding one image may take.
    std::string large = bmp(2, 2, 0);
    write_u32_le(reinterpret_cast<uint8_t*>(&large[18]), 10000);
    write_u32_le(reinterpret_cast<uint8_t*>(&large[22]), 10000);
    EXPECT_FALSE(decode(decode_bmp, large, image, boxes));
    EXPECT_NE(boxes.find("images/test: 10000 x 10000 pixels, more than the 67108864 (256 MiB decoded) an image may "
                         "hold\n"),
              std::string::npos)
        << boxes;

    // A picture as wide as a texture can be is still decoded.
    EXPECT_TRUE(decode(decode_tga, tga_header(2, 16384, 1, 24) + std::string(16384 * 3, '\x7f'), image, boxes));
    EXPECT_EQ(image.width, 16384u);
}

}  // namespace
