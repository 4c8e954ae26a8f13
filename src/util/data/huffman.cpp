// Huffman block coder. The tree construction and the sort are shared by both directions and
// fix the format; the bit packing and the table-driven decoder are free to be fast as long as
// they produce what the bit-by-bit description produces.
#include "util/data/huffman.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_order.h"
#include "platform/fatal.h"


// ---- shared steps ---------------------------------------------------------------------------

void HuffmanCoder::sort_entries(SymbolEntry* entries, int count) {
    for (int k = 1; k < count; ++k) {
        // Comparing position j with j - 1, the later one (j) goes first on a tie.
        for (int j = k; j > 0 && entries[j].count >= entries[j - 1].count; --j) {
            SymbolEntry t = entries[j];
            entries[j] = entries[j - 1];
            entries[j - 1] = t;
        }
    }
}

void HuffmanCoder::build_tree() {
    if (n < 2) {
        // One symbol: the root alone, reached with a single 0 bit.
        if (n == 1) nodes[0].zero_symbol = symbols[0].symbol;
        return;
    }
    for (int i = static_cast<int>(n) - 2; i >= 0; --i) {
        TreeNode& node = nodes[i];
        const SymbolEntry& zero = symbols[i];
        const SymbolEntry& one = symbols[i + 1];
        if (zero.node >= 0) {
            node.zero_child = zero.node;
            nodes[zero.node].parent = static_cast<int16_t>(i);
        } else {
            node.zero_symbol = zero.symbol;
        }
        if (one.node >= 0) {
            node.one_child = one.node;
            nodes[one.node].parent = static_cast<int16_t>(i);
        } else {
            node.one_symbol = one.symbol;
        }
        if (i > 0) {
            symbols[i].count += symbols[i + 1].count;
            symbols[i].node = static_cast<int16_t>(i);
            symbols[i + 1].count = 0;
            sort_entries(symbols, i + 1);
        }
    }
}

void HuffmanCoder::assign_codes() {
    if (n == 1) {
        codes[nodes[0].zero_symbol] = CodeEntry{1, 0};
        return;
    }
    for (int i = static_cast<int>(n) - 2; i >= 0; --i) {
        for (int branch = 0; branch < 2; ++branch) {
            int16_t child = branch ? nodes[i].one_child : nodes[i].zero_child;
            if (child >= 0) continue;
            uint8_t symbol = branch ? nodes[i].one_symbol : nodes[i].zero_symbol;
            uint64_t code = static_cast<uint64_t>(branch);
            uint32_t length = 1;
            for (int16_t at = static_cast<int16_t>(i); nodes[at].parent >= 0; at = nodes[at].parent) {
                int16_t parent = nodes[at].parent;
                if (nodes[parent].one_child == at && length < 64) code |= uint64_t{1} << length;
                ++length;
            }
            codes[symbol] = CodeEntry{length, code};
        }
    }
}

// ---- encode ---------------------------------------------------------------------------------

void HuffmanCoder::encode(uint8_t* out, uint32_t& out_size, const uint8_t* in, uint32_t in_size) {
    memset(symbols, 0, sizeof symbols);
    memset(nodes, 0, sizeof nodes);
    memset(codes, 0, sizeof codes);
    for (int i = 0; i < 256; ++i) {
        symbols[i].symbol = static_cast<uint8_t>(i);
        symbols[i].node = -1;
        nodes[i].zero_child = nodes[i].one_child = nodes[i].parent = -1;
    }
    // Four interleaved histograms keep runs of one byte value from serialising on one counter.
    uint32_t counts[4][256] = {};
    uint32_t pos = 0;
    for (; pos + 4 <= in_size; pos += 4) {
        ++counts[0][in[pos]];
        ++counts[1][in[pos + 1]];
        ++counts[2][in[pos + 2]];
        ++counts[3][in[pos + 3]];
    }
    for (; pos < in_size; ++pos) ++counts[0][in[pos]];
    n = 0;
    for (int i = 0; i < 256; ++i) {
        symbols[i].count = counts[0][i] + counts[1][i] + counts[2][i] + counts[3][i];
        if (symbols[i].count) ++n;
    }
    sort_entries(symbols, 256);

    memcpy(out, "HUFF", 4);
    write_u32_le(out + 4, n);
    write_u32_le(out + 8, in_size);
    write_u32_le(out + 12, 0);
    uint8_t* table = out + HEADER_SIZE;
    for (uint32_t i = 0; i < n; ++i) {
        write_u32_le(table + 5 * i, symbols[i].count);
        table[5 * i + 4] = symbols[i].symbol;
    }
    build_tree();
    assign_codes();

    // Bits gather in an accumulator, most significant first, and leave it 32 at a time.
    uint8_t* stream = table + 5 * n;
    uint8_t* cursor = stream;
    uint64_t acc = 0;
    uint32_t pending = 0;  // valid low bits of acc; below 32 between symbols
    auto put = [&](uint64_t bits, uint32_t length) {  // length <= 32
        acc = (acc << length) | bits;
        pending += length;
        if (pending >= 32) {
            pending -= 32;
            uint32_t word = static_cast<uint32_t>(acc >> pending);
            write_u32_be(cursor, word);  // most significant bits first, as the stream is read
            cursor += 4;
        }
    };
    for (uint32_t i = 0; i < in_size; ++i) {
        const CodeEntry& c = codes[in[i]];
        if (c.length <= 32) {
            put(c.code, c.length);
        } else {
            put(c.code >> 32, c.length - 32);
            put(c.code & 0xFFFFFFFFu, 32);
        }
    }
    while (pending >= 8) {
        pending -= 8;
        *cursor++ = static_cast<uint8_t>(acc >> pending);
    }
    // The current byte, partly filled or empty, always ends the stream.
    *cursor++ = pending ? static_cast<uint8_t>(acc << (8 - pending)) : 0;
    out_size = static_cast<uint32_t>(cursor - out);
    write_u32_le(out + 12, out_size);
}

// ---- decode ---------------------------------------------------------------------------------

uint32_t HuffmanCoder::uncompressed_size(const uint8_t* block) { return read_u32_le(block + 8); }
uint32_t HuffmanCoder::block_size(const uint8_t* block) { return read_u32_le(block + 12); }

const char* HuffmanCoder::check_block(const uint8_t* block, size_t block_len) {
    if (block_len < HEADER_SIZE) return "the block header is cut short";
    uint32_t count = read_u32_le(block + 4);
    if (count > 256) return "more than 256 table entries";
    size_t table_end = HEADER_SIZE + 5 * static_cast<size_t>(count);
    if (block_len < table_end) return "the symbol table is cut short";
    uint64_t stream_bits = (static_cast<uint64_t>(block_len) - table_end) * 8;
    uint32_t size = uncompressed_size(block);
    if (count == 0 && size != 0) return "bytes announced without any symbol";
    if (size > stream_bits) return "the bit stream is shorter than its bytes";
    return nullptr;
}

int HuffmanCoder::height_below(const TreeNode* nodes, int16_t node, int limit) {
    int height = 1;
    for (int16_t child : {nodes[node].zero_child, nodes[node].one_child})
        if (child >= 0 && limit > 1) height = std::max(height, 1 + height_below(nodes, child, limit - 1));
    return height;
}

void HuffmanCoder::fill_subtable(int16_t node, uint32_t prefix, int depth, int bits, uint32_t base) {
    for (int branch = 0; branch < 2; ++branch) {
        uint32_t code = (prefix << 1) | static_cast<uint32_t>(branch);
        int length = depth + 1;
        int16_t child = branch ? nodes[node].one_child : nodes[node].zero_child;
        if (child < 0) {
            uint8_t symbol = branch ? nodes[node].one_symbol : nodes[node].zero_symbol;
            uint32_t first = base + (code << (bits - length));
            uint32_t last = first + (1u << (bits - length));
            for (uint32_t k = first; k < last; ++k)
                subtables[k] = DecodeEntry{{symbol, 0}, static_cast<uint8_t>(length),
                                           static_cast<uint8_t>(1 | length << 2)};
        } else if (length == bits) {
            subtables[base + code] = DecodeEntry{{static_cast<uint8_t>(child), 0}, static_cast<uint8_t>(length), 0};
        } else {
            fill_subtable(child, code, length, bits, base);
        }
    }
}

void HuffmanCoder::fill_decode_table(int16_t node, uint32_t prefix, int depth) {
    for (int branch = 0; branch < 2; ++branch) {
        uint32_t code = (prefix << 1) | static_cast<uint32_t>(branch);
        int length = depth + 1;
        int16_t child = branch ? nodes[node].one_child : nodes[node].zero_child;
        if (child < 0) {
            uint8_t symbol = branch ? nodes[node].one_symbol : nodes[node].zero_symbol;
            uint32_t first = code << (TABLE_BITS - length);
            uint32_t last = first + (1u << (TABLE_BITS - length));
            for (uint32_t k = first; k < last; ++k)
                decode_table[k] = DecodeEntry{{symbol, 0}, static_cast<uint8_t>(length),
                                              static_cast<uint8_t>(1 | length << 2)};
        } else if (length == TABLE_BITS) {
            decode_table[code] = DecodeEntry{{static_cast<uint8_t>(child), 0}, TABLE_BITS, 0};
            int bits = height_below(nodes, child, SUBTABLE_BITS);
            subtable_at[child] = static_cast<uint16_t>(subtables_used);
            subtable_bits[child] = static_cast<uint8_t>(bits);
            fill_subtable(child, 0, 0, bits, subtables_used);
            subtables_used += 1u << bits;
        } else {
            fill_decode_table(child, code, length);
        }
    }
}

void HuffmanCoder::build_decode_table() {
    subtables_used = 0;
    fill_decode_table(0, 0, 0);
    // A short code leaves index bits over: where the next code fits in them, the entry takes
    // both. The bits after the first code index the one-symbol entry of the second, and an
    // entry's first symbol and its length stay as they are when a second one is added.
    constexpr uint32_t mask = (1u << TABLE_BITS) - 1;
    for (uint32_t k = 0; k <= mask; ++k) {
        DecodeEntry& e = decode_table[k];
        if (e.info != (1 | e.length << 2) || e.length >= TABLE_BITS) continue;
        const DecodeEntry& next = decode_table[(k << e.length) & mask];
        uint32_t next_length = next.info >> 2;
        if (!(next.info & 3) || e.length + next_length > TABLE_BITS) continue;
        e.symbol[1] = next.symbol[0];
        e.length = static_cast<uint8_t>(e.length + next_length);
        e.info = static_cast<uint8_t>(2 | (e.info & ~3u));
    }
}

namespace {

// Unread bits sit at the top of `bits`; below them may follow copies of the next bytes' bits,
// which a later refill ORs in again unchanged. Past the end of the stream they are 0.
struct BitReader {
    const uint8_t* next;
    const uint8_t* end;
    uint64_t bits = 0;
    uint32_t available = 0;

    bool has_word() const { return end - next >= 8; }
    // At least 56 bits; needs has_word().
    void refill_word() {
        uint64_t word;
        memcpy(&word, next, 8);
        bits |= __builtin_bswap64(word) >> available;
        next += (63 - available) >> 3;
        available |= 56;
    }
    void refill() {
        if (has_word()) {
            refill_word();
            return;
        }
        while (available <= 56 && next < end) {
            bits |= static_cast<uint64_t>(*next++) << (56 - available);
            available += 8;
        }
    }
    void drop(uint32_t count) {
        bits <<= count;
        available -= count;
    }
    // Bits read since `start`: every byte before `next` has been loaded and `available` of
    // them are still unread.
    uint64_t position(const uint8_t* start) const {
        return static_cast<uint64_t>(next - start) * 8 - available;
    }
};

[[noreturn]] void stream_ends(uint32_t written, uint32_t size) {
    ZV_FATAL("Corrupt compressed block: the bit stream ends after %u of %u bytes", written, size);
}

}  // namespace

void HuffmanCoder::decode(uint8_t* out, uint32_t& out_size, const uint8_t* block, size_t block_len) {
    if (const char* problem = check_block(block, block_len))
        ZV_FATAL("Corrupt compressed block: %s", problem);
    memset(symbols, 0, sizeof symbols);
    memset(nodes, 0, sizeof nodes);
    for (int i = 0; i < 256; ++i) {
        symbols[i].node = -1;
        nodes[i].zero_child = nodes[i].one_child = nodes[i].parent = -1;
    }
    n = read_u32_le(block + 4);
    const uint32_t size = uncompressed_size(block);
    const uint8_t* table = block + HEADER_SIZE;
    for (uint32_t i = 0; i < n; ++i) {
        symbols[i].count = read_u32_le(table + 5 * i);
        symbols[i].symbol = table[5 * i + 4];
    }
    out_size = 0;
    if (size == 0) return;
    build_tree();
    build_decode_table();

    const uint8_t* const start = table + 5 * n;
    const uint8_t* const end = block + block_len;
    uint8_t* to = out;
    uint8_t* const out_end = out + size;
    const DecodeEntry* const primary = decode_table;

    // One symbol with every check: near the end of the stream or of the output, and for codes
    // longer than the table. A refill leaves at least TABLE_BITS + SUBTABLE_BITS bits unless the
    // stream ends first, so only the walk below the subtables refills again.
    static_assert(TABLE_BITS + SUBTABLE_BITS <= 56, "both table levels must fit one refill");
    auto decode_one = [&](BitReader& r, uint32_t written) -> uint8_t {
        r.refill();
        DecodeEntry e = primary[r.bits >> (64 - TABLE_BITS)];
        if (!(e.info & 3)) {
            if (r.available < TABLE_BITS) stream_ends(written, size);
            r.drop(TABLE_BITS);
            int16_t node = e.symbol[0];
            uint32_t width = subtable_bits[node];
            e = subtables[subtable_at[node] + (r.bits >> (64 - width))];
            if (!(e.info & 3)) {
                if (r.available < width) stream_ends(written, size);
                r.drop(width);
                for (node = e.symbol[0];;) {
                    if (r.available == 0) {
                        r.refill();
                        if (r.available == 0) stream_ends(written, size);
                    }
                    bool one = (r.bits >> 63) != 0;
                    r.drop(1);
                    int16_t child = one ? nodes[node].one_child : nodes[node].zero_child;
                    if (child < 0) return one ? nodes[node].one_symbol : nodes[node].zero_symbol;
                    node = child;
                }
            }
        }
        uint32_t length = e.info >> 2;
        if (length > r.available) stream_ends(written, size);
        r.drop(length);
        return e.symbol[0];
    };
    // Fast path: a full refill holds four table indexes, and the output has room for all the
    // symbols they can give, two each, written whole whatever the count.
    constexpr int LOOKUPS = 4;
    static_assert(LOOKUPS * TABLE_BITS <= 56, "the fast path's lookups must fit one refill");
    // Decodes up to where the reader has read `limit` bits or the output is full.
    auto run = [&](BitReader& r, uint64_t limit) {
        while (to != out_end && r.position(start) < limit) {
            if (out_end - to >= 2 * LOOKUPS && r.has_word()) {
                r.refill_word();
                int k = 0;
                for (; k < LOOKUPS; ++k) {
                    DecodeEntry e = primary[r.bits >> (64 - TABLE_BITS)];
                    if (!(e.info & 3)) break;
                    memcpy(to, e.symbol, 2);
                    to += e.info & 3;
                    r.drop(e.length);
                }
                if (k == LOOKUPS) continue;
            }
            *to = decode_one(r, static_cast<uint32_t>(to - out));
            ++to;
        }
    };

    // Each lookup waits for the one before it, so a single reader leaves the core mostly idle.
    // A second reader therefore starts further on, at a bit that may lie inside a code, and
    // decodes ahead into `lookahead`. Huffman codes fall back into step within a few symbols:
    // once the first reader reaches a bit where the second one began a symbol, everything the
    // second decoded from there on is what the first would decode, and is taken over whole.
    // The second reader only reads where a full word remains and stops at anything unusual;
    // the first one does every check, so a corrupt block fails exactly as when read alone.
    //
    // Rounds start a distance apart that, at the block's mean code length, gives both readers
    // about half the lookahead, or a quarter of a small block each; where long enough, a
    // multiple of every code length up to 10 bits, so that a code of one length only (data
    // without redundancy) is in step at once.
    constexpr int RECORDED = 64;
    const uint64_t stream_bits = static_cast<uint64_t>(end - start) * 8;
    uint64_t distance = std::min<uint64_t>(LOOKAHEAD / 2, size / 4 + 1) * stream_bits / size;
    distance = distance >= 2520 ? (distance + 2519) / 2520 * 2520 : (distance + 7) / 8 * 8;
    BitReader v{start, end};
    int misses = 0;
    while (to != out_end && misses < 4) {
        const uint64_t ahead_at = v.position(start) + distance;
        if (ahead_at / 8 + 16 > static_cast<uint64_t>(end - start)) break;
        BitReader b{start + ahead_at / 8, end};
        b.refill_word();
        b.drop(static_cast<uint32_t>(ahead_at % 8));
        uint8_t* ahead = lookahead;
        uint8_t* const ahead_end = lookahead + LOOKAHEAD;
        // One symbol of the second reader, with a full word left; false where it stops.
        auto ahead_one = [&]() -> bool {
            if (!b.has_word() || ahead == ahead_end) return false;
            b.refill_word();
            DecodeEntry e = primary[b.bits >> (64 - TABLE_BITS)];
            uint32_t length = e.info >> 2;
            if (!(e.info & 3)) {
                // Left unread where it stops: the first reader may go on from here.
                int16_t node = e.symbol[0];
                e = subtables[subtable_at[node] + ((b.bits << TABLE_BITS) >> (64 - subtable_bits[node]))];
                if (!(e.info & 3)) return false;
                length = TABLE_BITS + (e.info >> 2);
            }
            *ahead++ = e.symbol[0];
            b.drop(length);
            return true;
        };
        uint64_t began[RECORDED];
        int recorded = 0;
        bool ahead_runs = true;
        for (; recorded < RECORDED; ++recorded) {
            uint64_t at = b.position(start);
            if (!ahead_one()) {
                ahead_runs = false;
                break;
            }
            began[recorded] = at;
        }
        // Both readers in one loop, so that their lookups overlap.
        while (ahead_runs && v.position(start) < ahead_at && out_end - to >= 2 * LOOKUPS) {
            if (!b.has_word() || ahead_end - ahead < 2 * LOOKUPS) break;
            v.refill_word();
            b.refill_word();
            int k = 0;
            for (; k < LOOKUPS; ++k) {
                DecodeEntry ev = primary[v.bits >> (64 - TABLE_BITS)];
                DecodeEntry eb = primary[b.bits >> (64 - TABLE_BITS)];
                if (!(ev.info & 3) || !(eb.info & 3)) break;
                memcpy(to, ev.symbol, 2);
                to += ev.info & 3;
                v.drop(ev.length);
                memcpy(ahead, eb.symbol, 2);
                ahead += eb.info & 3;
                b.drop(eb.length);
            }
            if (k == LOOKUPS) continue;
            if (!(primary[v.bits >> (64 - TABLE_BITS)].info & 3)) {
                *to = decode_one(v, static_cast<uint32_t>(to - out));
                ++to;
            }
            if (!(primary[b.bits >> (64 - TABLE_BITS)].info & 3) && !ahead_one()) break;
        }
        run(v, ahead_at);
        // Step by step until both readers start a symbol at the same bit.
        int j = 0;
        bool in_step = false;
        while (to != out_end) {
            uint64_t at = v.position(start);
            while (j < recorded && began[j] < at) ++j;
            if (j == recorded) break;
            if (began[j] == at) {
                in_step = true;
                break;
            }
            *to = decode_one(v, static_cast<uint32_t>(to - out));
            ++to;
        }
        if (!in_step) {
            ++misses;
            continue;
        }
        misses = 0;
        size_t take = std::min<size_t>(static_cast<size_t>(ahead - (lookahead + j)),
                                       static_cast<size_t>(out_end - to));
        memcpy(to, lookahead + j, take);
        to += take;
        v = b;
    }
    run(v, UINT64_MAX);
    out_size = static_cast<uint32_t>(to - out);
}
