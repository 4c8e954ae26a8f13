// Capture files: one video stream of uncompressed 24-bit bottom-up BGR frames and one PCM audio
// stream, written as "<base name>.<NN>.avi" and continued in the next numbered file when a file
// grows past the size limit. Every operation takes the writer's lock.
// Depends on: platform/avifile, util/music (AudioFormat).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/avifile.h"
#include "util/music/music.h"

class AviWriter {
public:
    static constexpr int64_t DEFAULT_SIZE_LIMIT = 0x707FFFFF;

    AviWriter() = default;
    ~AviWriter() { close(); }
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Starts a capture into "<name without extension>.01.avi". The codec is always
    // uncompressed here: 0 and -1 (ask) both mean "DIB ".
    bool open(const char* name, float frames_per_second, int codec, int quality);
    // Ignored once the first frame has fixed the format.
    void set_video_size(int new_width, int new_height);
    void set_audio_format(const AudioFormat& format);
    // One frame of width x height pixels, 3 bytes each (blue, green, red), rows bottom-up
    // with no gap between rows.
    bool add_video_frame(const uint8_t* pixels);
    // Interleaved signed 16-bit PCM; 0 sample frames writes nothing and fails.
    bool add_audio(const int16_t* samples, int sample_frames);
    void close();

    std::string file_name() const;  // of the current file
    // Why writing the current file failed (the system's words); empty while nothing failed.
    std::string write_failure() const { return file.failure(); }

    int32_t width = 0, height = 0;
    int32_t video_frame_count = 0;
    int32_t audio_sample_pos = 0;
    int32_t audio_block_align = 0;
    float frames_per_second = 0;
    std::string base_name;
    int32_t file_index = 1;
    int64_t bytes_written = 0;
    // Past this many bytes the next frame starts a new file; tests lower it.
    int64_t size_limit = DEFAULT_SIZE_LIMIT;
    bool is_open = false;
    bool video_format_set = false;
    bool has_audio_stream = false;

private:
    bool create_file();
    bool set_video_format();
    bool create_audio_stream();
    void close_locked();

    std::mutex lock;
    AviFile file;
    int video_stream = -1, audio_stream = -1;
    AudioFormat audio_format{};
    int32_t quality = 0;
    std::vector<uint8_t> row_buffer;
};
