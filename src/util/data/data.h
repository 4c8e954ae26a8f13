// The data archive: every asset is requested by its relative path through these operations,
// which serve it from the packed archive (read mode) or from loose files (write mode records
// what it serves and packs it into a new archive; mode none only serves).
//
// Archive file: "Trelvane Data File\0", major 0, minor 2, then one Huffman block whose content
// is the chunk stream: per file "ZQFDFC\0", name length and data size (u32 little-endian), the
// name, the data; in the order the names were first requested.
// Depends on: util/data/huffman, platform (fatal reports, log lines, atomic file writes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Process-wide; the values are the ones stored settings and logs have always used.
enum DatafileMode {
    DATAFILE_MODE_NONE = 0,   // loose files only
    DATAFILE_MODE_READ = 1,   // the packed archive only
    DATAFILE_MODE_WRITE = 2,  // loose files, recorded and packed into a new archive
};

struct DataChunk {
    std::string name;
    uint32_t size;
    char* data;  // owned by the entry list; lives until the process ends
    bool used;
};

void set_datafile_mode(DatafileMode mode);
DatafileMode get_datafile_mode();

// Called after every request the archive serves, so that whoever shows progress (the loading
// screen) can redraw; none is installed by default.
using DatafileProgress = void (*)(void* data);
void set_datafile_progress(DatafileProgress callback, void* data);

void read_datafile(const char* path);
// Where a player finds the archive it is to read: `name` itself when it is there (or is
// absolute); else, for a relative name, the same name beside the program, then in
// ../share/zorvane/ from it (the installed layout). A viewer may start it from any folder.
// When none is there, `name` as given, for the reader's report.
std::string locate_datafile(const std::string& name, const std::string& program_folder);
// A line added to the report of an archive that does not exist, saying how to get one; none
// by default (the tool's commands name archives the user typed).
void set_missing_datafile_hint(const char* hint);
void write_datafile(const char* path);

// Buffers belong to the caller (free); streams belong to the caller (fclose).
char* get_data(const char* name, uint32_t* size);
void add_data(const char* name, uint32_t size, const char* data);
char* load_file(const char* name, const char* open_mode, uint32_t* size, bool terminator);
FILE* open_file(const char* name, const char* open_mode);
// Whether a request for `name` would find something: an entry of the archive in read mode, a
// regular file otherwise. Nothing is read or recorded.
bool data_file_exists(const char* name);

void export_mp3();

// Progress for the loading screen: entries in the archive, and how many were requested.
uint32_t get_datafile_entry_count();
uint32_t get_datafile_used_count();
// Bytes of the last archive read that lie after its compressed block: nothing reads them, and
// nothing the archive writer makes has any.
uint64_t get_datafile_trailing_bytes();

// ---- for zorvane-tool, tests and fuzzing ----------------------------------------------------

const std::vector<DataChunk>& get_datafile_entries();

// read_datafile's work on a whole archive file already in memory (the archive-read flag and
// the mode are not consulted). Fatal reports name `path`.
void parse_datafile_image(const uint8_t* file, size_t length, const char* path);

// The archive file for the given entries, in memory: header, versions and compressed block.
// Returns the chunk-stream length through `stream_length` when given.
std::vector<uint8_t> build_datafile_image(const std::vector<DataChunk>& entries,
                                          uint32_t* stream_length);

// Forgets every entry and the archive-read flag; mode back to none. The progress callback and
// the missing-archive hint stay as they were installed.
void reset_datafile();
