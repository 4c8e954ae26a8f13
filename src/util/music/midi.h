// The MIDI file reader: a strict Standard MIDI File parser that turns the score into per-track,
// per-note event lists in beats, controller lanes, and the tempo that becomes the music's BPM.
// Anything outside its fixed event set is a fatal report. Reads never run past the data,
// whatever its chunk and event lengths claim.
// Depends on: util/data (load_file), util/math/rounding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "util/music/modulators/modulator.h"

struct ControllerLane {
    std::vector<float> times;  // beats
    std::vector<uint8_t> values;
};

struct MidiNote {
    uint8_t number = 0;
    char name[8] = {};
    int32_t cursor = -1;          // last event reported by get_note_triggers
    std::vector<float> times;     // beats; negated for a note-off
    std::vector<uint8_t> velocities;
    // Every event differs in kind (>= 0 or < 0) from the one before. Only an off at beat 0,
    // stored as -0.0 (which counts as >= 0), can break that.
    bool alternates = true;
};

struct MidiTrack {
    bool has_name = false;
    std::string name;
    uint32_t note_event_count = 0;
    std::vector<MidiNote> notes;  // in order of each note number's first event
    ControllerLane controllers[128];
    std::vector<std::unique_ptr<Modulator>> modulators;  // filled by the music description
};

// Where the parser reads: `end` is one past the last byte of the data.
struct MidiCursor {
    const uint8_t* at;
    const uint8_t* end;
};

uint32_t read_variable_length(MidiCursor& cursor);
uint32_t read_big_endian(MidiCursor& cursor, int count);
// Reads a meta text (cursor at the meta type byte) into `slot`; false when the slot is taken
// or the text is empty.
bool read_meta_text(std::string& slot, bool& slot_set, MidiCursor& cursor);
void note_name(uint8_t number, char* out);  // out holds at least 8 bytes

class MidiFile {
public:
    // Parses a whole file held in memory; every problem is a fatal report.
    MidiFile(const uint8_t* data, size_t size);
    MidiFile(const MidiFile&) = delete;
    MidiFile& operator=(const MidiFile&) = delete;

    // Loads through the archive; null when the file cannot be had.
    static std::unique_ptr<MidiFile> load(const char* file_name);

    // One flag per note of the track: a note-on passed since the last query, its note-off
    // still ahead. `beat` is the music's beat plus the caller's offset.
    std::vector<bool> note_triggers(uint32_t track, double beat);
    int controller_value_at(uint32_t track, int controller, float beat) const;
    // One value per note of the track at `beat`: 1 for held notes, 0 for others, or the
    // product of the track's modulators; an arpeggiator then silences all but one held note.
    std::vector<float> note_values(uint32_t track, float beat, float bpm);
    const MidiTrack& track(uint32_t index) const;
    MidiTrack& track(uint32_t index);

    std::vector<MidiTrack> tracks;
    std::string copyright, text;
    bool has_copyright = false, has_text = false;
    float tempo = 120.0f;
    bool tempo_set = false;
    uint8_t time_signature_numerator = 4;
    uint8_t time_signature_denominator = 4;
    uint8_t clocks_per_click = 24;
    uint8_t notes_32nd_per_quarter = 8;
    uint8_t key_signature = 0;
    bool minor = false;

private:
    void read_event(MidiCursor& cursor, MidiTrack& track, uint8_t& running_status, float beat);
    void note_event(MidiTrack& track, uint8_t number, uint8_t velocity, float beat);
};
