// Files that must never be left half-written, and folder creation: the archive writer and the
// track files save through these, so a failed write (full disk, no permission) keeps what was
// saved before.
// Depends on: POSIX open, fstat, rename, unlink, stat, mkdir, readlink (/proc/self/exe).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// A file written beside its target ("<path>.partial") and renamed over it only on commit().
// Destroyed without a commit, or on a failed commit, the partial file is removed and the
// target is untouched.
class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile() { abandon(); }
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Opens the partial file for binary writing; false when it cannot be created.
    bool open(const char* path);
    FILE* stream() const { return file; }
    // Flushes and closes the partial file and renames it over the target.
    bool commit();
    void abandon();

private:
    FILE* file = nullptr;
    std::string target, partial;
};

// Creates every folder named by the '/'-separated prefixes of `path` (a path ending in '/'
// creates its last folder too). False when a prefix exists as something other than a folder
// or cannot be created.
bool create_directories(const char* path);

// Readers size their buffers from the file: on Linux a folder opens like a file and reports an
// enormous length, and a device never ends. Before anything is allocated, an open stream must
// be a regular file of at most `limit` bytes: true and its size, or false and the reason ("is a
// folder", "is not a regular file", "is larger than N bytes"), to follow the path in a report.
bool regular_file_size(FILE* stream, uint64_t limit, uint64_t& size, std::string& reason);

// A file opened to be read whole. A FIFO (or a terminal, a device) blocks in open() until a
// writer appears, so the type is checked on a descriptor opened without waiting, and only a
// regular file of at most `limit` bytes becomes a stream (mode "rb" or "rt").
struct OpenedFile {
    FILE* stream = nullptr;  // null when not opened; the caller closes it
    uint64_t size = 0;
    // With a null stream: false when the path could not be opened at all (`reason` is the
    // system's error text, errno is kept), true when it was refused for its type or size
    // (`reason` as regular_file_size gives it).
    bool refused = false;
    std::string reason;
};
OpenedFile open_regular_file(const char* path, const char* mode, uint64_t limit);

// The last four characters of `name` (all of it when shorter), lower-cased: how the program
// tells formats apart (".mp3", ".mp4", ".avi", ...) whatever case the name was written in.
std::string lower_case_ending(const std::string& name);

// The folder the running program was started from (its executable, links resolved), without a
// trailing '/'; empty when the system does not say.
std::string executable_folder();
