// Music: the soundtrack and the presentation's only clock. Every animated value is a function
// of the playback position (seconds -> beats -> rows, 8 rows a beat), so pausing or seeking the
// music pauses or seeks the whole show. Owns the sync device and the named-value registry,
// and the whole decoded track as floats (and as 16-bit samples for capture).
// Depends on: platform/audio, util/sync, util/data (load_file), util/music/sync_values.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio.h"
#include "util/music/midi.h"
#include "util/music/sync_values.h"
#include "util/sync/sync.h"

// The PCM wave format record (WAVEFORMATEX layout) handed to the AVI writer.
struct AudioFormat {
    uint16_t format_tag;
    uint16_t channels;
    uint32_t samples_per_second;
    uint32_t average_bytes_per_second;
    uint16_t block_align;
    uint16_t bits_per_sample;
    uint16_t extra_size;
};

class Music {
public:
    static constexpr const char* SYNC_BASE_PATH = "data/sync_tracker/";
    static constexpr const char* SYNC_EDITOR_HOST = "localhost";

    // With `finish_later` the soundtrack goes on decoding after the constructor returns, and
    // finish_loading() (which copy_samples calls too) waits for it, checks it and fills the
    // format and sample members below; until then they are empty.
    Music(const char* file_name, float bpm, float beat_offset, bool capture_audio, bool editor_mode,
          bool finish_later = false);
    ~Music();
    Music(const Music&) = delete;
    Music& operator=(const Music&) = delete;

    // ---- clock ----
    float get_seconds();
    double get_row();
    float get_beat();
    int32_t get_position_bytes();
    float average_beat_step() const { return beat_step; }

    // ---- transport ----
    void start();
    void pause();
    void resume();
    void toggle_pause();
    bool is_stream_playing();
    bool is_paused() const { return paused; }
    bool is_alive();
    void seek_row(int32_t row);
    void set_time(float seconds);
    void set_position_bytes(int32_t position);
    void set_volume(float volume);

    // ---- samples ----
    // `count` floats from the current position; past the end of the track they are 0.
    void copy_samples(float* destination, uint32_t count);

    // ---- per frame ----
    void update();

    // ---- sync values ----
    SyncValueHandle add_sync_value(const char* name, float default_value, bool tracked) {
        return registry->add_sync_value(name, default_value, tracked);
    }
    float get_sync_value(const char* name) const { return registry->get_sync_value(name); }
    float get_sync_value(SyncValueHandle handle) const { return registry->get_sync_value(handle); }
    const SyncValues& sync_values() const { return *registry; }

    // ---- the score (a MIDI file named by the music description) ----
    uint32_t get_track_count() const;
    const char* get_track_name(uint32_t track) const;  // null for a track without a name
    uint32_t get_track_note_count(uint32_t track) const;
    std::vector<bool> get_note_triggers(uint32_t track, float beat_offset);
    std::vector<bool> get_note_triggers(const char* track_name, float beat_offset);
    // One value per note of the track at `beat`, shaped by the track's modulators.
    std::vector<float> get_note_values(uint32_t track, float beat);
    // The largest note value of the track at `beat`, at least 0.
    float get_track_value(uint32_t track, float beat);
    std::unique_ptr<MidiFile> midi;

    // ---- live reload ----
    // The folder of the music description, whose files it reads (itself, the score, the
    // controller templates); empty when the music has no description.
    std::string description_folder() const;
    // Reads the description again and takes its score and modulators; the stream stays. A
    // score whose tracks differ from the running one's in number or names is refused, since
    // scenes keep tracks by number: false, with `error`. The reader's own failures are fatal
    // reports (a caller that must go on catches them).
    bool reload_description(std::string& error);

    AudioFormat audio_format{};
    // The decoded track; pcm_samples only when capturing. At least one element each once
    // made, even for an empty track. float_samples is made by the first copy_samples: the
    // audio layer already holds the decode, and a show that draws no waveform never needs a
    // second copy of it, twice its size.
    std::vector<float> float_samples;
    std::vector<int16_t> pcm_samples;
    uint32_t sample_count = 0;
    float bpm;
    float beat_offset;
    int32_t rows_per_beat = SYNC_ROWS_PER_BEAT;
    SyncDevice* sync_device = nullptr;

    void load_music_stream(const char* file_name);
    void finish_loading();

private:

    float beat_history[10] = {};
    float beat_step = 0;
    AudioStream stream = 0;
    // The decoding stream float_samples is read from when first asked for.
    AudioStream sample_reader = 0;
    void read_float_samples();
    struct FreeBuffer {
        void operator()(char* p) const { free(p); }
    };
    // The compressed files the streams were made from (one per stream load).
    std::vector<std::unique_ptr<char, FreeBuffer>> music_data;
    bool paused = false;
    bool capture_audio;
    bool finish_later;
    std::string loading_file;  // the stream whose checks finish_loading has still to make
    std::string description_file;
    bool editor_mode = false;
    std::unique_ptr<SyncValues> registry;
};
