// Standard MIDI File reader.
#include "util/music/midi.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/fatal.h"
#include "util/data/data.h"
#include "util/math/rounding.h"
#include "util/music/modulators/arp.h"

namespace {

// Every read goes through here: a file whose lengths promise more than it holds is cut short.
void need(const MidiCursor& cursor, size_t bytes, const char* what) {
    if (static_cast<size_t>(cursor.end - cursor.at) < bytes)
        ZV_FATAL("Truncated MIDI file: %s runs past the end of the data", what);
}

uint8_t read_byte(MidiCursor& cursor, const char* what) {
    need(cursor, 1, what);
    return *cursor.at++;
}

}  // namespace

// ---- primitives -----------------------------------------------------------------------------

uint32_t read_variable_length(MidiCursor& cursor) {
    if (!cursor.at) ZV_FATAL("NULL-buffer specified");
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        uint8_t byte = read_byte(cursor, "a variable-length quantity");
        value = (value << 7) | (byte & 0x7F);
        if (!(byte & 0x80)) return value;
    }
    ZV_FATAL("Found 4 bytes of delta time without a 0 MSB");
}

uint32_t read_big_endian(MidiCursor& cursor, int count) {
    if (!cursor.at) ZV_FATAL("NULL-buffer specified");
    if (count < 1 || count > 4) ZV_FATAL("bytes must be in range 1..4!");
    need(cursor, static_cast<size_t>(count), "a big-endian number");
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = (value << 8) | *cursor.at++;
    return value;
}

bool read_meta_text(std::string& slot, bool& slot_set, MidiCursor& cursor) {
    if (slot_set) return false;
    need(cursor, 2, "a meta event");
    uint8_t length = cursor.at[1];
    if (length == 0) return false;
    need(cursor, 2u + length, "a meta text");
    slot.assign(reinterpret_cast<const char*>(cursor.at + 2), length);
    slot_set = true;
    cursor.at += 2 + length;
    return true;
}

void note_name(uint8_t number, char* out) {
    static const char* const names[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    snprintf(out, 8, "%s%i", names[number % 12], number / 12);
}

// ---- reading --------------------------------------------------------------------------------

MidiFile::MidiFile(const uint8_t* data, size_t size) {
    MidiCursor cursor{data, data + size};
    static const uint8_t header[8] = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    if (size < 8 || memcmp(data, header, 8) != 0)
        ZV_FATAL("  Unknown header info, MIDI file format not recognized\n");
    cursor.at += 8;
    read_big_endian(cursor, 2);  // format: every track is read the same way
    uint32_t track_count = read_big_endian(cursor, 2);
    uint32_t division = read_big_endian(cursor, 2);
    if (division == 0) ZV_FATAL("MIDI division of 0 ticks per quarter note: no event has a time");

    static const uint8_t chunk_tag[4] = {'M', 'T', 'r', 'k'};
    for (uint32_t t = 0; t < track_count; ++t) {
        if (cursor.end - cursor.at < 4 || memcmp(cursor.at, chunk_tag, 4) != 0)
            ZV_FATAL(" Could not find track chunk header, unrecognized file format!\n");
        cursor.at += 4;
        uint32_t length = read_big_endian(cursor, 4);
        if (static_cast<size_t>(cursor.end - cursor.at) < length)
            ZV_FATAL("Truncated MIDI file: track %u claims %u bytes, only %zu are left", t, length,
                     static_cast<size_t>(cursor.end - cursor.at));
        const uint8_t* chunk_end = cursor.at + length;
        MidiTrack track;
        uint8_t running_status = 0;
        uint64_t ticks = 0;
        while (cursor.at < chunk_end) {
            ticks += read_variable_length(cursor);
            // Fractional beats: an integer quotient would snap every event to a whole beat.
            float beat = static_cast<float>(static_cast<double>(ticks) / static_cast<double>(division));
            read_event(cursor, track, running_status, beat);
        }
        if (track.note_event_count > 0) tracks.push_back(std::move(track));
    }
    for (auto& track : tracks)
        for (auto& note : track.notes)
            for (size_t e = 1; e < note.times.size(); ++e)
                if ((note.times[e] >= 0) == (note.times[e - 1] >= 0)) note.alternates = false;
}

void MidiFile::read_event(MidiCursor& cursor, MidiTrack& track, uint8_t& running_status, float beat) {
    need(cursor, 1, "an event");
    if (*cursor.at & 0x80) running_status = *cursor.at++;
    uint8_t status = running_status;

    if (status == 0xF0 || status == 0xF7) ZV_FATAL("  Got SysEx event, not supported yet, panicking!");
    if (status == 0xFF) {
        need(cursor, 2, "a meta event");
        uint8_t type = cursor.at[0];
        auto expect_length = [&](uint8_t wanted, const char* message) {
            if (cursor.at[1] != wanted) ZV_FATAL("%s", message);
            need(cursor, 2u + wanted, "a meta event");
            cursor.at += 2;
        };
        switch (type) {
            case 0x01:
                if (!read_meta_text(text, has_text, cursor)) ZV_FATAL("Retrieving text info failed!");
                return;
            case 0x02:
                if (!read_meta_text(copyright, has_copyright, cursor)) ZV_FATAL("Retrieving copyright info failed!");
                return;
            case 0x03:
                if (!read_meta_text(track.name, track.has_name, cursor)) ZV_FATAL("Retrieving track name failed!");
                return;
            case 0x2F:
                expect_length(0, "Expected 0x00");
                return;
            case 0x51: {
                expect_length(3, "Expected 0x03");
                uint32_t microseconds = read_big_endian(cursor, 3);
                if (microseconds == 0) ZV_FATAL("MIDI tempo of 0 microseconds per quarter note");
                tempo = static_cast<float>(round_to(60000000.0 / microseconds, 2));
                tempo_set = true;
                return;
            }
            case 0x58:
                expect_length(4, "Expected 0x04");
                time_signature_numerator = *cursor.at++;
                // 2 to the stored power; exponents past 7 do not fit the byte and are kept at 0.
                time_signature_denominator = *cursor.at < 8 ? static_cast<uint8_t>(1u << *cursor.at) : 0;
                ++cursor.at;
                clocks_per_click = *cursor.at++;
                notes_32nd_per_quarter = *cursor.at++;
                return;
            case 0x59:
                expect_length(2, "Expected 0x02");
                key_signature = *cursor.at++;
                minor = *cursor.at++ == 1;
                return;
            case 0x00: case 0x04: case 0x05: case 0x06: case 0x07: case 0x20: case 0x54: case 0x7F:
                ZV_FATAL_LOCATION();
            default:
                ZV_FATAL("  Unknown meta event, panicking!");
        }
    }

    switch (status & 0xF0) {
        case 0x80: {
            need(cursor, 2, "a note-off event");
            uint8_t note = cursor.at[0];
            cursor.at += 2;
            note_event(track, note, 0, beat);
            return;
        }
        case 0x90: {
            need(cursor, 2, "a note-on event");
            uint8_t note = cursor.at[0], velocity = cursor.at[1];
            cursor.at += 2;
            note_event(track, note, velocity, beat);
            return;
        }
        case 0xA0:
            need(cursor, 2, "a pressure event");
            cursor.at += 2;
            return;
        case 0xB0: {
            need(cursor, 2, "a control change");
            uint8_t controller = cursor.at[0] & 0x7F, value = cursor.at[1];
            cursor.at += 2;
            if (controller == 7 || controller == 10) return;  // volume and pan are the mixer's
            track.controllers[controller].times.push_back(beat);
            track.controllers[controller].values.push_back(value);
            return;
        }
        case 0xC0:
            ZV_FATAL_LOCATION();
        case 0xD0:
            need(cursor, 1, "a channel pressure event");
            cursor.at += 1;
            return;
        case 0xE0:
            need(cursor, 2, "a pitch bend");
            cursor.at += 2;
            return;
        default: {
            need(cursor, 1, "an event");
            int byte = *cursor.at;
            ZV_FATAL("Unknown event %d from %d, corrupt MIDI file? Panicking!", byte, byte);
        }
    }
}

void MidiFile::note_event(MidiTrack& track, uint8_t number, uint8_t velocity, float beat) {
    ++track.note_event_count;
    number &= 0x7F;
    MidiNote* note = nullptr;
    for (auto& n : track.notes)
        if (n.number == number) note = &n;
    if (!note) {
        track.notes.emplace_back();
        note = &track.notes.back();
        note->number = number;
        note_name(number, note->name);
    }
    // Ons and offs alternate: a second on while on, or off while off, is ignored. A note-off
    // at beat 0 is -0.0, which counts as "on" here (>= 0), as the stored format implies.
    bool last_is_on = !note->times.empty() && note->times.back() >= 0;
    bool last_is_off = !note->times.empty() && note->times.back() < 0;
    if (velocity == 0) {
        if (note->times.empty() || last_is_on) {
            note->times.push_back(-beat);
            note->velocities.push_back(0);
        }
    } else if (note->times.empty() || last_is_off) {
        note->times.push_back(beat);
        note->velocities.push_back(velocity);
    }
}

std::unique_ptr<MidiFile> MidiFile::load(const char* file_name) {
    uint32_t size = 0;
    char* data = load_file(file_name, "rb", &size, true);
    if (!data) return nullptr;
    // A loose file comes with the terminator load_file adds, an archive entry with whatever was
    // stored; either way bytes after the last announced track are never read.
    std::unique_ptr<MidiFile> file(new MidiFile(reinterpret_cast<const uint8_t*>(data), size));
    free(data);
    return file;
}

// ---- queries --------------------------------------------------------------------------------

const MidiTrack& MidiFile::track(uint32_t index) const {
    if (index >= tracks.size()) ZV_FATAL("Track number out of bounds");
    return tracks[index];
}

MidiTrack& MidiFile::track(uint32_t index) {
    if (index >= tracks.size()) ZV_FATAL("Track number out of bounds");
    return tracks[index];
}

std::vector<bool> MidiFile::note_triggers(uint32_t index, double beat) {
    if (index >= tracks.size()) ZV_FATAL("Track number out of bounds");
    std::vector<bool> result;
    for (auto& note : tracks[index].notes) {
        int32_t count = static_cast<int32_t>(note.times.size());
        int32_t j = note.cursor + 1;
        while (j < count && std::fabs(note.times[j]) < beat) ++j;
        bool triggered = note.cursor < j - 1 && j < count && note.times[j - 1] > 0;
        if (triggered) note.cursor = j - 1;
        result.push_back(triggered);
    }
    return result;
}

int MidiFile::controller_value_at(uint32_t index, int controller, float beat) const {
    const MidiTrack& t = track(index);
    if (controller < 0 || controller > 127) return -1;
    const ControllerLane& lane = t.controllers[controller];
    int value = -1;
    for (size_t i = 0; i < lane.times.size(); ++i)
        if (lane.times[i] <= beat) value = lane.values[i];
    return value;
}

std::vector<float> MidiFile::note_values(uint32_t track_index, float beat, float bpm) {
    MidiTrack& track = this->track(track_index);
    std::vector<float> values(track.notes.size(), 0.0f);
    if (beat < 0) return values;
    float last = -1.0f;
    std::vector<uint32_t> active;
    for (size_t n = 0; n < track.notes.size(); ++n) {
        const MidiNote& note = track.notes[n];
        // Events are in time order; when they also alternate, the state after every event
        // before `beat` follows from the last two of them, and a binary search finds those.
        // Otherwise the scan from the start decides.
        size_t first = 0, passed = note.times.size();
        if (note.alternates) {
            size_t lo = 0, hi = note.times.size();
            while (lo < hi) {
                size_t mid = (lo + hi) / 2;
                if (std::fabs(note.times[mid]) < beat) lo = mid + 1;
                else hi = mid;
            }
            passed = lo;
            first = passed >= 2 ? passed - 2 : 0;
        }
        int depth = 0;
        float on = -1.0f, off = -1.0f;
        for (size_t e = first; e < passed && std::fabs(note.times[e]) < beat; ++e) {
            float time = note.times[e];
            if (time >= 0) {
                if (depth == 0) {
                    on = time;
                    last = std::max(last, on);
                }
                ++depth;
            } else {
                depth = std::max(0, depth - 1);
                if (depth == 0) {
                    off = -time;
                    last = std::max(last, off);
                }
            }
        }
        if (depth > 0) active.push_back(static_cast<uint32_t>(n));
        float value = depth > 0 ? 1.0f : 0.0f;
        if (!track.modulators.empty()) {
            value = 1.0f;
            for (auto& modulator : track.modulators) {
                if (modulator->cc >= 0) {
                    int v = controller_value_at(track_index, modulator->cc, beat);
                    if (v >= 0) modulator->set_controller_value(v);
                }
                value *= modulator->evaluate(bpm, beat, off, on);
            }
        }
        values[n] = value;
    }
    for (auto& modulator : track.modulators) {
        if (modulator->kind != MOD_ARP) continue;
        uint32_t k = static_cast<Arp&>(*modulator).select_note(bpm, beat, last, static_cast<uint32_t>(active.size()));
        for (size_t n = 0; n < values.size(); ++n)
            if (active.empty() || n != active[k]) values[n] = 0.0f;
    }
    return values;
}
