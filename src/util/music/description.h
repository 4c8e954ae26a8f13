// The music description: an XML file naming the soundtrack stream, the MIDI score and the
// modulators attached to the score's tracks; LFO rates may follow a controller through a
// controller template file. File names inside are relative to the description's folder.
// Depends on: TinyXML 1, util/data (open_file), util/music/midi, util/music/modulators.
#pragma once

#include <memory>
#include <string>

#include "util/music/midi.h"

// Called with the stream's path once the description names it; may be null (no audio).
using LoadStreamFn = void (*)(void* data, const char* path);

// Reads the description at `path`: the stream (through `load_stream`), the MIDI file (whose
// tempo replaces `bpm` before envelope lengths are converted to beats) and the modulators.
std::unique_ptr<MidiFile> read_music_description(const char* path, float& bpm, LoadStreamFn load_stream,
                                                 void* data);

// Appends the ranges of a controller template to `modulator`.
void read_controller_template(const char* path, Modulator& modulator);
