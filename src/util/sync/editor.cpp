// The sync editor connection: greetings, track requests, and the commands the editor sends,
// parsed from a receive buffer so that a message split over several TCP segments is completed
// on a later poll instead of blocking the frame.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/byte_order.h"
#include "platform/net.h"
#include "util/sync/sync.h"

namespace {

const char CLIENT_GREETING[] = "hello, synctracker!";
const char EDITOR_GREETING[] = "hello, demo!";

int drop_connection(SyncDevice* device) {
    net_close(device->socket);
    device->socket = -1;
    device->received_length = 0;
    return -1;
}

// Payload bytes after the command byte; -1 for a byte the editor may not send.
int payload_size(uint8_t command) {
    switch (command) {
        case MSG_KEY_SET: return 13;
        case MSG_KEY_REMOVE: return 8;
        case MSG_ROW: return 4;
        case MSG_PAUSE_STATE: return 1;
        case MSG_SAVE_ALL: return 0;
        default: return -1;
    }
}

SyncTrack* track_at(SyncDevice* device, uint32_t index) {
    return index < static_cast<uint32_t>(device->track_count) ? device->tracks[index] : nullptr;
}

}  // namespace

int open_editor_socket(const char* host, uint16_t port) {
    int s = net_connect(host, port);
    if (s < 0) return -1;
    char greeting[12];
    if (!net_send_all(s, CLIENT_GREETING, 19) || net_recv(s, greeting, 12) != 12 ||
        memcmp(greeting, EDITOR_GREETING, 12) != 0) {
        net_close(s);
        return -1;
    }
    return s;
}

int connect_sync_editor(SyncDevice* device, const char* host, uint16_t port) {
    if (!device->editor_mode) return 0;
    if (device->socket >= 0) net_close(device->socket);
    device->received_length = 0;
    device->socket = open_editor_socket(host, port);
    if (device->socket < 0) return -1;
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

int request_track(SyncDevice* device, SyncTrack* track) {
    if (!device->editor_mode) return load_track_file(device, track);
    if (device->socket < 0) return -1;
    uint32_t length = static_cast<uint32_t>(strlen(track->name));
    uint8_t header[5];
    header[0] = MSG_TRACK_REQUEST;
    write_u32_be(header + 1, length);
    if (!net_send_all(device->socket, header, 5) || !net_send_all(device->socket, track->name, length))
        return drop_connection(device);
    return 0;
}

int handle_editor_messages(SyncDevice* device, const SyncEditorCallbacks* callbacks, void* data) {
    size_t at = 0;
    int result = 0;
    while (at < device->received_length) {
        const uint8_t* message = device->received + at;
        uint8_t command = message[0];
        int size = payload_size(command);
        if (size < 0) {
            fprintf(stderr, "unknown cmd: %02x\n", command);
            result = -1;
            break;
        }
        if (device->received_length - at < static_cast<size_t>(size) + 1) break;  // not all here yet
        const uint8_t* payload = message + 1;
        at += static_cast<size_t>(size) + 1;
        if (command == MSG_KEY_SET || command == MSG_KEY_REMOVE) {
            uint32_t index = read_u32_be(payload);
            int32_t row = static_cast<int32_t>(read_u32_be(payload + 4));
            SyncTrack* track = track_at(device, index);
            if (!track) {
                result = -1;  // an index we never handed out: the two sides disagree
                break;
            }
            if (command == MSG_KEY_SET) {
                uint32_t bits = read_u32_be(payload + 8);
                SyncKey key{row, 0.0f, payload[12]};
                memcpy(&key.value, &bits, 4);
                if (insert_key(track, key) != 0) {
                    result = -1;
                    break;
                }
                if (callbacks && callbacks->on_key_set) callbacks->on_key_set(data, static_cast<int32_t>(index), key);
            } else {
                if (delete_key(track, row) != 0) {
                    result = -1;
                    break;
                }
                if (callbacks && callbacks->on_key_remove) callbacks->on_key_remove(data, static_cast<int32_t>(index), row);
            }
        } else if (command == MSG_ROW) {
            if (callbacks && callbacks->on_seek_row)
                callbacks->on_seek_row(data, static_cast<int32_t>(read_u32_be(payload)));
        } else if (command == MSG_PAUSE_STATE) {
            if (callbacks && callbacks->on_pause) callbacks->on_pause(data, payload[0]);
        } else if (command == MSG_SAVE_ALL) {
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
    if (device->socket < 0) return -1;
    for (;;) {
        if (net_readable(device->socket) != 1) {
            if (callbacks && callbacks->query_playing && callbacks->query_playing(data) &&
                row != device->last_row_sent && device->socket >= 0) {
                uint8_t message[5];
                message[0] = MSG_ROW;
                write_u32_be(message + 1, static_cast<uint32_t>(row));
                if (!net_send_all(device->socket, message, 5)) return drop_connection(device);
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
