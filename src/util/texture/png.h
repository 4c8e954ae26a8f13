// The PNG decoder: chunks, the system's own inflate, scanline filters and Adam7, every colour
// type and depth a texture can come from, output as 8-bit RGBA rows, top row first.
// Depends on: util/texture/inflate, util/texture/image_size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DecodedPng {
    uint32_t width = 0, height = 0;  // 0 by 0: an unsupported colour type and depth
    uint8_t bit_depth = 0, color_type = 0, interlace = 0;
    std::vector<uint8_t> rgba;  // width * height * 4, top row first
    std::string problem;        // with no image (0 by 0): why none was made
};

// False for data that is not a PNG (signature), or a palette whose length is not a multiple of
// 3. Other problems (data ending early, corrupt compressed data) leave the missing pixels 0.
// A picture larger than image_size.h allows is refused from its header, before it is inflated.
bool decode_png(const uint8_t* data, size_t size, DecodedPng& out);
