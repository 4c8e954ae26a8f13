// zorvane-tool image: what a texture load makes of an image file.
#include <cstdio>
#include <string>

#include "commands.h"
#include "platform/fatal.h"
#include "util/data/data.h"
#include "util/texture/image.h"

int run_image_decode(int, char** argv) {
    if (!readable_file(argv[0])) return 1;
    set_datafile_mode(DATAFILE_MODE_NONE);
    DecodedImage image;
    if (!decode_image_file(argv[0], image)) ZV_FATAL("Failed to load texture %s", argv[0]);
    FILE* out = fopen(argv[1], "wb");
    if (!out) return tool_error(std::string("cannot write ") + argv[1]);
    int depth = image.bits_per_pixel == 24 ? 3 : 4;
    fprintf(out, "P7\nWIDTH %u\nHEIGHT %u\nDEPTH %d\nMAXVAL 255\nTUPLTYPE %s\nENDHDR\n", image.width, image.height, depth,
            depth == 3 ? "RGB" : "RGB_ALPHA");
    // The decoded rows run bottom up; a PAM runs top down.
    size_t row = static_cast<size_t>(image.width) * depth;
    bool ok = true;
    for (uint32_t y = image.height; y-- > 0;)
        ok = fwrite(image.data.data() + y * row, 1, row, out) == row && ok;
    if (fclose(out) != 0 || !ok) return tool_error(std::string("cannot write ") + argv[1]);
    return 0;
}
