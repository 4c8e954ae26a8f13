// Arbitrary bytes as a track file: keys sorted with unique rows, or a failed load with no keys;
// evaluation anywhere stays finite-safe (no division by zero between equal rows).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "util/sync/sync.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* f = fmemopen(const_cast<uint8_t*>(data), size ? size : 1, "rb");
    if (!f) return 0;
    if (size == 0) fgetc(f);  // an empty stream
    SyncFileIo io{fopen, fread, fclose};
    SyncTrack track{nullptr, nullptr, 0};
    int result = read_track_keys(f, &io, &track);
    fclose(f);
    if (result != 0 && (track.keys || track.key_count)) abort();
    for (int32_t i = 1; i < track.key_count; ++i)
        if (track.keys[i - 1].row >= track.keys[i].row) abort();
    for (double row : {-1.0, 0.0, 0.5, 7.25, 1e9}) (void)evaluate_track(&track, row);
    free(track.keys);
    return 0;
}
