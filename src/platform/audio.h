// The audio layer: streams decoded from MP3 or Ogg Vorbis data held in memory, played through
// SDL audio (or a silent output that keeps time when there is no sound device), with byte
// positions of decoded 16-bit audio as the presentation's clock.
//
// The whole track is decoded once when its first stream is created; every stream over the
// same memory shares that decode, so the playing stream and the copies taken from a decoding
// stream agree sample for sample. The playing position is what is being heard: the bytes
// handed to the device minus what it still holds, interpolated between device callbacks from
// the high-resolution clock, and always a whole number of sample frames.
// Depends on: libmpg123, libvorbisfile, SDL audio.
#pragma once

#include <cstddef>
#include <cstdint>

using AudioStream = uint32_t;  // 0: no stream

constexpr uint32_t AUDIO_VERSION = 0x02040000;
constexpr uint32_t AUDIO_SAMPLE_8BITS = 1;
constexpr uint32_t AUDIO_SAMPLE_LOOP = 4;
constexpr uint32_t AUDIO_STREAM_PRESCAN = 0x20000;
constexpr uint32_t AUDIO_STREAM_DECODE = 0x200000;
constexpr uint32_t AUDIO_DATA_FLOAT = 0x40000000;

enum AudioActivity { AUDIO_STOPPED = 0, AUDIO_PLAYING = 1, AUDIO_PAUSED = 3 };

struct AudioChannelInfo {
    uint32_t freq;
    uint32_t chans;
    uint32_t flags;
};

// Everything Music needs from an audio library. Tests install their own.
class AudioLayer {
public:
    virtual ~AudioLayer() = default;
    virtual uint32_t get_version() = 0;
    virtual bool init(int device, uint32_t frequency) = 0;
    virtual void free_all() = 0;
    virtual AudioStream create_stream(const void* data, size_t size, uint32_t flags) = 0;
    virtual void free_stream(AudioStream stream) = 0;
    virtual bool get_info(AudioStream stream, AudioChannelInfo& info) = 0;
    virtual uint64_t get_length(AudioStream stream) = 0;
    virtual double bytes_to_seconds(AudioStream stream, uint64_t bytes) = 0;
    virtual uint64_t seconds_to_bytes(AudioStream stream, double seconds) = 0;
    // Decoding streams: the next `length` bytes (16-bit), or floats with AUDIO_DATA_FLOAT in
    // `length`; returns the bytes written.
    virtual uint32_t get_data(AudioStream stream, void* buffer, uint32_t length) = 0;
    virtual uint64_t get_position(AudioStream stream) = 0;
    virtual bool set_position(AudioStream stream, uint64_t position) = 0;
    virtual void set_loop(AudioStream stream, bool loop) = 0;
    virtual bool play(AudioStream stream) = 0;  // resumes where it was, never restarts
    virtual bool pause(AudioStream stream) = 0;
    virtual AudioActivity is_active(AudioStream stream) = 0;
    virtual void set_volume(AudioStream stream, float volume) = 0;
};

// The layer in use: SDL audio unless a test installed another (nullptr restores SDL's).
AudioLayer& audio_layer();
void set_audio_layer(AudioLayer* layer);

// ---- decoding, shared with tools and tests --------------------------------------------------

struct DecodedAudio {
    uint32_t rate = 0;
    uint32_t channels = 0;
    int16_t* samples = nullptr;  // interleaved, owned (free)
    size_t sample_count = 0;     // values, all channels
};

// Decodes a whole MP3 or Ogg Vorbis file held in memory (gapless: encoder delay and padding
// removed). Returns false for data that is neither.
bool decode_audio(const void* data, size_t size, DecodedAudio& out);

// The smooth clock, apart from any device: where playback is between two device callbacks.
struct PlaybackClock {
    uint64_t base_position = 0;   // bytes at base_time
    double base_time = 0;         // seconds
    uint64_t limit_position = 0;  // bytes handed to the device so far
    uint64_t last_reported = 0;
    uint32_t bytes_per_second = 0;
    uint32_t frame_bytes = 4;

    // A device callback at `now` hands over [position, position + length).
    void handed_over(uint64_t position, uint32_t length, double now);
    // A seek, a pause or a resume: the position is exact from here.
    void reset(uint64_t position, double now, uint64_t limit);
    // Heard position at `now`, whole frames, never below an earlier reading.
    uint64_t position(double now);
};
