// Arbitrary bytes as a JPEG file: an image whose buffer matches its size, or a failed load after
// libjpeg's error or the decoder's box; never a read or write out of bounds, and no picture
// larger than a texture allocated on a header's word.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "util/texture/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f) return 0;
    DecodedImage image;
    bool ok = decode_jpeg(f, image, "fuzz");
    fclose(f);
    if (ok && image.data.size() != size_t{image.width} * image.height * (image.bits_per_pixel / 8)) abort();
    return 0;
}
