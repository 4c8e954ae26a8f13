// Live reload: while the show reads loose files, what an author saves under data/ reaches the
// running show at the start of the next frame. Shader programs that use the file are built
// again (a failed build keeps the last good program), images are uploaded again into the
// textures made from them, track files are read again while no editor owns the tracks, and a
// change in the music description's folder rebuilds the modulators. A failure is reported once
// on standard error and stays on screen until a later save of that file takes.
// Depends on: platform/file_watcher, util/shaderprogram, util/texture, util/sync, util/music.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_watcher.h"

class Music;

class LiveReload {
public:
    static constexpr const char* ROOT = "data";

    // Starts watching ROOT; false, with `error`, when the system refuses.
    bool start(std::string& error);
    // Takes the changes that have settled by `now_ms` (the monotonic clock).
    void update(Music& music, bool editor_owns_tracks, uint64_t now_ms);
    // The latest failure that no later save has mended; empty when none.
    std::string standing_error() const;

private:
    // True when something took the file without failing.
    bool reload(const std::string& path, Music& music, bool editor_owns_tracks);

    FileWatcher watcher;
    std::vector<std::pair<std::string, std::string>> failures;  // file, report; the latest last
};
