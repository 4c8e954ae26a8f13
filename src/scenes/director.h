// The director turns the running music into pictures: it loads the music, its sync tracks,
// the post effects and every scene; each frame it draws the scenes named by the three
// ActiveScene tracks into an off-screen target, passes the picture through the post effects
// the "pp" tracks switch on, in the order of their values, and presents it letterboxed. In
// capture mode it also writes every frame and its slice of audio to an AVI file or an encoded
// one, moving the music by exactly one frame's time (1/30 s unless told otherwise); in stills mode it steps the music the same way and writes
// a PNG still at regular intervals instead. It ends the show by posting one SDL_QUIT.
// Depends on: everything below it: music and sync, the program table, targets, text, post
// effects, the ASCII engine, scenes, the AVI writer.
#pragma once

#include <SDL/SDL.h>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "effects/effect/effect.h"
#include "platform/progress_line.h"
#include "platform/video_encoder.h"
#include "scenes/aviwriter.h"
#include "scenes/director_run.h"
#include "scenes/frame_stats/frame_stats.h"
#include "scenes/live_reload/live_reload.h"
#include "scenes/scene/scene.h"
#include "util/ascii/asciiengine.h"
#include "util/fbo/fbo.h"
#include "util/music/music.h"
#include "util/shaderprogram/program_table.h"
#include "util/text/text.h"

// How long the frames of a frame-exact run took to draw, the readback and file writing left out.
struct FrameTimes {
    int32_t frames = 0;
    double total_ms = 0.0;
    double worst_ms = 0.0;
    int32_t worst_frame = -1;

    void add(int32_t frame, double ms);
    double mean_ms() const { return frames ? total_ms / frames : 0.0; }
};

class Director {
public:
    static constexpr const char* MUSIC_FILE = "data/common/music/quillory.xml";
    static constexpr ProgramId PRESENT_PROGRAM = ProgramId::UnlitTexture;
    static constexpr int FRAMES_PER_SECOND = 30;

    Director(int window_width, int window_height, float aspect, bool capture, bool sync_client,
             const DirectorRun& run = DirectorRun());
    ~Director();
    Director(const Director&) = delete;
    Director& operator=(const Director&) = delete;

    void reshape(int width, int height);
    void start();
    void frame();

    // Input hooks. F1 shows the overlay; with loose files and no editor the transport keys
    // move the music (transport_row).
    void set_mouse_capture(bool) {}
    void key_down(int key, int, int);
    void key_up(int, int, int) {}
    void mouse_motion(const SDL_Event&) {}
    void mouse_button(const SDL_Event&) {}

    // The three ActiveScene values as scene indices, truncated toward zero; -1 for a value that
    // has no int (NaN, or beyond the range of int).
    std::vector<int> active_scenes() const;
    // The scene table's class names, by index; null outside the table.
    static const char* scene_name(int index);
    // The post effects switched on (track value 0 or more): (effect index, value), smallest
    // value first, equal values in list order.
    std::vector<std::pair<int, float>> active_effects() const;
    // The centred picture rectangle in the window, or in the off-screen output: x, y, width, height.
    void picture_rectangle(int out[4]) const;
    // The fixed-function state every post effect starts from.
    static void restore_default_gl_state();
    // Where a transport key moves the music from `row`: Left and Right to the start of the bar
    // before or after the one playing, Page Up and Page Down eight bars, Home to the start; -1
    // for any other key.
    static int32_t transport_row(int key, double row);

    std::vector<std::unique_ptr<Scene>> scenes;
    FrameInfo frame_info;
    std::unique_ptr<Text> overlay_font;
    int32_t window_width = 0, window_height = 0;
    // What the picture is letterboxed into: the window, or the off-screen output.
    int32_t surface_width = 0, surface_height = 0;
    int32_t viewport_width = 0, viewport_height = 0;
    float aspect;
    std::unique_ptr<Music> music;
    float volume = 1.0f;
    bool sync_client;
    ProgramTable shader_set;
    std::unique_ptr<Fbo> scene_target;
    std::unique_ptr<Fbo> post_targets[2];
    std::vector<std::unique_ptr<Effects::PostProc>> post_effects;
    std::unique_ptr<AsciiEngine> ascii_engine;
    int32_t frame_number = 0;
    bool capture;
    AviWriter avi_writer;
    VideoEncoder encoder;  // an .mp4 or .mkv capture; the AVI writer otherwise
    std::string capture_name;
    int32_t capture_width, capture_height;
    // Frames per second of the capture or the stills: frame n shows music time n / fps.
    int fps = FRAMES_PER_SECOND;
    std::vector<uint8_t> pixel_buffer;
    std::unique_ptr<ProgressLine> progress;
    // An off-screen capture draws into `output`, supersample times the capture size each way,
    // reads it back (into `large_buffer` first when supersampled) and previews it in the window.
    bool offscreen = false;
    int supersample = 1;
    std::unique_ptr<Fbo> output;
    std::vector<uint8_t> large_buffer;
    DirectorRun run;
    // Where the show starts, in seconds and in sample values of the decoded music.
    double from_seconds = 0;
    uint64_t from_sample = 0;
    // The start's frame number counted from music time 0 when it falls on the frame grid; -1 else.
    int64_t grid_frame = -1;
    // Stills mode: the music time of the next still, and how many were written.
    bool shots = false;
    double next_shot_seconds = 0.0;
    int32_t shots_written = 0;
    FrameTimes frame_times;
    // Set once SDL_QUIT is posted; from then on frame() does nothing.
    bool quit_posted = false;

    // ---- authoring ----
    std::unique_ptr<LiveReload> live_reload;  // with run.watch
    FrameStats stats;
    bool overlay_visible = false;
    std::deque<float> frame_history;  // milliseconds of the latest frames, for the overlay
    FrameRecord latest_parts;         // the latest frame whose GPU times are all in
    FILE* stats_out = nullptr;        // --stats

private:
    // The tracks read every frame, by handle rather than by name.
    SyncValueHandle active_scene_values[3];
    struct PostEffectValues {
        SyncValueHandle order;
        std::vector<SyncValueHandle> params;
    };
    std::vector<PostEffectValues> post_effect_values;

    void post_quit();
    void open_outputs();
    void warm_up();
    void capture_frame();
    // The finished picture, capture_width x capture_height, rows bottom-up, into pixel_buffer.
    void read_picture(GLenum format);
    void check_output_size() const;
    void preview();
    void take_still();
    double frame_seconds() const;
    double seconds_of_frame(int64_t frame) const;  // music time of a frame of this run
    // Ends the run after the AVI writer refused a frame or audio, with its reason when it has one.
    [[noreturn]] void stop_capture_on_failure();
    [[noreturn]] void stop_encoding_on_failure(const std::string& failure);
    int64_t frames_to_capture() const;
    bool past_until();
    double music_seconds() const;
    void start_authoring();
    void take_frame_stats(bool wait);
    void draw_over_picture();
};
