// Sync tracks: named key-framed curves over music rows, the device that owns them, the
// connection to an external sync editor and the track files.
//
// Plain procedures over heap structures with callback pointers; failures return -1 or a null
// pointer and are reported by the callers. Release mode loads each track once from its file;
// editor mode gets keys, edits, seeks and pauses from the editor over TCP.
// Depends on: util/sync/protocol (the wire format), platform/net (editor mode only).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "util/sync/protocol.h"

// Tracks are keyed in rows: this many to a beat of the music, four beats to a bar.
constexpr int SYNC_ROWS_PER_BEAT = 8;
constexpr int SYNC_ROWS_PER_BAR = 4 * SYNC_ROWS_PER_BEAT;
// The soundtrack's tempo. The show reads it from the score's MIDI file; the tools that count
// time without loading the score (the editor, the sync client, track plots) start from this.
constexpr double SOUNDTRACK_BPM = 145.0;

enum SyncInterpolation {
    INTERP_HOLD = 0,
    INTERP_LINEAR = 1,
    INTERP_SMOOTHSTEP = 2,
    INTERP_EASE_IN = 3,
};

struct SyncKey {
    int32_t row;
    float value;
    int32_t interpolation;
};

struct SyncTrack {
    char* name;
    SyncKey* keys;  // sorted by row, rows unique; null when there are none
    int32_t key_count;
};

struct SyncFileIo {
    FILE* (*open)(const char* name, const char* mode);
    size_t (*read)(void* buffer, size_t size, size_t count, FILE* stream);
    int (*close)(FILE* stream);
};

// What the editor connection has told about one track; kept beside the track list, in the same
// order. An editor's answer to a track request is collected apart from the track's keys and
// takes their place only once it is whole, so a connection lost halfway never leaves a track
// with part of its keys, and a track no editor has answered in this run is never saved: its
// file stays as it was.
struct SyncTrackLink {
    float default_value;  // the value before an editor's keys, as a file without keys gives it
    bool local_default;   // the track holds only the key made from default_value
    bool received;        // an editor's keys came in this run: saving may rewrite the file
    bool cleared;         // the editor removed the track's last key itself
    bool answered;        // the current connection's answer has taken the track's place
    bool answering;       // `answer` holds part of the current connection's answer
    SyncTrack answer;     // keys of the answer while it comes in (its name stays null)
};

constexpr size_t SYNC_PATH_SIZE = 260;
constexpr size_t SYNC_RECEIVE_BUFFER_SIZE = 64;
// Room for the editor's greeting while it arrives.
constexpr size_t SYNC_GREETING_BUFFER_SIZE = 32;

struct SyncDevice {
    char* base_path;
    SyncTrack** tracks;
    SyncTrackLink* links;  // one for each track, in the same order
    int32_t track_count;
    int32_t track_capacity;
    int32_t last_row_sent;
    int socket;
    SyncFileIo io;
    bool editor_mode;
    char path_buffer[SYNC_PATH_SIZE];  // track_file_path's result, reused for every track
    // Bytes of a message that has not arrived whole yet.
    uint8_t received[SYNC_RECEIVE_BUFFER_SIZE];
    size_t received_length;
    // The connection's progress (SyncLink); a new one is opened without waiting on the editor:
    // its greeting is collected over later calls, until a deadline.
    int link;
    uint8_t greeting[SYNC_GREETING_BUFFER_SIZE];
    size_t greeting_length;
    uint32_t greeting_deadline_ms;
    // After a failure or a drop, no new connection is tried before this time.
    uint32_t retry_at_ms;
    bool retry_scheduled;
    // When the last byte of an answer arrived: an answer nothing has followed for
    // SYNC_ANSWER_QUIET_MS is whole.
    uint32_t answer_activity_ms;
    // Why the last connection attempt or track file load failed, for the caller's report.
    char problem[SYNC_PATH_SIZE + 96];
};

enum SyncLink { SYNC_LINK_DOWN, SYNC_LINK_GREETING, SYNC_LINK_UP };
// How long a lost editor is left alone before the next try, and how long its greeting may take.
constexpr uint32_t SYNC_RETRY_MS = 1000;
constexpr uint32_t SYNC_GREETING_TIMEOUT_MS = 3000;
// An editor sends its whole answer to a request at once; bytes still missing after this long
// on an open connection are not part of it.
constexpr uint32_t SYNC_ANSWER_QUIET_MS = 250;

// ---- device and track model -----------------------------------------------------------------

SyncDevice* create_sync_device(const char* base_path, bool editor_mode);
void set_sync_file_io(SyncDevice* device, const SyncFileIo* io);
void destroy_sync_device(SyncDevice* device);
SyncTrack* find_or_add_track(SyncDevice* device, const char* name, float default_value);
// Why `name` cannot be a track's file name (empty, a '/', a control character, longer than a
// file name may be), or null when it can. Track names come from peers and command lines.
const char* sync_track_name_problem(const char* name);
// Every part of an answer collected so far takes its track's place (the answer is whole: the
// editor has gone on to something else).
void complete_sync_answers(SyncDevice* device);

int find_key_floor(const SyncTrack* track, int32_t row);
int insert_key(SyncTrack* track, SyncKey key);
int delete_key(SyncTrack* track, int32_t row);
float evaluate_track(const SyncTrack* track, double row);

// ---- editor connection ----------------------------------------------------------------------

struct SyncEditorCallbacks {
    void (*on_pause)(void* data, int flag);
    void (*on_seek_row)(void* data, int32_t row);
    int (*query_playing)(void* data);
    // Observers for tools; the demo leaves them null.
    void (*on_key_set)(void* data, int32_t track, SyncKey key);
    void (*on_key_remove)(void* data, int32_t track, int32_t row);
    void (*on_save)(void* data, int result);
};

// Connects now, waiting up to SYNC_GREETING_TIMEOUT_MS for the editor's greeting; then every
// track is emptied and asked for again. 0 on success, -1 when there is no answering editor.
int connect_sync_editor(SyncDevice* device, const char* host, uint16_t port);
// Takes a lost connection one step further without waiting: opens a new one once the retry
// time has come, collects the greeting as it arrives, and on the whole greeting empties every
// track and asks for it again. A refused connection, a wrong or late greeting or a dropped
// connection waits SYNC_RETRY_MS before the next try. 0 once the connection is up, else -1.
int reconnect_sync_editor(SyncDevice* device, const char* host, uint16_t port, uint32_t now_ms);
int request_track(SyncDevice* device, SyncTrack* track);
int poll_sync_editor(SyncDevice* device, int32_t row, const SyncEditorCallbacks* callbacks,
                     void* data);

// Handles every complete message at the start of `device->received` (at most its whole
// length) and keeps an incomplete tail for later. Returns -1 when the connection must be
// dropped (unknown command, bad track index, failed key change). Separate from the socket so
// the parser can be driven from memory.
int handle_editor_messages(SyncDevice* device, const SyncEditorCallbacks* callbacks, void* data);

// ---- track files ----------------------------------------------------------------------------

// base path + "_" + name + ".track" in the device's buffer; null when it does not fit.
const char* track_file_path(SyncDevice* device, const char* name);
// Editor mode: writes the file of every track an editor has answered or edited in this run and
// leaves every other file as it was. A track that would be written without keys although the
// editor never removed them keeps a file that holds keys (said on standard error). One track
// that cannot be written does not keep the others from being saved. 0, or -1 when any failed.
int save_sync_tracks(SyncDevice* device);
// Leaves a file that already holds exactly these keys untouched (its time too, so a rebuild of
// the archive is not set off by a save that changed nothing).
int save_track_file(const char* path, const SyncTrack* track);
// True when replacing the file at `path` with a track without keys would lose something: it
// exists and is not the 4 bytes of an empty track.
bool track_file_holds_keys(const char* path);
int load_track_file(SyncDevice* device, SyncTrack* track);
// Release mode: the track whose file is `path` reads it again. Its keys change only once the
// whole file has read, and a file without keys gives the track's default, as at start-up.
// 1 when a track took the file, 0 when no track has that file (or the editor owns the
// tracks), -1 when it does not read (`device->problem` says why).
int reload_track_file(SyncDevice* device, const char* path);
int make_directories(const char* path);
// The names of the tracks that have a file ("_<name>.track") in `folder`, in name order. False
// when the folder cannot be read, `error` saying why.
bool list_track_files(const std::string& folder, std::vector<std::string>& names, std::string& error);

// Reads a track file's keys from an open stream: sorted by row, the last of equal rows
// winning. Returns -1 (and no keys) for a short file or an impossible count.
int read_track_keys(FILE* stream, const SyncFileIo* io, SyncTrack* track);
