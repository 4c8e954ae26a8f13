// Arbitrary bytes as a PNG: an image whose pixel buffer matches its size, or a refusal; never a
// read or write out of bounds, whatever the chunks, the compressed data or the filters claim.
#include <cstdint>
#include <cstdlib>

#include "util/texture/png.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodedPng png;
    if (decode_png(data, size, png) && png.width && png.rgba.size() != size_t{png.width} * png.height * 4) abort();
    return 0;
}
