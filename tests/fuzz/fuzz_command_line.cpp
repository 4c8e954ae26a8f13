// Arbitrary argument vectors (NUL-separated) through the command-line parser and both apply
// steps: no crash, and a parse that succeeds leaves settings inside their documented ranges.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "main/options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> words(1, "zorvane");
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            words.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    words.push_back(current);
    std::vector<const char*> argv;
    for (const auto& w : words) argv.push_back(w.c_str());

    CommandLine options;
    std::string error;
    ParseResult result = parse_command_line(static_cast<int>(argv.size()), argv.data(), options, error);
    if (result == ParseResult::Error && error.empty()) abort();
    if (result != ParseResult::Run) return 0;

    Settings settings;
    RunOptions run;
    apply_before_dialog(options, settings, run);
    apply_after_dialog(options, settings);
    bool size_ok = settings.width == -1 || (settings.width >= 1 && settings.width <= 16384);
    bool range_ok = run.from_seconds >= 0 && (run.until_seconds < 0 || run.until_seconds > 0);
    bool pack_ok = !run.pack_only || run.archive_mode == DATAFILE_MODE_WRITE;
    if (!size_ok || !range_ok || !pack_ok) abort();
    return 0;
}
