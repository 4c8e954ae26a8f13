// The entry point's start-up sequence and shutdown order.
#include "main/startup.h"

#include <GL/glew.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "main/extensions.h"
#include "main/frame_clock.h"
#include "main/frame_loop.h"
#include "main/loading_screen.h"
#include "main/options.h"
#include "main/setup_dialog.h"
#include "platform/clock.h"
#include "platform/fatal.h"
#include "platform/files.h"
#include "platform/ui.h"
#include "scenes/director.h"
#include "util/data/data.h"

Shell shell;

int init_sdl_video() {
    if (SDL_Init(SDL_INIT_VIDEO) < 0) ZV_FATAL("Video initialization failed: %s", SDL_GetError());
    const SDL_VideoInfo* info = SDL_GetVideoInfo();
    return info && info->vfmt ? info->vfmt->BitsPerPixel : 0;
}

std::vector<std::pair<SDL_GLattr, int>> gl_attributes_for(const Settings& s) {
    return {
        {SDL_GL_RED_SIZE, 8},
        {SDL_GL_GREEN_SIZE, 8},
        {SDL_GL_BLUE_SIZE, 8},
        {SDL_GL_ALPHA_SIZE, 8},
        {SDL_GL_DOUBLEBUFFER, 1},
        {SDL_GL_MULTISAMPLEBUFFERS, s.antialias_samples > 0 ? 1 : 0},
        {SDL_GL_MULTISAMPLESAMPLES, s.antialias_samples},
        {SDL_GL_SWAP_CONTROL, s.vsync},
    };
}

uint32_t window_flags_for(const Settings& s) {
    uint32_t flags = s.video_flags | SDL_OPENGL | SDL_RESIZABLE;
    if (s.capture) flags &= ~SDL_FULLSCREEN_BIT;
    if (s.sync_client) flags &= ~SDL_FULLSCREEN_BIT;
    return flags;
}

void open_gl_window(const Settings& s, int depth) {
    for (const auto& attribute : gl_attributes_for(s))
        SDL_GL_SetAttribute(attribute.first, attribute.second);
    setenv("SDL_VIDEO_CENTERED", "1", 1);
    if (!SDL_SetVideoMode(s.width, s.height, depth, s.video_flags))
        ZV_FATAL("Video mode set failed: %s", SDL_GetError());
    SDL_WM_SetCaption("Zorvane", nullptr);
    GLenum error = glewInit();
    if (error != GLEW_OK)
        ZV_FATAL("GLEW Error: %s", reinterpret_cast<const char*>(glewGetErrorString(error)));
}

namespace {
void drain_events() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
    }
}

void shut_down(std::unique_ptr<Director> director) {
    director.reset();
    set_datafile_progress(nullptr, nullptr);
    SDL_Quit();
}
}  // namespace

int zorvane_main(int argc, const char* const* argv) {
    Settings& settings = shell.settings;
    RunOptions& run_options = shell.run_options;
    CommandLine options = parse_command_line_or_exit(argc, argv);
    apply_before_dialog(options, settings, run_options);

    int depth = init_sdl_video();
    int result = run_setup_dialog(!options.no_dialog, settings);
    if (result != ID_RUN && result != ID_GET_AVI) {
        SDL_Quit();
        return 0;
    }
    apply_after_dialog(options, settings);

    settings.video_flags = window_flags_for(settings);
    open_gl_window(settings, depth);
    check_required_extensions();
    check_gl_entry_points();
    if (settings.video_flags & SDL_FULLSCREEN_BIT) SDL_ShowCursor(SDL_DISABLE);
    drain_events();

    if (run_options.archive_mode == DATAFILE_MODE_WRITE && settings.sync_client) {
        message_box("Warning", "Can't act as Sync Client in data file write mode!",
                    MessageBoxButtons::Ok, MessageBoxIcon::None);
        settings.sync_client = false;
    }
    set_datafile_mode(run_options.archive_mode);
    set_missing_datafile_hint(
        "To make it, run scripts/pack BUILD/zorvane in the source folder, or play the loose files "
        "under data/ with --archive-mode loose.");

    set_datafile_progress(LoadingScreen::on_archive_request, &shell.loading_screen);
    shell.loading_screen.begin(settings.width, settings.height, settings.aspect());
    if (run_options.archive_mode == DATAFILE_MODE_READ) {
        settings.data_file_name = locate_datafile(settings.data_file_name, executable_folder());
        log_line("Reading data file %s", settings.data_file_name.c_str());
    }
    read_datafile(settings.data_file_name.c_str());
    shell.loading_screen.load_logo();
    DirectorRun run = run_options;
    run.start_clock = [] { shell.frame_clock.init(); };
    run.tick_clock = [] { shell.frame_clock.tick(); };
    run.fade_out_loading = [] { shell.loading_screen.fade_out(); };
    run.first_frame_shown = [] { log_line("First frame shown %.3f s after the process started", seconds_since_process_start()); };
    run.start_past_the_end = [](double from, double length) {
        char error[160];
        snprintf(error, sizeof error, "--from %g is at or past the end of the music (%.3f s)", from, length);
        exit_with_usage_error(error);
    };
    auto director = std::make_unique<Director>(settings.width, settings.height, settings.aspect(),
                                               settings.capture, settings.sync_client, run);
    write_datafile(settings.data_file_name.c_str());
    if (run_options.pack_only) {
        shut_down(std::move(director));
        return 0;
    }

    director->reshape(settings.width, settings.height);
    director->start();

    FrameLoop loop;
    loop.warp_x = settings.width / 2;
    loop.warp_y = settings.height / 2;
    loop.run(*director, (settings.video_flags & SDL_FULLSCREEN_BIT) != 0);

    shut_down(std::move(director));
    return 0;
}
