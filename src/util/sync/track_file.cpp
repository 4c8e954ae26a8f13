// Track files: "<base path>_<name>.track", a key count and 9 bytes a key, little-endian.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/byte_order.h"
#include "platform/files.h"
#include "util/sync/sync.h"

namespace {

// More keys than a show could ever have: such a count is a damaged file, not a request for
// gigabytes.
constexpr int32_t MAX_TRACK_KEYS = 1 << 22;

}  // namespace

const char* track_file_path(SyncDevice* device, const char* name) {
    int written = snprintf(device->path_buffer, SYNC_PATH_SIZE, "%s_%s.track", device->base_path, name);
    // A cut path would name another file; no path is better than a wrong one.
    if (written < 0 || static_cast<size_t>(written) >= SYNC_PATH_SIZE) return nullptr;
    return device->path_buffer;
}

int make_directories(const char* path) {
    if (strlen(path) >= SYNC_PATH_SIZE) return -1;
    return create_directories(path) ? 0 : -1;
}

int save_track_file(const char* path, const SyncTrack* track) {
    // A failed save never destroys what was saved before.
    AtomicFile file;
    if (!file.open(path)) return -1;
    FILE* f = file.stream();
    uint8_t count[4];
    write_u32_le(count, static_cast<uint32_t>(track->key_count));
    bool ok = fwrite(count, 1, 4, f) == 4;
    for (int32_t i = 0; ok && i < track->key_count; ++i) {
        uint8_t key[9];
        write_u32_le(key, static_cast<uint32_t>(track->keys[i].row));
        write_u32_le(key + 4, float_bits(track->keys[i].value));
        key[8] = static_cast<uint8_t>(track->keys[i].interpolation);
        ok = fwrite(key, 1, 9, f) == 9;
    }
    return ok && file.commit() ? 0 : -1;
}

int save_sync_tracks(SyncDevice* device) {
    if (!device->editor_mode) return 0;
    make_directories(device->base_path);
    for (int32_t i = 0; i < device->track_count; ++i) {
        const char* path = track_file_path(device, device->tracks[i]->name);
        if (!path || save_track_file(path, device->tracks[i]) != 0) return -1;
    }
    return 0;
}

int read_track_keys(FILE* stream, const SyncFileIo* io, SyncTrack* track) {
    uint8_t count_bytes[4];
    if (io->read(count_bytes, 1, 4, stream) != 4) return -1;
    int32_t count = static_cast<int32_t>(read_u32_le(count_bytes));
    if (count < 0 || count > MAX_TRACK_KEYS) return -1;
    SyncKey* keys = count ? static_cast<SyncKey*>(malloc(sizeof(SyncKey) * static_cast<size_t>(count)))
                          : nullptr;
    if (count && !keys) return -1;
    for (int32_t i = 0; i < count; ++i) {
        uint8_t key[9];
        if (io->read(key, 1, 9, stream) != 9) {
            free(keys);
            return -1;
        }
        keys[i].row = static_cast<int32_t>(read_u32_le(key));
        keys[i].value = float_from_bits(read_u32_le(key + 4));
        keys[i].interpolation = key[8];
    }
    // Out-of-order files are sorted, the last of equal rows winning, so that evaluation never
    // meets two keys on one row.
    std::stable_sort(keys, keys + count, [](const SyncKey& a, const SyncKey& b) { return a.row < b.row; });
    int32_t kept = 0;
    for (int32_t i = 0; i < count; ++i) {
        if (kept > 0 && keys[kept - 1].row == keys[i].row) keys[kept - 1] = keys[i];
        else keys[kept++] = keys[i];
    }
    free(track->keys);
    track->keys = keys;
    track->key_count = kept;
    if (kept == 0) {
        free(keys);
        track->keys = nullptr;
    }
    return 0;
}

int load_track_file(SyncDevice* device, SyncTrack* track) {
    const char* path = track_file_path(device, track->name);
    if (!path) return -1;
    FILE* f = device->io.open(path, "rb");
    if (!f) return -1;
    int result = read_track_keys(f, &device->io, track);
    device->io.close(f);
    return result;
}
