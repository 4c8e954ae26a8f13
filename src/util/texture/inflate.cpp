// Inflate with table-driven Huffman decoding: a 10-bit first-level table per code whose entries
// already hold what a symbol means (literal, length or distance base and its extra bits), and
// a canonical walk for the rare longer codes. Away from the ends of input and output a fast
// loop decodes without per-symbol bounds checks; the careful loop does the rest.
#include "util/texture/inflate.h"

#include <cstring>

namespace {

constexpr int FAST_BITS = 10;

struct BitReader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;      // next byte to load; past the end the bytes read as 0
    uint64_t bits = 0;  // least significant bit first; above `count` may follow copies of the
                        // next bytes' bits, which a later refill ORs in again unchanged
    int count = 0;

    uint64_t consumed() const { return static_cast<uint64_t>(at) * 8 - static_cast<uint64_t>(count); }
    // Past the end the reader yields zero bits; a decode that used any of them is truncated.
    bool overrun() const { return consumed() > static_cast<uint64_t>(size) * 8; }
    bool has_word() const { return at <= size && size - at >= 8; }
    // At least 56 bits; needs has_word().
    void refill_word() {
        uint64_t word;
        memcpy(&word, data + at, 8);
        bits |= word << count;
        at += static_cast<size_t>((63 - count) >> 3);
        count |= 56;
    }
    void refill() {
        if (has_word()) {
            refill_word();
            return;
        }
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
    }
    uint32_t take(int n) {
        uint32_t v = peek(n);
        drop(n);
        return v;
    }
    void align_to_byte() { drop(static_cast<int>(consumed() % 8 ? 8 - consumed() % 8 : 0)); }
};

const uint16_t LENGTH_BASE[29] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31,
                                  35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t LENGTH_EXTRA[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t DISTANCE_BASE[30] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193,
                                    257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t DISTANCE_EXTRA[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
                                    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// What a decoded symbol means, packed: code length in bits 0-3 (0 in a table entry: the code is
// longer than the table), extra bits in 4-7, kind in 8-9, value in 16-31.
enum Kind : uint32_t { LITERAL = 0, COPY = 1, END = 2, INVALID = 3 };
enum class Alphabet { LITERAL_LENGTH, DISTANCE, PLAIN };

uint32_t meaning(Alphabet alphabet, int symbol) {
    auto pack = [](uint32_t kind, uint32_t extra, uint32_t value) { return extra << 4 | kind << 8 | value << 16; };
    switch (alphabet) {
        case Alphabet::LITERAL_LENGTH:
            if (symbol < 256) return pack(LITERAL, 0, static_cast<uint32_t>(symbol));
            if (symbol == 256) return pack(END, 0, 0);
            if (symbol - 257 < 29) return pack(COPY, LENGTH_EXTRA[symbol - 257], LENGTH_BASE[symbol - 257]);
            return pack(INVALID, 0, 0);
        case Alphabet::DISTANCE:
            if (symbol < 30) return pack(COPY, DISTANCE_EXTRA[symbol], DISTANCE_BASE[symbol]);
            return pack(INVALID, 0, 0);
        default:
            return pack(LITERAL, 0, static_cast<uint32_t>(symbol));
    }
}

uint32_t kind_of(uint32_t entry) { return entry >> 8 & 3; }
int extra_of(uint32_t entry) { return static_cast<int>(entry >> 4 & 15); }
uint32_t value_of(uint32_t entry) { return entry >> 16; }

struct Huffman {
    uint32_t fast[1 << FAST_BITS];  // meaning | code length; code length 0 when longer
    uint16_t counts[16];
    uint16_t symbols[320];
    Alphabet alphabet = Alphabet::PLAIN;
    bool build(const uint8_t* lengths, int n, Alphabet kind) {
        alphabet = kind;
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
                uint32_t entry = meaning(alphabet, symbols[index]) | static_cast<uint32_t>(len);
                for (int fill = reversed; fill < (1 << FAST_BITS); fill += 1 << len) fast[fill] = entry;
            }
            code <<= 1;
        }
        return true;
    }
    // The code's meaning (without its length, which is consumed), or -1 for a code that is not
    // in the table.
    int64_t decode(BitReader& in) const {
        uint32_t entry = fast[in.peek(FAST_BITS)];
        if (entry & 15) {
            in.drop(static_cast<int>(entry & 15));
            return entry & ~15u;
        }
        int code = 0, first = 0, index = 0;
        for (int len = 1; len < 16; ++len) {
            code |= static_cast<int>(in.take(1));
            int count = counts[len];
            if (code - count < first) return meaning(alphabet, symbols[index + (code - first)]);
            index += count;
            first += count;
            first <<= 1;
            code <<= 1;
        }
        return -1;
    }
};

// Output written through a cursor into a buffer sized for the whole limit.
struct Output {
    uint8_t* begin;
    uint8_t* to;
    uint8_t* limit;
    size_t written() const { return static_cast<size_t>(to - begin); }
    size_t room() const { return static_cast<size_t>(limit - to); }
};

// A match from `distance` bytes back; the caller has checked distance and room. Whole words
// where the source lies at least a word behind, so it is written before it is read; shorter
// distances repeat a pattern. With `spare` it may write up to 7 bytes past the match.
void copy_match(uint8_t* to, size_t distance, size_t length, bool spare) {
    const uint8_t* from = to - distance;
    if (distance >= 8 && spare) {
        for (size_t i = 0; i < length; i += 8) memcpy(to + i, from + i, 8);
    } else if (distance == 1) {
        memset(to, *from, length);
    } else if (spare) {
        // The first word byte by byte; after it the bytes repeat with a period of `step`, a
        // multiple of the distance that is at least a word.
        for (size_t i = 0; i < 8; ++i) to[i] = from[i];
        size_t step = distance * ((8 + distance - 1) / distance);
        for (size_t i = 8; i < length; i += 8) memcpy(to + i, to + i - step, 8);
    } else {
        for (size_t i = 0; i < length; ++i) to[i] = from[i];
    }
}

InflateResult inflate_codes(BitReader& in, const Huffman& lengths, const Huffman& distances, Output& out) {
    constexpr uint32_t MASK = (1u << FAST_BITS) - 1;
    for (;;) {
        // Fast: a refill holds a whole literal/length code with its extra bits, then the
        // distance code and its extra bits (at most 15 + 15 + 13 bits), and the output has
        // room for the longest match and the word copy's overshoot. Reader and cursor are
        // local copies here: stores through the output could alias them otherwise.
        BitReader r = in;
        uint8_t* to = out.to;
        uint8_t* const fast_end = out.limit - (258 + 8);
        while (r.has_word() && to <= fast_end) {
            r.refill_word();
            uint32_t entry = lengths.fast[r.bits & MASK];
            if (!(entry & 15)) break;
            r.drop(static_cast<int>(entry & 15));
            uint32_t kind = kind_of(entry);
            if (kind == LITERAL) {
                *to++ = static_cast<uint8_t>(value_of(entry));
                continue;
            }
            if (kind != COPY) {
                in = r;
                out.to = to;
                return kind == END ? InflateResult::Complete : InflateResult::Corrupt;
            }
            int extra = extra_of(entry);
            size_t length = value_of(entry) + static_cast<uint32_t>(r.bits & ((1u << extra) - 1));
            r.drop(extra);
            uint32_t d = distances.fast[r.bits & MASK];
            if (!(d & 15)) {
                in = r;
                int64_t slow = distances.decode(in);
                r = in;
                if (slow < 0) {
                    out.to = to;
                    return InflateResult::Corrupt;
                }
                d = static_cast<uint32_t>(slow);
            } else {
                r.drop(static_cast<int>(d & 15));
            }
            extra = extra_of(d);
            size_t distance = value_of(d) + static_cast<uint32_t>(r.bits & ((1u << extra) - 1));
            r.drop(extra);
            if (kind_of(d) != COPY || distance > static_cast<size_t>(to - out.begin)) {
                in = r;
                out.to = to;
                return InflateResult::Corrupt;
            }
            copy_match(to, distance, length, true);
            to += length;
        }
        in = r;
        out.to = to;
        // Careful: one symbol with every check, near the ends and for codes longer than the
        // table.
        int64_t symbol = lengths.decode(in);
        if (in.overrun()) return InflateResult::Truncated;
        if (symbol < 0) return InflateResult::Corrupt;
        uint32_t entry = static_cast<uint32_t>(symbol);
        uint32_t kind = kind_of(entry);
        if (kind == LITERAL) {
            if (out.room() == 0) return InflateResult::Corrupt;
            *out.to++ = static_cast<uint8_t>(value_of(entry));
            continue;
        }
        if (kind == END) return InflateResult::Complete;
        if (kind == INVALID) return InflateResult::Corrupt;
        size_t length = value_of(entry) + in.take(extra_of(entry));
        int64_t d = distances.decode(in);
        if (d < 0 || kind_of(static_cast<uint32_t>(d)) != COPY) return InflateResult::Corrupt;
        size_t distance = value_of(static_cast<uint32_t>(d)) + in.take(extra_of(static_cast<uint32_t>(d)));
        if (in.overrun()) return InflateResult::Truncated;
        if (distance > out.written() || length > out.room()) return InflateResult::Corrupt;
        copy_match(out.to, distance, length, out.room() >= length + 8);
        out.to += length;
    }
}

InflateResult inflate_blocks(BitReader& in, Output& out) {
    static Huffman fixed_lengths, fixed_distances;
    static bool fixed_ready = [] {
        uint8_t l[288];
        for (int i = 0; i < 288; ++i) l[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        fixed_lengths.build(l, 288, Alphabet::LITERAL_LENGTH);
        uint8_t d[30];
        memset(d, 5, sizeof d);
        fixed_distances.build(d, 30, Alphabet::DISTANCE);
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
                if (out.room() == 0) return InflateResult::Corrupt;
                *out.to++ = static_cast<uint8_t>(byte);
            }
            result = InflateResult::Complete;
        } else if (type == 1) {
            result = inflate_codes(in, fixed_lengths, fixed_distances, out);
        } else if (type == 2) {
            int hlit = static_cast<int>(in.take(5)) + 257, hdist = static_cast<int>(in.take(5)) + 1;
            int hclen = static_cast<int>(in.take(4)) + 4;
            static const uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
            uint8_t code_lengths[19] = {};
            for (int i = 0; i < hclen; ++i) code_lengths[order[i]] = static_cast<uint8_t>(in.take(3));
            if (in.overrun()) return InflateResult::Truncated;
            Huffman code_code;
            if (hlit > 286 || hdist > 30 || !code_code.build(code_lengths, 19, Alphabet::PLAIN))
                return InflateResult::Corrupt;
            uint8_t all[320] = {};
            int n = 0;
            while (n < hlit + hdist) {
                int64_t decoded = code_code.decode(in);
                if (in.overrun()) return InflateResult::Truncated;
                if (decoded < 0) return InflateResult::Corrupt;
                int symbol = static_cast<int>(value_of(static_cast<uint32_t>(decoded)));
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
            if (!lengths.build(all, hlit, Alphabet::LITERAL_LENGTH) ||
                !distances.build(all + hlit, hdist, Alphabet::DISTANCE))
                return InflateResult::Corrupt;
            result = inflate_codes(in, lengths, distances, out);
        } else {
            return InflateResult::Corrupt;
        }
        if (result != InflateResult::Complete) return result;
        if (last) return InflateResult::Complete;
    }
}

}  // namespace

InflateResult inflate_zlib(const uint8_t* data, size_t size, std::vector<uint8_t>& out, size_t limit) {
    out.clear();
    if (size < 2) return InflateResult::Truncated;
    uint8_t cmf = data[0], flg = data[1];
    if ((cmf & 0x0F) != 8 || (cmf >> 4) > 7 || (flg & 0x20) || ((cmf << 8) | flg) % 31 != 0)
        return InflateResult::Corrupt;
    out.resize(limit);
    Output cursor{out.data(), out.data(), out.data() + limit};
    BitReader in{data + 2, size - 2};
    InflateResult result = inflate_blocks(in, cursor);
    out.resize(cursor.written());
    return result;
}
