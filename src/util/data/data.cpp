// PLACEHOLDER archive: the mode is real, everything else does nothing yet. The archive with
// its reader, writer and loose-file access replaces this file; until then the shell's calls
// go through the final interface so that nothing else changes when it lands.
#include "util/data/data.h"

#include "platform/clock.h"

namespace {
int datafile_mode = DATAFILE_MODE_NONE;

void log_placeholder(const char* operation) {
    log_line("[DATA] placeholder: %s does nothing yet", operation);
}
}  // namespace

void set_datafile_mode(int mode) { datafile_mode = mode; }
int get_datafile_mode() { return datafile_mode; }

void read_datafile(const char*) { log_placeholder("read_datafile"); }
void write_datafile(const char*) {
    if (datafile_mode == DATAFILE_MODE_WRITE) log_placeholder("write_datafile");
}
void export_mp3() { log_placeholder("export_mp3"); }
void remove_temp_files() {}
void load_logo() { log_placeholder("load_logo"); }

uint32_t get_datafile_entry_count() { return 0; }
uint32_t get_datafile_used_count() { return 0; }
