// Encoded capture files through FFmpeg's libraries, frame by frame as the show renders:
// MP4 (H.264 High, 4:2:0, BT.709 limited range, closed half-second GOPs, the index at the front,
// AAC-LC at 192 kbit/s) for video sites, and Matroska (FFV1 on 8-bit BGR, FLAC) as a lossless
// master whose decoded frames are the captured pixels exactly.
// The encoders live in a module loaded by the first open(), so that a run that does not encode
// never loads FFmpeg's libraries; a build without the module (the player released to viewers)
// has this interface still, and open() says that the encoders are missing.
// Depends on: POSIX (dlopen, threads); the module on libavformat, libavcodec, libswscale,
// libswresample and libavutil.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

enum class VideoContainer { Mp4, Mkv };

struct VideoEncoderSettings {
    std::string path;
    VideoContainer container = VideoContainer::Mp4;
    int width = 0, height = 0;
    int frames_per_second = 30;
    int crf = 18;  // H.264 constant quality, 1 to 51
    uint32_t sample_rate = 44100;
    int channels = 2;
};

class VideoEncoder {
public:
    VideoEncoder();
    ~VideoEncoder();  // finishes an open file
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Each returns false with the reason in `error` (the library's or the system's words). Frames
    // and samples are encoded on a thread of their own: a failure to write one is reported by a
    // later call, or by finish().
    bool open(const VideoEncoderSettings& settings, std::string& error);
    // width x height pixels of 3 bytes (blue, green, red), rows bottom-up, no gap between rows.
    bool add_video_frame(const uint8_t* pixels, std::string& error);
    // Interleaved signed 16-bit samples.
    bool add_audio(const int16_t* samples, int sample_frames, std::string& error);
    // Flushes the encoders and writes the index; the file is complete after it.
    bool finish(std::string& error);
    bool is_open() const;

private:
    struct Pipeline;
    VideoEncoderSettings settings;
    std::unique_ptr<class EncoderBackend> impl;
    std::unique_ptr<Pipeline> pipeline;  // declared after impl: it goes first
};
