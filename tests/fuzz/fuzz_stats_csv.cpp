// Arbitrary text as a --stats file: refused with a reason, or a table whose every frame has a
// time for every part, drawn without failing.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "stats_plot.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    StatsTable table;
    std::string error;
    if (!parse_stats_csv(text, table, error)) {
        if (error.empty()) abort();
        return 0;
    }
    if (table.frames.empty()) abort();
    for (const StatsFrame& frame : table.frames)
        if (frame.part_ms.size() != table.parts.size()) abort();
    (void)plot_stats_svg(table);
    return 0;
}
