// Arbitrary bytes as a whole archive file read from memory: entries, or a fatal report
// (thrown here), never a crash, an out-of-bounds access or a leak.
#include <cstdint>
#include <cstdlib>

#include "platform/fatal.h"
#include "util/data/data.h"

namespace {
struct Reported {};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    set_fatal_handler([](const FatalReport&) { throw Reported{}; });
    reset_datafile();
    try {
        parse_datafile_image(data, size, "fuzz.zqf");
    } catch (const Reported&) {
    }
    uint64_t total = 0;
    for (const auto& entry : get_datafile_entries()) total += entry.size + entry.name.size();
    if (total > size * 8ull + 64) abort();  // every stored byte costs at least one bit
    reset_datafile();
    return 0;
}
