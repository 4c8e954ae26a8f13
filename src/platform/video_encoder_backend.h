// The encoders' side of VideoEncoder, across the module boundary: the module
// (zorvane-encoders.so, beside the program) exports a factory by the name below.
// Depends on: platform/video_encoder (the settings).
#pragma once

#include <cstdint>
#include <string>

#include "platform/video_encoder.h"

constexpr const char* ENCODER_MODULE_NAME = "zorvane-encoders.so";
constexpr const char* ENCODER_FACTORY_NAME = "zorvane_make_encoder_backend";

// Called from one thread at a time; each returns false with the reason in `error`.
class EncoderBackend {
public:
    virtual ~EncoderBackend() = default;  // finishes an open file
    virtual bool open(const VideoEncoderSettings& settings, std::string& error) = 0;
    virtual bool add_video_frame(const uint8_t* pixels, std::string& error) = 0;
    virtual bool add_audio(const int16_t* samples, int sample_frames, std::string& error) = 0;
    virtual bool finish(std::string& error) = 0;
};
