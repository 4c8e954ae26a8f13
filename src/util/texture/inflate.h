// Inflate (RFC 1951) inside a zlib stream (RFC 1950): stored, fixed and dynamic Huffman
// blocks. The system's own, so the engine links no compression library.
// Depends on: the standard library only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum class InflateResult { Complete, Truncated, Corrupt };

// Inflates the zlib stream `in` into `out`, writing at most `limit` bytes (more output than
// that is corrupt). Method 8 only, no preset dictionary; the Adler-32 checksum is not checked.
// Truncated: the data ended early; `out` holds what was decoded.
InflateResult inflate_zlib(const uint8_t* in, size_t size, std::vector<uint8_t>& out, size_t limit);
