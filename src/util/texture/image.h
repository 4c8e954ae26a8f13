// Image decoders for textures, apart from any GL upload so they run without a context: TGA
// (types 2 and 10), PNG (the engine's own decoder), BMP (24-bit) and JPEG (libjpeg). Every one
// fills a DecodedImage: 8-bit samples, rows from the bottom of the picture up, R G B (A).
// Problems are shown in the decoder's message box and the decode fails.
// Depends on: util/texture/png, util/texture/image_size, libjpeg, platform/ui.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

enum ImageFormat { IMAGE_RGB = 3, IMAGE_RGBA = 4 };

struct DecodedImage {
    std::vector<uint8_t> data;  // rows bottom first, no padding
    uint32_t bits_per_pixel = 0;  // 24 or 32
    uint32_t width = 0, height = 0;
    ImageFormat format = IMAGE_RGBA;
};

// Opens `path` through the archive and decodes it with the decoder its ending (compared in
// lower case) names: .tga, .png, .jpg/.jpeg, .bmp. Any other ending shows the "Unsupported
// image format!" box. False when the image cannot be had; the caller reports the texture. Memory
// running out while decoding is such a failure too, after the box "Could not allocate memory
// for image".
bool decode_image_file(const char* path, DecodedImage& image);

// Each reads the whole stream it is given; the caller opens and closes it. `path` names the
// file in the decoder's reports. A header that gives a larger picture than image_size.h allows
// is refused before anything is allocated for it.
bool decode_tga(FILE* file, DecodedImage& image, const char* path);
bool decode_png_image(FILE* file, DecodedImage& image, const char* path);
bool decode_bmp(FILE* file, DecodedImage& image, const char* path);
bool decode_jpeg(FILE* file, DecodedImage& image, const char* path);
