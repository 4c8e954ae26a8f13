// Arbitrary bytes as a Huffman block: a clean decode or a fatal report (thrown here), never
// a read outside the block or a write past the announced size. A block that decodes is also
// re-encoded and decoded again, which must give the same bytes.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/fatal.h"
#include "util/data/huffman.h"

namespace {
struct Reported {};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    set_fatal_handler([](const FatalReport&) { throw Reported{}; });
    if (HuffmanCoder::check_block(data, size)) return 0;
    // Exactly the announced size, so that any overrun is caught by the sanitizer.
    std::vector<uint8_t> out(HuffmanCoder::uncompressed_size(data));
    auto coder = std::make_unique<HuffmanCoder>();
    uint32_t got = 0;
    try {
        coder->decode(out.data(), got, data, size);
    } catch (const Reported&) {
        return 0;
    }
    if (got != out.size()) abort();
    std::vector<uint8_t> block(out.size() + HuffmanCoder::WORST_CASE_OVERHEAD);
    uint32_t block_size = 0;
    coder->encode(block.data(), block_size, out.data(), got);
    std::vector<uint8_t> again(got);
    uint32_t again_size = 0;
    coder->decode(again.data(), again_size, block.data(), block_size);
    if (again != out) abort();
    return 0;
}
