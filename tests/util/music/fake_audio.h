// An audio layer for tests: no decoding, no device; the test sets the track and the clock.
#pragma once

#include <vector>

#include "platform/audio.h"

// An audio layer whose track and clock the test controls.
class FakeAudio : public AudioLayer {
public:
    uint32_t channels = 2, flags = 0, rate = 44100;
    uint64_t length = 4 * 44100;  // one second of 16-bit stereo
    uint64_t position = 0;
    AudioActivity state = AUDIO_STOPPED;
    std::vector<uint64_t> seeks;
    int frees = 0;

    uint32_t get_version() override { return 0x02040a00; }
    bool init(int, uint32_t) override { return true; }
    void free_all() override { ++frees; }
    bool decodes = true;  // false: the data is no sound the layer knows
    AudioStream create_stream(const void*, size_t, uint32_t) override { return decodes ? 1 : 0; }
    void free_stream(AudioStream) override {}
    bool get_info(AudioStream stream, AudioChannelInfo& info) override {
        if (!stream) return false;
        info = {rate, channels, flags};
        return true;
    }
    uint64_t get_length(AudioStream) override { return length; }
    double bytes_to_seconds(AudioStream, uint64_t bytes) override { return bytes / (rate * channels * 2.0); }
    uint64_t seconds_to_bytes(AudioStream, double s) override {
        uint64_t b = static_cast<uint64_t>(s * rate * channels * 2);
        return b - b % 4;
    }
    uint32_t get_data(AudioStream, void* buffer, uint32_t length_and_flags) override {
        bool as_float = length_and_flags & AUDIO_DATA_FLOAT;
        uint32_t values = (length_and_flags & ~AUDIO_DATA_FLOAT) / (as_float ? 4 : 2);
        for (uint32_t i = 0; i < values; ++i) {
            int16_t v = static_cast<int16_t>(i * 7);
            if (as_float) static_cast<float*>(buffer)[i] = v / 32768.0f;
            else static_cast<int16_t*>(buffer)[i] = v;
        }
        return values * (as_float ? 4 : 2);
    }
    uint64_t get_position(AudioStream) override { return position; }
    bool set_position(AudioStream, uint64_t p) override {
        seeks.push_back(p);
        position = p;
        return true;
    }
    void set_loop(AudioStream, bool) override {}
    bool play(AudioStream) override {
        state = AUDIO_PLAYING;
        return true;
    }
    bool pause(AudioStream) override {
        state = AUDIO_PAUSED;
        return true;
    }
    AudioActivity is_active(AudioStream) override { return state; }
    void set_volume(AudioStream, float) override {}
};
