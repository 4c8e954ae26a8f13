// Start-up settings: compiled-in defaults, then the setup dialog, then the
// command line. Read by the entry point, the frame loop and the director's constructor.
// Depends on: scenes/director_run, util/data (the archive mode).
#pragma once

#include <cstdint>
#include <string>

#include "scenes/director_run.h"
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

// What the command line adds for authoring runs; defaults leave the show as it is. The part the
// director reads (start, end, stills) is its run record itself, handed on whole.
struct RunOptions : DirectorRun {
    DatafileMode archive_mode = DATAFILE_MODE_READ;
    bool pack_only = false;  // quit right after the new archive is written
};
