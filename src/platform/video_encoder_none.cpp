// VideoEncoder in a build without FFmpeg's libraries: every encoded capture is refused with
// the reason, and AVI capture still works.
#include "platform/video_encoder.h"

struct VideoEncoder::Impl {};

VideoEncoder::VideoEncoder() = default;
VideoEncoder::~VideoEncoder() = default;

bool VideoEncoder::open(const VideoEncoderSettings&, std::string& error) {
    error = "This zorvane was built without the video encoders (ZORVANE_ENCODERS=OFF); capture to .avi instead";
    return false;
}

bool VideoEncoder::add_video_frame(const uint8_t*, std::string&) { return false; }
bool VideoEncoder::add_audio(const int16_t*, int, std::string&) { return false; }
bool VideoEncoder::finish(std::string&) { return true; }
bool VideoEncoder::is_open() const { return false; }
