// Table-driven option parser: "--opt value" and "--opt=value" both work; a repeated option's
// last value wins.
#include "main/options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "platform/numbers.h"
#include "util/data/data.h"

namespace {

bool parse_int(const char* text, long min, long max, int& out) {
    long long value = 0;
    if (!parse_decimal_integer(text, min, max, value)) return false;
    out = static_cast<int>(value);
    return true;
}

bool parse_seconds(const char* text, double& out) { return parse_decimal_double(text, out); }

bool parse_size(const char* v, int& width, int& height) {
    const char* x = strchr(v, 'x');
    if (!x) return false;
    std::string w(v, x);
    return parse_int(w.c_str(), 1, 16384, width) && parse_int(x + 1, 1, 16384, height);
}

bool set_size(CommandLine& o, const char* v) {
    int width = 0, height = 0;
    if (!parse_size(v, width, height)) return false;
    o.width = width;
    o.height = height;
    return true;
}

bool set_capture_size(CommandLine& o, const char* v) {
    int width = 0, height = 0;
    if (!parse_size(v, width, height)) return false;
    o.capture_width = width;
    o.capture_height = height;
    return true;
}

bool set_supersample(CommandLine& o, const char* v) {
    int k = 0;
    if (!parse_int(v, 1, 4, k)) return false;
    o.supersample = k;
    return true;
}

bool set_aspect(CommandLine& o, const char* v) {
    static const struct { const char* text; int num, den; } ratios[] = {
        {"4:3", 4, 3}, {"16:9", 16, 9}, {"16:10", 16, 10}};
    for (const auto& r : ratios)
        if (strcmp(v, r.text) == 0) {
            o.aspect_num = r.num;
            o.aspect_den = r.den;
            return true;
        }
    return false;
}

bool set_aa(CommandLine& o, const char* v) {
    int samples = 0;
    if (!parse_int(v, 0, 16, samples)) return false;
    if (samples != 0 && samples != 2 && samples != 4 && samples != 8 && samples != 16) return false;
    o.antialias_samples = samples;
    return true;
}

bool set_vsync(CommandLine& o, const char* v) {
    int value = 0;
    if (!parse_int(v, 0, 1, value)) return false;
    o.vsync = value;
    return true;
}

bool set_archive_mode(CommandLine& o, const char* v) {
    if (strcmp(v, "read") == 0) o.archive_mode = DATAFILE_MODE_READ;
    else if (strcmp(v, "write") == 0) o.archive_mode = DATAFILE_MODE_WRITE;
    else if (strcmp(v, "loose") == 0) o.archive_mode = DATAFILE_MODE_NONE;
    else return false;
    return true;
}

bool set_data(CommandLine& o, const char* v) {
    if (!*v) return false;
    o.data_file_name = v;
    return true;
}

bool set_from(CommandLine& o, const char* v) {
    double seconds = 0;
    if (!parse_seconds(v, seconds) || seconds < 0) return false;
    o.from_seconds = seconds;
    return true;
}

bool set_until(CommandLine& o, const char* v) {
    double seconds = 0;
    if (!parse_seconds(v, seconds) || seconds <= 0) return false;
    o.until_seconds = seconds;
    return true;
}

bool set_shots(CommandLine& o, const char* v) {
    if (!*v) return false;
    o.shots_dir = v;
    return true;
}

bool set_every(CommandLine& o, const char* v) {
    double seconds = 0;
    if (!parse_seconds(v, seconds) || seconds <= 0 || seconds > 3600) return false;
    o.shots_every = seconds;
    return true;
}

// The ending picks the format; the accepted ones are named in the usage error.
bool set_capture_file(CommandLine& o, const char* v) {
    std::string name = v;
    if (name.size() < 5) return false;
    const std::string ending = lower_case_ending(name);
    if (ending != ".avi" && ending != ".mp4" && ending != ".mkv") return false;
    o.capture_file = name;
    return true;
}

bool set_fps(CommandLine& o, const char* v) {
    int fps = 0;
    if (!parse_int(v, 1, 240, fps)) return false;
    o.capture_fps = fps;
    return true;
}

bool set_crf(CommandLine& o, const char* v) {
    int crf = 0;
    if (!parse_int(v, 1, 51, crf)) return false;  // 0 is lossless, which High profile cannot carry
    o.crf = crf;
    return true;
}

bool set_stats(CommandLine& o, const char* v) {
    if (!*v) return false;
    o.stats_file = v;
    return true;
}

enum class Kind { Flag, Value, Help, Version };

struct OptionSpec {
    const char* name;
    Kind kind;
    bool (*apply)(CommandLine&, const char* value);
};

const OptionSpec option_table[] = {
    {"--no-dialog", Kind::Flag, [](CommandLine& o, const char*) { return o.no_dialog = true; }},
    {"--size", Kind::Value, set_size},
    {"--window", Kind::Flag, [](CommandLine& o, const char*) { o.fullscreen = false; return true; }},
    {"--fullscreen", Kind::Flag, [](CommandLine& o, const char*) { o.fullscreen = true; return true; }},
    {"--aspect", Kind::Value, set_aspect},
    {"--aa", Kind::Value, set_aa},
    {"--vsync", Kind::Value, set_vsync},
    {"--capture", Kind::Flag, [](CommandLine& o, const char*) { return o.capture = true; }},
    {"--sync-client", Kind::Flag, [](CommandLine& o, const char*) { return o.sync_client = true; }},
    {"--archive-mode", Kind::Value, set_archive_mode},
    {"--data", Kind::Value, set_data},
    {"--pack-only", Kind::Flag, [](CommandLine& o, const char*) { return o.pack_only = true; }},
    {"--from", Kind::Value, set_from},
    {"--until", Kind::Value, set_until},
    {"--capture-file", Kind::Value, set_capture_file},
    {"--fps", Kind::Value, set_fps},
    {"--crf", Kind::Value, set_crf},
    {"--capture-size", Kind::Value, set_capture_size},
    {"--supersample", Kind::Value, set_supersample},
    {"--shots", Kind::Value, set_shots},
    {"--every", Kind::Value, set_every},
    {"--no-watch", Kind::Flag, [](CommandLine& o, const char*) { return o.no_watch = true; }},
    {"--stats", Kind::Value, set_stats},
    {"--overlay", Kind::Flag, [](CommandLine& o, const char*) { return o.overlay = true; }},
    {"--help", Kind::Help, nullptr},
    {"--version", Kind::Version, nullptr},
};

}  // namespace

ParseResult parse_command_line(int argc, const char* const* argv, CommandLine& out,
                               std::string& error) {
    CommandLine parsed;
    bool help = false, version = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.compare(0, 2, "--") != 0) {
            error = "unexpected argument '" + arg + "'";
            return ParseResult::Error;
        }
        std::string name = arg;
        std::optional<std::string> inline_value;
        size_t equals = arg.find('=');
        if (equals != std::string::npos) {
            name = arg.substr(0, equals);
            inline_value = arg.substr(equals + 1);
        }
        const OptionSpec* option = nullptr;
        for (const auto& candidate : option_table)
            if (name == candidate.name) option = &candidate;
        if (!option) {
            error = "unknown option '" + name + "'";
            return ParseResult::Error;
        }
        if (option->kind != Kind::Value) {
            if (inline_value) {
                error = "option '" + name + "' takes no value";
                return ParseResult::Error;
            }
            if (option->kind == Kind::Help) help = true;
            else if (option->kind == Kind::Version) version = true;
            else option->apply(parsed, nullptr);
            continue;
        }
        std::string value;
        if (inline_value) {
            value = *inline_value;
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            error = "option '" + name + "' needs a value";
            return ParseResult::Error;
        }
        if (!option->apply(parsed, value.c_str())) {
            error = "bad value '" + value + "' for option '" + name + "'";
            if (name == "--capture-file") error += ": the file's ending must be .avi, .mp4 or .mkv";
            return ParseResult::Error;
        }
    }
    if (help) return ParseResult::Help;
    if (version) return ParseResult::Version;
    if (parsed.pack_only && parsed.archive_mode.value_or(DATAFILE_MODE_READ) != DATAFILE_MODE_WRITE) {
        error = "--pack-only needs --archive-mode write";
        return ParseResult::Error;
    }
    if (parsed.from_seconds && parsed.until_seconds && *parsed.until_seconds <= *parsed.from_seconds) {
        error = "--until must be later than --from";
        return ParseResult::Error;
    }
    if (parsed.shots_dir.has_value() != parsed.shots_every.has_value()) {
        error = "--shots and --every go together";
        return ParseResult::Error;
    }
    if ((parsed.capture_width || parsed.supersample) && !parsed.capture && !parsed.capture_file && !parsed.shots_dir) {
        error = "--capture-size and --supersample need --capture, --capture-file or --shots";
        return ParseResult::Error;
    }
    if (parsed.shots_dir && parsed.capture_file) {
        error = "--shots cannot be combined with --capture-file";
        return ParseResult::Error;
    }
    if (parsed.capture_file && parsed.sync_client) {
        error = "--capture-file cannot be combined with --sync-client";
        return ParseResult::Error;
    }
    if (parsed.shots_dir && (parsed.capture || parsed.sync_client || parsed.pack_only)) {
        error = "--shots cannot be combined with --capture, --sync-client or --pack-only";
        return ParseResult::Error;
    }
    out = parsed;
    return ParseResult::Run;
}

void apply_before_dialog(const CommandLine& o, Settings& s, RunOptions& run) {
    if (o.data_file_name) s.data_file_name = *o.data_file_name;
    if (o.archive_mode) run.archive_mode = *o.archive_mode;
    run.pack_only = o.pack_only;
    if (o.from_seconds) run.from_seconds = *o.from_seconds;
    if (o.until_seconds) run.until_seconds = *o.until_seconds;
    if (o.shots_dir) {
        run.shots_dir = *o.shots_dir;
        run.shots_every = *o.shots_every;
    }
    if (o.capture_file) run.capture_file = *o.capture_file;
    if (o.capture_fps) run.frames_per_second = *o.capture_fps;
    if (o.crf) run.crf = *o.crf;
    if (o.capture_width) {
        run.capture_width = *o.capture_width;
        run.capture_height = *o.capture_height;
    }
    if (o.supersample) run.supersample = *o.supersample;
    run.authoring = run.archive_mode != DATAFILE_MODE_READ;
    run.watch = run.authoring && !o.no_watch && !o.pack_only;
    if (o.stats_file) run.stats_file = *o.stats_file;
    run.overlay = o.overlay;
}

void apply_after_dialog(const CommandLine& o, Settings& s) {
    if (o.width) s.width = *o.width;
    if (o.height) s.height = *o.height;
    if (o.fullscreen) {
        if (*o.fullscreen) s.video_flags |= SDL_FULLSCREEN_BIT;
        else s.video_flags &= ~SDL_FULLSCREEN_BIT;
    }
    if (o.aspect_num) s.aspect_num = *o.aspect_num;
    if (o.aspect_den) s.aspect_den = *o.aspect_den;
    if (o.antialias_samples) s.antialias_samples = *o.antialias_samples;
    if (o.vsync) s.vsync = *o.vsync;
    if (o.capture || o.capture_file) s.capture = true;
    if (o.sync_client) s.sync_client = true;
    // Stills step the music frame by frame as a capture does, whatever the dialog chose.
    if (o.shots_dir) {
        s.capture = true;
        s.sync_client = false;
    }
}

const char* usage_line() {
    return "usage: zorvane [--no-dialog] [--size WxH] [--window | --fullscreen] "
           "[--aspect 4:3|16:9|16:10] [--aa 0|2|4|8|16] [--vsync 0|1] [--capture] "
           "[--capture-file FILE.avi|.mp4|.mkv] [--fps 1-240] [--crf 1-51] [--capture-size WxH] [--supersample 1-4] "
           "[--sync-client] "
           "[--archive-mode read|write|loose] [--data FILE] [--pack-only] "
           "[--from SECONDS] [--until SECONDS] [--shots DIR --every SECONDS] [--no-watch] [--stats FILE] [--overlay] "
           "[--help] [--version]";
}

const char* help_text() {
    return "Zorvane: a real-time audiovisual presentation.\n"
           "\n"
           "Without options the setup dialog opens; its choices can be overridden here.\n"
           "\n"
           "  --no-dialog            skip the setup dialog (as in batch mode)\n"
           "  --size WxH             window or screen size in pixels (1 to 16384 each)\n"
           "  --window               run in a window\n"
           "  --fullscreen           run full screen\n"
           "  --aspect R             picture aspect ratio: 4:3, 16:9 or 16:10\n"
           "  --aa N                 multisample anti-aliasing: 0, 2, 4, 8 or 16\n"
           "  --vsync 0|1            synchronise buffer swaps with the display\n"
           "  --capture              capture the show frame-exactly to AVI (always windowed)\n"
           "  --capture-file FILE    capture into FILE; its ending picks the format: .avi\n"
           "                         (uncompressed, as --capture), .mp4 (H.264 and AAC, for\n"
           "                         video sites) or .mkv (FFV1 and FLAC, a lossless master)\n"
           "  --fps N                frames per second of a capture or of stills (1 to 240,\n"
           "                         default 30)\n"
           "  --crf N                H.264 quality of an .mp4 capture, 1 to 51\n"
           "                         (default 18; lower is better and larger)\n"
           "  --capture-size WxH     render a capture or stills off-screen at this size, whatever\n"
           "                         the window's (1 to 16384 each); the window shows a preview\n"
           "  --supersample K        render K times larger each way (1 to 4) and filter down\n"
           "  --sync-client          edit live against a sync editor on port 1338\n"
           "  --archive-mode M       read (the archive, default), write (loose files, then\n"
           "                         write a new archive) or loose (loose files only)\n"
           "  --data FILE            the archive's name (default data.zqf)\n"
           "  --pack-only            with --archive-mode write: quit once the archive is written\n"
           "  --from SECONDS         start the music at this position\n"
           "  --until SECONDS        end the run before the first frame at or past this position\n"
           "  --shots DIR            write a PNG still of the show into DIR (created if need be)\n"
           "                         every --every SECONDS of music time, named by its time\n"
           "                         (t0012.500.png); frame-exact as --capture, no audio or AVI\n"
           "  --every SECONDS        music time between stills (up to 3600; a still\n"
           "                         at most every frame, 1/30 s unless --fps says otherwise)\n"
           "  --no-watch             with loose files (--archive-mode loose or write): do not\n"
           "                         reload shaders, images, tracks and the music description\n"
           "                         when they are saved\n"
           "  --stats FILE           write one CSV row per frame: its time, and the GPU and CPU\n"
           "                         time of each scene and post effect\n"
           "  --overlay              start with the overlay of frame times shown (F1 toggles it)\n"
           "  --help                 print this text\n"
           "  --version              print the version\n"
           "\n"
           "\n"
           "Keys: Escape quits, F1 shows frame times and what is on screen, F12 captures the mouse.\n"
           "With loose files and no editor: Space pauses and plays, Left and Right move one bar,\n"
           "Page Up and Page Down eight bars, Home goes to the start.\n"
           "\n"
           "ZORVANE_BATCH=1 shows no windows: message boxes go to standard error and answer OK.\n";
}

CommandLine parse_command_line_or_exit(int argc, const char* const* argv) {
    CommandLine options;
    std::string error;
    switch (parse_command_line(argc, argv, options, error)) {
        case ParseResult::Run: return options;
        case ParseResult::Help:
            printf("%s\n\n%s", usage_line(), help_text());
            exit(0);
        case ParseResult::Version:
            printf("zorvane %s\n", ZORVANE_VERSION);
            exit(0);
        case ParseResult::Error: break;
    }
    exit_with_usage_error(error);
}

void exit_with_usage_error(const std::string& error) {
    fflush(stdout);
    fprintf(stderr, "zorvane: %s\n%s\n", error.c_str(), usage_line());
    exit(2);
}
