// AviWriter: naming, lazy formats, the size-based split and the padded frame rows.
#include "scenes/aviwriter.h"

#include <cstdio>
#include <cstring>

#include "platform/byte_order.h"

namespace {

constexpr int32_t STREAM_SCALE = 10000;

// An uncompressed AVI frame stores each row padded to a multiple of 4 bytes.
int padded_row(int width) { return (width * 3 + 3) & ~3; }

}  // namespace

bool AviWriter::open(const char* name, float fps, int, int new_quality) {
    close();
    std::lock_guard<std::mutex> guard(lock);
    width = height = video_frame_count = audio_sample_pos = 0;
    frames_per_second = fps;
    base_name.assign(name, strnlen(name, 259));
    for (size_t i = base_name.size(); i-- > 0;) {
        if (base_name[i] == '/' || base_name[i] == '\\') break;
        if (base_name[i] == '.') {
            base_name.resize(i);
            break;
        }
    }
    file_index = 1;
    quality = new_quality;
    is_open = video_format_set = has_audio_stream = false;
    return create_file();
}

std::string AviWriter::file_name() const {
    char name[300];
    snprintf(name, sizeof name, "%s.%02d.avi", base_name.c_str(), file_index);
    return name;
}

bool AviWriter::create_file() {
    bytes_written = 0;
    video_stream = audio_stream = -1;
    if (!file.open(file_name())) {
        close_locked();
        return false;
    }
    AviStreamInfo video{};
    memcpy(video.type, "vids", 4);
    memcpy(video.handler, "DIB ", 4);
    video.scale = STREAM_SCALE;
    video.rate = static_cast<uint32_t>(frames_per_second * STREAM_SCALE + 0.5f);
    video.suggested_buffer_size = static_cast<uint32_t>(padded_row(width) * height);
    video.quality = quality;
    video.frame[2] = static_cast<int16_t>(width);
    video.frame[3] = static_cast<int16_t>(height);
    video.name = "Video";
    video_stream = file.create_stream(video);
    if (video_stream < 0) {
        close_locked();
        return false;
    }
    is_open = true;
    return true;
}

void AviWriter::set_video_size(int new_width, int new_height) {
    std::lock_guard<std::mutex> guard(lock);
    if (video_format_set) return;
    width = new_width;
    height = new_height;
}

void AviWriter::set_audio_format(const AudioFormat& format) {
    std::lock_guard<std::mutex> guard(lock);
    audio_format = format;
}

bool AviWriter::set_video_format() {
    // A BITMAPINFOHEADER: 40 bytes, 24-bit uncompressed, bottom-up (positive height).
    uint8_t header[40] = {};
    write_u32_le(header, 40);
    write_u32_le(header + 4, static_cast<uint32_t>(width));
    write_u32_le(header + 8, static_cast<uint32_t>(height));
    header[12] = 1;   // planes
    header[14] = 24;  // bits per pixel
    write_u32_le(header + 20, static_cast<uint32_t>(padded_row(width) * height));
    if (!file.set_format(video_stream, header, sizeof header) || !file.set_frame_size(video_stream, width, height)) {
        close_locked();
        return false;
    }
    video_frame_count = 0;
    video_format_set = true;
    return true;
}

bool AviWriter::create_audio_stream() {
    if (!is_open) return false;
    AviStreamInfo audio{};
    memcpy(audio.type, "auds", 4);
    audio.scale = 1;
    audio.rate = audio_format.samples_per_second;
    audio.suggested_buffer_size = audio_format.average_bytes_per_second;
    audio.sample_size = audio_format.block_align;
    audio.name = "Audio";
    audio_stream = file.create_stream(audio);
    // The first 18 bytes of the format record: a WAVEFORMATEX with no extra bytes.
    uint8_t format[18] = {};
    write_u16_le(format, audio_format.format_tag);
    write_u16_le(format + 2, audio_format.channels);
    write_u32_le(format + 4, audio_format.samples_per_second);
    write_u32_le(format + 8, audio_format.average_bytes_per_second);
    write_u16_le(format + 12, audio_format.block_align);
    write_u16_le(format + 14, audio_format.bits_per_sample);
    write_u16_le(format + 16, 0);  // no extra bytes follow
    if (audio_stream < 0 || audio_format.block_align == 0 || !file.set_format(audio_stream, format, sizeof format)) {
        close_locked();
        return false;
    }
    audio_sample_pos = 0;
    audio_block_align = audio_format.block_align;
    has_audio_stream = true;
    return true;
}

bool AviWriter::add_video_frame(const uint8_t* pixels) {
    std::lock_guard<std::mutex> guard(lock);
    if (is_open && video_frame_count == 0 && !video_format_set && width && height) set_video_format();
    if (!is_open || !video_format_set) return false;
    if (bytes_written > size_limit) {
        const bool had_audio = has_audio_stream;
        close_locked();
        ++file_index;
        if (!create_file() || !set_video_format() || (had_audio && !create_audio_stream())) return false;
    }
    const int row = width * 3, stride = padded_row(width);
    row_buffer.assign(static_cast<size_t>(stride) * height, 0);
    for (int y = 0; y < height; ++y)
        memcpy(&row_buffer[static_cast<size_t>(y) * stride], pixels + static_cast<size_t>(y) * row, static_cast<size_t>(row));
    const size_t written = file.write(video_stream, row_buffer.data(), row_buffer.size(), true);
    if (!written) return false;
    ++video_frame_count;
    bytes_written += static_cast<int64_t>(written);
    return true;
}

bool AviWriter::add_audio(const int16_t* samples, int sample_frames) {
    std::lock_guard<std::mutex> guard(lock);
    if (!has_audio_stream && !create_audio_stream()) return false;
    if (sample_frames <= 0) return false;
    const size_t written =
        file.write(audio_stream, samples, static_cast<size_t>(sample_frames) * audio_block_align, true);
    if (!written) return false;
    audio_sample_pos += sample_frames;
    bytes_written += static_cast<int64_t>(written);
    return true;
}

void AviWriter::close_locked() {
    if (is_open || file.is_open()) file.close();
    is_open = false;
    has_audio_stream = false;
    video_stream = audio_stream = -1;
}

void AviWriter::close() {
    std::lock_guard<std::mutex> guard(lock);
    close_locked();
}
