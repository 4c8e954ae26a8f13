// The largest picture a texture is made from. Every decoder checks its header against it before
// it allocates anything, so a header's word alone never costs gigabytes.
// Depends on: nothing.
#pragma once

#include <cstdint>
#include <string>

// No GL driver the engine runs on takes more than 16384 texels a side (GL_MAX_TEXTURE_SIZE), so
// a larger picture could never become a texture.
constexpr uint32_t MAX_IMAGE_SIDE = 16384;
// 256 MiB of decoded RGBA, an 8192 x 8192 picture: far beyond any texture of the production,
// and a bound on what decoding one image can take.
constexpr uint64_t MAX_IMAGE_PIXELS = 64ull << 20;

// Empty when a picture of this size may be decoded; else why not, to follow the file's name in
// the decoder's report.
inline std::string image_size_refusal(uint64_t width, uint64_t height) {
    const std::string size = std::to_string(width) + " x " + std::to_string(height) + " pixels, ";
    if (width > MAX_IMAGE_SIDE || height > MAX_IMAGE_SIDE)
        return size + "more than the largest texture (" + std::to_string(MAX_IMAGE_SIDE) + " a side)";
    if (width * height > MAX_IMAGE_PIXELS)
        return size + "more than the " + std::to_string(MAX_IMAGE_PIXELS) + " (256 MiB decoded) an image may hold";
    return "";
}
