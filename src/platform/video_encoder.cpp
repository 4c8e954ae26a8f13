// VideoEncoder: the hand-over of frames to a thread of their own, and the loading of the module
// that holds the encoders.
#include "platform/video_encoder.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/video_encoder_backend.h"

namespace {

// Beside the program, where the build and an installed copy both put it. Loaded once and
// never let go: the codec libraries it brings keep threads and state of their own.
EncoderBackend* (*load_backend(std::string& error))() {
    static EncoderBackend* (*make)() = nullptr;
    if (make) return make;
    char self[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path = length > 0 ? std::string(self, static_cast<size_t>(length)) : std::string();
    path = path.substr(0, path.rfind('/') + 1) + ENCODER_MODULE_NAME;
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* why = dlerror();
        error = "The video encoders could not be loaded (" + std::string(why ? why : path.c_str()) +
                "); a build made with ZORVANE_ENCODERS=OFF has none: capture to .avi instead";
        return nullptr;
    }
    make = reinterpret_cast<EncoderBackend* (*)()>(dlsym(module, ENCODER_FACTORY_NAME));
    if (!make) error = path + " has no " + ENCODER_FACTORY_NAME;
    return make;
}

}  // namespace

// The show hands each frame and its samples over and goes on drawing the next; one thread
// converts, encodes and writes them, in the order they came. At most a few frames wait, so that
// a slow disk or encoder holds the show back rather than filling the memory.
struct VideoEncoder::Pipeline {
    static constexpr size_t MOST_WAITING = 3;
    struct Job {
        bool video = false;
        std::vector<uint8_t> pixels;
        std::vector<int16_t> samples;
        int sample_frames = 0;
    };
    EncoderBackend& encoder;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Job> jobs;
    std::vector<std::vector<uint8_t>> spare_pixels;
    bool busy = false, ending = false, failed = false;
    std::string failure;
    std::thread thread;

    explicit Pipeline(EncoderBackend& encoder) : encoder(encoder), thread([this] { run(); }) {}

    void run() {
        std::unique_lock<std::mutex> held(lock);
        for (;;) {
            changed.wait(held, [this] { return ending || !jobs.empty(); });
            if (jobs.empty()) return;
            Job job = std::move(jobs.front());
            jobs.pop_front();
            busy = true;
            const bool skip = failed;
            held.unlock();
            std::string error;
            bool ok = true;
            if (!skip) {
                ok = job.video ? encoder.add_video_frame(job.pixels.data(), error)
                               : encoder.add_audio(job.samples.data(), job.sample_frames, error);
            }
            held.lock();
            if (!ok && !failed) {
                failed = true;
                failure = error;
            }
            if (job.video) spare_pixels.push_back(std::move(job.pixels));
            busy = false;
            changed.notify_all();
        }
    }

    // False once a job has failed, with its reason.
    bool push(Job job, std::string& error) {
        std::unique_lock<std::mutex> held(lock);
        changed.wait(held, [this] { return failed || jobs.size() < MOST_WAITING; });
        if (failed) {
            error = failure;
            return false;
        }
        jobs.push_back(std::move(job));
        changed.notify_all();
        return true;
    }

    std::vector<uint8_t> spare() {
        std::lock_guard<std::mutex> held(lock);
        if (spare_pixels.empty()) return {};
        std::vector<uint8_t> buffer = std::move(spare_pixels.back());
        spare_pixels.pop_back();
        return buffer;
    }

    // Waits for every job; false with the first failure's reason.
    bool drain(std::string& error) {
        {
            std::lock_guard<std::mutex> held(lock);
            ending = true;
            changed.notify_all();
        }
        thread.join();
        if (failed) error = failure;
        return !failed;
    }
};

VideoEncoder::VideoEncoder() = default;

VideoEncoder::~VideoEncoder() {
    std::string ignored;
    finish(ignored);
}

bool VideoEncoder::open(const VideoEncoderSettings& wanted, std::string& error) {
    EncoderBackend* (*make)() = load_backend(error);
    if (!make) return false;
    impl.reset(make());
    if (!impl || !impl->open(wanted, error)) {
        impl.reset();
        return false;
    }
    settings = wanted;
    pipeline = std::make_unique<Pipeline>(*impl);
    return true;
}

bool VideoEncoder::add_video_frame(const uint8_t* pixels, std::string& error) {
    if (!pipeline) return false;
    Pipeline::Job job;
    job.video = true;
    job.pixels = pipeline->spare();
    job.pixels.assign(pixels, pixels + static_cast<size_t>(settings.width) * settings.height * 3);
    return pipeline->push(std::move(job), error);
}

bool VideoEncoder::add_audio(const int16_t* samples, int sample_frames, std::string& error) {
    if (!pipeline) return false;
    if (sample_frames <= 0) return true;
    Pipeline::Job job;
    job.samples.assign(samples, samples + static_cast<size_t>(sample_frames) * settings.channels);
    job.sample_frames = sample_frames;
    return pipeline->push(std::move(job), error);
}

bool VideoEncoder::finish(std::string& error) {
    if (!impl) return true;
    bool ok = pipeline ? pipeline->drain(error) : true;
    pipeline.reset();
    std::string closing;
    // A file whose frames failed is still closed as far as it goes, so that what reached it plays.
    if (!impl->finish(closing) && ok) {
        ok = false;
        error = closing;
    }
    impl.reset();
    return ok;
}

bool VideoEncoder::is_open() const { return impl != nullptr; }
