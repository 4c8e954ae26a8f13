// zorvane-tool: the authors' inspection and build tool. It links the engine itself, runs in
// batch mode, prints results to standard output and reports failures with the engine's own
// fatal messages (exit 1). Usage errors exit 2; errors of the tool itself print one line on
// standard error and exit 1.
#include <SDL/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "commands.h"
#include "main/extensions.h"
#include "main/setup_dialog.h"
#include "main/startup.h"
#include "platform/clock.h"

namespace {

struct Subcommand {
    const char* name;
    const char* arguments;
    const char* summary;
    int min_args, max_args;
    int (*run)(int argc, char** argv);
};

// The resolutions the setup dialog offers on this display, small to large; the one it
// preselects is marked.
int run_modes(int, char**) {
    init_sdl_video();
    Settings settings;
    SetupDialog dialog(settings);
    if (!dialog.init(SDL_ListModes(nullptr, SDL_FULLSCREEN | SDL_HWSURFACE))) {
        fprintf(stderr, "zorvane-tool: the display offers no full-screen mode\n");
        SDL_Quit();
        return 1;
    }
    const auto& items = dialog.combo_items(ID_RESOLUTION);
    for (size_t i = 0; i < items.size(); ++i)
        printf("%s%s\n", items[i].c_str(),
               static_cast<int>(i) == dialog.combo_selection(ID_RESOLUTION) ? " (default)" : "");
    SDL_Quit();
    return 0;
}

// The required extensions this driver lacks, one a line; none printed when all are there.
int run_extensions(int, char**) {
    open_tool_gl_context();
    for (const auto& name : missing_required_extensions()) printf("%s\n", name.c_str());
    SDL_Quit();
    return 0;
}

const Subcommand subcommands[] = {
    {"modes", "", "list the resolutions the setup dialog offers", 0, 0, run_modes},
    {"extensions", "", "list the required OpenGL extensions the driver lacks", 0, 0,
     run_extensions},
    {"archive list", "FILE", "one line per entry: <size><TAB><name>", 1, 1, run_archive_list},
    {"archive extract", "FILE DIR", "write every entry to DIR/<name>", 2, 2, run_archive_extract},
    {"archive pack", "OUT PATH...", "pack files and folders into a new archive", 2, 1 << 20,
     run_archive_pack},
    {"archive verify", "FILE", "check a whole archive and print its sizes", 1, 1,
     run_archive_verify},
    {"huff compress", "IN OUT", "compress a file into one raw Huffman block", 2, 2,
     run_huff_compress},
    {"huff decompress", "IN OUT", "expand one raw Huffman block", 2, 2, run_huff_decompress},
    {"track dump", "FILE", "one line per key: <row> <value> <interpolation>", 1, 1, run_track_dump},
    {"track make", "OUT", "a track file from such lines on standard input", 1, 1, run_track_make},
    {"track eval", "FILE ROW...", "the track's value at each row", 2, 1 << 20, run_track_eval},
    {"track plot", "OUT.svg [--from S] [--until S] NAME...", "the named tracks (or all) over music time as SVG", 1,
     1 << 20, run_track_plot},
    {"stats plot", "FILE OUT.svg", "a --stats file's frame times over music time as SVG, stacked by part", 2, 2,
     run_stats_plot},
    {"sync client", "[--host H] [--port P] [--bpm B] [--base DIR] [--seconds S] TRACK...",
     "a headless editor-mode client", 1, 1 << 20, run_sync_client},
    {"music info", "FILE", "channels, rate, samples and length of a soundtrack", 1, 1, run_music_info},
    {"midi dump", "FILE", "the tempo, tracks and note events of a MIDI file", 1, 1, run_midi_dump},
    {"midi values", "XML BEAT...", "every track's note values at each beat", 2, 1 << 20, run_midi_values},
    {"image decode", "FILE OUT.pam", "decode an image as a texture load does, into a PAM", 2, 2, run_image_decode},
    {"scene info", "FILE [--archive A] [--time S]", "counts and bounding box of a COLLADA scene, or of its converted form in A",
     1, 5, run_scene_info},
    {"scene check", "FILE", "what the engine ignores or draws otherwise in a COLLADA scene, a line each", 1, 1,
     run_scene_check},
    {"scene pack", "OUT FILE...", "convert COLLADA scenes as a write-mode run does into a new archive", 2, 1 << 20,
     run_scene_pack},
    {"scene render", "FILE OUT.pam [--size WxH] [--time S] [--shadows]", "draw a COLLADA scene into a PAM", 2, 7,
     run_scene_render},
};

// "archive list" takes two words of the command line, "modes" one.
int command_words(const Subcommand& command) { return strchr(command.name, ' ') ? 2 : 1; }

bool matches(const Subcommand& command, int argc, char** argv) {
    std::string words = argv[1];
    if (command_words(command) == 2) {
        if (argc < 3) return false;
        words += std::string(" ") + argv[2];
    }
    return words == command.name;
}

void print_usage(FILE* out) {
    fprintf(out, "usage: zorvane-tool <command> [arguments]\n\ncommands:\n");
    for (const auto& command : subcommands) {
        std::string synopsis = std::string(command.name) +
                               (*command.arguments ? std::string(" ") + command.arguments : "");
        fprintf(out, "  %-30s %s\n", synopsis.c_str(), command.summary);
    }
}

}  // namespace

int main(int argc, char** argv) {
    line_buffer_standard_output();
    setenv("ZORVANE_BATCH", "1", 1);
    if (argc >= 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "help") == 0)) {
        print_usage(stdout);
        return 0;
    }
    if (argc >= 2 && strcmp(argv[1], "--version") == 0) {
        printf("zorvane-tool %s\n", ZORVANE_VERSION);
        return 0;
    }
    if (argc < 2) {
        fprintf(stderr, "zorvane-tool: missing command\n");
        print_usage(stderr);
        return 2;
    }
    for (const auto& command : subcommands) {
        if (!matches(command, argc, argv)) continue;
        int first = 1 + command_words(command);
        int count = argc - first;
        if (count < command.min_args || count > command.max_args) {
            fprintf(stderr, "zorvane-tool: wrong arguments for '%s'\nusage: zorvane-tool %s %s\n",
                    command.name, command.name, command.arguments);
            return 2;
        }
        return command.run(count, argv + first);
    }
    // A group's name alone, or with a word it does not have: name the ones it has.
    std::string group_commands;
    const std::string group = std::string(argv[1]) + " ";
    for (const auto& command : subcommands)
        if (strncmp(command.name, group.c_str(), group.size()) == 0)
            group_commands += (group_commands.empty() ? "" : ", ") + std::string(command.name + group.size());
    if (!group_commands.empty()) {
        if (argc < 3)
            fprintf(stderr, "zorvane-tool: '%s' needs a subcommand: %s\n", argv[1], group_commands.c_str());
        else
            fprintf(stderr, "zorvane-tool: '%s' has no subcommand '%s'; it has: %s\n", argv[1], argv[2],
                    group_commands.c_str());
    } else {
        fprintf(stderr, "zorvane-tool: unknown command '%s'\n", argv[1]);
    }
    print_usage(stderr);
    return 2;
}
