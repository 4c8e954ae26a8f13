// zorvane-tool midi: what the engine reads from a score, and what its modulators make of it.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "commands.h"
#include "platform/fatal.h"
#include "platform/numbers.h"
#include "util/data/data.h"
#include "util/music/description.h"
#include "util/music/midi.h"

namespace {

// Track names are whatever bytes the file holds; anything outside printable ASCII is escaped.
std::string printable(const std::string& text) { return printable_bytes(text.data(), text.size()); }

}  // namespace

int run_midi_dump(int, char** argv) {
    if (!readable_file(argv[0])) return 1;
    set_datafile_mode(DATAFILE_MODE_NONE);
    std::unique_ptr<MidiFile> midi = MidiFile::load(argv[0]);
    if (!midi) return tool_error(std::string("cannot read ") + argv[0]);
    printf("tempo %.2f\n", static_cast<double>(midi->tempo));
    for (size_t t = 0; t < midi->tracks.size(); ++t) {
        const MidiTrack& track = midi->tracks[t];
        printf("track %zu %s notes %zu events %u\n", t, track.has_name ? printable(track.name).c_str() : "-",
               track.notes.size(), track.note_event_count);
        for (const MidiNote& note : track.notes) {
            printf("  %s", note.name);
            for (float time : note.times) printf(" %.6g", static_cast<double>(time));
            printf("\n");
        }
    }
    return 0;
}

int run_midi_values(int argc, char** argv) {
    std::vector<float> beats;
    for (int i = 1; i < argc; ++i) {
        float beat = 0;
        if (!parse_decimal_float(argv[i], beat)) {
            fprintf(stderr, "zorvane-tool: '%s' is not a beat\nusage: zorvane-tool midi values XML BEAT...\n", argv[i]);
            return 2;
        }
        beats.push_back(beat);
    }
    if (!readable_file(argv[0])) return 1;
    set_datafile_mode(DATAFILE_MODE_NONE);
    float bpm = 120.0f;
    std::unique_ptr<MidiFile> midi = read_music_description(argv[0], bpm, nullptr, nullptr);
    for (float beat : beats) {
        for (uint32_t t = 0; t < midi->tracks.size(); ++t) {
            printf("%.6g %u", static_cast<double>(beat), t);
            for (float v : midi->note_values(t, beat, bpm)) printf(" %.6g", static_cast<double>(v));
            printf("\n");
        }
    }
    return 0;
}
