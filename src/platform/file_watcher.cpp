#include "platform/file_watcher.h"

#include <dirent.h>
#include <errno.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace {

constexpr uint32_t FOLDER_EVENTS =
    IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE | IN_DELETE_SELF;

bool is_folder(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

FileWatcher::~FileWatcher() {
    if (fd >= 0) close(fd);
}

bool FileWatcher::start(const std::string& root, std::string& error) {
    if (fd >= 0) return true;
    if (!is_folder(root)) {
        error = root + " is not a folder";
        return false;
    }
    fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        error = std::string("inotify: ") + strerror(errno);
        return false;
    }
    watch_tree(root, 0, false);
    if (folders.empty()) {
        error = "can't watch " + root + ": " + strerror(errno);
        close(fd);
        fd = -1;
        return false;
    }
    return true;
}

// A folder that appears while running (unpacked, or renamed into place) may already hold
// files by the time its watch exists: those count as changed.
void FileWatcher::watch_tree(const std::string& folder, uint64_t now_ms, bool report_files) {
    const int wd = inotify_add_watch(fd, folder.c_str(), FOLDER_EVENTS | IN_ONLYDIR);
    if (wd < 0) return;
    folders[wd] = folder;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
        const std::string path = folder + "/" + entry->d_name;
        if (is_folder(path)) watch_tree(path, now_ms, report_files);
        else if (report_files) changes[path] = Change{now_ms, true};
    }
    closedir(dir);
}

void FileWatcher::take_events(uint64_t now_ms) {
    alignas(inotify_event) char buffer[8192];
    for (;;) {
        const ssize_t length = read(fd, buffer, sizeof buffer);
        if (length <= 0) return;  // EAGAIN: nothing more for now
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            const auto folder = folders.find(event->wd);
            if (folder == folders.end()) continue;
            if (event->mask & (IN_DELETE_SELF | IN_IGNORED)) {
                folders.erase(folder);
                continue;
            }
            if (event->len == 0) continue;
            const std::string path = folder->second + "/" + event->name;
            if (event->mask & IN_ISDIR) {
                if (event->mask & (IN_CREATE | IN_MOVED_TO)) watch_tree(path, now_ms, true);
                continue;
            }
            if (event->mask & (IN_MOVED_FROM | IN_DELETE)) {
                changes.erase(path);  // an editor's temporary file, renamed over the real one
                continue;
            }
            Change& change = changes[path];
            change.last_ms = now_ms;
            // A rename brings a whole file; anything else waits for its writer's close.
            change.closed = (event->mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) != 0;
        }
    }
}

std::vector<std::string> FileWatcher::poll(uint64_t now_ms) {
    std::vector<std::string> settled;
    if (fd < 0) return settled;
    take_events(now_ms);
    for (auto it = changes.begin(); it != changes.end();) {
        if (it->second.closed && now_ms >= it->second.last_ms + QUIET_MS) {
            settled.push_back(it->first);
            it = changes.erase(it);
        } else {
            ++it;
        }
    }
    return settled;
}
