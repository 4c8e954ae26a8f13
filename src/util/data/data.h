// The data archive: every asset is requested by its relative path through these operations,
// which serve it from the packed archive (read mode) or from loose files (write mode records
// what they serve and packs it into a new archive; mode none only serves).
#pragma once

#include <cstdint>
#include <cstdio>

constexpr int DATAFILE_MODE_NONE = 0;
constexpr int DATAFILE_MODE_READ = 1;
constexpr int DATAFILE_MODE_WRITE = 2;

void set_datafile_mode(int mode);
int get_datafile_mode();

void read_datafile(const char* path);
void write_datafile(const char* path);

// Buffers belong to the caller (free); streams belong to the caller (fclose).
char* get_data(const char* name, uint32_t* size);
void add_data(const char* name, uint32_t size, const char* data);
char* load_file(const char* name, const char* open_mode, uint32_t* size, bool terminator);
FILE* open_file(const char* name, const char* open_mode);

void export_mp3();
void remove_temp_files();
void load_logo();

// Progress for the loading screen: entries in the archive, and how many were requested.
uint32_t get_datafile_entry_count();
uint32_t get_datafile_used_count();
