// Stills of the show as PNG files, through libpng (writing only: the engine reads PNG with its
// own decoder). The file is written beside its name and renamed over it when complete, so an
// interrupted run never leaves a truncated picture under a final name.
// Depends on: libpng, AtomicFile.
#pragma once

#include <cstdint>
#include <string>

// Writes `width` x `height` 8-bit RGB pixels, rows bottom-up as glReadPixels returns them, with
// rows packed (no padding). On failure returns false and sets `error` to the reason.
bool write_png_rgb_bottom_up(const char* path, const uint8_t* pixels, int width, int height, std::string& error);
