// Music playback: loading and decoding the soundtrack, the clock, transport, and the sync
// editor exchange once per frame.
#include "util/music/music.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "platform/fatal.h"
#include "platform/files.h"
#include "platform/ui.h"
#include "util/data/data.h"
#include "util/music/description.h"

namespace {

using u16 = uint16_t;

// The editor's pause and seek act on the music whose device received them (the data pointer).
const SyncEditorCallbacks editor_callbacks = {
    [](void* music, int flag) {
        if (flag) static_cast<Music*>(music)->pause();
        else static_cast<Music*>(music)->resume();
    },
    [](void* music, int32_t row) { static_cast<Music*>(music)->seek_row(row); },
    [](void* music) { return static_cast<Music*>(music)->is_stream_playing() ? 1 : 0; },
    nullptr, nullptr, nullptr,
};

double row_of_current(void* music) { return static_cast<Music*>(music)->get_row(); }

}  // namespace

// ---- construction ---------------------------------------------------------------------------

Music::Music(const char* file_name, float bpm, float beat_offset, bool capture_audio, bool editor_mode,
             bool finish_later)
    : bpm(bpm), beat_offset(beat_offset), capture_audio(capture_audio), finish_later(finish_later) {
    std::string name = file_name;
    const std::string ending = lower_case_ending(name);
    if (ending == ".mp3" || ending == ".ogg") {
        load_music_stream(file_name);
    } else if (ending == ".xml") {
        description_file = name;
        midi = read_music_description(
            file_name, this->bpm, [](void* music, const char* path) { static_cast<Music*>(music)->load_music_stream(path); },
            this);
    } else {
        ZV_FATAL("Music format %s not supported", ending.c_str());
    }

    rows_per_beat = SYNC_ROWS_PER_BEAT;
    this->editor_mode = editor_mode;
    sync_device = create_sync_device(SYNC_BASE_PATH, editor_mode);
    if (!sync_device) ZV_FATAL("Failed to create sync device!");
    if (!editor_mode) {
        // Release mode reads its track files from the archive.
        SyncFileIo io{open_file, fread, fclose};
        set_sync_file_io(sync_device, &io);
    }
    if (connect_sync_editor(sync_device, SYNC_EDITOR_HOST, SYNC_EDITOR_PORT) != 0)
        ZV_FATAL("Sync tracker failed to connect to host\n%s:%u: %s (start zorvane-editor first, or run without "
                 "--sync-client)",
                 SYNC_EDITOR_HOST, static_cast<unsigned>(SYNC_EDITOR_PORT), sync_device->problem);
    registry = std::make_unique<SyncValues>(sync_device, row_of_current, this);
}

void Music::load_music_stream(const char* file_name) {
    finish_loading();  // an earlier stream's checks come first
    AudioLayer& audio = audio_layer();
    if ((audio.get_version() >> 16) != 0x0204) ZV_FATAL("An incorrect version of BASS was loaded");
    if (!audio.init(-1, 44100)) ZV_FATAL("Can't initialize device");

    uint32_t size = 0;
    // Kept until the audio layer has let go of the streams made from it.
    char* data = load_file(file_name, "rb", &size, false);
    if (!data) ZV_FATAL("Failed to read music data from %s", file_name);
    music_data.emplace_back(data);
    stream = audio.create_stream(data, size, AUDIO_STREAM_PRESCAN | AUDIO_SAMPLE_LOOP);
    if (sample_reader) audio.free_stream(sample_reader);
    sample_reader = audio.create_stream(data, size, AUDIO_STREAM_DECODE);
    loading_file = file_name;
    if (!finish_later) finish_loading();
}

void Music::finish_loading() {
    if (loading_file.empty()) return;
    const std::string name = std::move(loading_file);
    loading_file.clear();
    const char* file_name = name.c_str();
    AudioLayer& audio = audio_layer();
    AudioStream decoder = sample_reader;
    uint64_t length = audio.get_length(decoder);

    AudioChannelInfo info{};
    const bool decoded = decoder != 0 && audio.get_info(decoder, info);
    uint16_t bits = (info.flags & AUDIO_SAMPLE_8BITS) ? 8 : 16;
    audio_format.format_tag = 1;
    audio_format.channels = static_cast<uint16_t>(info.chans);
    audio_format.bits_per_sample = bits;
    audio_format.block_align = static_cast<uint16_t>(info.chans * bits / 8);
    audio_format.samples_per_second = info.freq;
    audio_format.average_bytes_per_second = audio_format.block_align * info.freq;
    audio_format.extra_size = 0;

    // The assertion alone says "0 channels" for a file that is no sound at all.
    if (info.chans != 2 && !decoded)
        ZV_FATAL("Failed assert info.chans == 2\n info.chans is %u\n 2 is 2\n%s could not be decoded: it is not an MP3 "
                 "or Ogg Vorbis stream",
                 info.chans, file_name);
    if (info.chans != 2)
        ZV_FATAL("Failed assert info.chans == 2\n info.chans is %u\n 2 is 2\n%s has %u channels; the soundtrack must be "
                 "stereo",
                 info.chans, file_name, info.chans);
    if ((info.flags & AUDIO_SAMPLE_8BITS) != 0)
        ZV_FATAL("Failed assert ( info.flags & BASS_SAMPLE_8BITS ) == false\n"
                 " ( info.flags & BASS_SAMPLE_8BITS ) is %u\n false is false",
                 info.flags & AUDIO_SAMPLE_8BITS);

    uint32_t num_samples = static_cast<uint32_t>(length / 2);
    sample_count = num_samples;
    float_samples.clear();

    if (capture_audio) {
        pcm_samples.assign(std::max<size_t>(1, num_samples), 0);
        uint32_t c = audio.get_data(decoder, pcm_samples.data(), static_cast<uint32_t>(num_samples * sizeof(u16)));
        ZV_ASSERT_CMP(c, ==, num_samples * sizeof(u16));
    }
}

void Music::read_float_samples() {
    AudioLayer& audio = audio_layer();
    const uint32_t num_samples = sample_count;
    if (capture_audio) audio.set_position(sample_reader, 0);  // the capture's copy read it to the end
    float_samples.assign(std::max<size_t>(1, num_samples), 0.0f);
    uint32_t c = audio.get_data(sample_reader, float_samples.data(),
                                static_cast<uint32_t>(num_samples * sizeof(float)) | AUDIO_DATA_FLOAT);
    ZV_ASSERT_CMP(c, ==, num_samples * sizeof(float));
}

Music::~Music() {
    if (sync_device && save_sync_tracks(sync_device) != 0)
        message_box("Failed to save sync tracks!", "Failed to save sync tracks, check your directory structure!",
                    MessageBoxButtons::Ok, MessageBoxIcon::None);
    registry.reset();
    destroy_sync_device(sync_device);
    // The compressed files go with the members, after the streams made from them.
    audio_layer().free_all();
}

// ---- clock ----------------------------------------------------------------------------------

float Music::get_seconds() {
    AudioLayer& audio = audio_layer();
    return static_cast<float>(audio.bytes_to_seconds(stream, audio.get_position(stream)));
}

double Music::get_row() { return get_seconds() * (bpm / 60.0) * rows_per_beat; }

float Music::get_beat() { return get_seconds() / 60.0f * bpm + beat_offset; }

int32_t Music::get_position_bytes() {
    return static_cast<int32_t>(audio_layer().get_position(stream) & 0xFFFFFFFFu);
}

// ---- transport ------------------------------------------------------------------------------

void Music::start() {
    for (float& beat : beat_history) beat = beat_offset;
    beat_step = 0;
    audio_layer().set_loop(stream, false);
    audio_layer().play(stream);
    if (!is_stream_playing()) ZV_FATAL("Failed to start the music!");
}

void Music::pause() {
    if (paused) return;
    audio_layer().pause(stream);
    paused = true;
}

void Music::resume() {
    if (!paused) return;
    audio_layer().play(stream);
    paused = false;
}

void Music::toggle_pause() {
    if (paused) audio_layer().play(stream);
    else audio_layer().pause(stream);
    paused = !paused;
}

bool Music::is_stream_playing() { return audio_layer().is_active(stream) == AUDIO_PLAYING; }

bool Music::is_alive() { return paused || is_stream_playing(); }

void Music::seek_row(int32_t row) {
    double seconds = row / (bpm / 60.0 * rows_per_beat);
    audio_layer().set_position(stream, audio_layer().seconds_to_bytes(stream, seconds) + 8);
}

void Music::set_time(float seconds) {
    if (seconds < 0) seconds = 0;
    audio_layer().set_position(stream, audio_layer().seconds_to_bytes(stream, seconds));
}

void Music::set_position_bytes(int32_t position) {
    audio_layer().set_position(stream, static_cast<uint32_t>(position));
}

void Music::set_volume(float volume) { audio_layer().set_volume(stream, volume); }

// ---- samples --------------------------------------------------------------------------------

void Music::copy_samples(float* destination, uint32_t count) {
    if (!destination) ZV_FATAL("Invalid buffer");
    finish_loading();
    uint32_t start = static_cast<uint32_t>(get_position_bytes()) / 2;
    if (float_samples.empty()) read_float_samples();
    uint32_t available = start < sample_count ? sample_count - start : 0;
    uint32_t copied = std::min(count, available);
    if (copied) memcpy(destination, float_samples.data() + start, copied * sizeof(float));
    std::fill(destination + copied, destination + count, 0.0f);
}

// ---- the score ------------------------------------------------------------------------------

std::string Music::description_folder() const {
    const size_t slash = description_file.find_last_of('/');
    return slash == std::string::npos ? std::string() : description_file.substr(0, slash + 1);
}

bool Music::reload_description(std::string& error) {
    if (description_file.empty()) return false;
    float fresh_bpm = bpm;
    std::unique_ptr<MidiFile> fresh = read_music_description(description_file.c_str(), fresh_bpm, nullptr, nullptr);
    bool same_tracks = midi && fresh->tracks.size() == midi->tracks.size();
    for (size_t i = 0; same_tracks && i < fresh->tracks.size(); ++i)
        same_tracks = fresh->tracks[i].has_name == midi->tracks[i].has_name && fresh->tracks[i].name == midi->tracks[i].name;
    if (!same_tracks) {
        error = "The score's tracks in " + description_file + " are not those the show started with; restart to take them";
        return false;
    }
    midi = std::move(fresh);
    bpm = fresh_bpm;
    return true;
}

uint32_t Music::get_track_count() const {
    if (!midi) ZV_FATAL("Attempted to get number of tracks without a valid MIDI file loaded!");
    return static_cast<uint32_t>(midi->tracks.size());
}

const char* Music::get_track_name(uint32_t track) const {
    if (!midi) ZV_FATAL("No valid MIDI file loaded!");
    const MidiTrack& t = midi->track(track);
    return t.has_name ? t.name.c_str() : nullptr;
}

uint32_t Music::get_track_note_count(uint32_t track) const {
    if (!midi) ZV_FATAL("Attempted to get number of track notes without a valid MIDI file loaded!");
    return static_cast<uint32_t>(midi->track(track).notes.size());
}

std::vector<bool> Music::get_note_triggers(uint32_t track, float beat_offset) {
    if (!midi) return {};
    return midi->note_triggers(track, static_cast<double>(get_beat()) + beat_offset);
}

std::vector<bool> Music::get_note_triggers(const char* track_name, float beat_offset) {
    if (!midi) ZV_FATAL("Attempted to get note states without a valid MIDI file loaded!");
    for (uint32_t i = 0; i < midi->tracks.size(); ++i)
        if (midi->tracks[i].has_name && midi->tracks[i].name == track_name)
            return get_note_triggers(i, beat_offset);
    ZV_FATAL("Could not find track %s", track_name);
}

std::vector<float> Music::get_note_values(uint32_t track_index, float beat) {
    if (!midi) return {};
    return midi->note_values(track_index, beat, bpm);
}

float Music::get_track_value(uint32_t track, float beat) {
    if (!midi) return 0.0f;
    midi->track(track);  // checks the index
    if (beat < 0) return 0.0f;
    float largest = 0.0f;
    for (float v : get_note_values(track, beat)) largest = std::max(largest, v);
    return largest;
}

// ---- per frame ------------------------------------------------------------------------------

void Music::update() {
    int32_t row = static_cast<int32_t>(std::floor(get_row()));
    if (poll_sync_editor(sync_device, row, &editor_callbacks, this) != 0)
        reconnect_sync_editor(sync_device, SYNC_EDITOR_HOST, SYNC_EDITOR_PORT, tick_count_ms());
    float oldest = beat_history[0];
    for (int i = 0; i < 9; ++i) beat_history[i] = beat_history[i + 1];
    beat_history[9] = get_beat();
    beat_step = (beat_history[9] - oldest) / 10.0f;
}
