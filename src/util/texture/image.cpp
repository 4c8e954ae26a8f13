// TGA, PNG, BMP and JPEG decoding into bottom-up 8-bit rows.
#include "util/texture/image.h"

#include <jpeglib.h>

#include <algorithm>
#include <cctype>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "platform/byte_order.h"
#include "platform/fatal.h"
#include "platform/ui.h"
#include "util/data/data.h"
#include "util/texture/image_size.h"
#include "util/texture/png.h"

namespace {

bool fail(const char* caption, const char* text) {
    message_box(caption, text, MessageBoxButtons::Ok, MessageBoxIcon::None);
    return false;
}

// "ERROR at <source path>:<line>" for the loader's "Invalid texture information", with the file
// and what is wrong with it on the next line.
bool invalid_texture_information(const char* source, int line, const char* path, const std::string& reason) {
    const std::string caption = "ERROR at " + fatal_source_path(source) + ":" + std::to_string(line);
    return fail(caption.c_str(), ("Invalid texture information\n" + std::string(path) + ": " + reason).c_str());
}
#define INVALID_TEXTURE_INFORMATION(path, reason) invalid_texture_information(__FILE__, __LINE__, path, reason)

std::string size_text(int64_t width, int64_t height) {
    return "the header gives " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

std::vector<uint8_t> read_all(FILE* file) {
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    return bytes;
}

// Bytes from the current position to the end of the stream.
uint64_t bytes_left(FILE* file) {
    long here = ftell(file);
    if (here < 0 || fseek(file, 0, SEEK_END) != 0) return 0;
    long end = ftell(file);
    fseek(file, here, SEEK_SET);
    return end > here ? static_cast<uint64_t>(end - here) : 0;
}

}  // namespace

// ---- TGA ------------------------------------------------------------------------------------

bool decode_tga(FILE* file, DecodedImage& image, const char* path) {
    if (!file) return fail("ERROR", "Could not open texture file");
    static const uint8_t uncompressed[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    static const uint8_t compressed[12] = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    uint8_t header[12];
    if (fread(header, 1, 12, file) != 12) return fail("ERROR", "Could not read file header");
    bool rle = memcmp(header, compressed, 12) == 0;
    if (!rle && memcmp(header, uncompressed, 12) != 0) return fail("Invalid Image", "TGA file be type 2 or type 10 ");
    uint8_t info[6];
    if (fread(info, 1, 6, file) != 6) return fail("ERROR", "Could not read info header");
    uint32_t width = read_u16_le(info), height = read_u16_le(info + 2), bpp = info[4];
    if (width == 0 || height == 0) return INVALID_TEXTURE_INFORMATION(path, size_text(width, height));
    if (bpp != 24 && bpp != 32)
        return INVALID_TEXTURE_INFORMATION(path, std::to_string(bpp) + " bits per pixel, where a TGA texture has 24 or 32");
    const std::string too_large = image_size_refusal(width, height);
    if (!too_large.empty()) return INVALID_TEXTURE_INFORMATION(path, too_large);
    size_t pixel_bytes = bpp / 8;
    size_t pixels = static_cast<size_t>(width) * height;
    // A file too short for its pixels (a run-length packet holds at most 128 of them) fails
    // before gigabytes are allocated on a damaged header's word.
    uint64_t left = bytes_left(file);
    if (rle ? pixels > (left / (1 + pixel_bytes) + 1) * 128 : pixels * pixel_bytes > left)
        return fail("ERROR", "Could not read image data");
    image.width = width;
    image.height = height;
    image.bits_per_pixel = bpp;
    image.format = bpp == 24 ? IMAGE_RGB : IMAGE_RGBA;
    image.data.assign(pixels * pixel_bytes, 0);
    uint8_t* out = image.data.data();
    if (!rle) {
        if (fread(out, 1, image.data.size(), file) != image.data.size()) return fail("ERROR", "Could not read image data");
        for (size_t i = 0; i < pixels; ++i) std::swap(out[i * pixel_bytes], out[i * pixel_bytes + 2]);
        return true;
    }
    size_t stored = 0;
    while (stored < pixels) {
        uint8_t packet;
        if (fread(&packet, 1, 1, file) != 1) return fail("ERROR", "Could not read RLE header");
        uint8_t colour[4];
        if (packet & 0x80) {
            size_t count = packet - 127u;
            if (fread(colour, 1, pixel_bytes, file) != pixel_bytes) return fail("ERROR", "Could not read from file");
            for (size_t k = 0; k < count; ++k) {
                if (stored >= pixels) return fail("ERROR", "Too many pixels read");
                uint8_t* p = out + stored++ * pixel_bytes;
                p[0] = colour[2], p[1] = colour[1], p[2] = colour[0];
                if (pixel_bytes == 4) p[3] = colour[3];
            }
        } else {
            size_t count = packet + 1u;
            for (size_t k = 0; k < count; ++k) {
                if (fread(colour, 1, pixel_bytes, file) != pixel_bytes) return fail("ERROR", "Could not read image data");
                if (stored >= pixels) return fail("ERROR", "Too many pixels read");
                uint8_t* p = out + stored++ * pixel_bytes;
                p[0] = colour[2], p[1] = colour[1], p[2] = colour[0];
                if (pixel_bytes == 4) p[3] = colour[3];
            }
        }
    }
    return true;
}

// ---- PNG ------------------------------------------------------------------------------------

bool decode_png_image(FILE* file, DecodedImage& image, const char* path) {
    if (!file) return false;
    DecodedPng png;
    {
        const std::vector<uint8_t> bytes = read_all(file);
        if (!decode_png(bytes.data(), bytes.size(), png)) return false;
    }
    if (png.width == 0 || png.height == 0) return INVALID_TEXTURE_INFORMATION(path, png.problem);
    // Textures take 8-bit images only (bit depth x 4 is 24 or 32 bits).
    const uint32_t bits = png.bit_depth * 4u;
    if (bits != 24 && bits != 32)
        return INVALID_TEXTURE_INFORMATION(path, "bit depth " + std::to_string(png.bit_depth) +
                                                     ", where a PNG texture has 8 bits a sample");
    image.width = png.width;
    image.height = png.height;
    image.bits_per_pixel = 32;
    image.format = IMAGE_RGBA;
    // Bottom row first, turned in place: a second copy of a large picture is not needed.
    image.data = std::move(png.rgba);
    const size_t row = static_cast<size_t>(png.width) * 4;
    for (uint32_t top = 0, bottom = png.height - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(image.data.begin() + top * row, image.data.begin() + (top + 1) * row,
                         image.data.begin() + bottom * row);
    return true;
}

// ---- BMP ------------------------------------------------------------------------------------

bool decode_bmp(FILE* file, DecodedImage& image, const char* path) {
    if (!file) return false;
    uint8_t header[14 + 44];
    if (fread(header, 1, sizeof header, file) != sizeof header) return false;
    const uint8_t* info = header + 14;
    uint32_t offset = read_u32_le(header + 10);
    int32_t width = static_cast<int32_t>(read_u32_le(info + 4)), height = static_cast<int32_t>(read_u32_le(info + 8));
    uint32_t bpp = read_u16_le(info + 14), compression = read_u32_le(info + 16), image_size = read_u32_le(info + 20);
    uint32_t colours_used = read_u32_le(info + 32), colours_important = read_u32_le(info + 36);
    if (bpp != 24 || compression != 0 || colours_used != 0 || colours_important != 0) return false;
    // Top-down bitmaps (negative height) are not textures this loader makes.
    if (width <= 0 || height <= 0) return INVALID_TEXTURE_INFORMATION(path, size_text(width, height));
    const std::string too_large = image_size_refusal(static_cast<uint32_t>(width), static_cast<uint32_t>(height));
    if (!too_large.empty()) return INVALID_TEXTURE_INFORMATION(path, too_large);
    if (fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return false;
    size_t row_bytes = static_cast<size_t>(width) * 3;
    // Rows are padded to 4 bytes; the size field says so too, when it is given at all.
    size_t padding = (4 - row_bytes % 4) % 4;
    if (image_size != 0 && image_size >= row_bytes * height)
        padding = (image_size - row_bytes * height) / static_cast<size_t>(height);
    const uint64_t left = bytes_left(file);
    if ((row_bytes + padding) * static_cast<uint64_t>(height - 1) + row_bytes > left) return false;
    // The last row's padding may be missing; a size field that claims more than the file holds
    // must not size the row buffer.
    padding = static_cast<size_t>(std::min<uint64_t>(padding, left - row_bytes));
    image.width = static_cast<uint32_t>(width);
    image.height = static_cast<uint32_t>(height);
    image.bits_per_pixel = 32;
    image.format = IMAGE_RGBA;
    image.data.assign(static_cast<size_t>(width) * height * 4, 255);
    std::vector<uint8_t> row(row_bytes + padding);
    for (int32_t y = 0; y < height; ++y) {
        size_t got = fread(row.data(), 1, row.size(), file);
        // Only the last row may lack its padding; pixels are never missing.
        if (got != row.size() && (y != height - 1 || got < row_bytes)) return false;
        uint8_t* to = image.data.data() + static_cast<size_t>(y) * width * 4;
        for (int32_t x = 0; x < width; ++x) {
            to[x * 4] = row[x * 3 + 2];
            to[x * 4 + 1] = row[x * 3 + 1];
            to[x * 4 + 2] = row[x * 3];
        }
    }
    return true;
}

// ---- JPEG -----------------------------------------------------------------------------------

namespace {
struct JpegError {
    jpeg_error_mgr standard;
    jmp_buf escape;
};
}  // namespace

bool decode_jpeg(FILE* file, DecodedImage& image, const char* path) {
    if (!file) return false;
    jpeg_decompress_struct cinfo;
    JpegError error;
    cinfo.err = jpeg_std_error(&error.standard);
    // libjpeg's own error exit ends the process; a damaged file is a failed load instead,
    // after the decoder's message box.
    error.standard.error_exit = [](j_common_ptr info) {
        char text[JMSG_LENGTH_MAX];
        (*info->err->format_message)(info, text);
        message_box("JPEG error", text, MessageBoxButtons::Ok, MessageBoxIcon::None);
        longjmp(reinterpret_cast<JpegError*>(info->err)->escape, 1);
    };
    std::vector<uint8_t>* rows = &image.data;
    // Nothing with a destructor lives between setjmp and libjpeg's calls: longjmp skips them.
    uint8_t* volatile line = nullptr;
    if (setjmp(error.escape)) {
        jpeg_destroy_decompress(&cinfo);
        free(line);
        rows->clear();
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    // jpeg_start_decompress allocates for the whole picture (a progressive file's coefficients):
    // the header's size is judged first.
    {
        const std::string too_large = image_size_refusal(cinfo.image_width, cinfo.image_height);
        if (!too_large.empty()) {
            jpeg_destroy_decompress(&cinfo);
            return INVALID_TEXTURE_INFORMATION(path, too_large);
        }
    }
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    uint32_t width = cinfo.output_width, height = cinfo.output_height;
    if (width == 0 || height == 0 || cinfo.output_components != 3) {
        const std::string reason =
            width == 0 || height == 0
                ? size_text(width, height)
                : std::to_string(cinfo.output_components) + " colour components, where a JPEG texture has 3";
        jpeg_destroy_decompress(&cinfo);
        return INVALID_TEXTURE_INFORMATION(path, reason);
    }
    try {
        rows->assign(static_cast<size_t>(width) * height * 4, 255);
    } catch (const std::bad_alloc&) {
        jpeg_destroy_decompress(&cinfo);
        throw;
    }
    line = static_cast<uint8_t*>(malloc(static_cast<size_t>(width) * 3));
    if (!line) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    while (cinfo.output_scanline < height) {
        uint8_t* pointer = line;
        uint32_t y = cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &pointer, 1);
        uint8_t* to = rows->data() + static_cast<size_t>(height - 1 - y) * width * 4;  // bottom row first
        for (uint32_t x = 0; x < width; ++x) memcpy(to + x * 4, line + x * 3, 3);
    }
    free(line);
    line = nullptr;
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    image.width = width;
    image.height = height;
    image.bits_per_pixel = 32;
    image.format = IMAGE_RGBA;
    return true;
}

// ---- choosing the decoder -------------------------------------------------------------------

bool decode_image_file(const char* path, DecodedImage& image) {
    std::string name = path;
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    auto ends_with = [&](const char* ending) {
        size_t n = strlen(ending);
        return lower.size() >= n && lower.compare(lower.size() - n, n, ending) == 0;
    };
    bool (*decoder)(FILE*, DecodedImage&, const char*) = nullptr;
    if (ends_with(".tga")) decoder = decode_tga;
    else if (ends_with(".png")) decoder = decode_png_image;
    else if (ends_with(".jpg") || ends_with(".jpeg")) decoder = decode_jpeg;
    else if (ends_with(".bmp")) decoder = decode_bmp;
    if (!decoder) {
        std::string ending = lower.size() >= 4 ? lower.substr(lower.size() - 4) : lower;
        std::string text = "Sorry, image format " + ending + " is not yet supported.\nTry .tga or .png.";
        return fail("Unsupported image format!", text.c_str());
    }
    FILE* file = open_file(path, "rb");
    bool ok = false;
    try {
        ok = decoder(file, image, path);
    } catch (const std::bad_alloc&) {
        // A picture within the size limits may still not fit the memory left to the process.
        image = DecodedImage();
        ok = fail("ERROR", ("Could not allocate memory for image\n" + name).c_str());
    }
    if (file) fclose(file);
    return ok;
}
