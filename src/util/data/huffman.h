// The Huffman block coder of the archive body: a static order-0 code over byte values.
//
// Block: "HUFF", n, uncompressed size, block size (u32 little-endian each), n table entries
// (u32 count, u8 symbol) in the order the writer's sort left them, then the code bits packed
// most significant first, always followed by at least one final byte (floor(B/8) + 1 bytes).
// Writer and reader build the code tree with the same steps and the same sort routine; that
// routine is part of the format (tests pin it with golden blocks).
// Depends on: platform/byte_order, platform/fatal.
#pragma once

#include <cstddef>
#include <cstdint>

class HuffmanCoder {
public:
    static constexpr uint32_t HEADER_SIZE = 16;
    static constexpr uint32_t WORST_CASE_OVERHEAD = 1297;  // 16 + 5 * 256 + 1
    static constexpr int TABLE_BITS = 12;
    static constexpr int SUBTABLE_BITS = 8;

    struct SymbolEntry {
        uint32_t count;
        uint8_t symbol;
        int16_t node;  // -1 while the entry is a plain symbol
    };
    struct TreeNode {
        uint8_t zero_symbol, one_symbol;
        int16_t zero_child, one_child, parent;  // -1: none
    };
    struct CodeEntry {
        uint32_t length;
        uint64_t code;
    };

    // Compresses in_size bytes into `out`, which holds at least in_size + 1297 bytes.
    void encode(uint8_t* out, uint32_t& out_size, const uint8_t* in, uint32_t in_size);

    // The uncompressed-size field of a block header (16 bytes must be readable).
    static uint32_t uncompressed_size(const uint8_t* block);
    // The block-size field: the whole block's length in bytes as the writer recorded it.
    static uint32_t block_size(const uint8_t* block);

    // Why a block of block_len bytes cannot be decoded as its header says, or nullptr.
    // Catches what can be known before decoding: a short header or table, n above 256, and an
    // uncompressed size that the stream cannot hold at one bit a byte.
    static const char* check_block(const uint8_t* block, size_t block_len);

    // Decodes a block into `out` (room for uncompressed_size bytes). Reads nothing outside
    // block[0, block_len) and writes nothing past uncompressed_size; a corrupt block is a
    // fatal report.
    void decode(uint8_t* out, uint32_t& out_size, const uint8_t* block, size_t block_len);

    // The shared sort: larger counts first; of two equal counts, the entry at the later
    // position goes first. In-place insertion sort, so ties move in a fixed, portable way.
    static void sort_entries(SymbolEntry* entries, int count);

    const CodeEntry& code_of(uint8_t symbol) const { return codes[symbol]; }

private:
    void build_tree();
    void assign_codes();
    void build_decode_table();
    void fill_decode_table(int16_t node, uint32_t prefix, int depth);
    void fill_subtable(int16_t node, uint32_t prefix, int depth, int bits, uint32_t base);
    static int height_below(const TreeNode* nodes, int16_t node, int limit);

    SymbolEntry symbols[256];
    TreeNode nodes[256];
    CodeEntry codes[256];
    uint32_t n = 0;

    // Decode table indexed by the next TABLE_BITS bits. An entry holds the first code's symbol
    // and, when the code after it also fits in the index, that one's symbol too. For a code
    // longer than the table the count is 0 and the first symbol field holds the node reached
    // after TABLE_BITS bits, which goes on in that node's subtable.
    struct DecodeEntry {
        uint8_t symbol[2];
        uint8_t length;  // bits taken by all the entry's symbols
        uint8_t info;    // count of symbols (0 to 2) | bits of the first symbol alone << 2
    };
    DecodeEntry decode_table[1u << TABLE_BITS];
    // Second-level tables, one per node at depth TABLE_BITS, of up to SUBTABLE_BITS index bits:
    // entries hold one symbol (count 1) or, for deeper codes, the node to walk on from.
    // Enough room for every node a tree of 256 leaves can have at that depth at the full width.
    static constexpr uint32_t SUBTABLE_ROOM = 128u << SUBTABLE_BITS;
    DecodeEntry subtables[SUBTABLE_ROOM];
    uint16_t subtable_at[256];
    uint8_t subtable_bits[256];
    uint32_t subtables_used = 0;
    // What the decoder's second reader decodes ahead, before it is known to be in step.
    static constexpr uint32_t LOOKAHEAD = 1u << 16;
    uint8_t lookahead[LOOKAHEAD];
};
