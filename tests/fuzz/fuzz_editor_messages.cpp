// Arbitrary bytes from an editor, fed in arbitrary pieces: every complete message is applied
// or refused, nothing outside the track list is touched, and tracks stay sorted.
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <cstring>

#include "util/sync/sync.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Under a plain file: MSG_SAVE_ALL can create and write nothing.
    SyncDevice* device = create_sync_device("/dev/null/fuzz/", false);
    for (const char* name : {"a", "b", "c"}) find_or_add_track(device, name, 1.0f);
    device->editor_mode = true;
    size_t at = 0;
    while (at < size) {
        // The first byte of each piece says how many of the following bytes arrive together.
        size_t piece = 1 + data[at++] % 24;
        size_t room = SYNC_RECEIVE_BUFFER_SIZE - device->received_length;
        piece = piece < room ? piece : room;
        piece = piece < size - at ? piece : size - at;
        memcpy(device->received + device->received_length, data + at, piece);
        device->received_length += piece;
        at += piece;
        if (handle_editor_messages(device, nullptr, nullptr) != 0) break;
        if (device->received_length >= SYNC_MAX_EDITOR_COMMAND_SIZE) abort();  // only an incomplete message may wait
    }
    for (int32_t t = 0; t < device->track_count; ++t)
        for (int32_t i = 1; i < device->tracks[t]->key_count; ++i)
            if (device->tracks[t]->keys[i - 1].row >= device->tracks[t]->keys[i].row) abort();
    destroy_sync_device(device);
    return 0;
}
