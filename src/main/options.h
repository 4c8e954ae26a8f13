// The command line of zorvane: the switch for the authoring modes and a few conveniences.
// Parsing never touches the settings; the two apply steps do, one before the setup dialog
// (what "Get &mp3" needs) and one after it (what overrides the dialog's choices).
// Depends on: main/settings, platform/numbers, util/data (the archive mode).
#pragma once

#include <optional>
#include <string>

#include "main/settings.h"

struct CommandLine {
    bool no_dialog = false;
    std::optional<int> width, height;
    std::optional<bool> fullscreen;
    std::optional<int> aspect_num, aspect_den;
    std::optional<int> antialias_samples;
    std::optional<int> vsync;
    bool capture = false;
    bool sync_client = false;
    std::optional<DatafileMode> archive_mode;
    std::optional<std::string> data_file_name;
    bool pack_only = false;
    std::optional<double> from_seconds;
    std::optional<double> until_seconds;
    std::optional<std::string> shots_dir;
    std::optional<double> shots_every;
    std::optional<std::string> capture_file;
    std::optional<int> capture_fps;
    std::optional<int> crf;
    std::optional<int> capture_width, capture_height;
    std::optional<int> supersample;
    bool no_watch = false;
    bool overlay = false;
    std::optional<std::string> stats_file;
};

enum class ParseResult { Run, Help, Version, Error };

// On Error, `error` says what was wrong (without the usage line).
ParseResult parse_command_line(int argc, const char* const* argv, CommandLine& out,
                               std::string& error);

void apply_before_dialog(const CommandLine& options, Settings& settings, RunOptions& run);
void apply_after_dialog(const CommandLine& options, Settings& settings);

const char* usage_line();
const char* help_text();

// A command line that turns out wrong once the show is loaded: the message and the usage line
// on standard error, exit code 2, as for a malformed option.
[[noreturn]] void exit_with_usage_error(const std::string& error);

// Parses the command line and handles --help, --version and errors (exit 0 or 2).
// Returns only for a run.
CommandLine parse_command_line_or_exit(int argc, const char* const* argv);
