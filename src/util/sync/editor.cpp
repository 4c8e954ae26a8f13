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

int drop_connection(SyncDevice* device) {
    net_close(device->socket);
    device->socket = -1;
    device->received_length = 0;
    device->link = SYNC_LINK_DOWN;
    // The next reconnection attempt starts the wait before a new try.
    device->retry_scheduled = false;
    return -1;
}

// A try that failed: the next one waits.
int give_up(SyncDevice* device, uint32_t now_ms) {
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
        if (device->socket < 0) return give_up(device, now_ms);
        if (!net_send_all(device->socket, SYNC_CLIENT_GREETING, SYNC_CLIENT_GREETING_LENGTH))
            return give_up(device, now_ms);
        device->link = SYNC_LINK_GREETING;
        device->greeting_length = 0;
        device->greeting_deadline_ms = now_ms + SYNC_GREETING_TIMEOUT_MS;
    }
    // Whatever of the greeting has arrived; an editor that accepts and never answers must not
    // hold up the frame.
    while (device->greeting_length < SYNC_EDITOR_GREETING_LENGTH && net_readable(device->socket) == 1) {
        long got = net_recv_now(device->socket, device->greeting + device->greeting_length,
                                SYNC_EDITOR_GREETING_LENGTH - device->greeting_length);
        if (got <= 0) return give_up(device, now_ms);
        device->greeting_length += static_cast<size_t>(got);
    }
    if (device->greeting_length < SYNC_EDITOR_GREETING_LENGTH)
        return reached(now_ms, device->greeting_deadline_ms) ? give_up(device, now_ms) : -1;
    if (decode_sync_greeting(SYNC_EDITOR, device->greeting, device->greeting_length).status != SYNC_DECODE_COMPLETE)
        return give_up(device, now_ms);

    device->link = SYNC_LINK_UP;
    device->received_length = 0;
    // The editor's data replaces ours: every track is emptied and asked for again, in order.
    for (int32_t i = 0; i < device->track_count; ++i) {
        free(device->tracks[i]->keys);
        device->tracks[i]->keys = nullptr;
        device->tracks[i]->key_count = 0;
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
    if (device->socket < 0) return -1;
    SyncCommand request{};
    request.type = MSG_TRACK_REQUEST;
    request.name = track->name;
    request.name_length = static_cast<uint32_t>(strlen(track->name));
    // A name too long for the wire can never be asked for: the same as a failed send.
    if (!send_command(device->socket, request)) return drop_connection(device);
    return 0;
}

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
        if (command.type == MSG_KEY_SET || command.type == MSG_KEY_REMOVE) {
            SyncTrack* track = track_at(device, command.track);
            if (!track) {
                result = -1;  // an index we never handed out: the two sides disagree
                break;
            }
            int32_t index = static_cast<int32_t>(command.track);
            if (command.type == MSG_KEY_SET) {
                SyncKey key{command.row, command.value, command.interpolation};
                if (insert_key(track, key) != 0) {
                    result = -1;
                    break;
                }
                if (callbacks && callbacks->on_key_set) callbacks->on_key_set(data, index, key);
            } else {
                if (delete_key(track, command.row) != 0) {
                    result = -1;
                    break;
                }
                if (callbacks && callbacks->on_key_remove) callbacks->on_key_remove(data, index, command.row);
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
