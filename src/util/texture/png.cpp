// PNG decoding as the PNG format defines it: chunks, zlib data, scanline filters, Adam7.
#include "util/texture/png.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/byte_order.h"
#include "util/texture/image_size.h"
#include "util/texture/inflate.h"

namespace {

enum { GRAY = 0, RGB = 2, PALETTE = 3, GRAY_ALPHA = 4, RGBA = 6 };

bool supported(int color, int depth, bool interlaced) {
    switch (color) {
        case GRAY: return depth == 8 || (!interlaced && depth == 1);
        case RGB: return depth == 8 || depth == 16;
        case PALETTE: return depth == 8 || (!interlaced && depth == 4);
        case GRAY_ALPHA:
        case RGBA: return depth == 8;
        default: return false;
    }
}

int channels_of(int color) {
    switch (color) {
        case GRAY: case PALETTE: return 1;
        case GRAY_ALPHA: return 2;
        case RGB: return 3;
        default: return 4;
    }
}

uint8_t paeth(int a, int b, int c) {
    int p = a + b - c, pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
    // Selects rather than branches: which neighbour wins changes from byte to byte.
    int ab = pa <= pb ? a : b;
    int pab = pa <= pb ? pa : pb;
    return static_cast<uint8_t>(pab <= pc ? ab : c);
}

// One row's filter undone, with `pixel_bytes` (1 to 8) as the left distance, so that the
// compiler sees the distance as a constant in each copy.
template <size_t PIXEL>
void unfilter_row(uint8_t filter, uint8_t* row, const uint8_t* previous, size_t row_bytes) {
    size_t first = row_bytes < PIXEL ? row_bytes : PIXEL;
    switch (filter) {
        case 1:
            for (size_t i = PIXEL; i < row_bytes; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - PIXEL]);
            break;
        case 2:
            for (size_t i = 0; i < row_bytes; ++i) row[i] = static_cast<uint8_t>(row[i] + previous[i]);
            break;
        case 3:
            for (size_t i = 0; i < first; ++i) row[i] = static_cast<uint8_t>(row[i] + (previous[i] >> 1));
            for (size_t i = PIXEL; i < row_bytes; ++i)
                row[i] = static_cast<uint8_t>(row[i] + ((row[i - PIXEL] + previous[i]) >> 1));
            break;
        case 4:
            // With no left neighbour, Paeth picks the byte above.
            for (size_t i = 0; i < first; ++i) row[i] = static_cast<uint8_t>(row[i] + previous[i]);
            for (size_t i = PIXEL; i < row_bytes; ++i)
                row[i] = static_cast<uint8_t>(row[i] + paeth(row[i - PIXEL], previous[i], previous[i - PIXEL]));
            break;
        default: break;
    }
}

// Undoes the filters of one image (or Adam7 pass) in place; returns false when a filter
// byte is unknown.
bool unfilter(uint8_t* data, uint32_t rows, size_t row_bytes, size_t pixel_bytes) {
    std::vector<uint8_t> zero(row_bytes, 0);
    const uint8_t* previous = zero.data();
    for (uint32_t y = 0; y < rows; ++y) {
        uint8_t filter = data[0];
        if (filter > 4) return false;
        uint8_t* row = data + 1;
        switch (pixel_bytes) {
            case 1: unfilter_row<1>(filter, row, previous, row_bytes); break;
            case 2: unfilter_row<2>(filter, row, previous, row_bytes); break;
            case 3: unfilter_row<3>(filter, row, previous, row_bytes); break;
            case 4: unfilter_row<4>(filter, row, previous, row_bytes); break;
            case 6: unfilter_row<6>(filter, row, previous, row_bytes); break;
            default: unfilter_row<8>(filter, row, previous, row_bytes); break;  // no other size is read
        }
        previous = row;
        data += row_bytes + 1;
    }
    return true;
}

struct Image {
    uint32_t width, height;
    int color, depth;
    const std::vector<uint8_t>* palette;
    const std::vector<uint8_t>* transparency;
    std::vector<uint8_t>* rgba;

    // Sample `index` of a row, for depths of 8 and 16 (high byte) and, for gray and palette
    // rows, 1 and 4.
    uint32_t sample(const uint8_t* row, size_t index) const {
        if (depth == 16) return row[index * 2];
        if (depth == 8) return row[index];
        size_t bit = index * static_cast<size_t>(depth);
        return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
    }

    void put(uint32_t x, uint32_t y, const uint8_t* row, uint32_t i) const {
        uint8_t* p = rgba->data() + (static_cast<size_t>(y) * width + x) * 4;
        int n = channels_of(color);
        if (color == PALETTE) {
            uint32_t index = sample(row, i);
            if (index * 3 + 2 >= palette->size()) return;  // beyond the palette: left as it is
            memcpy(p, palette->data() + index * 3, 3);
            p[3] = index < transparency->size() ? (*transparency)[index] : 255;
            return;
        }
        uint32_t s[4];
        for (int c = 0; c < n; ++c) s[c] = sample(row, static_cast<size_t>(i) * n + c);
        if (color == GRAY) {
            // One-bit gray becomes black or white.
            uint8_t g = static_cast<uint8_t>(depth == 1 ? s[0] * 255 : s[0]);
            p[0] = p[1] = p[2] = g;
            p[3] = 255;
            if (transparency->size() >= 2 && s[0] == read_u16_be(transparency->data()))
                p[3] = 0;
        } else if (color == GRAY_ALPHA) {
            p[0] = p[1] = p[2] = static_cast<uint8_t>(s[0]);
            p[3] = static_cast<uint8_t>(s[1]);
        } else if (color == RGB) {
            for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(s[c]);
            p[3] = 255;
            if (transparency->size() >= 6) {
                // The key is compared at the image's own depth, all 16 bits of a 16-bit sample.
                bool key = true;
                for (int c = 0; c < 3; ++c) {
                    uint32_t full = depth == 16 ? read_u16_be(row + (static_cast<size_t>(i) * 3 + c) * 2) : s[c];
                    if (full != read_u16_be(transparency->data() + c * 2)) key = false;
                }
                if (key) p[3] = 0;
            }
        } else {
            for (int c = 0; c < 4; ++c) p[c] = static_cast<uint8_t>(s[c]);
        }
    }
};

size_t row_bytes_of(uint32_t width, int color, int depth) {
    return (static_cast<size_t>(width) * channels_of(color) * depth + 7) / 8;
}

}  // namespace

bool decode_png(const uint8_t* data, size_t size, DecodedPng& out) {
    static const uint8_t signature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    out = DecodedPng();
    if (size < 8 || memcmp(data, signature, 8) != 0) return false;
    size_t at = 8;
    uint32_t width = 0, height = 0;
    int depth = 0, color = 0, interlace = 0;
    bool have_header = false;
    std::vector<uint8_t> palette, transparency, compressed;
    while (size - at >= 12) {
        uint32_t length = read_u32_be(data + at);
        const uint8_t* type = data + at + 4;
        if (length > size - at - 12) break;  // a chunk that cannot be read completely ends reading
        const uint8_t* body = data + at + 8;
        if (!memcmp(type, "IHDR", 4) && length >= 13) {
            width = read_u32_be(body);
            height = read_u32_be(body + 4);
            depth = body[8];
            color = body[9];
            interlace = body[12];
            have_header = true;
        } else if (!memcmp(type, "PLTE", 4)) {
            if (length % 3 != 0) return false;
            palette.assign(body, body + length);
        } else if (!memcmp(type, "tRNS", 4)) {
            transparency.assign(body, body + length);
        } else if (!memcmp(type, "IDAT", 4)) {
            compressed.insert(compressed.end(), body, body + length);
        } else if (!memcmp(type, "IEND", 4)) {
            break;
        }
        at += 12 + static_cast<size_t>(length);
    }
    out.bit_depth = static_cast<uint8_t>(depth);
    out.color_type = static_cast<uint8_t>(color);
    out.interlace = static_cast<uint8_t>(interlace);
    // Each return without an image leaves it 0 by 0, and says why.
    if (!have_header) {
        out.problem = "no IHDR chunk";
        return true;
    }
    if (width == 0 || height == 0) {
        out.problem = "the header gives " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
        return true;
    }
    if (interlace > 1 || !supported(color, depth, interlace == 1)) {
        out.problem = "colour type " + std::to_string(color) + " at bit depth " + std::to_string(depth) +
                      (interlace == 1 ? ", interlaced," : interlace ? " with interlace method " + std::to_string(interlace) : "") +
                      " is not a kind the decoder reads";
        return true;
    }
    out.problem = image_size_refusal(width, height);
    if (!out.problem.empty()) return true;

    size_t pixel_bytes = std::max<size_t>(1, static_cast<size_t>(channels_of(color)) * depth / 8);
    static const int start_x[7] = {0, 4, 0, 2, 0, 1, 0}, start_y[7] = {0, 0, 4, 0, 2, 0, 1};
    static const int step_x[7] = {8, 8, 4, 4, 2, 2, 1}, step_y[7] = {8, 8, 8, 4, 4, 2, 2};
    int passes = interlace ? 7 : 1;
    size_t expected = 0;
    for (int p = 0; p < passes; ++p) {
        uint32_t pw = interlace ? (width - start_x[p] + step_x[p] - 1) / step_x[p] : width;
        uint32_t ph = interlace ? (height - start_y[p] + step_y[p] - 1) / step_y[p] : height;
        if (width <= static_cast<uint32_t>(start_x[p]) || height <= static_cast<uint32_t>(start_y[p])) continue;
        expected += (row_bytes_of(pw, color, depth) + 1) * ph;
    }
    // Deflate expands at most about 1032 to 1: a header promising more than its data could
    // ever hold is refused before the picture is allocated.
    if (expected > static_cast<uint64_t>(compressed.size()) * 1032 + 1024) {
        out.problem = "its " + std::to_string(compressed.size()) + " bytes of compressed data are far too few for " +
                      std::to_string(width) + " x " + std::to_string(height) + " pixels";
        return true;
    }
    std::vector<uint8_t> raw;
    inflate_zlib(compressed.data(), compressed.size(), raw, expected);
    raw.resize(expected, 0);  // missing data reads as zero bytes (filter 0, value 0)

    out.width = width;
    out.height = height;
    out.rgba.assign(static_cast<size_t>(width) * height * 4, 0);
    Image image{width, height, color, depth, &palette, &transparency, &out.rgba};
    size_t offset = 0;
    for (int p = 0; p < passes; ++p) {
        if (interlace && (width <= static_cast<uint32_t>(start_x[p]) || height <= static_cast<uint32_t>(start_y[p]))) continue;
        uint32_t pw = interlace ? (width - start_x[p] + step_x[p] - 1) / step_x[p] : width;
        uint32_t ph = interlace ? (height - start_y[p] + step_y[p] - 1) / step_y[p] : height;
        size_t row_bytes = row_bytes_of(pw, color, depth);
        uint8_t* pass = raw.data() + offset;
        if (!unfilter(pass, ph, row_bytes, pixel_bytes)) return true;  // stop: what is decoded stays
        if (!interlace && depth == 8 && (color == RGBA || color == PALETTE)) {
            // The common texture formats, a row at a time.
            uint8_t lookup[256][4] = {};
            if (color == PALETTE) {
                for (size_t i = 0; i * 3 + 2 < palette.size() && i < 256; ++i) {
                    memcpy(lookup[i], palette.data() + i * 3, 3);
                    lookup[i][3] = i < transparency.size() ? transparency[i] : 255;
                }
            }
            size_t palette_entries = palette.size() / 3;
            for (uint32_t y = 0; y < height; ++y) {
                const uint8_t* row = pass + y * (row_bytes + 1) + 1;
                uint8_t* to = out.rgba.data() + static_cast<size_t>(y) * width * 4;
                if (color == RGBA) {
                    memcpy(to, row, static_cast<size_t>(width) * 4);
                    continue;
                }
                for (uint32_t x = 0; x < width; ++x)
                    if (row[x] < palette_entries) memcpy(to + x * 4, lookup[row[x]], 4);
            }
            return true;
        }
        for (uint32_t y = 0; y < ph; ++y) {
            const uint8_t* row = pass + y * (row_bytes + 1) + 1;
            uint32_t iy = interlace ? start_y[p] + y * step_y[p] : y;
            for (uint32_t x = 0; x < pw; ++x) {
                uint32_t ix = interlace ? start_x[p] + x * step_x[p] : x;
                image.put(ix, iy, row, x);
            }
        }
        offset += (row_bytes + 1) * ph;
    }
    return true;
}
