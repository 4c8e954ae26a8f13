// The sync editor connection: greetings, track requests, and the commands the editor sends,
// parsed from a receive buffer so that a message split over several TCP segments is completed
// on a later poll instead of blocking the frame.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"
#include "platform/net.h"
#include "util/sync/protocol.h"
#include "util/sync/sync.h"

// A command that has not arrived whole waits in the buffer; the longest must fit, or it could
// never complete.
static_assert(SYNC_RECEIVE_BUFFER_SIZE >= SYNC_MAX_EDITOR_COMMAND_SIZE, "receive buffer too small");
static_assert(SYNC_GREETING_BUFFER_SIZE >= SYNC_EDITOR_GREETING_LENGTH, "greeting buffer too small");

namespace {

void forget_answer(SyncTrackLink& link) {
    free(link.answer.keys);
    link.answer = SyncTrack{nullptr, nullptr, 0};
    link.answering = false;
}

// The track holds only the key a file without keys gives: the value before any key.
int restore_local_default(SyncTrack* track, SyncTrackLink& link) {
    free(track->keys);
    track->keys = nullptr;
    track->key_count = 0;
    if (insert_key(track, SyncKey{0, link.default_value, INTERP_HOLD}) != 0) return -1;
    link.local_default = true;
    return 0;
}

// A whole answer takes the track's place. One that ended empty was emptied by the editor's own
// removals (nothing else collects an answer).
void take_answer(SyncTrack* track, SyncTrackLink& link) {
    if (link.answer.key_count > 0) {
        free(track->keys);
        track->keys = link.answer.keys;
        track->key_count = link.answer.key_count;
        link.answer = SyncTrack{nullptr, nullptr, 0};
        link.local_default = false;
        link.cleared = false;
    } else {
        restore_local_default(track, link);
        link.cleared = true;
    }
    forget_answer(link);
    link.received = true;
    link.answered = true;
}

void complete_answers_except(SyncDevice* device, int32_t except) {
    for (int32_t i = 0; i < device->track_count; ++i)
        if (i != except && device->links[i].answering) take_answer(device->tracks[i], device->links[i]);
}

// A key set or removal: part of the track's answer until that is whole, an edit after.
int change_key(SyncDevice* device, int32_t index, const SyncCommand& command) {
    SyncTrack* track = device->tracks[index];
    SyncTrackLink& link = device->links[index];
    // The editor answers requests one after the other: a message for another track means the
    // answers before it are whole.
    complete_answers_except(device, index);
    if (!link.answered) {
        link.answering = true;
        device->answer_activity_ms = tick_count_ms();
        if (command.type == MSG_KEY_SET)
            return insert_key(&link.answer, SyncKey{command.row, command.value, command.interpolation});
        return delete_key(&link.answer, command.row);
    }
    link.received = true;
    if (command.type == MSG_KEY_SET) {
        if (link.local_default) {
            free(track->keys);
            track->keys = nullptr;
            track->key_count = 0;
            link.local_default = false;
        }
        link.cleared = false;
        return insert_key(track, SyncKey{command.row, command.value, command.interpolation});
    }
    if (link.local_default) return 0;  // the editor never sent that key
    if (delete_key(track, command.row) != 0) return -1;
    if (track->key_count > 0) return 0;
    link.cleared = true;
    return restore_local_default(track, link);
}

int drop_connection(SyncDevice* device) {
    // An answer cut off is not the editor's keys: the track keeps the ones it had.
    for (int32_t i = 0; i < device->track_count; ++i) forget_answer(device->links[i]);
    net_close(device->socket);
    device->socket = -1;
    device->received_length = 0;
    device->link = SYNC_LINK_DOWN;
    // The next reconnection attempt starts the wait before a new try.
    device->retry_scheduled = false;
    return -1;
}

// A try that failed: the next one waits.
int give_up(SyncDevice* device, uint32_t now_ms, const char* why) {
    snprintf(device->problem, sizeof device->problem, "%s", why);
    drop_connection(device);
    device->retry_at_ms = now_ms + SYNC_RETRY_MS;
    device->retry_scheduled = true;
    return -1;
}

bool reached(uint32_t now_ms, uint32_t time_ms) { return static_cast<int32_t>(now_ms - time_ms) >= 0; }

SyncTrack* track_at(SyncDevice* device, uint32_t index) {
    return index < static_cast<uint32_t>(device->track_count) ? device->tracks[index] : nullptr;
}

// Sends one whole command; false when it cannot be encoded or the send falls short.
bool send_command(int socket, const SyncCommand& command) {
    uint8_t message[SYNC_MAX_COMMAND_SIZE];
    size_t size = encode_sync_command(command, message, sizeof message);
    return size > 0 && net_send_all(socket, message, size);
}

}  // namespace

int reconnect_sync_editor(SyncDevice* device, const char* host, uint16_t port, uint32_t now_ms) {
    if (!device->editor_mode) return 0;
    if (device->link == SYNC_LINK_UP) return 0;
    if (device->link == SYNC_LINK_DOWN) {
        if (!device->retry_scheduled) {
            device->retry_at_ms = now_ms + SYNC_RETRY_MS;
            device->retry_scheduled = true;
        }
        if (!reached(now_ms, device->retry_at_ms)) return -1;
        device->socket = net_connect(host, port);
        if (device->socket < 0) return give_up(device, now_ms, "no sync editor listens there");
        if (!net_send_all(device->socket, SYNC_CLIENT_GREETING, SYNC_CLIENT_GREETING_LENGTH))
            return give_up(device, now_ms, "the connection closed before the greeting");
        device->link = SYNC_LINK_GREETING;
        device->greeting_length = 0;
        device->greeting_deadline_ms = now_ms + SYNC_GREETING_TIMEOUT_MS;
    }
    // Whatever of the greeting has arrived; an editor that accepts and never answers must not
    // hold up the frame.
    while (device->greeting_length < SYNC_EDITOR_GREETING_LENGTH && net_readable(device->socket) == 1) {
        long got = net_recv_now(device->socket, device->greeting + device->greeting_length,
                                SYNC_EDITOR_GREETING_LENGTH - device->greeting_length);
        if (got <= 0) return give_up(device, now_ms, "the connection closed during the greeting");
        device->greeting_length += static_cast<size_t>(got);
    }
    if (device->greeting_length < SYNC_EDITOR_GREETING_LENGTH)
        return reached(now_ms, device->greeting_deadline_ms)
                   ? give_up(device, now_ms, "something listens there but never sent a sync editor's greeting")
                   : -1;
    if (decode_sync_greeting(SYNC_EDITOR, device->greeting, device->greeting_length).status != SYNC_DECODE_COMPLETE)
        return give_up(device, now_ms, "something listens there but its greeting is not a sync editor's");

    device->link = SYNC_LINK_UP;
    device->received_length = 0;
    // Every track is asked for again, in order; the new editor's keys replace each track's own
    // once its answer is whole, and until then the track keeps what it had.
    for (int32_t i = 0; i < device->track_count; ++i) {
        forget_answer(device->links[i]);
        device->links[i].answered = false;
    }
    for (int32_t i = 0; i < device->track_count; ++i)
        if (request_track(device, device->tracks[i]) != 0) return -1;
    return 0;
}

int connect_sync_editor(SyncDevice* device, const char* host, uint16_t port) {
    if (!device->editor_mode) return 0;
    if (device->socket >= 0) drop_connection(device);
    const uint32_t start = tick_count_ms();
    device->retry_at_ms = start;
    device->retry_scheduled = true;
    for (;;) {
        if (reconnect_sync_editor(device, host, port, tick_count_ms()) == 0) return 0;
        if (device->link == SYNC_LINK_DOWN) return -1;
        net_wait_readable(device->socket, 50);
    }
}

int request_track(SyncDevice* device, SyncTrack* track) {
    if (!device->editor_mode) return load_track_file(device, track);
    if (device->socket < 0) {
        snprintf(device->problem, sizeof device->problem, "no sync editor is connected");
        return -1;
    }
    SyncCommand request{};
    request.type = MSG_TRACK_REQUEST;
    request.name = track->name;
    request.name_length = static_cast<uint32_t>(strlen(track->name));
    // A name too long for the wire can never be asked for: the same as a failed send.
    if (!send_command(device->socket, request)) {
        snprintf(device->problem, sizeof device->problem, "the request could not be sent to the sync editor");
        return drop_connection(device);
    }
    return 0;
}

void complete_sync_answers(SyncDevice* device) { complete_answers_except(device, -1); }

int handle_editor_messages(SyncDevice* device, const SyncEditorCallbacks* callbacks, void* data) {
    size_t at = 0;
    int result = 0;
    while (at < device->received_length) {
        SyncDecoded decoded = decode_sync_command(SYNC_EDITOR, device->received + at, device->received_length - at);
        if (decoded.status == SYNC_DECODE_INVALID) {
            fprintf(stderr, "unknown cmd: %02x\n", device->received[at]);
            result = -1;
            break;
        }
        if (decoded.status == SYNC_DECODE_INCOMPLETE) break;  // not all here yet
        at += decoded.consumed;
        const SyncCommand& command = decoded.command;
        if (command.type != MSG_KEY_SET && command.type != MSG_KEY_REMOVE) complete_sync_answers(device);
        if (command.type == MSG_KEY_SET || command.type == MSG_KEY_REMOVE) {
            SyncTrack* track = track_at(device, command.track);
            if (!track) {
                result = -1;  // an index we never handed out: the two sides disagree
                break;
            }
            int32_t index = static_cast<int32_t>(command.track);
            if (change_key(device, index, command) != 0) {
                result = -1;
                break;
            }
            if (command.type == MSG_KEY_SET) {
                if (callbacks && callbacks->on_key_set)
                    callbacks->on_key_set(data, index, SyncKey{command.row, command.value, command.interpolation});
            } else if (callbacks && callbacks->on_key_remove) {
                callbacks->on_key_remove(data, index, command.row);
            }
        } else if (command.type == MSG_ROW) {
            if (callbacks && callbacks->on_seek_row) callbacks->on_seek_row(data, command.row);
        } else if (command.type == MSG_PAUSE_STATE) {
            if (callbacks && callbacks->on_pause) callbacks->on_pause(data, command.flag);
        } else if (command.type == MSG_SAVE_ALL) {
            int saved = save_sync_tracks(device);
            if (callbacks && callbacks->on_save) callbacks->on_save(data, saved);
        }
    }
    memmove(device->received, device->received + at, device->received_length - at);
    device->received_length -= at;
    return result;
}

int poll_sync_editor(SyncDevice* device, int32_t row, const SyncEditorCallbacks* callbacks, void* data) {
    if (!device->editor_mode) return 0;
    if (device->socket < 0 || device->link != SYNC_LINK_UP) return -1;
    for (;;) {
        if (net_readable(device->socket) != 1) {
            // Nothing more has come of an answer for a while, and no message waits half-read:
            // the answer is whole.
            if (device->received_length == 0 &&
                reached(tick_count_ms(), device->answer_activity_ms + SYNC_ANSWER_QUIET_MS))
                complete_sync_answers(device);
            if (callbacks && callbacks->query_playing && callbacks->query_playing(data) &&
                row != device->last_row_sent && device->socket >= 0) {
                SyncCommand report{};
                report.type = MSG_ROW;
                report.row = row;
                if (!send_command(device->socket, report)) return drop_connection(device);
                device->last_row_sent = row;
            }
            return 0;
        }
        long got = net_recv_now(device->socket, device->received + device->received_length,
                                SYNC_RECEIVE_BUFFER_SIZE - device->received_length);
        // Zero: the editor closed the connection, between messages or in the middle of one.
        if (got <= 0) return drop_connection(device);
        device->received_length += static_cast<size_t>(got);
        if (handle_editor_messages(device, callbacks, data) != 0) return drop_connection(device);
    }
}
