// Arbitrary bytes as a MIDI file: a score, or a fatal report (thrown here); never a read past
// the data. Queries on whatever was read stay in bounds.
#include <cstdint>
#include <cstdlib>

#include "platform/fatal.h"
#include "util/music/midi.h"

namespace {
struct Reported {};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    set_fatal_handler([](const FatalReport&) { throw Reported{}; });
    try {
        MidiFile file(data, size);
        for (uint32_t t = 0; t < file.tracks.size(); ++t) {
            file.note_triggers(t, 1.5);
            file.note_triggers(t, 1e9);
            for (int c : {0, 1, 64, 127}) (void)file.controller_value_at(t, c, 4.0f);
        }
    } catch (const Reported&) {
    }
    return 0;
}
