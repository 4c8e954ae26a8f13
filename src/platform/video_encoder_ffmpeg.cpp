// The encoders behind VideoEncoder, built as a module of their own (zorvane-encoders.so) so
// that FFmpeg's libraries, and the codec libraries they pull in, are loaded only by a run that
// encodes: one output context, a video and an audio encoder, a colour converter for H.264, and
// a sample FIFO, since the audio encoders take fixed-size frames while the show hands over one
// video frame's worth of samples at a time.
#include "platform/video_encoder_backend.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::string library_error(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace

struct FfmpegEncoder final : EncoderBackend {
    VideoEncoderSettings settings;
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVStream* video_stream = nullptr;
    AVStream* audio_stream = nullptr;
    SwsContext* scaler = nullptr;
    SwrContext* resampler = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVFrame* picture = nullptr;
    AVFrame* sound = nullptr;
    AVPacket* packet = nullptr;
    int64_t video_pts = 0;
    int64_t audio_pts = 0;
    bool header_written = false;
    bool finished = false;

    ~FfmpegEncoder() override {
        if (header_written && !finished) {
            std::string ignored;
            finish(ignored);
        }
        release();
    }

    void release() {
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        sws_freeContext(scaler);
        scaler = nullptr;
        swr_free(&resampler);
        if (fifo) av_audio_fifo_free(fifo);
        fifo = nullptr;
        av_frame_free(&picture);
        av_frame_free(&sound);
        av_packet_free(&packet);
        if (format) {
            if (format->pb) avio_closep(&format->pb);
            avformat_free_context(format);
            format = nullptr;
        }
    }

    bool fail(std::string& error, const std::string& what, int code) {
        error = what + ": " + library_error(code);
        return false;
    }

    bool open(const VideoEncoderSettings& wanted, std::string& error) override;
    bool open_video(std::string& error);
    bool open_audio(std::string& error);
    bool add_video_frame(const uint8_t* pixels, std::string& error) override;
    bool add_audio(const int16_t* samples, int sample_frames, std::string& error) override;
    bool encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame, std::string& error);
    bool drain_fifo(bool everything, std::string& error);
    bool finish(std::string& error) override;
    bool index_at_front(const std::string& path, std::string& error);
};

bool FfmpegEncoder::open(const VideoEncoderSettings& wanted, std::string& error) {
    settings = wanted;
    const bool mp4 = settings.container == VideoContainer::Mp4;
    if (mp4 && (settings.width % 2 != 0 || settings.height % 2 != 0)) {
        error = "MP4 capture needs an even width and height (H.264 in 4:2:0), not " + std::to_string(settings.width) +
                "x" + std::to_string(settings.height);
        return false;
    }
    int result = avformat_alloc_output_context2(&format, nullptr, mp4 ? "mp4" : "matroska", settings.path.c_str());
    if (result < 0 || !format) return fail(error, "No " + std::string(mp4 ? "MP4" : "Matroska") + " muxer", result);
    packet = av_packet_alloc();
    if (!packet) return fail(error, "Out of memory", AVERROR(ENOMEM));
    if (!open_video(error) || !open_audio(error)) return false;

    result = avio_open(&format->pb, settings.path.c_str(), AVIO_FLAG_WRITE);
    if (result < 0) return fail(error, "Cannot create " + settings.path, result);
    AVDictionary* options = nullptr;
    // Written as fragments, one per group of pictures, so that whatever reached the disk plays
    // when a capture is cut short (a full disk, a size limit, a crash); finish() then rewrites it
    // with one index at the front, as players and video sites want.
    if (mp4) av_dict_set(&options, "movflags", "frag_keyframe+delay_moov", 0);
    result = avformat_write_header(format, &options);
    av_dict_free(&options);
    if (result < 0) return fail(error, "Cannot write the header of " + settings.path, result);
    header_written = true;
    return true;
}

bool FfmpegEncoder::open_video(std::string& error) {
    const bool mp4 = settings.container == VideoContainer::Mp4;
    const AVCodec* codec = mp4 ? avcodec_find_encoder_by_name("libx264") : avcodec_find_encoder(AV_CODEC_ID_FFV1);
    if (!codec) {
        error = mp4 ? "This FFmpeg has no libx264 encoder, which MP4 capture needs (H.264)"
                    : "This FFmpeg has no FFV1 encoder, which MKV capture needs";
        return false;
    }
    video = avcodec_alloc_context3(codec);
    if (!video) return fail(error, "Out of memory", AVERROR(ENOMEM));
    video->width = settings.width;
    video->height = settings.height;
    video->time_base = AVRational{1, settings.frames_per_second};
    video->framerate = AVRational{settings.frames_per_second, 1};
    video->sample_aspect_ratio = AVRational{1, 1};
    AVDictionary* options = nullptr;
    if (mp4) {
        video->pix_fmt = AV_PIX_FMT_YUV420P;
        // A key frame every half second, each starting a closed group: any cut point is clean.
        video->gop_size = std::max(1, settings.frames_per_second / 2);
        video->keyint_min = video->gop_size;
        video->flags |= AV_CODEC_FLAG_CLOSED_GOP;
        // Written into the stream, so that a player converts back with the matrix we used.
        video->color_range = AVCOL_RANGE_MPEG;
        video->colorspace = AVCOL_SPC_BT709;
        video->color_primaries = AVCOL_PRI_BT709;
        video->color_trc = AVCOL_TRC_BT709;
        av_dict_set(&options, "profile", "high", 0);
        av_dict_set(&options, "crf", std::to_string(settings.crf).c_str(), 0);
        // The show and the encoder share the machine's cores: "veryfast" keeps encoding at a
        // fifth of the drawing time at 1080p on a software rasteriser, and at this quality the
        // file is no larger than "medium" makes it.
        av_dict_set(&options, "preset", "veryfast", 0);
        av_dict_set(&options, "sc_threshold", "0", 0);  // no extra key frames between the fixed ones
    } else {
        // 8-bit BGR with an unused fourth byte: FFV1 keeps it exactly (a reversible colour
        // transform), so the master decodes to the captured pixels.
        video->pix_fmt = AV_PIX_FMT_BGR0;
        video->gop_size = 1;
        av_dict_set(&options, "level", "3", 0);
        av_dict_set(&options, "slicecrc", "1", 0);
        av_dict_set(&options, "slices", "4", 0);  // encoded side by side, one thread each
        video->thread_count = 0;
    }
    if (format->oformat->flags & AVFMT_GLOBALHEADER) video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int result = avcodec_open2(video, codec, &options);
    av_dict_free(&options);
    if (result < 0) return fail(error, std::string("Cannot open the ") + codec->name + " encoder", result);

    video_stream = avformat_new_stream(format, nullptr);
    if (!video_stream) return fail(error, "Out of memory", AVERROR(ENOMEM));
    video_stream->time_base = video->time_base;
    video_stream->avg_frame_rate = video->framerate;
    result = avcodec_parameters_from_context(video_stream->codecpar, video);
    if (result < 0) return fail(error, "Cannot describe the video stream", result);

    picture = av_frame_alloc();
    if (!picture) return fail(error, "Out of memory", AVERROR(ENOMEM));
    picture->format = video->pix_fmt;
    picture->width = settings.width;
    picture->height = settings.height;
    result = av_frame_get_buffer(picture, 0);
    if (result < 0) return fail(error, "Cannot allocate a video frame", result);
    if (mp4) {
        scaler = sws_getContext(settings.width, settings.height, AV_PIX_FMT_BGR24, settings.width, settings.height,
                                AV_PIX_FMT_YUV420P, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr,
                                nullptr, nullptr);
        if (!scaler) return fail(error, "Cannot convert BGR to YUV 4:2:0", AVERROR(EINVAL));
        // BT.709 coefficients into limited range; the source is full-range RGB.
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(scaler, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    }
    return true;
}

bool FfmpegEncoder::open_audio(std::string& error) {
    const bool mp4 = settings.container == VideoContainer::Mp4;
    const AVCodec* codec = avcodec_find_encoder(mp4 ? AV_CODEC_ID_AAC : AV_CODEC_ID_FLAC);
    if (!codec) {
        error = mp4 ? "This FFmpeg has no AAC encoder, which MP4 capture needs"
                    : "This FFmpeg has no FLAC encoder, which MKV capture needs";
        return false;
    }
    audio = avcodec_alloc_context3(codec);
    if (!audio) return fail(error, "Out of memory", AVERROR(ENOMEM));
    audio->sample_fmt = mp4 ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_S16;
    audio->sample_rate = static_cast<int>(settings.sample_rate);
    av_channel_layout_default(&audio->ch_layout, settings.channels);
    audio->time_base = AVRational{1, audio->sample_rate};
    if (mp4) {
        audio->bit_rate = 192000;
        audio->profile = FF_PROFILE_AAC_LOW;
    }
    if (format->oformat->flags & AVFMT_GLOBALHEADER) audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int result = avcodec_open2(audio, codec, nullptr);
    if (result < 0) return fail(error, std::string("Cannot open the ") + codec->name + " encoder", result);

    audio_stream = avformat_new_stream(format, nullptr);
    if (!audio_stream) return fail(error, "Out of memory", AVERROR(ENOMEM));
    audio_stream->time_base = audio->time_base;
    result = avcodec_parameters_from_context(audio_stream->codecpar, audio);
    if (result < 0) return fail(error, "Cannot describe the audio stream", result);

    AVChannelLayout layout{};
    av_channel_layout_default(&layout, settings.channels);
    result = swr_alloc_set_opts2(&resampler, &layout, audio->sample_fmt, audio->sample_rate, &layout,
                                 AV_SAMPLE_FMT_S16, audio->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    if (result < 0 || swr_init(resampler) < 0) return fail(error, "Cannot convert the samples", result);
    fifo = av_audio_fifo_alloc(audio->sample_fmt, settings.channels, 4096);
    sound = av_frame_alloc();
    if (!fifo || !sound) return fail(error, "Out of memory", AVERROR(ENOMEM));
    return true;
}

bool FfmpegEncoder::encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame, std::string& error) {
    int result = avcodec_send_frame(codec, frame);
    if (result < 0) return fail(error, "Encoding failed", result);
    for (;;) {
        result = avcodec_receive_packet(codec, packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
        if (result < 0) return fail(error, "Encoding failed", result);
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        result = av_interleaved_write_frame(format, packet);
        if (result < 0) {
            // The muxer keeps the reason of a failed write in the I/O context.
            const int cause = format->pb && format->pb->error < 0 ? format->pb->error : result;
            error = library_error(cause);
            return false;
        }
    }
}

bool FfmpegEncoder::add_video_frame(const uint8_t* pixels, std::string& error) {
    int result = av_frame_make_writable(picture);
    if (result < 0) return fail(error, "Cannot write a video frame", result);
    const int stride = settings.width * 3;
    if (scaler) {
        // Bottom-up rows: start at the last and step backwards, so that the frame is upright.
        const uint8_t* source[1] = {pixels + static_cast<size_t>(settings.height - 1) * stride};
        const int source_stride[1] = {-stride};
        sws_scale(scaler, source, source_stride, 0, settings.height, picture->data, picture->linesize);
    } else {
        for (int y = 0; y < settings.height; ++y) {
            const uint8_t* from = pixels + static_cast<size_t>(settings.height - 1 - y) * stride;
            uint8_t* to = picture->data[0] + static_cast<size_t>(y) * picture->linesize[0];
            for (int x = 0; x < settings.width; ++x, from += 3, to += 4) {
                to[0] = from[0];
                to[1] = from[1];
                to[2] = from[2];
                to[3] = 0;
            }
        }
    }
    picture->pts = video_pts++;
    return encode(video, video_stream, picture, error);
}

bool FfmpegEncoder::add_audio(const int16_t* samples, int sample_frames, std::string& error) {
    if (sample_frames <= 0) return true;
    uint8_t** converted = nullptr;
    int result = av_samples_alloc_array_and_samples(&converted, nullptr, settings.channels, sample_frames,
                                                    audio->sample_fmt, 0);
    if (result < 0) return fail(error, "Out of memory", result);
    const uint8_t* source[1] = {reinterpret_cast<const uint8_t*>(samples)};
    result = swr_convert(resampler, converted, sample_frames, source, sample_frames);
    if (result >= 0) result = av_audio_fifo_write(fifo, reinterpret_cast<void**>(converted), result);
    av_freep(&converted[0]);
    av_freep(&converted);
    if (result < 0) return fail(error, "Cannot queue the samples", result);
    return drain_fifo(false, error);
}

// Whole encoder frames while there are enough samples; with `everything`, the rest as a last,
// shorter one.
bool FfmpegEncoder::drain_fifo(bool everything, std::string& error) {
    const int frame_size = audio->frame_size > 0 ? audio->frame_size : 4096;
    while (av_audio_fifo_size(fifo) >= frame_size || (everything && av_audio_fifo_size(fifo) > 0)) {
        const int count = std::min(frame_size, av_audio_fifo_size(fifo));
        av_frame_unref(sound);
        sound->nb_samples = count;
        sound->format = audio->sample_fmt;
        sound->sample_rate = audio->sample_rate;
        int result = av_channel_layout_copy(&sound->ch_layout, &audio->ch_layout);
        if (result >= 0) result = av_frame_get_buffer(sound, 0);
        if (result < 0) return fail(error, "Cannot allocate an audio frame", result);
        if (av_audio_fifo_read(fifo, reinterpret_cast<void**>(sound->data), count) < count)
            return fail(error, "Cannot read the queued samples", AVERROR(EIO));
        sound->pts = audio_pts;
        audio_pts += count;
        if (!encode(audio, audio_stream, sound, error)) return false;
    }
    return true;
}

bool FfmpegEncoder::finish(std::string& error) {
    if (!header_written || finished) return true;
    finished = true;
    bool ok = drain_fifo(true, error) && encode(audio, audio_stream, nullptr, error) &&
              encode(video, video_stream, nullptr, error);
    const int result = av_write_trailer(format);
    if (ok && result < 0) ok = fail(error, "Cannot finish " + settings.path, result);
    if (format->pb) {
        avio_flush(format->pb);
        if (ok && format->pb->error < 0) ok = fail(error, "Cannot finish " + settings.path, format->pb->error);
        avio_closep(&format->pb);
    }
    if (ok && settings.container == VideoContainer::Mp4) ok = index_at_front(settings.path, error);
    return ok;
}

namespace {

struct Remux {
    AVFormatContext* in = nullptr;
    AVFormatContext* out = nullptr;
    AVPacket* packet = av_packet_alloc();
    ~Remux() {
        av_packet_free(&packet);
        avformat_close_input(&in);
        if (out) {
            if (out->pb) avio_closep(&out->pb);
            avformat_free_context(out);
        }
    }
};

}  // namespace

// Copies the fragmented file's packets, unchanged, into one with a single index before the
// data, and puts it in the file's place. On failure the fragmented file stays as it is.
bool FfmpegEncoder::index_at_front(const std::string& path, std::string& error) {
    const std::string part = path + ".part";
    Remux r;
    int result = r.packet ? avformat_open_input(&r.in, path.c_str(), nullptr, nullptr) : AVERROR(ENOMEM);
    if (result >= 0) result = avformat_find_stream_info(r.in, nullptr);
    if (result >= 0) result = avformat_alloc_output_context2(&r.out, nullptr, "mp4", part.c_str());
    for (unsigned i = 0; result >= 0 && i < r.in->nb_streams; ++i) {
        AVStream* stream = avformat_new_stream(r.out, nullptr);
        result = stream ? avcodec_parameters_copy(stream->codecpar, r.in->streams[i]->codecpar) : AVERROR(ENOMEM);
        if (stream) {
            stream->codecpar->codec_tag = 0;
            stream->time_base = r.in->streams[i]->time_base;
            // The fragments do not keep the encoder's delay, which the index's edit list trims.
            if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) stream->codecpar->initial_padding = audio->initial_padding;
        }
    }
    if (result >= 0) result = avio_open(&r.out->pb, part.c_str(), AVIO_FLAG_WRITE);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    if (result >= 0) result = avformat_write_header(r.out, &options);
    av_dict_free(&options);
    // The fragments give the last audio packet a whole encoder frame; it is held back until the
    // end and cut to the samples the show handed over, so that sound and picture end together.
    int audio_index = -1;
    for (unsigned i = 0; i < (r.in ? r.in->nb_streams : 0); ++i)
        if (r.in->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) audio_index = static_cast<int>(i);
    AVPacket* held = av_packet_alloc();
    bool holding = false;
    auto write = [&](AVPacket* p) {
        const int index = p->stream_index;
        av_packet_rescale_ts(p, r.in->streams[index]->time_base, r.out->streams[index]->time_base);
        p->pos = -1;
        return av_interleaved_write_frame(r.out, p);
    };
    if (!held) result = AVERROR(ENOMEM);
    while (result >= 0) {
        result = av_read_frame(r.in, r.packet);
        if (result == AVERROR_EOF) {
            result = 0;
            if (holding) {
                const int64_t end = av_rescale_q(audio_pts, AVRational{1, audio->sample_rate},
                                                 r.in->streams[audio_index]->time_base);
                if (held->pts != AV_NOPTS_VALUE && end > held->pts) held->duration = end - held->pts;
                result = write(held);
            }
            break;
        }
        if (result < 0) break;
        if (r.packet->stream_index == audio_index) {
            if (holding) result = write(held);
            av_packet_move_ref(held, r.packet);
            holding = true;
            continue;
        }
        result = write(r.packet);
    }
    av_packet_free(&held);
    if (result >= 0) result = av_write_trailer(r.out);
    if (result >= 0 && r.out->pb) {
        avio_flush(r.out->pb);
        result = r.out->pb->error;
        avio_closep(&r.out->pb);
    }
    if (result >= 0 && rename(part.c_str(), path.c_str()) != 0) result = AVERROR(errno);
    if (result < 0) {
        remove(part.c_str());
        return fail(error, "Cannot move the index of " + path + " to the front (the file plays as written)", result);
    }
    return true;
}

extern "C" __attribute__((visibility("default"))) EncoderBackend* zorvane_make_encoder_backend() {
    av_log_set_level(AV_LOG_ERROR);
    return new FfmpegEncoder();
}
