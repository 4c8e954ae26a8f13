// Huffman block coder. The tree construction and the sort are shared by both directions and
// fix the format; the bit packing and the table-driven decoder are free to be fast as long as
// they produce what the bit-by-bit description produces.
#include "util/data/huffman.h"

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
                decode_table[k] = DecodeEntry{symbol, static_cast<uint8_t>(length)};
        } else if (length == TABLE_BITS) {
            decode_table[code] = DecodeEntry{static_cast<uint16_t>(child), 0};
        } else {
            fill_decode_table(child, code, length);
        }
    }
}

void HuffmanCoder::build_decode_table() { fill_decode_table(0, 0, 0); }

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

    const uint8_t* next = table + 5 * n;
    const uint8_t* const end = block + block_len;
    // Unread bits sit at the top of `bits`; below them may follow copies of the next bytes'
    // bits, which a later refill ORs in again unchanged.
    uint64_t bits = 0;
    uint32_t available = 0;
    uint32_t written = 0;
    auto stream_ends = [&] {
        ZV_FATAL("Corrupt compressed block: the bit stream ends after %u of %u bytes", written,
                 size);
    };
    auto refill = [&] {
        if (end - next >= 8) {
            uint64_t word;
            memcpy(&word, next, 8);
            bits |= __builtin_bswap64(word) >> available;
            next += (63 - available) >> 3;
            available |= 56;
        } else {
            while (available <= 56 && next < end) {
                bits |= static_cast<uint64_t>(*next++) << (56 - available);
                available += 8;
            }
        }
    };
    // One symbol with every check: near the end of the stream, and for codes longer than the
    // table, which go on bit by bit from the node the table reached.
    auto decode_one = [&] {
        refill();
        DecodeEntry e = decode_table[bits >> (64 - TABLE_BITS)];
        if (e.length) {
            if (e.length > available) stream_ends();
            out[written++] = static_cast<uint8_t>(e.value);
            bits <<= e.length;
            available -= e.length;
            return;
        }
        if (available < TABLE_BITS) stream_ends();
        bits <<= TABLE_BITS;
        available -= TABLE_BITS;
        int16_t node = static_cast<int16_t>(e.value);
        for (;;) {
            if (available == 0) {
                refill();
                if (available == 0) stream_ends();
            }
            bool one = (bits >> 63) != 0;
            bits <<= 1;
            --available;
            int16_t child = one ? nodes[node].one_child : nodes[node].zero_child;
            if (child < 0) {
                out[written++] = one ? nodes[node].one_symbol : nodes[node].zero_symbol;
                return;
            }
            node = child;
        }
    };
    static_assert(4 * TABLE_BITS <= 56, "four table lookups must fit one refill");
    while (written < size) {
        // Fast path: a full refill holds at least four short codes.
        if (size - written >= 4 && end - next >= 8) {
            refill();
            int k = 0;
            for (; k < 4; ++k) {
                DecodeEntry e = decode_table[bits >> (64 - TABLE_BITS)];
                if (!e.length) break;
                out[written++] = static_cast<uint8_t>(e.value);
                bits <<= e.length;
                available -= e.length;
            }
            if (k == 4) continue;
        }
        decode_one();
    }
    out_size = written;
}
