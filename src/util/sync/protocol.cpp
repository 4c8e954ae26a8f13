// Sync editor messages: greetings and commands to and from bytes.
#include "util/sync/protocol.h"

#include <cstring>

#include "platform/byte_order.h"

namespace {

struct Greeting {
    const char* text;
    size_t length;
};

Greeting greeting_of(SyncPeer sender) {
    return sender == SYNC_CLIENT ? Greeting{SYNC_CLIENT_GREETING, SYNC_CLIENT_GREETING_LENGTH}
                                 : Greeting{SYNC_EDITOR_GREETING, SYNC_EDITOR_GREETING_LENGTH};
}

// Payload bytes after the command byte for the fixed-size commands; -1 for the track request
// (its size is in the message) and for bytes that are no command.
int fixed_payload_size(uint8_t type) {
    switch (type) {
        case MSG_KEY_SET: return 13;
        case MSG_KEY_REMOVE: return 8;
        case MSG_ROW: return 4;
        case MSG_PAUSE_STATE: return 1;
        case MSG_SAVE_ALL: return 0;
        default: return -1;
    }
}

SyncDecoded incomplete() { return SyncDecoded{SYNC_DECODE_INCOMPLETE, 0, SyncCommand{}}; }
SyncDecoded invalid() { return SyncDecoded{SYNC_DECODE_INVALID, 0, SyncCommand{}}; }

}  // namespace

// ---- greetings ------------------------------------------------------------------------------

size_t encode_sync_greeting(SyncPeer sender, uint8_t* out, size_t capacity) {
    Greeting greeting = greeting_of(sender);
    if (capacity < greeting.length) return 0;
    memcpy(out, greeting.text, greeting.length);
    return greeting.length;
}

SyncDecoded decode_sync_greeting(SyncPeer sender, const uint8_t* bytes, size_t length) {
    Greeting greeting = greeting_of(sender);
    size_t compared = length < greeting.length ? length : greeting.length;
    if (compared > 0 && memcmp(bytes, greeting.text, compared) != 0) return invalid();
    if (compared < greeting.length) return incomplete();
    return SyncDecoded{SYNC_DECODE_COMPLETE, greeting.length, SyncCommand{}};
}

// ---- commands -------------------------------------------------------------------------------

bool sync_peer_may_send(SyncPeer sender, uint8_t type) {
    switch (type) {
        case MSG_ROW: return true;
        case MSG_TRACK_REQUEST: return sender == SYNC_CLIENT;
        case MSG_KEY_SET:
        case MSG_KEY_REMOVE:
        case MSG_PAUSE_STATE:
        case MSG_SAVE_ALL: return sender == SYNC_EDITOR;
        default: return false;
    }
}

size_t sync_command_size(const SyncCommand& command) {
    if (command.type == MSG_TRACK_REQUEST)
        return command.name_length <= SYNC_MAX_TRACK_NAME_LENGTH ? 5 + size_t{command.name_length} : 0;
    int payload = fixed_payload_size(command.type);
    return payload < 0 ? 0 : 1 + static_cast<size_t>(payload);
}

size_t encode_sync_command(const SyncCommand& command, uint8_t* out, size_t capacity) {
    size_t size = sync_command_size(command);
    if (size == 0 || size > capacity) return 0;
    out[0] = command.type;
    uint8_t* payload = out + 1;
    switch (command.type) {
        case MSG_KEY_SET:
            write_u32_be(payload, command.track);
            write_u32_be(payload + 4, static_cast<uint32_t>(command.row));
            write_u32_be(payload + 8, float_bits(command.value));
            payload[12] = command.interpolation;
            break;
        case MSG_KEY_REMOVE:
            write_u32_be(payload, command.track);
            write_u32_be(payload + 4, static_cast<uint32_t>(command.row));
            break;
        case MSG_TRACK_REQUEST:
            write_u32_be(payload, command.name_length);
            if (command.name_length) memcpy(payload + 4, command.name, command.name_length);
            break;
        case MSG_ROW: write_u32_be(payload, static_cast<uint32_t>(command.row)); break;
        case MSG_PAUSE_STATE: payload[0] = command.flag; break;
        default: break;  // MSG_SAVE_ALL: the command byte is all
    }
    return size;
}

SyncDecoded decode_sync_command(SyncPeer sender, const uint8_t* bytes, size_t length) {
    if (length == 0) return incomplete();
    SyncCommand command{};
    command.type = bytes[0];
    // Refused on the command byte alone, so a peer never waits for the payload of a command
    // it would drop anyway.
    if (!sync_peer_may_send(sender, command.type)) return invalid();
    const uint8_t* payload = bytes + 1;
    size_t available = length - 1;
    size_t payload_size;
    if (command.type == MSG_TRACK_REQUEST) {
        if (available < 4) return incomplete();
        command.name_length = read_u32_be(payload);
        // Checked before the name is waited for: a huge length is damage, not a long name.
        if (command.name_length > SYNC_MAX_TRACK_NAME_LENGTH) return invalid();
        payload_size = 4 + size_t{command.name_length};
    } else {
        payload_size = static_cast<size_t>(fixed_payload_size(command.type));
    }
    if (available < payload_size) return incomplete();
    switch (command.type) {
        case MSG_KEY_SET:
            command.track = read_u32_be(payload);
            command.row = static_cast<int32_t>(read_u32_be(payload + 4));
            command.value = float_from_bits(read_u32_be(payload + 8));
            command.interpolation = payload[12];
            break;
        case MSG_KEY_REMOVE:
            command.track = read_u32_be(payload);
            command.row = static_cast<int32_t>(read_u32_be(payload + 4));
            break;
        case MSG_TRACK_REQUEST: command.name = reinterpret_cast<const char*>(payload + 4); break;
        case MSG_ROW: command.row = static_cast<int32_t>(read_u32_be(payload)); break;
        case MSG_PAUSE_STATE: command.flag = payload[0]; break;
        default: break;
    }
    return SyncDecoded{SYNC_DECODE_COMPLETE, 1 + payload_size, command};
}
