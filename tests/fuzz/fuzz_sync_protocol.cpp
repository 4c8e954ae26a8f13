// Arbitrary bytes read as the stream of either side, greeting first: decoding never reads past
// the input, accepts only what that side may send, asks for more on every cut-short message,
// and every message it accepts encodes back to exactly the bytes it consumed.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "util/sync/protocol.h"

namespace {

void check_stream(SyncPeer sender, const uint8_t* data, size_t size) {
    size_t at = 0;
    SyncDecoded greeting = decode_sync_greeting(sender, data, size);
    if (greeting.status == SYNC_DECODE_COMPLETE) {
        uint8_t expected[SYNC_CLIENT_GREETING_LENGTH];
        size_t length = encode_sync_greeting(sender, expected, sizeof expected);
        if (length != greeting.consumed || memcmp(expected, data, length) != 0) abort();
        at = greeting.consumed;
    }
    static uint8_t encoded[SYNC_MAX_COMMAND_SIZE];
    while (at < size) {
        SyncDecoded decoded = decode_sync_command(sender, data + at, size - at);
        if (decoded.status != SYNC_DECODE_COMPLETE) break;
        if (decoded.consumed == 0 || decoded.consumed > size - at) abort();
        if (!sync_peer_may_send(sender, decoded.command.type)) abort();
        size_t length = encode_sync_command(decoded.command, encoded, sizeof encoded);
        if (length != decoded.consumed || memcmp(encoded, data + at, length) != 0) abort();
        // Cut short, the same message is never taken for another or refused.
        for (size_t cut = 0; cut < decoded.consumed; cut += 1 + cut / 8)
            if (decode_sync_command(sender, data + at, cut).status != SYNC_DECODE_INCOMPLETE) abort();
        at += decoded.consumed;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    check_stream(SYNC_CLIENT, data, size);
    check_stream(SYNC_EDITOR, data, size);
    return 0;
}
