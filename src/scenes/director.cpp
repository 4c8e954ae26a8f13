// Director: construction and loading, the letterbox, the frame (scenes, post chain, present,
// capture) and the end of the show.
//
// Index of this file:
// [SECTION] The scene table and helpers
// [SECTION] Construction, warm-up and release
// [SECTION] The letterbox
// [SECTION] Music time and the end of the show
// [SECTION] What the tracks select
// [SECTION] The frame
// [SECTION] Stills and capture
// [SECTION] Authoring: keys, live reload, frame statistics, the overlay
#include "scenes/director.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <string>

#include "platform/clock.h"
#include "platform/fatal.h"
#include "platform/files.h"
#include "platform/png_writer.h"
#include "scenes/overlay/overlay.h"
#include "scenes/scene_attractor_fun/attractor_fun.h"
#include "scenes/scene_icecubes/icecubes.h"
#include "scenes/scene_modulators/modulators.h"
#include "scenes/scene_radial_fun/radial_fun.h"
#include "scenes/scene_reflection_cubes/reflection_cubes.h"
#include "scenes/scene_ribbons/ribbons.h"
#include "scenes/scene_ssaotest/scene_ssaotest.h"
#include "scenes/scene_stagelights/stagelights.h"
#include "scenes/scene_text_billboards/text_billboards.h"

//-----------------------------------------------------------------------------
// [SECTION] The scene table and helpers
//-----------------------------------------------------------------------------

namespace {

const char* const active_scene_tracks[3] = {"ActiveScene1st", "ActiveScene2nd", "ActiveScene3rd"};

template <class SceneType>
std::unique_ptr<Scene> make_scene() {
    return std::make_unique<SceneType>();
}

struct SceneEntry {
    const char* name;  // the class name, as stills and logs show it
    std::unique_ptr<Scene> (*create)();
};

// The scene table, in the order the ActiveScene tracks number it.
constexpr SceneEntry SCENE_TABLE[] = {
    {"Ssaotest", make_scene<Ssaotest>},
    {"IceCubes", make_scene<IceCubes>},
    {"AttractorFun", make_scene<AttractorFun>},
    {"RadialFun", make_scene<RadialFun>},
    {"TextBillboards", make_scene<TextBillboards>},
    {"StageLights", make_scene<StageLights>},
    {"Ribbons", make_scene<Ribbons>},
    {"ReflectionCubes", make_scene<ReflectionCubes>},
    {"Modulators", make_scene<Modulators>},
};
constexpr int SCENE_COUNT = static_cast<int>(std::size(SCENE_TABLE));

// A hair below a whole frame: music times computed two ways agree to far better than this.
constexpr double TIME_TOLERANCE = 1e-6;

double milliseconds_since(uint64_t start) {
    uint64_t frequency = 0;
    if (!performance_frequency(&frequency) || frequency == 0) return 0.0;
    return static_cast<double>(performance_counter() - start) * 1000.0 / static_cast<double>(frequency);
}

}  // namespace

//-----------------------------------------------------------------------------
// [SECTION] Construction, warm-up and release
//-----------------------------------------------------------------------------

Director::Director(int window_w, int window_h, float aspect, bool capture, bool sync_client,
                   const DirectorRun& run)
    : aspect(aspect), sync_client(sync_client), capture(capture), capture_width(window_w), capture_height(window_h),
      run(run) {
    if (run.start_clock) run.start_clock();
    if (capture && (run.capture_width > 0 || run.supersample > 1)) {
        offscreen = true;
        supersample = std::max(1, run.supersample);
        if (run.capture_width > 0) {
            capture_width = run.capture_width;
            capture_height = run.capture_height;
        }
        check_output_size();
        output = std::make_unique<Fbo>(capture_width * supersample, capture_height * supersample, FboType::Rgba8NoMipmaps);
        output->release_depth_buffer();
        if (glGetError() == GL_OUT_OF_MEMORY)
            ZV_FATAL("Not enough memory to capture at %dx%d", capture_width * supersample, capture_height * supersample);
    }
    overlay_font = std::make_unique<Text>("data/common/fonts/courier_new.ttf", 48);
    shader_set.create();
    scene_target = std::make_unique<Fbo>(512, 512, FboType::Rgba8);
    for (auto& target : post_targets) target = std::make_unique<Fbo>(512, 512, FboType::Rgba8NoMipmaps);
    // The scenes draw into the first alone; the second only ever takes one screen-filling quad
    // of the post chain, which a cleared depth buffer lets through everywhere.
    post_targets[1]->release_depth_buffer();
    ascii_engine = std::make_unique<AsciiEngine>();
    // The soundtrack decodes on another thread while the scenes load.
    music = std::make_unique<Music>(MUSIC_FILE, static_cast<float>(SOUNDTRACK_BPM), 0.0f, capture, sync_client, true);

    active_scene_values[0] = music->add_sync_value(active_scene_tracks[0], 0, true);
    active_scene_values[1] = music->add_sync_value(active_scene_tracks[1], -1, true);
    active_scene_values[2] = music->add_sync_value(active_scene_tracks[2], -1, true);

    post_effects.push_back(std::make_unique<Effects::Dither>());
    post_effects.push_back(std::make_unique<Effects::Fade>());
    post_effects.push_back(std::make_unique<Effects::Radblur>());
    post_effects.push_back(std::make_unique<Effects::Hsl>());
    post_effects.push_back(std::make_unique<Effects::Film>());
    for (const auto& effect : post_effects) {
        PostEffectValues values;
        values.order = music->add_sync_value(("pp" + effect->name()).c_str(), -1, true);
        const auto& names = effect->param_names();
        for (size_t j = 0; j < names.size(); ++j)
            values.params.push_back(
                music->add_sync_value(("pp" + names[j]).c_str(), effect->get_param(static_cast<int>(j)), true));
        post_effect_values.push_back(std::move(values));
    }

    reshape(window_w, window_h);

    for (const SceneEntry& entry : SCENE_TABLE) {
        scenes.push_back(entry.create());
        Scene& scene = *scenes.back();
        scene.set_time_window(0, 5000);
        scene.set_music(music.get());
        scene.set_shader_set(&shader_set);
        scene.set_scene_target(scene_target.get());
        scene.set_ascii_engine(ascii_engine.get());
        scene.set_frame_info(&frame_info);
        scene.set_aspect(aspect);
        scene.init();
        scene.reshape(viewport_width, viewport_height);
    }
    music->finish_loading();
    open_outputs();
    warm_up();
    start_authoring();
}

// What the start time and the stills or the capture need of the soundtrack is known once it
// has been decoded.
void Director::open_outputs() {
    fps = std::max(1, run.frames_per_second);
    from_seconds = std::max(0.0, run.from_seconds);
    if (from_seconds > 0 && from_seconds >= music_seconds() && run.start_past_the_end)
        run.start_past_the_end(from_seconds, music_seconds());
    const AudioFormat& format = music->audio_format;
    // A start on the frame grid (a whole number of frames from 0) is counted in frames, so that a
    // capture from B continues one that ended at B with the very same frames and samples.
    const double start_frame = from_seconds * fps;
    grid_frame = std::fabs(start_frame - std::round(start_frame)) < 1e-6 ? std::llround(start_frame) : -1;
    from_sample = grid_frame >= 0 ? static_cast<uint64_t>(grid_frame) * format.samples_per_second / static_cast<uint64_t>(fps) * format.channels
                                  : static_cast<uint64_t>(std::llround(from_seconds * format.samples_per_second)) * format.channels;
    shots = capture && run.shots_every > 0;
    if (shots) {
        if (!create_directories((run.shots_dir + "/").c_str()))
            ZV_FATAL("Failed to create the folder %s for the stills", run.shots_dir.c_str());
        // The first still falls on the first multiple of the interval at or after the start.
        next_shot_seconds = std::ceil(from_seconds / run.shots_every - TIME_TOLERANCE) * run.shots_every;
        pixel_buffer.assign(static_cast<size_t>(capture_width) * capture_height * 3, 0);
        log_line("Writing stills every %g s into %s", run.shots_every, run.shots_dir.c_str());
    } else if (capture) {
        capture_name = run.capture_file.empty() ? std::string("Zorvane") + ".avi" : run.capture_file;
        const std::string ending = lower_case_ending(capture_name);
        if (ending == ".mp4" || ending == ".mkv") {
            VideoEncoderSettings settings;
            settings.path = capture_name;
            settings.container = ending == ".mp4" ? VideoContainer::Mp4 : VideoContainer::Mkv;
            settings.width = capture_width;
            settings.height = capture_height;
            settings.frames_per_second = fps;
            settings.crf = run.crf;
            settings.sample_rate = format.samples_per_second;
            settings.channels = format.channels;
            std::string error;
            if (!encoder.open(settings, error)) ZV_FATAL("Failed to open video file %s: %s", capture_name.c_str(), error.c_str());
        } else {
            if (!avi_writer.open(capture_name.c_str(), static_cast<float>(fps), -1, 100))
                ZV_FATAL("Failed to open video file %s", capture_name.c_str());
            avi_writer.set_video_size(capture_width, capture_height);
            avi_writer.set_audio_format(format);
        }
        pixel_buffer.assign(static_cast<size_t>(capture_width) * capture_height * 3, 0);
        log_line("Dumping to video file %s", capture_name.c_str());
    }
    if (capture) {
        progress = std::make_unique<ProgressLine>();
        progress->start(frames_to_capture(), fps, static_cast<double>(tick_count_ms()) / 1000.0);
    }
}

// The frames from the start to --until or to the end of the music: those whose time
// from + n / fps falls before it.
int64_t Director::frames_to_capture() const {
    double end = music_seconds();
    if (run.until_seconds >= 0) end = std::min(end, run.until_seconds);
    return std::max<int64_t>(0, static_cast<int64_t>(std::ceil((end - from_seconds) * fps - TIME_TOLERANCE)));
}

// Drivers compile a program's code and allocate a texture's storage on first use; one frame of
// every scene and effect while the loading screen is up keeps that out of the show, where it
// would stall the frame a scene first appears in and grow the process as the show goes on.
// The code compiled is the same at any size, so the frame is a quarter of the picture each way
// (on a software rasteriser a sixteenth of the time) wherever a scene can be sized back; the
// scenes' own targets are then sized for the show again before it starts.
void Director::warm_up() {
    const int w = std::max(1, viewport_width / 4), h = std::max(1, viewport_height / 4);
    post_targets[0]->bind(true);
    for (auto& scene : scenes) {
        scene->apply_gl_state();
        if (scene->reshape_is_lasting()) scene->reshape(viewport_width, viewport_height);
        else scene->reshape(w, h);
        scene->render();
    }
    post_targets[0]->unbind();
    post_targets[1]->bind(true);
    glViewport(0, 0, w, h);
    for (auto& effect : post_effects) {
        restore_default_gl_state();
        effect->apply(w, h, 0.0f);
        post_targets[0]->draw();
    }
    post_targets[1]->unbind();
    restore_default_gl_state();
    for (auto& scene : scenes) scene->reshape(viewport_width, viewport_height);
}

Director::~Director() {
    take_frame_stats(true);
    if (stats_out && fclose(stats_out) != 0) log_line("Failed to finish the stats file %s", run.stats_file.c_str());
    for (auto& scene : scenes) {
        scene->release();
        scene.reset();
    }
    if (capture && frame_times.frames > 0)
        log_line("Rendered %d frames: mean %.2f ms, worst %.2f ms (frame %d, %.3f s)", frame_times.frames,
                 frame_times.mean_ms(), frame_times.worst_ms, frame_times.worst_frame,
                 seconds_of_frame(frame_times.worst_frame));
    if (shots) log_line("Wrote %d stills", shots_written);
    progress.reset();
    if (capture && !shots && encoder.is_open()) {
        pixel_buffer.clear();
        std::string error;
        if (!encoder.finish(error)) ZV_FATAL("Failed to write video file %s: %s", capture_name.c_str(), error.c_str());
        log_line("Finished writing %s", capture_name.c_str());
    } else if (capture && !shots) {
        pixel_buffer.clear();
        avi_writer.close();
        log_line("Finished AVI writing");
    }
    music.reset();
}

//-----------------------------------------------------------------------------
// [SECTION] The letterbox
//-----------------------------------------------------------------------------

void Director::reshape(int width, int height) {
    if (height == 0) height = 1;
    window_width = width;
    window_height = height;
    // Off screen the picture keeps the capture's size, whatever the window does.
    if (offscreen) {
        width = output->width;
        height = output->height;
    }
    surface_width = width;
    surface_height = height;
    // The products and quotients in double precision: 400 / (16/9 as a float) is just below
    // 225, which single precision would round up to 225 before the truncation.
    if (aspect < static_cast<float>(width) / static_cast<float>(height)) {
        viewport_width = static_cast<int32_t>(static_cast<double>(aspect) * height);
        viewport_height = height;
    } else {
        viewport_height = static_cast<int32_t>(width / static_cast<double>(aspect));
        viewport_width = width;
    }
    // A window a pixel or two across still shows a picture of at least one pixel each way:
    // render targets cannot be empty.
    viewport_width = std::max<int32_t>(1, viewport_width);
    viewport_height = std::max<int32_t>(1, viewport_height);
    scene_target->resize(viewport_width, viewport_height);
    ascii_engine->reshape(viewport_width, viewport_height, aspect);
    for (auto& target : post_targets) target->resize(viewport_width, viewport_height);
    overlay_font->Reshape(window_width, window_height);
}

void Director::picture_rectangle(int out[4]) const {
    out[0] = (surface_width - viewport_width) / 2;
    out[1] = (surface_height - viewport_height) / 2;
    out[2] = viewport_width;
    out[3] = viewport_height;
}

//-----------------------------------------------------------------------------
// [SECTION] Music time and the end of the show
//-----------------------------------------------------------------------------

void Director::start() {
    srand(tick_count_ms());
    if (run.fade_out_loading) run.fade_out_loading();
    music->set_volume(volume);
    music->start();
    while (music->get_beat() < 0) {
    }
    if (capture) {
        music->set_position_bytes(0);
        music->toggle_pause();
    }
    if (from_seconds > 0) music->set_time(static_cast<float>(from_seconds));
}

void Director::post_quit() {
    SDL_Event quit;
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    quit_posted = true;
}

double Director::music_seconds() const {
    const AudioFormat& f = music->audio_format;
    return f.channels && f.samples_per_second
               ? static_cast<double>(music->sample_count) / f.channels / f.samples_per_second
               : 0.0;
}

// --until: the show ends before the first frame at or past that music position, as if the
// music had ended there; also in editor mode. A --from past the end of the music ends it too
// when the application has not refused it already.
bool Director::past_until() {
    const double now = capture ? frame_seconds() : music->get_seconds();
    if (from_seconds > 0 && from_seconds >= music_seconds()) return true;
    return run.until_seconds >= 0 && now >= run.until_seconds;
}

double Director::frame_seconds() const { return seconds_of_frame(frame_number); }

double Director::seconds_of_frame(int64_t frame) const {
    if (grid_frame >= 0) return static_cast<double>(grid_frame + frame) / fps;
    return from_seconds + static_cast<double>(frame) / fps;
}

//-----------------------------------------------------------------------------
// [SECTION] What the tracks select
//-----------------------------------------------------------------------------

const char* Director::scene_name(int index) {
    return index >= 0 && index < SCENE_COUNT ? SCENE_TABLE[index].name : nullptr;
}

std::vector<int> Director::active_scenes() const {
    std::vector<int> result;
    for (SyncValueHandle value : active_scene_values) {
        const float whole = std::trunc(music->get_sync_value(value));
        // Compared as floats: a NaN or a value beyond int has no conversion and selects nothing.
        const bool fits = whole >= -2147483648.0f && whole < 2147483648.0f;
        result.push_back(fits ? static_cast<int>(whole) : -1);
    }
    return result;
}

std::vector<std::pair<int, float>> Director::active_effects() const {
    std::vector<std::pair<int, float>> result;
    for (size_t i = 0; i < post_effects.size(); ++i) {
        const float value = music->get_sync_value(post_effect_values[i].order);
        if (value >= 0) result.emplace_back(static_cast<int>(i), value);
    }
    std::stable_sort(result.begin(), result.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    return result;
}

void Director::restore_default_gl_state() {
    static const Scene defaults;
    defaults.apply_gl_state();
}

//-----------------------------------------------------------------------------
// [SECTION] The frame
//-----------------------------------------------------------------------------

void Director::frame() {
    if (run.tick_clock) run.tick_clock();
    if (live_reload) live_reload->update(*music, sync_client, tick_count_ms());
    music->update();
    frame_info.frame_number = frame_number;
    if (!quit_posted && ((!sync_client && !music->is_alive()) || past_until())) post_quit();
    if (quit_posted) return;
    const uint64_t frame_start = performance_counter();
    const double now_seconds = capture ? frame_seconds() : music->get_seconds();
    const bool measuring = overlay_visible || stats_out;
    if (measuring) stats.begin_frame();

    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT | GL_ACCUM_BUFFER_BIT);

    int current = 0;
    post_targets[current]->bind(true);
    for (int index : active_scenes()) {
        if (index < 0 || index >= static_cast<int>(scenes.size())) continue;
        Scene& scene = *scenes[static_cast<size_t>(index)];
        scene.apply_gl_state();
        scene.reshape(post_targets[current]->width, post_targets[current]->height);
        if (measuring) stats.begin_part(index);
        scene.render();
        if (measuring) stats.end_part();
    }
    post_targets[current]->unbind();

    if (offscreen) output->bind(true);
    int picture[4];
    picture_rectangle(picture);
    const auto effects = active_effects();
    if (effects.empty()) {
        // Presenting copies the picture: whatever blending the last scene left on would mix it
        // with the cleared window and darken every translucent pixel.
        restore_default_gl_state();
        glColor4f(1, 1, 1, 1);
        shader_set.entry(PRESENT_PROGRAM)->bind();
        glViewport(picture[0], picture[1], picture[2], picture[3]);
        glScissor(picture[0], picture[1], picture[2], picture[3]);
        post_targets[current]->draw();
    }
    for (size_t k = 0; k < effects.size(); ++k) {
        Effects::PostProc& effect = *post_effects[static_cast<size_t>(effects[k].first)];
        const auto& params = post_effect_values[static_cast<size_t>(effects[k].first)].params;
        for (size_t j = 0; j < params.size(); ++j) effect.set_param(static_cast<int>(j), music->get_sync_value(params[j]));
        if (measuring) stats.begin_part(SCENE_COUNT + effects[k].first);
        restore_default_gl_state();
        effect.apply(viewport_width, viewport_height, music->get_beat());
        if (k + 1 < effects.size()) {
            const int next = (current + 1) % 2;
            post_targets[next]->bind(true);
            post_targets[current]->draw();
            post_targets[next]->unbind();
            current = next;
        } else {
            glViewport(picture[0], picture[1], picture[2], picture[3]);
            glScissor(picture[0], picture[1], picture[2], picture[3]);
            post_targets[current]->draw();
        }
        if (measuring) stats.end_part();
    }

    if (capture) {
        // The driver may still be drawing: wait for it, so that the time is the frame's own.
        glFinish();
        frame_times.add(frame_number, milliseconds_since(frame_start));
        if (shots) take_still();
        else capture_frame();
    }
    if (offscreen) {
        output->unbind();
        preview();
    }
    // After the capture has read the picture: what the author sees over it is never in a file.
    draw_over_picture();
    SDL_GL_SwapBuffers();
    if (frame_number == 0 && run.first_frame_shown) run.first_frame_shown();
    const double frame_ms = milliseconds_since(frame_start);
    frame_history.push_back(static_cast<float>(frame_ms));
    if (frame_history.size() > OVERLAY_GRAPH_FRAMES) frame_history.pop_front();
    if (measuring) {
        stats.end_frame(frame_number, now_seconds, frame_ms);
        take_frame_stats(false);
    }
    ++frame_number;
    if (progress) progress->update(frame_number, static_cast<double>(tick_count_ms()) / 1000.0);

    if (capture) {
        const int32_t before = music->get_position_bytes();
        music->set_time(static_cast<float>(frame_seconds()));
        if (music->get_position_bytes() == before) {
            post_quit();
            log_line("  Finished dumping, quit event posted");
        }
    }
}

//-----------------------------------------------------------------------------
// [SECTION] Stills and capture
//-----------------------------------------------------------------------------

void Director::stop_capture_on_failure() {
    const std::string failure = avi_writer.write_failure();
    if (failure.empty()) ZV_FATAL("Failed assert success");
    // Close first: the file keeps the frames that reached it, with headers and index.
    const std::string name = avi_writer.file_name();
    avi_writer.close();
    ZV_FATAL("Failed to write video file %s: %s. The capture stops here; the frames written before are kept.",
             name.c_str(), failure.c_str());
}

void Director::stop_encoding_on_failure(const std::string& failure) {
    // Finish what can be finished: the frames that reached the file stay playable where the
    // disk still takes the index.
    std::string ignored;
    encoder.finish(ignored);
    ZV_FATAL("Failed to write video file %s: %s. The capture stops here; the frames written before are kept.",
             capture_name.c_str(), failure.c_str());
}

void Director::take_still() {
    const double now = frame_seconds();
    if (now + TIME_TOLERANCE < next_shot_seconds) return;
    while (next_shot_seconds <= now + TIME_TOLERANCE) next_shot_seconds += run.shots_every;

    char name[32];
    snprintf(name, sizeof name, "t%08.3f.png", now);
    const std::string path = run.shots_dir + "/" + name;
    read_picture(GL_RGB);
    std::string error;
    if (!write_png_rgb_bottom_up(path.c_str(), pixel_buffer.data(), capture_width, capture_height, error))
        ZV_FATAL("Failed to write the still %s: %s", path.c_str(), error.c_str());
    ++shots_written;

    std::string selected;
    for (int index : active_scenes()) {
        const char* scene = scene_name(index);
        if (!scene) continue;
        if (!selected.empty()) selected += "+";
        selected += scene;
    }
    log_line("Wrote still %s scenes %s", path.c_str(), selected.empty() ? "none" : selected.c_str());
}

void Director::capture_frame() {
    read_picture(GL_BGR);
    std::string failure;
    if (encoder.is_open()) {
        if (!encoder.add_video_frame(pixel_buffer.data(), failure)) stop_encoding_on_failure(failure);
    } else if (!avi_writer.add_video_frame(pixel_buffer.data())) {
        stop_capture_on_failure();
    }

    // Frame n of the grid carries the sample frames from floor(n x rate / fps) to the next frame's
    // start, so that no frame rate drifts against the music; off the grid n counts from the start.
    const uint64_t channels = std::max<uint64_t>(1, music->audio_format.channels);
    const uint64_t rate = music->audio_format.samples_per_second;
    const uint64_t per = static_cast<uint64_t>(fps);
    const uint64_t n = static_cast<uint64_t>(frame_number + std::max<int64_t>(0, grid_frame));
    const uint64_t offset = (grid_frame >= 0 ? 0 : from_sample) + n * rate / per * channels;
    uint64_t count = ((n + 1) * rate / per - n * rate / per) * channels;
    // Past the end of the decoded music there is no audio left to add.
    if (offset >= music->sample_count) {
        count = 0;
    } else if (offset + count >= music->sample_count) {
        count = music->sample_count - offset;
    }
    const int16_t* samples = music->pcm_samples.data() + offset;
    const int sample_frames = static_cast<int>(count / channels);
    if (count > 0 && encoder.is_open()) {
        if (!encoder.add_audio(samples, sample_frames, failure)) stop_encoding_on_failure(failure);
    } else if (count > 0 && !avi_writer.add_audio(samples, sample_frames)) {
        stop_capture_on_failure();
    }
    log_line("Dumped frame %d and wrote %llu samples of audio", frame_number, static_cast<unsigned long long>(count));
}

void FrameTimes::add(int32_t frame, double ms) {
    ++frames;
    total_ms += ms;
    if (worst_frame < 0 || ms > worst_ms) {
        worst_ms = ms;
        worst_frame = frame;
    }
}

void Director::read_picture(GLenum format) {
    // Rows of 3-byte pixels need not be a multiple of 4 bytes long: read them packed.
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (supersample <= 1) {
        glReadPixels(0, 0, capture_width, capture_height, format, GL_UNSIGNED_BYTE, pixel_buffer.data());
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        return;
    }
    const int k = supersample;
    const size_t large_width = static_cast<size_t>(capture_width) * k;
    large_buffer.resize(large_width * static_cast<size_t>(capture_height) * k * 3);
    glReadPixels(0, 0, static_cast<GLsizei>(large_width), capture_height * k, format, GL_UNSIGNED_BYTE,
                 large_buffer.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    // Each pixel is the rounded mean of its k x k block: a box filter, the same on every run.
    const unsigned area = static_cast<unsigned>(k * k);
    std::vector<unsigned> sums(static_cast<size_t>(capture_width) * 3);
    for (int y = 0; y < capture_height; ++y) {
        std::fill(sums.begin(), sums.end(), 0u);
        for (int dy = 0; dy < k; ++dy) {
            const uint8_t* row = large_buffer.data() + (static_cast<size_t>(y) * k + dy) * large_width * 3;
            for (int x = 0; x < capture_width; ++x)
                for (int dx = 0; dx < k; ++dx)
                    for (int c = 0; c < 3; ++c) sums[static_cast<size_t>(x) * 3 + c] += row[(static_cast<size_t>(x) * k + dx) * 3 + c];
        }
        uint8_t* out = pixel_buffer.data() + static_cast<size_t>(y) * capture_width * 3;
        for (size_t i = 0; i < sums.size(); ++i) out[i] = static_cast<uint8_t>((sums[i] + area / 2) / area);
    }
}

// Sizes the driver cannot draw are refused before anything loads.
void Director::check_output_size() const {
    GLint texture = 0, renderbuffer = 0, viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE_EXT, &renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    const int limit_w = std::min({texture, renderbuffer, viewport[0]});
    const int limit_h = std::min({texture, renderbuffer, viewport[1]});
    const int64_t w = static_cast<int64_t>(capture_width) * supersample, h = static_cast<int64_t>(capture_height) * supersample;
    if (w > limit_w || h > limit_h)
        ZV_FATAL("Can't capture at %dx%d%s: this driver draws pictures of at most %dx%d", capture_width, capture_height,
                 supersample > 1 ? (" supersampled " + std::to_string(supersample) + "x").c_str() : "", limit_w,
                 limit_h);
}

// The window shows the off-screen picture scaled to fit, letterboxed.
void Director::preview() {
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    restore_default_gl_state();
    glViewport(0, 0, window_width, window_height);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    const double scale = std::min(static_cast<double>(window_width) / output->width,
                                  static_cast<double>(window_height) / output->height);
    const int w = std::max(1, static_cast<int>(output->width * scale)), h = std::max(1, static_cast<int>(output->height * scale));
    glViewport((window_width - w) / 2, (window_height - h) / 2, w, h);
    glColor4f(1, 1, 1, 1);
    shader_set.entry(PRESENT_PROGRAM)->bind();
    output->draw();
    ShaderProgram::unbind_all();
}

//-----------------------------------------------------------------------------
// [SECTION] Authoring: keys, live reload, frame statistics, the overlay
//-----------------------------------------------------------------------------

void Director::start_authoring() {
    std::vector<std::string> parts;
    for (const SceneEntry& entry : SCENE_TABLE) parts.push_back(entry.name);
    for (const auto& effect : post_effects) parts.push_back(effect->name());
    stats.init(parts);
    overlay_visible = run.overlay;
    if (!run.stats_file.empty()) {
        stats_out = fopen(run.stats_file.c_str(), "w");
        if (!stats_out) ZV_FATAL("Failed to open the stats file %s", run.stats_file.c_str());
        fputs(stats.csv_header().c_str(), stats_out);
        log_line("Writing frame times into %s", run.stats_file.c_str());
    }
    if (run.watch) {
        live_reload = std::make_unique<LiveReload>();
        std::string error;
        if (live_reload->start(error)) {
            log_line("Watching %s/ for changes", LiveReload::ROOT);
        } else {
            log_line("Live reload is off: %s", error.c_str());
            live_reload.reset();
        }
    }
}

void Director::take_frame_stats(bool wait) {
    for (FrameRecord& record : stats.collect(wait)) {
        if (stats_out) fputs(stats.csv_row(record).c_str(), stats_out);
        latest_parts = std::move(record);
    }
}

void Director::draw_over_picture() {
    const std::string error = live_reload ? live_reload->standing_error() : std::string();
    if (!overlay_visible) {
        if (!error.empty()) draw_reload_error(error, *overlay_font, window_width, window_height);
        return;
    }
    OverlayView view;
    view.music_seconds = capture ? frame_seconds() : music->get_seconds();
    view.row = capture ? view.music_seconds * (music->bpm / 60.0) * music->rows_per_beat : music->get_row();
    view.beat = view.row / music->rows_per_beat;
    view.paused = music->is_paused() && !capture;
    for (int index : active_scenes()) {
        const char* name = scene_name(index);
        if (name) view.scenes += (view.scenes.empty() ? "" : " + ") + std::string(name);
    }
    for (const auto& [index, value] : active_effects())
        view.effects += (view.effects.empty() ? "" : ", ") + post_effects[static_cast<size_t>(index)]->name();
    double recent = 0.0;
    const size_t count = std::min<size_t>(30, frame_history.size());
    for (size_t i = frame_history.size() - count; i < frame_history.size(); ++i) recent += frame_history[i];
    view.frames_per_second = recent > 0 ? 1000.0 * static_cast<double>(count) / recent : 0.0;
    view.frame_ms = &frame_history;
    view.parts = &latest_parts;
    view.part_names = &stats.names();
    view.timer = stats.timer();
    view.reload_error = error;
    draw_overlay(view, *overlay_font, window_width, window_height);
}

int32_t Director::transport_row(int key, double row) {
    // A hair over a bar's start counts as that bar: a seek lands a few samples past it.
    const int32_t bar = static_cast<int32_t>(std::floor(row / SYNC_ROWS_PER_BAR + 1e-3));
    int32_t target;
    switch (key) {
        case SDLK_LEFT: target = bar - 1; break;
        case SDLK_RIGHT: target = bar + 1; break;
        case SDLK_PAGEUP: target = bar - 8; break;
        case SDLK_PAGEDOWN: target = bar + 8; break;
        case SDLK_HOME: target = 0; break;
        default: return -1;
    }
    return std::max(0, target) * SYNC_ROWS_PER_BAR;
}

void Director::key_down(int key, int, int) {
    if (key == SDLK_F1) {
        overlay_visible = !overlay_visible;
        return;
    }
    // An editor drives the music itself, and a capture's music follows its frames.
    if (!run.authoring || sync_client || capture) return;
    if (key == SDLK_SPACE) {
        music->toggle_pause();
        log_line("Music %s at %.3f s", music->is_paused() ? "paused" : "playing", music->get_seconds());
        return;
    }
    const int32_t row = transport_row(key, music->get_row());
    if (row < 0) return;
    const double seconds = row / (music->bpm / 60.0 * music->rows_per_beat);
    // The last bar is as far as the music goes.
    if (seconds >= music_seconds()) return;
    music->set_time(static_cast<float>(seconds));
    log_line("Music moved to bar %d (%.3f s)", row / SYNC_ROWS_PER_BAR + 1, seconds);
}
