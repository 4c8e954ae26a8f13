// The audio layer on SDL audio, libmpg123 and libvorbisfile.
#include "platform/audio.h"

#include <SDL/SDL.h>
#include <mpg123.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/clock.h"

// ---- the clock ------------------------------------------------------------------------------

void PlaybackClock::handed_over(uint64_t position, uint32_t length, double now) {
    base_position = position;
    base_time = now;
    limit_position = position + length;
}

void PlaybackClock::reset(uint64_t position, double now, uint64_t limit) {
    base_position = position;
    base_time = now;
    limit_position = limit;
    last_reported = position;
}

uint64_t PlaybackClock::position(double now) {
    double elapsed = std::max(0.0, now - base_time);
    uint64_t heard = base_position + static_cast<uint64_t>(elapsed * bytes_per_second);
    heard = std::min(heard, limit_position);
    heard -= heard % frame_bytes;
    last_reported = std::max(last_reported, heard);
    return last_reported;
}

// ---- decoding -------------------------------------------------------------------------------

namespace {

// Grows in place where it can: a realloc of a block this large moves pages rather than copying
// them, so a whole soundtrack is never held twice while it decodes.
struct PcmBuffer {
    int16_t* data = nullptr;
    size_t size = 0, capacity = 0;
    PcmBuffer() = default;
    PcmBuffer(const PcmBuffer&) = delete;
    PcmBuffer& operator=(const PcmBuffer&) = delete;
    ~PcmBuffer() { free(data); }
    bool append(const int16_t* values, size_t count) {
        if (count == 0) return true;  // a decoder's empty read; there may be no block yet
        if (count > capacity - size) {
            size_t wanted = std::max(size + count, std::max<size_t>(capacity * 2, 1 << 16));
            auto* grown = static_cast<int16_t*>(realloc(data, wanted * sizeof(int16_t)));
            if (!grown) return false;
            data = grown;
            capacity = wanted;
        }
        memcpy(data + size, values, count * sizeof(int16_t));
        size += count;
        return true;
    }
    // Hands the values over, at least one element, owned by the caller (free).
    int16_t* release() {
        auto* fitted = static_cast<int16_t*>(realloc(data, std::max<size_t>(1, size) * sizeof(int16_t)));
        int16_t* out = fitted ? fitted : data;
        data = nullptr;
        size = capacity = 0;
        return out;
    }
};

struct MemoryFile {
    const uint8_t* data;
    size_t size;
    size_t at;
};

size_t vorbis_read(void* buffer, size_t size, size_t count, void* source) {
    auto* f = static_cast<MemoryFile*>(source);
    size_t bytes = std::min(size * count, f->size - f->at);
    memcpy(buffer, f->data + f->at, bytes);
    f->at += bytes;
    return size ? bytes / size : 0;
}

int vorbis_seek(void* source, ogg_int64_t offset, int whence) {
    auto* f = static_cast<MemoryFile*>(source);
    ogg_int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<ogg_int64_t>(f->at)
                                                                   : static_cast<ogg_int64_t>(f->size);
    ogg_int64_t target = base + offset;
    if (target < 0 || target > static_cast<ogg_int64_t>(f->size)) return -1;
    f->at = static_cast<size_t>(target);
    return 0;
}

long vorbis_tell(void* source) { return static_cast<long>(static_cast<MemoryFile*>(source)->at); }

bool decode_vorbis(const void* data, size_t size, PcmBuffer& pcm, uint32_t& rate,
                   uint32_t& channels) {
    MemoryFile file{static_cast<const uint8_t*>(data), size, 0};
    OggVorbis_File vf;
    ov_callbacks callbacks{vorbis_read, vorbis_seek, nullptr, vorbis_tell};
    if (ov_open_callbacks(&file, &vf, nullptr, 0, callbacks) != 0) return false;
    vorbis_info* info = ov_info(&vf, -1);
    rate = static_cast<uint32_t>(info->rate);
    channels = static_cast<uint32_t>(info->channels);
    char buffer[16384];
    int section = 0;
    bool ok = true;
    for (;;) {
        long got = ov_read(&vf, buffer, sizeof buffer, 0, 2, 1, &section);
        if (got == 0) break;
        if (got < 0) {
            if (got == OV_HOLE) continue;
            ok = false;
            break;
        }
        if (!pcm.append(reinterpret_cast<const int16_t*>(buffer), static_cast<size_t>(got) / 2)) {
            ok = false;
            break;
        }
    }
    ov_clear(&vf);
    return ok;
}

ssize_t mpg123_memory_read(void* handle, void* buffer, size_t size) {
    auto* f = static_cast<MemoryFile*>(handle);
    size_t bytes = std::min(size, f->size - f->at);
    memcpy(buffer, f->data + f->at, bytes);
    f->at += bytes;
    return static_cast<ssize_t>(bytes);
}

off_t mpg123_memory_seek(void* handle, off_t offset, int whence) {
    auto* f = static_cast<MemoryFile*>(handle);
    off_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<off_t>(f->at) : static_cast<off_t>(f->size);
    off_t target = base + offset;
    if (target < 0 || target > static_cast<off_t>(f->size)) return -1;
    f->at = static_cast<size_t>(target);
    return target;
}

bool decode_mp3(const void* data, size_t size, PcmBuffer& pcm, uint32_t& rate,
                uint32_t& channels) {
    static std::once_flag library;
    std::call_once(library, [] { mpg123_init(); });
    int error = 0;
    mpg123_handle* mh = mpg123_new(nullptr, &error);
    if (!mh) return false;
    mpg123_param(mh, MPG123_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0);
    mpg123_format_none(mh);
    for (long r : {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L})
        mpg123_format(mh, r, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    MemoryFile file{static_cast<const uint8_t*>(data), size, 0};
    mpg123_replace_reader_handle(mh, mpg123_memory_read, mpg123_memory_seek, nullptr);
    bool ok = mpg123_open_handle(mh, &file) == MPG123_OK;
    long found_rate = 0;
    int found_channels = 0, encoding = 0;
    unsigned char buffer[16384];
    while (ok) {
        size_t done = 0;
        int result = mpg123_read(mh, buffer, sizeof buffer, &done);
        if (!pcm.append(reinterpret_cast<const int16_t*>(buffer), done / 2)) ok = false;
        if (result == MPG123_NEW_FORMAT) {
            mpg123_getformat(mh, &found_rate, &found_channels, &encoding);
            continue;
        }
        if (result == MPG123_DONE) break;
        if (result != MPG123_OK) ok = false;
    }
    if (found_rate == 0) mpg123_getformat(mh, &found_rate, &found_channels, &encoding);
    mpg123_close(mh);
    mpg123_delete(mh);
    rate = static_cast<uint32_t>(found_rate);
    channels = static_cast<uint32_t>(found_channels);
    return ok && rate > 0 && channels > 0 && pcm.size > 0;
}

}  // namespace

bool decode_audio(const void* data, size_t size, DecodedAudio& out) {
    PcmBuffer pcm;
    uint32_t rate = 0, channels = 0;
    bool ok = size >= 4 && memcmp(data, "OggS", 4) == 0 ? decode_vorbis(data, size, pcm, rate, channels)
                                                         : decode_mp3(data, size, pcm, rate, channels);
    if (!ok || channels == 0) return false;
    pcm.size -= pcm.size % channels;  // whole frames only
    out.rate = rate;
    out.channels = channels;
    out.sample_count = pcm.size;
    out.samples = pcm.release();
    return true;
}

// ---- SDL output -----------------------------------------------------------------------------

namespace {

double now_seconds() { return static_cast<double>(performance_counter()) / 1e9; }

// A track decodes on a thread of its own from the moment its first stream is made: the show
// loads its scenes meanwhile, and every call that needs the samples waits for them.
struct Track {
    DecodedAudio audio;
    const void* data;
    size_t size;
    std::future<bool> decoding;
    bool decoded = false;
    ~Track() {
        if (decoding.valid()) decoding.wait();  // the decoder writes into `audio`
        free(audio.samples);
    }
    bool wait() {
        if (decoding.valid()) decoded = decoding.get();
        return decoded;
    }
    uint64_t length() const { return audio.sample_count * 2; }
    uint32_t bytes_per_second() const { return audio.rate * audio.channels * 2; }
};

struct Stream {
    std::shared_ptr<Track> track;
    bool decode_only;
    bool loop;
    float volume = 1.0f;
    AudioActivity state = AUDIO_STOPPED;
    uint64_t cursor = 0;  // next byte handed to the device (or read by get_data)
    PlaybackClock clock;
};

class SdlAudioLayer : public AudioLayer {
public:
    uint32_t get_version() override { return AUDIO_VERSION; }

    bool init(int, uint32_t frequency) override {
        std::lock_guard<std::mutex> lock(mutex);
        if (initialised) return true;
        device_rate = frequency;
        initialised = true;
        return true;
    }

    void free_all() override {
        close_device();
        std::lock_guard<std::mutex> lock(mutex);
        streams.clear();
        playing = 0;
        initialised = false;
    }

    AudioStream create_stream(const void* data, size_t size, uint32_t flags) override {
        std::shared_ptr<Track> track;
        {
            std::lock_guard<std::mutex> lock(mutex);
            for (auto& [handle, s] : streams)
                if (s.track->data == data && s.track->size == size) track = s.track;
        }
        if (!track) {
            track = std::make_shared<Track>();
            track->data = data;
            track->size = size;
            Track* decoding = track.get();  // the track waits for its decoder before it goes
            track->decoding = std::async(std::launch::async, [decoding] {
                return decode_audio(decoding->data, decoding->size, decoding->audio);
            });
        }
        std::lock_guard<std::mutex> lock(mutex);
        Stream s;
        s.track = track;
        s.decode_only = (flags & AUDIO_STREAM_DECODE) != 0;
        s.loop = (flags & AUDIO_SAMPLE_LOOP) != 0;
        AudioStream handle = ++next_handle;
        streams[handle] = s;
        return handle;
    }

    void free_stream(AudioStream stream) override {
        std::lock_guard<std::mutex> lock(mutex);
        streams.erase(stream);
        if (playing == stream) playing = 0;
    }

    bool get_info(AudioStream stream, AudioChannelInfo& info) override {
        std::lock_guard<std::mutex> lock(mutex);
        Stream* s = find(stream);
        if (!s) return false;
        info = AudioChannelInfo{s->track->audio.rate, s->track->audio.channels, 0};
        return true;
    }

    uint64_t get_length(AudioStream stream) override {
        std::lock_guard<std::mutex> lock(mutex);
        Stream* s = find(stream);
        return s ? s->track->length() : 0;
    }

    double bytes_to_seconds(AudioStream stream, uint64_t bytes) override {
        std::lock_guard<std::mutex> lock(mutex);
        Stream* s = find(stream);
        return s ? static_cast<double>(bytes) / s->track->bytes_per_second() : 0.0;
    }

    uint64_t seconds_to_bytes(AudioStream stream, double seconds) override {
        std::lock_guard<std::mutex> lock(mutex);
        Stream* s = find(stream);
        if (!s || !(seconds > 0)) return 0;
        uint64_t bytes = static_cast<uint64_t>(seconds * s->track->bytes_per_second());
        return bytes - bytes % s->clock.frame_bytes;
    }

    uint32_t get_data(AudioStream stream, void* buffer, uint32_t length) override {
        std::lock_guard<std::mutex> lock(mutex);
        Stream* s = find(stream);
        if (!s) return 0;
        bool as_float = (length & AUDIO_DATA_FLOAT) != 0;
        uint64_t wanted = length & ~AUDIO_DATA_FLOAT;
        uint64_t first = s->cursor / 2;
        uint64_t values = std::min<uint64_t>(as_float ? wanted / 4 : wanted / 2,
                                             s->track->audio.sample_count - std::min<uint64_t>(first, s->track->audio.sample_count));
        const int16_t* from = s->track->audio.samples + first;
        if (as_float) {
            float* to = static_cast<float*>(buffer);
            for (uint64_t i = 0; i < values; ++i) to[i] = from[i] / 32768.0f;
        } else {
            memcpy(buffer, from, values * 2);
        }
        s->cursor += values * 2;
        return static_cast<uint32_t>(values * (as_float ? 4 : 2));
    }

    uint64_t get_position(AudioStream stream) override {
        std::lock_guard<std::mutex> lock(mutex);
        Stream* s = find(stream);
        if (!s) return 0;
        if (s->decode_only || s->state != AUDIO_PLAYING) return s->cursor;
        update_end(*s);
        return s->state == AUDIO_PLAYING ? s->clock.position(now_seconds()) : s->cursor;
    }

    bool set_position(AudioStream stream, uint64_t position) override {
        std::lock_guard<std::mutex> lock(mutex);
        Stream* s = find(stream);
        if (!s) return false;
        position = std::min(position, s->track->length());
        position -= position % s->clock.frame_bytes;
        s->cursor = position;
        double now = now_seconds();
        s->clock.reset(position, now, silent ? s->track->length() : position);
        // A seek past the end stops the stream, as reaching the end does.
        if (position >= s->track->length() && s->state == AUDIO_PLAYING) s->state = AUDIO_STOPPED;
        return true;
    }

    void set_loop(AudioStream stream, bool loop) override {
        std::lock_guard<std::mutex> lock(mutex);
        if (Stream* s = find(stream)) s->loop = loop;
    }

    bool play(AudioStream stream) override {
        {
            std::lock_guard<std::mutex> lock(mutex);
            Stream* s = find(stream);
            if (!s || s->decode_only) return false;
        }
        open_device(stream);
        std::lock_guard<std::mutex> lock(mutex);
        Stream* s = find(stream);
        if (!s) return false;
        if (s->cursor >= s->track->length() && !s->loop) {
            s->state = AUDIO_STOPPED;
            return true;
        }
        s->state = AUDIO_PLAYING;
        s->clock.reset(s->cursor, now_seconds(), silent ? s->track->length() : s->cursor);
        playing = stream;
        return true;
    }

    bool pause(AudioStream stream) override {
        std::lock_guard<std::mutex> lock(mutex);
        Stream* s = find(stream);
        if (!s || s->state != AUDIO_PLAYING) return false;
        // Playback resumes from what was heard, not from what the device was handed.
        uint64_t heard = s->clock.position(now_seconds());
        s->cursor = heard;
        s->clock.reset(heard, now_seconds(), heard);
        s->state = AUDIO_PAUSED;
        return true;
    }

    AudioActivity is_active(AudioStream stream) override {
        std::lock_guard<std::mutex> lock(mutex);
        Stream* s = find(stream);
        if (!s) return AUDIO_STOPPED;
        update_end(*s);
        return s->state;
    }

    void set_volume(AudioStream stream, float volume) override {
        std::lock_guard<std::mutex> lock(mutex);
        if (Stream* s = find(stream)) s->volume = volume;
    }

private:
    // A stream whose track could not be decoded is no stream at all.
    Stream* find(AudioStream stream) {
        auto it = streams.find(stream);
        if (it == streams.end()) return nullptr;
        Stream& s = it->second;
        if (!s.track->wait()) return nullptr;
        if (s.clock.bytes_per_second == 0) {
            s.clock.bytes_per_second = s.track->bytes_per_second();
            s.clock.frame_bytes = s.track->audio.channels * 2;
        }
        return &s;
    }

    // Silently, the end is reached when the clock gets there; with a device, when the last
    // byte handed over has been heard.
    void update_end(Stream& s) {
        if (s.state != AUDIO_PLAYING || s.loop) return;
        uint64_t length = s.track->length();
        if (silent) {
            uint64_t heard = s.clock.position(now_seconds());
            if (heard >= length) {
                s.cursor = length;
                s.state = AUDIO_STOPPED;
            }
        } else if (s.cursor >= length && s.clock.position(now_seconds()) >= length) {
            s.state = AUDIO_STOPPED;
        }
    }

    void open_device(AudioStream stream) {
        uint32_t rate, channels;
        {
            std::lock_guard<std::mutex> lock(mutex);
            Stream* s = find(stream);
            if (!s) return;
            rate = s->track->audio.rate;
            channels = s->track->audio.channels;
            if (device_open && rate == open_rate && channels == open_channels) return;
            if (silent) return;
        }
        close_device();
        bool opened = false;
        if (SDL_WasInit(SDL_INIT_AUDIO) || SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
            SDL_AudioSpec wanted{};
            wanted.freq = static_cast<int>(rate);
            wanted.format = AUDIO_S16SYS;
            wanted.channels = static_cast<Uint8>(channels);
            wanted.samples = 2048;
            wanted.callback = [](void* self, Uint8* out, int length) {
                static_cast<SdlAudioLayer*>(self)->fill(out, length);
            };
            wanted.userdata = this;
            // Without an "obtained" format SDL converts to whatever the device really takes.
            opened = SDL_OpenAudio(&wanted, nullptr) == 0;
        }
        std::lock_guard<std::mutex> lock(mutex);
        if (!opened) {
            silent = true;
            log_line("[AUDIO] No sound device could be opened; playing silently in real time");
            return;
        }
        device_open = true;
        open_rate = rate;
        open_channels = channels;
        SDL_PauseAudio(0);
    }

    void close_device() {
        bool was_open;
        {
            std::lock_guard<std::mutex> lock(mutex);
            was_open = device_open;
            device_open = false;
        }
        // Outside the lock: closing waits for a running callback, which takes the lock.
        if (was_open) SDL_CloseAudio();
        if (SDL_WasInit(SDL_INIT_AUDIO)) SDL_QuitSubSystem(SDL_INIT_AUDIO);
        std::lock_guard<std::mutex> lock(mutex);
        silent = false;
    }

    void fill(Uint8* out, int length) {
        std::lock_guard<std::mutex> lock(mutex);
        memset(out, 0, static_cast<size_t>(length));
        Stream* s = find(playing);
        if (!s || s->state != AUDIO_PLAYING) return;
        int16_t* to = reinterpret_cast<int16_t*>(out);
        size_t values = static_cast<size_t>(length) / 2;
        const Track& t = *s->track;
        uint64_t start = s->cursor;
        for (size_t i = 0; i < values; ++i) {
            uint64_t index = s->cursor / 2;
            if (index >= t.audio.sample_count) {
                if (!s->loop) break;
                s->cursor = 0;
                index = 0;
            }
            float v = t.audio.samples[index] * s->volume;
            to[i] = static_cast<int16_t>(std::max(-32768.0f, std::min(32767.0f, v)));
            s->cursor += 2;
        }
        if (s->cursor >= start) s->clock.handed_over(start, static_cast<uint32_t>(s->cursor - start), now_seconds());
        else s->clock.reset(0, now_seconds(), s->cursor);  // wrapped around
    }

    std::mutex mutex;
    std::map<AudioStream, Stream> streams;
    AudioStream next_handle = 0;
    AudioStream playing = 0;
    bool initialised = false;
    bool device_open = false;
    bool silent = false;
    uint32_t device_rate = 44100, open_rate = 0, open_channels = 0;
};

SdlAudioLayer& sdl_layer() {
    static SdlAudioLayer* layer = new SdlAudioLayer();
    return *layer;
}

AudioLayer* installed = nullptr;

}  // namespace

AudioLayer& audio_layer() { return installed ? *installed : sdl_layer(); }
void set_audio_layer(AudioLayer* layer) { installed = layer; }
