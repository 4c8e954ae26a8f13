// The sync editor connection's messages as bytes: the two greetings, and the commands with the
// side that may send each and the payload that follows the command byte. Plain functions over
// byte spans, no sockets, so the demo's client, the tests' fake editor and the fuzz targets
// share one definition of the wire format.
//
// Integers are 32-bit big-endian; a float travels as its IEEE-754 bits. A command is one byte
// followed by a payload of fixed size, except MSG_TRACK_REQUEST, whose name length comes first.
// Depends on: platform/byte_order.
#pragma once

#include <cstddef>
#include <cstdint>

enum SyncMessage {
    MSG_KEY_SET = 0,        // editor -> client: track, row, value, interpolation byte
    MSG_KEY_REMOVE = 1,     // editor -> client: track, row
    MSG_TRACK_REQUEST = 2,  // client -> editor: name length, name without terminator
    MSG_ROW = 3,            // both ways: row
    MSG_PAUSE_STATE = 4,    // editor -> client: flag byte, non-zero pauses
    MSG_SAVE_ALL = 5,       // editor -> client: nothing
};

constexpr uint16_t SYNC_EDITOR_PORT = 1338;

// The side a message comes from.
enum SyncPeer {
    SYNC_CLIENT = 0,
    SYNC_EDITOR = 1,
};

// Greetings travel without terminator or length.
constexpr char SYNC_CLIENT_GREETING[] = "hello, synctracker!";
constexpr size_t SYNC_CLIENT_GREETING_LENGTH = sizeof SYNC_CLIENT_GREETING - 1;
constexpr char SYNC_EDITOR_GREETING[] = "hello, demo!";
constexpr size_t SYNC_EDITOR_GREETING_LENGTH = sizeof SYNC_EDITOR_GREETING - 1;

// A track request naming more bytes than this is refused as invalid instead of waited for:
// the wire allows four gigabytes, a track file path holds 260 bytes, and a peer must not be
// made to buffer what no track could be called.
constexpr uint32_t SYNC_MAX_TRACK_NAME_LENGTH = 1024;
// The longest command: a track request with the longest name.
constexpr size_t SYNC_MAX_COMMAND_SIZE = 5 + SYNC_MAX_TRACK_NAME_LENGTH;
// The longest command the editor may send (MSG_KEY_SET).
constexpr size_t SYNC_MAX_EDITOR_COMMAND_SIZE = 14;

// One command; only the fields of its type are meaningful.
struct SyncCommand {
    uint8_t type;           // a SyncMessage
    uint32_t track;         // MSG_KEY_SET, MSG_KEY_REMOVE: index in request order
    int32_t row;            // MSG_KEY_SET, MSG_KEY_REMOVE, MSG_ROW
    float value;            // MSG_KEY_SET
    uint8_t interpolation;  // MSG_KEY_SET
    uint8_t flag;           // MSG_PAUSE_STATE
    const char* name;       // MSG_TRACK_REQUEST: not terminated; decoding points into the input
    uint32_t name_length;   // MSG_TRACK_REQUEST
};

enum SyncDecodeStatus {
    SYNC_DECODE_COMPLETE,    // `consumed` bytes make one message
    SYNC_DECODE_INCOMPLETE,  // every byte so far fits; more are needed
    SYNC_DECODE_INVALID,     // no more bytes can make this a message the sender may send
};

struct SyncDecoded {
    SyncDecodeStatus status;
    size_t consumed;      // SYNC_DECODE_COMPLETE only, command byte included
    SyncCommand command;  // SYNC_DECODE_COMPLETE only (decode_sync_command)
};

// ---- greetings ------------------------------------------------------------------------------

// The greeting `sender` opens with, written to `out`; its length, or 0 when it does not fit.
size_t encode_sync_greeting(SyncPeer sender, uint8_t* out, size_t capacity);
// Invalid as soon as a byte differs from the greeting, even before all have arrived.
SyncDecoded decode_sync_greeting(SyncPeer sender, const uint8_t* bytes, size_t length);

// ---- commands -------------------------------------------------------------------------------

bool sync_peer_may_send(SyncPeer sender, uint8_t type);
// Bytes `command` takes on the wire; 0 for an unknown type or a name over the maximum.
size_t sync_command_size(const SyncCommand& command);
// Writes `command` to `out`; its size, or 0 when it does not fit or cannot be encoded.
size_t encode_sync_command(const SyncCommand& command, uint8_t* out, size_t capacity);
// The message at the start of `bytes`, as sent by `sender`; never reads past `length`.
SyncDecoded decode_sync_command(SyncPeer sender, const uint8_t* bytes, size_t length);
