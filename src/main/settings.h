// Process-wide start-up settings: compiled-in defaults, then the setup dialog, then the
// command line. Read by the entry point, the frame loop and the director's constructor.
#pragma once

#include <cstdint>
#include <string>

#include "util/data/data.h"

constexpr uint32_t SDL_FULLSCREEN_BIT = 0x80000000u;

struct Settings {
    int32_t width = -1;   // -1: no size chosen yet
    int32_t height = -1;
    uint32_t video_flags = SDL_FULLSCREEN_BIT;
    int32_t vsync = 1;
    int32_t aspect_num = 16;
    int32_t aspect_den = 9;
    std::string data_file_name = "data.zqf";
    int32_t antialias_samples = 0;
    bool sync_client = false;
    bool capture = false;

    float aspect() const { return static_cast<float>(aspect_num) / static_cast<float>(aspect_den); }
};

// What the command line adds for authoring runs; defaults leave the show as it is.
struct RunOptions {
    DatafileMode archive_mode = DATAFILE_MODE_READ;
    bool pack_only = false;       // quit right after the new archive is written
    double from_seconds = 0.0;    // music start position
    double until_seconds = -1.0;  // end before the first frame at or past this; < 0: never
    std::string shots_dir;        // with shots_every > 0: write stills there instead of playing
    double shots_every = 0.0;     // seconds of music time between stills
};

extern Settings settings;
extern RunOptions run_options;
