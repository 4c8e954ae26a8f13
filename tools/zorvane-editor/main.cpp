// zorvane-editor: the show's sync editor, a terminal tracker the demo connects to with
// --sync-client. See README.md, "Editing the show live".
//   zorvane-editor [--port P] [--base DIR] [--bpm B] [--script FILE]
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/numbers.h"
#include "screen.h"
#include "script.h"
#include "session.h"

namespace {

// The usage text; its one conversion is the default tempo.
const char* const USAGE_FORMAT =
    "usage: zorvane-editor [--port P] [--base DIR] [--bpm B] [--script FILE]\n"
    "  --port P       listen for the demo on local port P (default 1338; 0: any free port)\n"
    "  --base DIR     folder of the track files (default data/sync_tracker/)\n"
    "  --bpm B        beats a minute, for the time shown (default %g)\n"
    "  --script FILE  run the actions of FILE instead of the screen (see README.md)\n";

void print_usage(FILE* out) { fprintf(out, USAGE_FORMAT, SOUNDTRACK_BPM); }

int usage(const std::string& problem) {
    fprintf(stderr, "zorvane-editor: %s\n", problem.c_str());
    print_usage(stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    line_buffer_standard_output();
    long port = SYNC_EDITOR_PORT;
    std::string base = "data/sync_tracker/", script_file;
    double bpm = SOUNDTRACK_BPM;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            print_usage(stdout);
            return 0;
        }
        if (i + 1 >= argc) return usage("'" + arg + "' is not an option that stands alone");
        const char* value = argv[++i];
        if (arg == "--port") {
            long long number = 0;
            if (!parse_decimal_integer(value, 0, 65535, number)) return usage("bad port '" + std::string(value) + "'");
            port = static_cast<long>(number);
        } else if (arg == "--bpm") {
            if (!parse_decimal_double(value, bpm) || bpm <= 0) return usage("bad tempo '" + std::string(value) + "'");
        } else if (arg == "--base") {
            base = value;
            if (base.empty()) return usage("empty --base");
        } else if (arg == "--script") {
            script_file = value;
        } else {
            return usage("unknown option '" + arg + "'");
        }
    }

    std::vector<ScriptAction> actions;
    if (!script_file.empty()) {
        // A folder opens like a file and reads as nothing: it would run no action at all.
        struct stat info;
        if (stat(script_file.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
            fprintf(stderr, "zorvane-editor: cannot read %s: %s\n", script_file.c_str(),
                    S_ISDIR(info.st_mode) ? "it is a folder" : "it is not a regular file");
            return 2;
        }
        std::ifstream in(script_file, std::ios::binary);
        if (!in) {
            fprintf(stderr, "zorvane-editor: cannot read %s: %s\n", script_file.c_str(), strerror(errno));
            return 2;
        }
        std::stringstream text;
        text << in.rdbuf();
        std::string error;
        if (!parse_script(text.str(), actions, error)) {
            fprintf(stderr, "zorvane-editor: %s: %s\n", script_file.c_str(), error.c_str());
            return 2;
        }
    } else if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
        return usage("the screen needs a terminal; use --script FILE without one");
    }

    EditorSession session(base);
    if (!session.listen(static_cast<uint16_t>(port))) {
        fprintf(stderr, "zorvane-editor: cannot listen on port %ld: %s\n", port, strerror(errno));
        return 1;
    }
    if (!script_file.empty()) {
        session.on_event = [](const std::string& line) {
            printf("%s\n", line.c_str());
            fflush(stdout);
        };
        printf("listening %u\n", static_cast<unsigned>(session.port()));
        fflush(stdout);
        session.load_base_folder();
        return run_script(session, actions, stdout);
    }
    return run_screen(session, bpm);
}
