// File watcher: tells which files under a folder tree have changed, through Linux's inotify.
// A file is reported once its writer has closed it (or renamed it into place, as editors
// save) and nothing has touched it for QUIET_MS, so a file saved twice in quick succession is
// reported once and a file still being written is never reported half-way.
// Depends on: Linux inotify.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class FileWatcher {
public:
    static constexpr uint64_t QUIET_MS = 150;

    FileWatcher() = default;
    ~FileWatcher();
    FileWatcher(const FileWatcher&) = delete;
    FileWatcher& operator=(const FileWatcher&) = delete;

    // Watches `root` and every folder below it, and those made later. False, with `error`
    // saying why, when the system refuses.
    bool start(const std::string& root, std::string& error);
    bool is_watching() const { return fd >= 0; }

    // Takes in what the system has reported since the last call, without waiting, and returns
    // the paths ("root/folder/file") whose change has settled by now_ms, each once, in name order.
    std::vector<std::string> poll(uint64_t now_ms);

private:
    struct Change {
        uint64_t last_ms = 0;
        bool closed = false;  // false while a writer may still be at it
    };
    void watch_tree(const std::string& folder, uint64_t now_ms, bool report_files);
    void take_events(uint64_t now_ms);

    int fd = -1;
    std::map<int, std::string> folders;  // watch descriptor -> folder path
    std::map<std::string, Change> changes;
};
