// zorvane-editor's session: the edit model, the track files and the demo's connection together.
// The demo asks for tracks by name; each is answered from the model, where a track first asked
// for is loaded from its file, so editing goes on from the saved show and a demo that restarts
// gets the edits of the last one. Every change of the model goes out to the demo, and while the
// demo plays the cursor follows the row it reports. The screen and the script runner both drive
// the editor through this class.
// Depends on: edit_model, editor_link, util/sync (track files), platform/files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "edit_model.h"
#include "editor_link.h"

// A track name as every output line shows it: in double quotes, with '"', '\\' and bytes
// outside printable ASCII escaped, so no name can break a line or pass for another word.
std::string quote_name(const std::string& name);

class EditorSession {
public:
    // `base` is the folder prefix of the track files, as the demo's ("data/sync_tracker/").
    explicit EditorSession(std::string base);

    bool listen(uint16_t port) { return link.listen(port); }
    uint16_t port() const { return link.port(); }
    EditModel& model() { return model_; }
    const EditModel& model() const { return model_; }
    const std::string& base() const { return base_; }

    // Waits up to timeout_ms for the demo or for `extra_fd` (the terminal; -1 for none) and
    // handles whatever arrived. True when `extra_fd` has input.
    bool service(int timeout_ms, int extra_fd = -1);
    // Sends the model's changes to the demo; called after every edit.
    void send_changes();

    // The track of that name, added (from its file when there is one) if the model lacks it.
    int track(const std::string& name);
    // Adds every track file of the base folder, in name order, so the show can be browsed and
    // edited before a demo connects (a demo that asks for a track then gets the edits).
    void load_base_folder();

    // Moves the cursor's row and the demo there.
    void seek(int32_t row);
    void set_paused(bool paused);
    bool paused() const { return paused_; }

    // Writes every track that was edited since the last save, or has no file yet, each
    // atomically (a file nobody edited keeps every byte), then asks the demo to save too. 0
    // when every file was written; -1 otherwise, `problem` naming the first that was not.
    int save(std::string* problem = nullptr);
    // The path of a track's file; empty for a name that cannot be a file name (empty, with '/',
    // NUL or a control character in it, or too long): such a track is never read or written.
    std::string track_file(const std::string& name) const;

    bool connected() const { return link.connected(); }
    // The connected demo took the place of another one.
    bool took_over() const { return took_over_; }
    // The demo's last reported row.
    int32_t demo_row() const { return demo_row_; }
    // Counts since the start, so a script can wait for the next one.
    int connections() const { return connections_; }
    int disconnections() const { return disconnections_; }
    // Whether the current connection has asked for that track.
    bool requested(const std::string& name) const;
    int requested_count() const { return static_cast<int>(wire_tracks.size()); }

    // One line for everything that happens on the connection ("connected", "connected (took
    // over from the previous demo)", "request "NAME" N", "row R", "disconnected REASON",
    // "refused REASON", "refused track name "NAME": REASON") and for unreadable track files.
    std::function<void(const std::string&)> on_event;

private:
    void pump();
    void handle(const LinkEvent& event);
    void send_key(uint32_t wire_index, int32_t row, bool present, const SyncKey& key);
    void say(const std::string& line) {
        if (on_event) on_event(line);
    }

    std::string base_;
    EditModel model_;
    EditorLink link;
    // The model's track for each index the demo uses, in its request order.
    std::vector<int> wire_tracks;
    bool paused_ = false;
    bool took_over_ = false;
    int32_t demo_row_ = 0;
    int connections_ = 0, disconnections_ = 0;
    bool pumping = false;
};
