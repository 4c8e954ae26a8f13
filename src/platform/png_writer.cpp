#include "platform/png_writer.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstring>

#include "platform/files.h"

namespace {

struct WriteState {
    std::string error;
};

void on_png_error(png_structp png, png_const_charp message) {
    auto* state = static_cast<WriteState*>(png_get_error_ptr(png));
    state->error = message ? message : "libpng error";
    png_longjmp(png, 1);
}

void on_png_warning(png_structp, png_const_charp) {}

// Everything that must survive the longjmp out of libpng lives outside this frame.
bool encode(FILE* stream, const uint8_t* pixels, int width, int height, WriteState& state) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, on_png_error, on_png_warning);
    if (!png) {
        state.error = "out of memory";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        state.error = "out of memory";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, stream);
    // Stills are looked at and compared, not archived: fast compression is plenty.
    png_set_compression_level(png, 3);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t stride = static_cast<size_t>(width) * 3;
    for (int y = height - 1; y >= 0; --y)
        png_write_row(png, const_cast<png_bytep>(pixels + stride * static_cast<size_t>(y)));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool write_png_rgb_bottom_up(const char* path, const uint8_t* pixels, int width, int height, std::string& error) {
    if (width <= 0 || height <= 0) {
        error = "empty picture";
        return false;
    }
    AtomicFile file;
    if (!file.open(path)) {
        error = strerror(errno);
        return false;
    }
    WriteState state;
    if (!encode(file.stream(), pixels, width, height, state)) {
        error = state.error;
        return false;
    }
    errno = 0;
    if (ferror(file.stream()) || !file.commit()) {
        error = errno ? strerror(errno) : "write error";
        return false;
    }
    return true;
}
