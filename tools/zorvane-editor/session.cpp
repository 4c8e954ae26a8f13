// zorvane-editor's session: requests answered from the model, edits forwarded, files saved.
#include "session.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "util/sync/sync.h"

std::string quote_name(const std::string& name) {
    std::string quoted = "\"";
    for (char c : name) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20 || byte >= 0x7f) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\x%02x", byte);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

EditorSession::EditorSession(std::string base) : base_(std::move(base)) {
    if (base_.empty() || base_.back() != '/') base_ += '/';
}

std::string EditorSession::track_file(const std::string& name) const {
    // The name comes from the demo's side of a socket: it must not lead out of the folder.
    if (name.find('\0') != std::string::npos || sync_track_name_problem(name.c_str())) return {};
    return base_ + "_" + name + ".track";
}

int EditorSession::track(const std::string& name) {
    int index = model_.find_track(name);
    if (index >= 0) return index;
    std::vector<SyncKey> keys;
    std::string path = track_file(name);
    // Only a regular file is opened: a FIFO would hold the editor in open() for ever.
    OpenedFile opened = path.empty() ? OpenedFile{} : open_regular_file(path.c_str(), "rb", UINT32_MAX);
    if (opened.refused) {
        say("unreadable " + quote_name(path) + ": it " + opened.reason);
    } else if (FILE* f = opened.stream) {
        SyncTrack loaded{nullptr, nullptr, 0};
        SyncFileIo io{fopen, fread, fclose};
        if (read_track_keys(f, &io, &loaded) == 0)
            keys.assign(loaded.keys, loaded.keys + loaded.key_count);
        else
            say("unreadable " + quote_name(path));
        free(loaded.keys);
        fclose(f);
    }
    return model_.add_track(name, keys);
}

void EditorSession::load_base_folder() {
    std::vector<std::string> names;
    std::string error;
    if (!list_track_files(base_, names, error)) return;  // nothing saved yet
    for (const std::string& name : names)
        if (!track_file(name).empty()) track(name);
}

bool EditorSession::requested(const std::string& name) const {
    for (int t : wire_tracks)
        if (t >= 0 && model_.track_name(t) == name) return true;
    return false;
}

// ---- the connection -------------------------------------------------------------------------

bool EditorSession::service(int timeout_ms, int extra_fd) {
    std::vector<pollfd> fds;
    link.add_poll_fds(fds);
    if (extra_fd >= 0) fds.push_back(pollfd{extra_fd, POLLIN, 0});
    int ready = poll(fds.data(), fds.size(), timeout_ms);
    pump();
    return ready > 0 && extra_fd >= 0 && (fds.back().revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

void EditorSession::pump() {
    // Handlers only queue what they send; were they to read on, a request could overtake the
    // ones before it and the demo's track indices would point at the wrong tracks.
    if (pumping) return;
    pumping = true;
    // What the handlers queue is sent in the next round; a bounded number of rounds, so a
    // demo that never stops talking cannot keep the screen from its turn.
    for (int round = 0; round < 16; ++round) {
        std::vector<LinkEvent> events;
        link.service(events);
        if (events.empty()) break;
        for (const LinkEvent& e : events) handle(e);
    }
    pumping = false;
}

void EditorSession::handle(const LinkEvent& e) {
    switch (e.type) {
        case LinkEvent::CONNECTED: {
            wire_tracks.clear();
            ++connections_;
            took_over_ = !e.reason.empty();
            say(e.reason.empty() ? "connected" : "connected (" + e.reason + ")");
            // A demo starts playing; one that comes back while the editor is paused is held
            // at the cursor, where the author left it.
            if (paused_) {
                set_paused(true);
                seek(model_.cursor_row());
            }
            break;
        }
        case LinkEvent::TRACK_REQUEST: {
            if (wire_tracks.size() <= e.index) wire_tracks.resize(e.index + 1, -1);
            // A name no file can have is not taken into the show; the demo's other tracks
            // are answered as ever.
            if (const char* problem = e.name.find('\0') != std::string::npos
                                          ? "a NUL in the name"
                                          : sync_track_name_problem(e.name.c_str())) {
                say("refused track name " + quote_name(e.name) + ": " + problem);
                break;
            }
            int t = track(e.name);
            wire_tracks[e.index] = t;
            const SyncTrack& keys = model_.track(t);
            for (int32_t i = 0; i < keys.key_count; ++i) send_key(e.index, keys.keys[i].row, true, keys.keys[i]);
            say("request " + quote_name(e.name) + " " + std::to_string(keys.key_count));
            break;
        }
        case LinkEvent::ROW:
            demo_row_ = e.row;
            if (!paused_) model_.set_cursor(model_.cursor_track(), e.row);
            say("row " + std::to_string(e.row));
            break;
        case LinkEvent::DISCONNECTED:
            if (e.was_connected) {
                // A stranger refused is not the demo: the demo's track indices stay.
                wire_tracks.clear();
                ++disconnections_;
                say("disconnected " + e.reason);
            } else {
                say("refused " + e.reason);
            }
            break;
    }
}

void EditorSession::send_key(uint32_t wire_index, int32_t row, bool present, const SyncKey& key) {
    SyncCommand c{};
    c.type = present ? MSG_KEY_SET : MSG_KEY_REMOVE;
    c.track = wire_index;
    c.row = row;
    c.value = key.value;
    c.interpolation = static_cast<uint8_t>(key.interpolation);
    link.send(c);
}

void EditorSession::send_changes() {
    for (const KeyChange& change : model_.take_changes())
        for (size_t w = 0; w < wire_tracks.size(); ++w)
            if (wire_tracks[w] == change.track) send_key(static_cast<uint32_t>(w), change.row, change.present, change.key);
    pump();
}

void EditorSession::seek(int32_t row) {
    model_.set_cursor(model_.cursor_track(), row);
    SyncCommand c{};
    c.type = MSG_ROW;
    c.row = model_.cursor_row();
    link.send(c);
    pump();
}

void EditorSession::set_paused(bool paused) {
    paused_ = paused;
    SyncCommand c{};
    c.type = MSG_PAUSE_STATE;
    c.flag = paused ? 1 : 0;
    link.send(c);
    pump();
}

int EditorSession::save(std::string* problem) {
    int result = 0;
    if (make_directories(base_.c_str()) != 0) {
        if (problem) *problem = "cannot create " + base_;
        result = -1;
    }
    // One file that cannot be written does not keep the others from being saved.
    for (int t = 0; t < model_.track_count(); ++t) {
        std::string path = track_file(model_.track_name(t));
        if (path.empty()) continue;  // kept in memory only, see track_file
        // An unreadable file stays as it is until the author edits its track.
        if (!model_.track_changed(t) && access(path.c_str(), F_OK) == 0) continue;
        if (save_track_file(path.c_str(), &model_.track(t)) != 0) {
            if (problem && result == 0) *problem = "cannot write " + path;
            result = -1;
        }
    }
    if (result == 0) model_.mark_saved();
    // Sent only now: the demo writes the same files when they are in its folder, and two
    // writers of one file must not overlap.
    SyncCommand c{};
    c.type = MSG_SAVE_ALL;
    link.send(c);
    pump();
    return result;
}
