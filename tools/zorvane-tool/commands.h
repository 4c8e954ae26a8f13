// zorvane-tool's commands. Each takes its arguments (after the command words) and returns the
// exit code; the engine's fatal reports end the process themselves.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

int run_archive_list(int argc, char** argv);
int run_archive_extract(int argc, char** argv);
int run_archive_pack(int argc, char** argv);
int run_archive_verify(int argc, char** argv);
int run_huff_compress(int argc, char** argv);
int run_huff_decompress(int argc, char** argv);
int run_track_dump(int argc, char** argv);
int run_track_make(int argc, char** argv);
int run_track_eval(int argc, char** argv);
int run_track_plot(int argc, char** argv);
int run_stats_plot(int argc, char** argv);
int run_sync_client(int argc, char** argv);
int run_music_info(int argc, char** argv);
int run_midi_dump(int argc, char** argv);
int run_midi_values(int argc, char** argv);
int run_image_decode(int argc, char** argv);
int run_scene_info(int argc, char** argv);
int run_scene_check(int argc, char** argv);
int run_scene_pack(int argc, char** argv);
int run_scene_render(int argc, char** argv);

// ---- helpers shared by the commands (and tested) --------------------------------------------

// An entry name that may become a path under the extraction folder: relative, '/'-separated,
// without empty, "." or ".." components and without NUL bytes.
bool is_safe_entry_name(const std::string& name);

// Finds a name of an extraction that cannot be written: the first unsafe or duplicate name,
// or a name that another uses as a folder. Returns false when all are fine.
bool find_unextractable_name(const std::vector<std::string>& names, std::string& bad);

// "./a//b/./c" -> "a/b/c": the name an entry gets for a path given on the command line.
std::string normalise_entry_name(const std::string& path);

// Opens a small window with an OpenGL context, for the commands that make GL objects.
void open_tool_gl_context();

// Prints "zorvane-tool: <message>" on standard error and returns 1.
int tool_error(const std::string& message);
// For commands that hand a path to the engine, whose reports would blame the format of a file
// that is not there: false after a tool error saying why `path` cannot be read as a file.
bool readable_file(const char* path);
// The same check, keeping the file open for reading; null after the tool error.
FILE* open_readable_file(const char* path, uint64_t limit);
