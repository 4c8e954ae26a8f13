// The director's run record, kept apart from the director so that the command line can fill
// it without the scenes.
// Depends on: the standard library only.
#pragma once

#include <string>

// What the application hands the director beyond the window: where the run starts and ends,
// and the hooks into its frame clock and loading screen. Hooks left null do nothing.
struct DirectorRun {
    double from_seconds = 0.0;    // where the music starts
    double until_seconds = -1.0;  // end before the first frame at or past this; < 0: never
    void (*start_clock)() = nullptr;       // once, while the director is built
    void (*tick_clock)() = nullptr;        // first thing in every frame
    void (*fade_out_loading)() = nullptr;  // in start(), before the music starts
    void (*first_frame_shown)() = nullptr; // once, right after the first frame's buffer swap
    // Called when from_seconds is at or past the end of the music, as soon as the music is
    // loaded and before the director writes anything (a capture file, the stills folder); the
    // application ends the run there. Left null, such a run ends before its first frame.
    void (*start_past_the_end)(double from_seconds, double music_seconds) = nullptr;
    // With capture on and shots_every > 0: a PNG still into shots_dir every shots_every seconds
    // of music time instead of the AVI.
    std::string shots_dir;
    double shots_every = 0.0;
    // With capture on: the file, whose ending picks the format (empty: "Zorvane.avi"), the
    // frames per second of the capture or the stills, and the H.264 quality of an .mp4.
    std::string capture_file;
    int frames_per_second = 30;
    int crf = 18;
    // An off-screen capture: the picture's size (0: the window's) and how many times larger
    // each way it is drawn before it is filtered down to it.
    int capture_width = 0, capture_height = 0;
    int supersample = 1;
    // Files are read loose: the transport keys work (while no editor drives the music), and
    // with `watch` what is saved under data/ reaches the running show.
    bool authoring = false;
    bool watch = false;
    // One CSV row of frame times per frame into this file; empty: none.
    std::string stats_file;
    bool overlay = false;  // shown from the first frame
};
