// Inflate with table-driven Huffman decoding: a 9-bit first-level table per code, and a
// canonical walk for the rare longer codes.
#include "util/texture/inflate.h"

#include <cstring>

namespace {

constexpr int FAST_BITS = 9;

struct BitReader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;      // next byte to load
    uint64_t bits = 0;  // least significant bit first
    int count = 0;
    uint64_t consumed = 0;

    // Past the end the reader yields zero bits; a decode that used any of them is truncated.
    bool overrun() const { return consumed > static_cast<uint64_t>(size) * 8; }
    void refill() {
        while (count <= 56) {
            uint64_t byte = at < size ? data[at] : 0;
            bits |= byte << count;
            count += 8;
            ++at;
        }
    }
    uint32_t peek(int n) {
        if (count < n) refill();
        return static_cast<uint32_t>(bits & ((uint64_t{1} << n) - 1));
    }
    void drop(int n) {
        bits >>= n;
        count -= n;
        consumed += static_cast<uint64_t>(n);
    }
    uint32_t take(int n) {
        uint32_t v = peek(n);
        drop(n);
        return v;
    }
    void align_to_byte() { drop(static_cast<int>(consumed % 8 ? 8 - consumed % 8 : 0)); }
};

struct Huffman {
    uint16_t fast[1 << FAST_BITS];  // symbol << 4 | length; 0 when longer than FAST_BITS
    uint16_t counts[16];
    uint16_t symbols[320];
    bool build(const uint8_t* lengths, int n) {
        memset(counts, 0, sizeof counts);
        for (int i = 0; i < n; ++i) ++counts[lengths[i]];
        counts[0] = 0;
        int left = 1;
        for (int len = 1; len < 16; ++len) {
            left <<= 1;
            left -= counts[len];
            if (left < 0) return false;  // over-subscribed
        }
        uint16_t offsets[16];
        offsets[1] = 0;
        for (int len = 1; len < 15; ++len) offsets[len + 1] = offsets[len] + counts[len];
        for (int i = 0; i < n; ++i)
            if (lengths[i]) symbols[offsets[lengths[i]]++] = static_cast<uint16_t>(i);
        // Fast table: codes are canonical, stored bit-reversed as the stream sends them.
        memset(fast, 0, sizeof fast);
        int code = 0, index = 0;
        for (int len = 1; len <= FAST_BITS; ++len) {
            for (int k = 0; k < counts[len]; ++k, ++code, ++index) {
                int reversed = 0;
                for (int b = 0; b < len; ++b) reversed |= ((code >> b) & 1) << (len - 1 - b);
                for (int fill = reversed; fill < (1 << FAST_BITS); fill += 1 << len)
                    fast[fill] = static_cast<uint16_t>(symbols[index] << 4 | len);
            }
            code <<= 1;
        }
        return true;
    }
    // Returns the symbol, or -1 for a code that is not in the table.
    int decode(BitReader& in) const {
        uint16_t entry = fast[in.peek(FAST_BITS)];
        if (entry) {
            in.drop(entry & 15);
            return entry >> 4;
        }
        int code = 0, first = 0, index = 0;
        for (int len = 1; len < 16; ++len) {
            code |= static_cast<int>(in.take(1));
            int count = counts[len];
            if (code - count < first) return symbols[index + (code - first)];
            index += count;
            first += count;
            first <<= 1;
            code <<= 1;
        }
        return -1;
    }
};

const uint16_t LENGTH_BASE[29] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31,
                                  35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t LENGTH_EXTRA[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t DISTANCE_BASE[30] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193,
                                    257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t DISTANCE_EXTRA[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
                                    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

InflateResult inflate_codes(BitReader& in, const Huffman& lengths, const Huffman& distances,
                            std::vector<uint8_t>& out, size_t limit) {
    for (;;) {
        int symbol = lengths.decode(in);
        if (in.overrun()) return InflateResult::Truncated;
        if (symbol < 0) return InflateResult::Corrupt;
        if (symbol < 256) {
            if (out.size() >= limit) return InflateResult::Corrupt;
            out.push_back(static_cast<uint8_t>(symbol));
            continue;
        }
        if (symbol == 256) return InflateResult::Complete;
        symbol -= 257;
        if (symbol >= 29) return InflateResult::Corrupt;
        size_t length = LENGTH_BASE[symbol] + in.take(LENGTH_EXTRA[symbol]);
        int d = distances.decode(in);
        if (d < 0 || d >= 30) return InflateResult::Corrupt;
        size_t distance = DISTANCE_BASE[d] + in.take(DISTANCE_EXTRA[d]);
        if (in.overrun()) return InflateResult::Truncated;
        if (distance > out.size() || out.size() + length > limit) return InflateResult::Corrupt;
        size_t at = out.size();
        out.resize(at + length);
        uint8_t* to = out.data() + at;
        const uint8_t* from = to - distance;
        for (size_t i = 0; i < length; ++i) to[i] = from[i];  // overlapping copies repeat bytes
    }
}

}  // namespace

InflateResult inflate_zlib(const uint8_t* data, size_t size, std::vector<uint8_t>& out, size_t limit) {
    out.clear();
    out.reserve(limit);
    if (size < 2) return InflateResult::Truncated;
    uint8_t cmf = data[0], flg = data[1];
    if ((cmf & 0x0F) != 8 || (cmf >> 4) > 7 || (flg & 0x20) || ((cmf << 8) | flg) % 31 != 0)
        return InflateResult::Corrupt;
    BitReader in{data + 2, size - 2};
    static Huffman fixed_lengths, fixed_distances;
    static bool fixed_ready = [] {
        uint8_t l[288];
        for (int i = 0; i < 288; ++i) l[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        fixed_lengths.build(l, 288);
        uint8_t d[30];
        memset(d, 5, sizeof d);
        fixed_distances.build(d, 30);
        return true;
    }();
    (void)fixed_ready;
    Huffman lengths, distances;
    for (;;) {
        uint32_t last = in.take(1);
        uint32_t type = in.take(2);
        if (in.overrun()) return InflateResult::Truncated;
        InflateResult result;
        if (type == 0) {
            in.align_to_byte();
            uint32_t len = in.take(16), nlen = in.take(16);
            if (in.overrun()) return InflateResult::Truncated;
            if ((len ^ 0xFFFF) != nlen) return InflateResult::Corrupt;
            for (uint32_t i = 0; i < len; ++i) {
                uint32_t byte = in.take(8);
                if (in.overrun()) return InflateResult::Truncated;
                if (out.size() >= limit) return InflateResult::Corrupt;
                out.push_back(static_cast<uint8_t>(byte));
            }
            result = InflateResult::Complete;
        } else if (type == 1) {
            result = inflate_codes(in, fixed_lengths, fixed_distances, out, limit);
        } else if (type == 2) {
            int hlit = static_cast<int>(in.take(5)) + 257, hdist = static_cast<int>(in.take(5)) + 1;
            int hclen = static_cast<int>(in.take(4)) + 4;
            static const uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
            uint8_t code_lengths[19] = {};
            for (int i = 0; i < hclen; ++i) code_lengths[order[i]] = static_cast<uint8_t>(in.take(3));
            if (in.overrun()) return InflateResult::Truncated;
            Huffman code_code;
            if (hlit > 286 || hdist > 30 || !code_code.build(code_lengths, 19)) return InflateResult::Corrupt;
            uint8_t all[320] = {};
            int n = 0;
            while (n < hlit + hdist) {
                int symbol = code_code.decode(in);
                if (in.overrun()) return InflateResult::Truncated;
                if (symbol < 0) return InflateResult::Corrupt;
                if (symbol < 16) {
                    all[n++] = static_cast<uint8_t>(symbol);
                    continue;
                }
                int repeat;
                uint8_t value = 0;
                if (symbol == 16) {
                    if (n == 0) return InflateResult::Corrupt;
                    value = all[n - 1];
                    repeat = 3 + static_cast<int>(in.take(2));
                } else if (symbol == 17) {
                    repeat = 3 + static_cast<int>(in.take(3));
                } else {
                    repeat = 11 + static_cast<int>(in.take(7));
                }
                if (n + repeat > hlit + hdist) return InflateResult::Corrupt;
                while (repeat--) all[n++] = value;
            }
            if (all[256] == 0) return InflateResult::Corrupt;  // no end-of-block code
            if (!lengths.build(all, hlit) || !distances.build(all + hlit, hdist)) return InflateResult::Corrupt;
            result = inflate_codes(in, lengths, distances, out, limit);
        } else {
            return InflateResult::Corrupt;
        }
        if (result != InflateResult::Complete) return result;
        if (last) return InflateResult::Complete;
    }
}
