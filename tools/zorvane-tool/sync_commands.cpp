// zorvane-tool track and sync: inspect and make track files, and a headless editor-mode
// client for trying a sync editor without the demo.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "commands.h"
#include "stats_plot.h"
#include "track_plot.h"
#include "platform/clock.h"
#include "platform/fatal.h"
#include "platform/numbers.h"
#include "util/sync/sync.h"

namespace {

bool parse_long(const char* text, long min, long max, long& out) {
    long long value = 0;
    if (!parse_decimal_integer(text, min, max, value)) return false;
    out = static_cast<long>(value);
    return true;
}

bool parse_double(const char* text, double& out) { return parse_decimal_double(text, out); }

// The keys of a track file as it is stored: no default key is added.
bool load_keys(const char* path, SyncTrack& track) {
    track = SyncTrack{nullptr, nullptr, 0};
    FILE* f = open_readable_file(path, UINT32_MAX);
    if (!f) return false;
    SyncFileIo io{fopen, fread, fclose};
    int result = read_track_keys(f, &io, &track);
    fclose(f);
    if (result != 0) tool_error(std::string(path) + " is not a track file (short, or an impossible key count)");
    return result == 0;
}

void print_keys(const SyncTrack& track) {
    for (int32_t i = 0; i < track.key_count; ++i)
        printf("%d %.9g %d\n", track.keys[i].row, static_cast<double>(track.keys[i].value),
               track.keys[i].interpolation);
}

}  // namespace

int run_track_dump(int, char** argv) {
    SyncTrack track;
    if (!load_keys(argv[0], track)) return 1;
    print_keys(track);
    free(track.keys);
    return 0;
}

int run_track_eval(int argc, char** argv) {
    std::vector<double> rows;
    for (int i = 1; i < argc; ++i) {
        double row;
        if (!parse_double(argv[i], row)) {
            fprintf(stderr, "zorvane-tool: '%s' is not a row\nusage: zorvane-tool track eval FILE ROW...\n", argv[i]);
            return 2;
        }
        rows.push_back(row);
    }
    SyncTrack track;
    if (!load_keys(argv[0], track)) return 1;
    for (double row : rows) printf("%.9g\n", static_cast<double>(evaluate_track(&track, row)));
    free(track.keys);
    return 0;
}

int run_track_make(int, char** argv) {
    SyncTrack track{nullptr, nullptr, 0};
    char line[4096];
    int number = 0;
    while (fgets(line, sizeof line, stdin)) {
        ++number;
        std::vector<std::string> words;
        for (char* word = strtok(line, " \t\r\n"); word; word = strtok(nullptr, " \t\r\n")) words.push_back(word);
        if (words.empty()) continue;
        long row = 0, interpolation = 0;
        float value = 0;
        // The value is stored as a float: one that only fits a double is refused, not stored
        // as infinity.
        if (words.size() != 3 || !parse_long(words[0].c_str(), INT32_MIN, INT32_MAX, row) ||
            !parse_decimal_float(words[1].c_str(), value) || !parse_long(words[2].c_str(), 0, 255, interpolation)) {
            free(track.keys);
            return tool_error("line " + std::to_string(number) +
                              ": expected '<row> <value> <interpolation 0-255>'");
        }
        insert_key(&track, SyncKey{static_cast<int32_t>(row), value,
                                   static_cast<int32_t>(interpolation)});
    }
    int saved = save_track_file(argv[0], &track);
    free(track.keys);
    if (saved != 0) return tool_error(std::string("cannot write ") + argv[0]);
    return 0;
}

// ---- sync client ----------------------------------------------------------------------------

namespace {

volatile sig_atomic_t interrupted = 0;

struct ClientState {
    SyncDevice* device;
    double rows_per_second;
    bool playing = true;
    double row_at_start = 0;  // the row when the clock last (re)started
    double started = 0;       // monotonic seconds of that start

    double now() const { return performance_counter() / 1e9; }
    double row() const { return playing ? row_at_start + (now() - started) * rows_per_second : row_at_start; }
};

void say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    putchar('\n');
    fflush(stdout);
}

const SyncEditorCallbacks client_callbacks = {
    [](void* data, int flag) {
        auto* s = static_cast<ClientState*>(data);
        s->row_at_start = s->row();
        s->started = s->now();
        s->playing = flag == 0;
        say("pause %d", flag);
    },
    [](void* data, int32_t row) {
        auto* s = static_cast<ClientState*>(data);
        s->row_at_start = row;
        s->started = s->now();
        say("seek %d", row);
    },
    [](void* data) { return static_cast<ClientState*>(data)->playing ? 1 : 0; },
    [](void*, int32_t track, SyncKey key) {
        say("key %d %d %.9g %d", track, key.row, static_cast<double>(key.value), key.interpolation);
    },
    [](void*, int32_t track, int32_t row) { say("remove %d %d", track, row); },
    [](void*, int result) { say("save %d", result); },
};

}  // namespace

int run_sync_client(int argc, char** argv) {
    std::string host = "127.0.0.1", base = "data/sync_tracker/";
    long port = SYNC_EDITOR_PORT;
    double bpm = SOUNDTRACK_BPM, seconds = -1;
    std::vector<const char*> names;
    // Says what was wrong before the usage line: which option, which value.
    auto usage = [](const std::string& problem) {
        fprintf(stderr, "zorvane-tool: sync client: %s\nusage: zorvane-tool sync client "
                        "[--host H] [--port P] [--bpm B] [--base DIR] [--seconds S] TRACK...\n", problem.c_str());
        return 2;
    };
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        const bool takes_value = arg == "--host" || arg == "--port" || arg == "--bpm" || arg == "--base" ||
                                 arg == "--seconds";
        if (takes_value && i + 1 >= argc) return usage("option '" + arg + "' needs a value");
        const char* value = takes_value ? argv[++i] : nullptr;
        auto bad = [&](const char* what) { return usage("bad value '" + std::string(value) + "' for " + arg + " (" + what + ")"); };
        if (arg == "--host") host = value;
        else if (arg == "--port") { if (!parse_long(value, 1, 65535, port)) return bad("a port from 1 to 65535"); }
        else if (arg == "--bpm") { if (!parse_double(value, bpm) || bpm <= 0) return bad("beats a minute above 0"); }
        else if (arg == "--base") base = value;
        else if (arg == "--seconds") { if (!parse_double(value, seconds) || seconds <= 0) return bad("seconds above 0"); }
        else if (arg.compare(0, 2, "--") == 0) return usage("unknown option '" + arg + "'");
        else names.push_back(argv[i]);
    }
    if (names.empty()) return usage("no track names");
    // A name becomes a file name under --base: nothing may lead out of it or break a line.
    for (const char* name : names)
        if (const char* problem = sync_track_name_problem(name)) return usage(std::string("bad track name: ") + problem);
    if (base.empty() || base.back() != '/') base += '/';

    SyncDevice* device = create_sync_device(base.c_str(), true);
    if (!device) ZV_FATAL("Failed to create sync device!");
    if (connect_sync_editor(device, host.c_str(), static_cast<uint16_t>(port)) != 0)
        ZV_FATAL("Sync tracker failed to connect to host\n%s:%ld: %s", host.c_str(), port, device->problem);
    say("connected");
    for (const char* name : names) find_or_add_track(device, name, 0.0f);

    signal(SIGINT, [](int) { interrupted = 1; });
    ClientState state{device, bpm / 60.0 * SYNC_ROWS_PER_BEAT};
    state.started = state.now();
    double end = seconds > 0 ? state.started + seconds : -1;
    bool connected = true;
    while (!interrupted && (end < 0 || state.now() < end)) {
        int32_t row = static_cast<int32_t>(std::floor(state.row()));
        if (poll_sync_editor(device, row, &client_callbacks, &state) != 0) {
            if (connected) say("disconnected");
            connected = reconnect_sync_editor(device, host.c_str(), static_cast<uint16_t>(port), tick_count_ms()) == 0;
            if (connected) say("connected");
        }
        timespec frame{0, 1000000000L / 60};
        nanosleep(&frame, nullptr);
    }
    const int saved = save_sync_tracks(device);
    say("save %d", saved);
    for (int32_t i = 0; i < device->track_count; ++i) {
        say("track %s", device->tracks[i]->name);
        print_keys(*device->tracks[i]);
    }
    fflush(stdout);
    destroy_sync_device(device);
    return saved == 0 ? 0 : 1;
}

// The track files of the show, by name or, without names, all of them in name order.
int run_stats_plot(int, char** argv) {
    std::string text, error;
    FILE* in = open_readable_file(argv[0], 1ull << 30);
    if (!in) return 1;
    char buffer[65536];
    size_t count;
    while ((count = fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, count);
    fclose(in);
    StatsTable table;
    if (!parse_stats_csv(text, table, error)) return tool_error(std::string(argv[0]) + ": " + error);
    return write_svg_file(argv[1], plot_stats_svg(table));
}

int run_track_plot(int argc, char** argv) {
    const char* usage = "usage: zorvane-tool track plot OUT.svg [--from S] [--until S] NAME...\n";
    const std::string folder = "data/sync_tracker/";
    double from_s = 0, until_s = -1;
    std::vector<std::string> names;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--from" || arg == "--until") {
            double seconds;
            if (i + 1 >= argc || !parse_double(argv[i + 1], seconds) || seconds < 0) {
                fprintf(stderr, "zorvane-tool: %s needs a number of seconds, 0 or more\n%s", arg.c_str(), usage);
                return 2;
            }
            (arg == "--from" ? from_s : until_s) = seconds;
            ++i;
        } else {
            names.push_back(arg);
        }
    }
    if (names.empty()) {
        std::string error;
        if (!list_track_files(folder, names, error)) return tool_error("cannot read " + folder + ": " + error);
        if (names.empty()) return tool_error("no track files in " + folder);
    }
    std::vector<PlotTrack> tracks;
    int last_row = plot_show_rows();
    for (const std::string& name : names) {
        SyncTrack track;
        if (!load_keys((folder + "_" + name + ".track").c_str(), track)) return 1;
        tracks.push_back(PlotTrack{name, std::vector<SyncKey>(track.keys, track.keys + track.key_count)});
        if (track.key_count > 0) last_row = std::max(last_row, track.keys[track.key_count - 1].row);
        free(track.keys);
    }
    const double from = plot_row_of_seconds(from_s);
    const double until = until_s < 0 ? std::max(static_cast<double>(last_row), from + SYNC_ROWS_PER_BAR)
                                     : plot_row_of_seconds(until_s);
    if (until <= from) {
        fprintf(stderr, "zorvane-tool: --until must be after --from\n%s", usage);
        return 2;
    }
    return write_svg_file(argv[0], plot_tracks_svg(tracks, from, until));
}
