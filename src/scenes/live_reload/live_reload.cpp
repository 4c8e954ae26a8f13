#include "scenes/live_reload/live_reload.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "platform/clock.h"
#include "platform/fatal.h"
#include "platform/files.h"
#include "util/music/music.h"
#include "util/shaderprogram/shaderprogram.h"
#include "util/sync/sync.h"
#include "util/texture/texture.h"

namespace {

bool starts_with(const std::string& text, const std::string& prefix) {
    return !prefix.empty() && text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

bool LiveReload::start(std::string& error) { return watcher.start(ROOT, error); }

void LiveReload::update(Music& music, bool editor_owns_tracks, uint64_t now_ms) {
    for (const std::string& path : watcher.poll(now_ms)) reload(path, music, editor_owns_tracks);
}

bool LiveReload::reload(const std::string& path, Music& music, bool editor_owns_tracks) {
    std::string failure;
    std::vector<std::string> taken;
    // Each reader answers how many things took the file (0: none reads it) or -1 with an error.
    // Every reader reports a bad file as a fatal report at start-up; here the show goes on.
    auto attempt = [&](const char* what, const std::function<int(std::string&)>& work) {
        std::string error;
        int result = -1;
        if (!run_catching_fatal([&] { result = work(error); }, error)) result = -1;
        if (result > 0) taken.push_back(std::string(what) + " " + std::to_string(result));
        else if (result < 0 && failure.empty()) failure = error;
    };

    // A program that fails to build keeps its last good self; the others still take the file.
    attempt("programs", [&](std::string& error) {
        int built = 0;
        bool failed = false;
        for (ShaderProgram* program : ShaderProgram::programs_using(path)) {
            std::string own;
            if (program->reload(own)) {
                ++built;
            } else if (!failed) {
                failed = true;
                error = own;
            }
        }
        return failed ? -1 : built;
    });
    attempt("textures", [&](std::string& error) { return Texture::reload_file(path, error); });
    if (!editor_owns_tracks && starts_with(path, Music::SYNC_BASE_PATH)) {
        attempt("tracks", [&](std::string& error) {
            const int result = reload_track_file(music.sync_device, path.c_str());
            if (result < 0) error = music.sync_device->problem;
            return result;
        });
    }
    const std::string ending = lower_case_ending(path);
    if (starts_with(path, music.description_folder()) && ending != ".mp3" && ending != ".ogg")
        attempt("music descriptions", [&](std::string& error) { return music.reload_description(error) ? 1 : -1; });

    if (taken.empty() && failure.empty()) return false;  // nothing in the show reads it
    failures.erase(std::remove_if(failures.begin(), failures.end(), [&](const auto& f) { return f.first == path; }),
                   failures.end());
    if (!failure.empty()) {
        // Start-up's reports end the process and say so; this one does not.
        const std::string exiting = " Exiting.\n";
        if (failure.size() > exiting.size() && failure.compare(failure.size() - exiting.size(), exiting.size(), exiting) == 0)
            failure.resize(failure.size() - exiting.size());
        failures.emplace_back(path, failure);
        fprintf(stderr, "Reload of %s failed: %s%s", path.c_str(), failure.c_str(),
                failure.empty() || failure.back() != '\n' ? "\n" : "");
        fflush(stderr);
        return false;
    }
    std::string what;
    for (const std::string& item : taken) what += (what.empty() ? "" : ", ") + item;
    log_line("Reloaded %s: %s", path.c_str(), what.c_str());
    return true;
}

std::string LiveReload::standing_error() const {
    return failures.empty() ? std::string() : failures.back().second;
}
