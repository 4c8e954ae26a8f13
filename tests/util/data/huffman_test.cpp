#include "util/data/huffman.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes encode(const Bytes& in) {
    Bytes out(in.size() + HuffmanCoder::WORST_CASE_OVERHEAD);
    uint32_t size = 0;
    auto coder = std::make_unique<HuffmanCoder>();
    coder->encode(out.data(), size, in.data(), static_cast<uint32_t>(in.size()));
    out.resize(size);
    return out;
}

Bytes decode(const Bytes& block) {
    Bytes out(block.size() >= 16 ? HuffmanCoder::uncompressed_size(block.data()) : 0);
    uint32_t size = 0;
    auto coder = std::make_unique<HuffmanCoder>();
    coder->decode(out.data(), size, block.data(), block.size());
    EXPECT_EQ(size, out.size());
    return out;
}

Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

void put_u32(Bytes& b, uint32_t v) {
    uint8_t word[4];
    write_u32_le(word, v);
    b.insert(b.end(), word, word + 4);
}

Bytes header(uint32_t n, uint32_t size, uint32_t block_size) {
    Bytes b = bytes("HUFF");
    put_u32(b, n);
    put_u32(b, size);
    put_u32(b, block_size);
    return b;
}

// ---- the reference: the tree and the bit-by-bit walk, written out plainly -------------------

struct RefNode {
    int zero_child = -1, one_child = -1, parent = -1;
    uint8_t zero_symbol = 0, one_symbol = 0;
};

std::vector<RefNode> reference_tree(std::vector<HuffmanCoder::SymbolEntry> table) {
    std::vector<RefNode> nodes(256);
    int n = static_cast<int>(table.size());
    if (n == 1) nodes[0].zero_symbol = table[0].symbol;
    for (int i = n - 2; i >= 0; --i) {
        auto take = [&](const HuffmanCoder::SymbolEntry& e, int& child, uint8_t& symbol) {
            if (e.node >= 0) {
                child = e.node;
                nodes[e.node].parent = i;
            } else {
                symbol = e.symbol;
            }
        };
        take(table[i], nodes[i].zero_child, nodes[i].zero_symbol);
        take(table[i + 1], nodes[i].one_child, nodes[i].one_symbol);
        if (i > 0) {
            table[i].count += table[i + 1].count;
            table[i].node = static_cast<int16_t>(i);
            table[i + 1].count = 0;
            HuffmanCoder::sort_entries(table.data(), i + 1);
        }
    }
    return nodes;
}

// Decodes like the description: one bit at a time from the root. Stops early (returns fewer
// bytes) when the stream ends, where the coder reports the block as corrupt.
Bytes reference_decode(const Bytes& block) {
    uint32_t n = read_u32_le(block.data() + 4);
    uint32_t size = HuffmanCoder::uncompressed_size(block.data());
    std::vector<HuffmanCoder::SymbolEntry> table;
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* e = block.data() + 16 + 5 * i;
        table.push_back({read_u32_le(e), e[4], -1});
    }
    std::vector<RefNode> nodes = reference_tree(table);
    size_t byte = 16 + 5 * n;
    int unread = 8;
    Bytes out;
    while (out.size() < size) {
        int node = 0;
        for (;;) {
            if (unread == 0) {
                ++byte;
                unread = 8;
            }
            if (byte >= block.size()) return out;
            bool one = (block[byte] >> --unread) & 1;
            int child = one ? nodes[node].one_child : nodes[node].zero_child;
            if (child < 0) {
                out.push_back(one ? nodes[node].one_symbol : nodes[node].zero_symbol);
                break;
            }
            node = child;
        }
    }
    return out;
}

// ---- the blocks of the description, byte for byte ------------------------------------------

TEST(HuffmanBlock, EmptyInputIsSeventeenBytes) {
    Bytes expected = header(0, 0, 17);
    expected.push_back(0);
    EXPECT_EQ(encode({}), expected);
    EXPECT_TRUE(decode(expected).empty());
}

TEST(HuffmanBlock, EightEqualBytesAreTwentyThreeBytes) {
    Bytes expected = header(1, 8, 23);
    put_u32(expected, 8);
    expected.push_back('x');
    expected.push_back(0);
    expected.push_back(0);
    EXPECT_EQ(encode(Bytes(8, 'x')), expected);
    EXPECT_EQ(decode(expected), Bytes(8, 'x'));
    // k copies take floor(k/8) + 1 stream bytes.
    EXPECT_EQ(encode(Bytes(7, 'x')).size(), 16u + 5 + 1);
    EXPECT_EQ(encode(Bytes(17, 'x')).size(), 16u + 5 + 3);
}

TEST(HuffmanBlock, ThreeSymbolsWithoutTies) {
    Bytes expected = header(3, 7, 33);
    for (auto [count, symbol] : {std::pair{4, 'a'}, {2, 'b'}, {1, 'c'}}) {
        put_u32(expected, static_cast<uint32_t>(count));
        expected.push_back(static_cast<uint8_t>(symbol));
    }
    expected.push_back(0x0A);
    expected.push_back(0xC0);
    EXPECT_EQ(encode(bytes("aaaabbc")), expected);
    EXPECT_EQ(decode(expected), bytes("aaaabbc"));
}

TEST(HuffmanBlock, FullLastByteIsStillFollowedByOneMore) {
    Bytes block = encode(bytes("abcd"));  // four 2-bit codes: exactly one stream byte of bits
    ASSERT_EQ(block.size(), 16u + 4 * 5 + 2);
    EXPECT_EQ(block.back(), 0);
    EXPECT_EQ(block[12], block.size());
    EXPECT_EQ(decode(block), bytes("abcd"));
}

TEST(HuffmanBlock, AllByteValuesGiveAFullTable) {
    Bytes in;
    for (int round = 0; round < 3; ++round)
        for (int v = 0; v < 256; ++v) in.push_back(static_cast<uint8_t>(v));
    Bytes block = encode(in);
    EXPECT_EQ(read_u16_le(block.data() + 4), 256);
    // 256 equal counts: a complete tree of 255 nodes, every code 8 bits long.
    EXPECT_EQ(block.size(), 16u + 1280 + in.size() + 1);
    EXPECT_EQ(decode(block), in);
}

TEST(HuffmanBlock, DecodingIgnoresMagicAndBlockSize) {
    Bytes block = encode(bytes("the magic and the size are for people, not for the decoder"));
    Bytes changed = block;
    changed[0] = 'X';
    changed[3] = '!';
    changed[12] = 0xFF;
    changed[15] = 0x7F;
    EXPECT_EQ(decode(changed), decode(block));
}

// ---- the format is pinned ----------------------------------------------------------------

Bytes read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    EXPECT_TRUE(f.good()) << path;
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

TEST(HuffmanBlock, TieHeavyInputsGiveTheGoldenBlocks) {
    for (const char* name : {"ties_all_256", "ties_pairs", "ties_mixed", "ties_text", "ties_shuffled"}) {
        std::string base = std::string(ZORVANE_TEST_DATA) + "/huffman/" + name;
        Bytes in = read_file(base + ".in");
        Bytes golden = read_file(base + ".huff");
        ASSERT_FALSE(in.empty());
        EXPECT_EQ(encode(in), golden) << name;
        EXPECT_EQ(decode(golden), in) << name;
    }
}

TEST(HuffmanSort, LaterPositionGoesFirstOnTies) {
    HuffmanCoder::SymbolEntry e[5] = {{1, 'a', -1}, {3, 'b', -1}, {1, 'c', -1}, {1, 'd', -1}, {3, 'e', -1}};
    HuffmanCoder::sort_entries(e, 5);
    std::string order;
    for (auto& x : e) order += static_cast<char>(x.symbol);
    EXPECT_EQ(order, "ebdca");
}

// ---- round trips ----------------------------------------------------------------------------

TEST(HuffmanRoundTrip, RandomAndStructuredDataOfManySizes) {
    std::mt19937 random(12345);
    for (uint32_t size : {1u, 2u, 3u, 7u, 8u, 9u, 63u, 64u, 65u, 255u, 256u, 1000u, 4096u, 65537u}) {
        Bytes uniform(size), skewed(size), text(size), two(size);
        for (uint32_t i = 0; i < size; ++i) {
            uniform[i] = static_cast<uint8_t>(random());
            skewed[i] = static_cast<uint8_t>(std::geometric_distribution<int>(0.3)(random) & 0xFF);
            text[i] = "the quick brown fox jumps over the lazy dog\n"[i % 44];
            two[i] = (random() & 7) ? 'x' : 'y';
        }
        for (const Bytes* in : {&uniform, &skewed, &text, &two}) {
            Bytes block = encode(*in);
            ASSERT_LE(block.size(), in->size() + HuffmanCoder::WORST_CASE_OVERHEAD);
            ASSERT_EQ(decode(block), *in) << size;
            ASSERT_EQ(reference_decode(block), *in) << size;
        }
    }
}

TEST(HuffmanRoundTrip, CodesLongerThanTheDecodeTable) {
    // Fibonacci counts make the deepest possible tree for their total.
    Bytes in;
    uint32_t a = 1, b = 1;
    for (int symbol = 0; symbol < 26; ++symbol) {
        in.insert(in.end(), a, static_cast<uint8_t>('A' + symbol));
        uint32_t next = a + b;
        a = b;
        b = next;
    }
    std::shuffle(in.begin(), in.end(), std::mt19937(3));
    auto coder = std::make_unique<HuffmanCoder>();
    Bytes block(in.size() + HuffmanCoder::WORST_CASE_OVERHEAD);
    uint32_t size = 0;
    coder->encode(block.data(), size, in.data(), static_cast<uint32_t>(in.size()));
    block.resize(size);
    EXPECT_EQ(coder->code_of('A').length, 25u);
    EXPECT_GT(coder->code_of('A').length, static_cast<uint32_t>(HuffmanCoder::TABLE_BITS));
    EXPECT_EQ(decode(block), in);
}

TEST(HuffmanDecode, MatchesTheBitWalkOnBlocksNoEncoderWrites) {
    // Arbitrary tables (equal or zero counts, repeated symbols, counts that overflow when
    // merged) and arbitrary streams: whatever the walk yields, the fast decoder yields too.
    std::mt19937 random(99);
    for (int round = 0; round < 300; ++round) {
        uint32_t n = 1 + random() % 256;
        Bytes stream(1 + random() % 64);
        for (auto& byte : stream) byte = static_cast<uint8_t>(random());
        Bytes block = header(n, 0, 0);
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t count = round % 3 == 0 ? 0 : round % 3 == 1 ? random() % 4 : random();
            put_u32(block, count);
            block.push_back(static_cast<uint8_t>(random() % (round % 5 == 0 ? 4 : 256)));
        }
        block.insert(block.end(), stream.begin(), stream.end());
        Bytes walked;
        uint32_t most = static_cast<uint32_t>(stream.size() * 8);
        write_u32_le(block.data() + 8, most);
        walked = reference_decode(block);
        // Ask for exactly what the walk could decode: that must succeed and agree.
        uint32_t size = static_cast<uint32_t>(walked.size());
        write_u32_le(block.data() + 8, size);
        ASSERT_EQ(decode(block), walked) << "round " << round;
    }
}

TEST(HuffmanDecode, LongStreamsOfAnyTreeMatchTheBitWalkAndFailWhereItStops) {
    // Long enough for the decoder to read ahead at several places of the stream: codes too
    // long for its tables, trees of one code length, and streams that run out, where the
    // report must count the bytes the walk got.
    std::mt19937 random(7);
    for (int round = 0; round < 12; ++round) {
        uint32_t n = round % 4 == 0 ? 256 : round % 4 == 1 ? 16 : 2 + random() % 255;
        Bytes block = header(n, 0, 0);
        uint32_t a = 1, b = 1;
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t count = round % 4 == 2 ? a : round % 4 == 3 ? random() : 1;  // Fibonacci: deep
            uint32_t sum = a + b;
            a = b;
            b = sum;
            put_u32(block, count);
            block.push_back(static_cast<uint8_t>(i));
        }
        for (uint32_t i = 0; i < 100000 + random() % 64; ++i) block.push_back(static_cast<uint8_t>(random()));
        write_u32_le(block.data() + 8, static_cast<uint32_t>((block.size() - 16 - 5 * n) * 8));
        Bytes walked = reference_decode(block);
        uint32_t size = static_cast<uint32_t>(walked.size());
        write_u32_le(block.data() + 8, size);
        ASSERT_EQ(decode(block), walked) << "round " << round;
        write_u32_le(block.data() + 8, size + 1);
        EXPECT_EQ(fatal_message_of([&] {
                      Bytes out(size + 1);
                      uint32_t got = 0;
                      auto coder = std::make_unique<HuffmanCoder>();
                      coder->decode(out.data(), got, block.data(), block.size());
                  }),
                  "Corrupt compressed block: the bit stream ends after " + std::to_string(size) + " of " +
                      std::to_string(size + 1) + " bytes")
            << "round " << round;
    }
}

TEST(HuffmanDecode, SingleSymbolTreeOutputsSymbolZeroOnOneBits) {
    Bytes block = header(1, 4, 0);
    put_u32(block, 4);
    block.push_back('q');
    block.push_back(0b01100000);
    EXPECT_EQ(decode(block), (Bytes{'q', 0, 0, 'q'}));
}

// ---- corrupt blocks -------------------------------------------------------------------------

std::string decode_failure(const Bytes& block) {
    return fatal_message_of([&] {
        Bytes out(1 << 16);
        uint32_t size = 0;
        auto coder = std::make_unique<HuffmanCoder>();
        coder->decode(out.data(), size, block.data(), block.size());
    });
}

TEST(HuffmanDecode, CorruptBlocksAreReportedNotOverrun) {
    Bytes good = encode(bytes("a perfectly ordinary sentence, compressed."));
    EXPECT_EQ(decode_failure(good), "");

    EXPECT_EQ(decode_failure(Bytes(good.begin(), good.begin() + 15)),
              "Corrupt compressed block: the block header is cut short");
    Bytes too_many = good;
    too_many[4] = 1;
    too_many[5] = 1;  // n = 257
    EXPECT_EQ(decode_failure(too_many), "Corrupt compressed block: more than 256 table entries");
    uint32_t n = good[4];
    EXPECT_EQ(decode_failure(Bytes(good.begin(), good.begin() + 16 + 5 * n - 1)),
              "Corrupt compressed block: the symbol table is cut short");
    Bytes huge = good;
    huge[11] = 0x7F;  // two billion bytes promised by a stream of a few dozen
    EXPECT_EQ(decode_failure(huge), "Corrupt compressed block: the bit stream is shorter than its bytes");
    Bytes nothing = header(0, 3, 0);
    nothing.push_back(0);
    EXPECT_EQ(decode_failure(nothing), "Corrupt compressed block: bytes announced without any symbol");
    // Plausible at one bit a byte, but the codes are longer: the stream runs out mid-way.
    Bytes cut(good.begin(), good.end() - 8);
    EXPECT_EQ(decode_failure(cut).rfind("Corrupt compressed block: the bit stream ends after ", 0), 0u)
        << decode_failure(cut);
}

TEST(HuffmanDecodeDeathTest, CorruptBlockIsFatal) {
    Bytes block = header(300, 1, 0);
    EXPECT_EXIT(decode(block), ::testing::ExitedWithCode(1),
                "Corrupt compressed block: more than 256 table entries");
}

}  // namespace
