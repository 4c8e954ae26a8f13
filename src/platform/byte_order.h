// Byte order: 16- and 32-bit integers and 32-bit floats read from and written to raw bytes in
// a stated order. Every file format and wire message fixes its own order (the archive, track
// files, TGA, BMP and AVI are little-endian; PNG and the sync editor connection big-endian), so
// each call names it instead of relying on the host's.
// Depends on: nothing; the lowest layer, included by platform and util alike.
#pragma once

#include <cstdint>
#include <cstring>

// ---- little-endian --------------------------------------------------------------------------

inline uint16_t read_u16_le(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

inline uint32_t read_u32_le(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void write_u16_le(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void write_u32_le(uint8_t* p, uint32_t v) {
    write_u16_le(p, static_cast<uint16_t>(v));
    write_u16_le(p + 2, static_cast<uint16_t>(v >> 16));
}

// ---- big-endian (network order) -------------------------------------------------------------

inline uint16_t read_u16_be(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

inline uint32_t read_u32_be(const uint8_t* p) {
    return static_cast<uint32_t>(read_u16_be(p)) << 16 | read_u16_be(p + 2);
}

inline void write_u16_be(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

inline void write_u32_be(uint8_t* p, uint32_t v) {
    write_u16_be(p, static_cast<uint16_t>(v >> 16));
    write_u16_be(p + 2, static_cast<uint16_t>(v));
}

// ---- floats ---------------------------------------------------------------------------------

// A float travels as its IEEE-754 bit pattern, which then takes the order of its field.
inline uint32_t float_bits(float v) {
    uint32_t bits;
    memcpy(&bits, &v, sizeof bits);
    return bits;
}

inline float float_from_bits(uint32_t bits) {
    float v;
    memcpy(&v, &bits, sizeof v);
    return v;
}
