// Track files: "<base path>_<name>.track", a key count and 9 bytes a key, little-endian.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

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

namespace {

std::string track_file_bytes(const SyncTrack* track) {
    std::string bytes(4 + 9 * static_cast<size_t>(track->key_count), '\0');
    uint8_t* out = reinterpret_cast<uint8_t*>(&bytes[0]);
    write_u32_le(out, static_cast<uint32_t>(track->key_count));
    for (int32_t i = 0; i < track->key_count; ++i) {
        uint8_t* key = out + 4 + 9 * static_cast<size_t>(i);
        write_u32_le(key, static_cast<uint32_t>(track->keys[i].row));
        write_u32_le(key + 4, float_bits(track->keys[i].value));
        key[8] = static_cast<uint8_t>(track->keys[i].interpolation);
    }
    return bytes;
}

// Up to `limit` bytes of the regular file at `path`; false when there is no such file.
bool read_existing(const char* path, size_t limit, std::string& bytes) {
    FILE* f = open_regular_file(path, "rb", UINT64_MAX).stream;
    if (!f) return false;
    bytes.resize(limit);
    bytes.resize(fread(&bytes[0], 1, limit, f));
    fclose(f);
    return true;
}

}  // namespace

bool track_file_holds_keys(const char* path) {
    std::string bytes;
    if (!read_existing(path, 5, bytes)) return false;
    return bytes != std::string(4, '\0');
}

int save_track_file(const char* path, const SyncTrack* track) {
    const std::string bytes = track_file_bytes(track);
    std::string existing;
    if (read_existing(path, bytes.size() + 1, existing) && existing == bytes) return 0;
    // A failed save never destroys what was saved before.
    AtomicFile file;
    if (!file.open(path)) return -1;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file.stream()) == bytes.size();
    return ok && file.commit() ? 0 : -1;
}

int save_sync_tracks(SyncDevice* device) {
    if (!device->editor_mode) return 0;
    make_directories(device->base_path);
    int result = 0;
    for (int32_t i = 0; i < device->track_count; ++i) {
        const SyncTrack* track = device->tracks[i];
        const SyncTrackLink& link = device->links[i];
        // What no editor has told us about in this run is not ours to write.
        if (!link.received) continue;
        const char* problem = sync_track_name_problem(track->name);
        const char* path = problem ? nullptr : track_file_path(device, track->name);
        if (!path) {
            // The name itself is not printed: it may be what makes it unfit.
            fprintf(stderr, "Not saved: track %d, %s\n", i, problem ? problem : "a path too long");
            result = -1;
            continue;
        }
        const SyncTrack none{nullptr, nullptr, 0};
        const SyncTrack* keys = link.local_default ? &none : track;
        if (keys->key_count == 0 && !link.cleared && track_file_holds_keys(path)) {
            fprintf(stderr, "Kept %s: the editor sent no keys for it and removed none\n", path);
            continue;
        }
        if (save_track_file(path, keys) != 0) result = -1;
    }
    return result;
}

bool list_track_files(const std::string& folder, std::vector<std::string>& names, std::string& error) {
    std::error_code failed;
    std::filesystem::directory_iterator entries(folder, failed);
    if (failed) {
        error = failed.message();
        return false;
    }
    const std::string suffix = ".track";
    for (; entries != std::filesystem::directory_iterator(); entries.increment(failed)) {
        const std::string file = entries->path().filename().string();
        if (file.size() > 1 + suffix.size() && file[0] == '_' &&
            file.compare(file.size() - suffix.size(), suffix.size(), suffix) == 0)
            names.push_back(file.substr(1, file.size() - 1 - suffix.size()));
    }
    std::sort(names.begin(), names.end());
    return true;
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
    if (!path) {
        snprintf(device->problem, sizeof device->problem, "%s_%.64s...: a path longer than %zu bytes",
                 device->base_path, track->name, SYNC_PATH_SIZE - 1);
        return -1;
    }
    FILE* f = device->io.open(path, "rb");
    if (!f) {
        snprintf(device->problem, sizeof device->problem, "%s: not found", path);
        return -1;
    }
    int result = read_track_keys(f, &device->io, track);
    device->io.close(f);
    if (result != 0)
        snprintf(device->problem, sizeof device->problem, "%s: not a track file (short, or an impossible key count)", path);
    return result;
}

int reload_track_file(SyncDevice* device, const char* path) {
    if (device->editor_mode) return 0;
    for (int32_t i = 0; i < device->track_count; ++i) {
        SyncTrack* track = device->tracks[i];
        const char* own = track_file_path(device, track->name);
        if (!own || strcmp(own, path) != 0) continue;
        if (load_track_file(device, track) != 0) return -1;
        SyncTrackLink& link = device->links[i];
        link.local_default = track->key_count == 0;
        if (link.local_default && insert_key(track, SyncKey{0, link.default_value, INTERP_HOLD}) != 0) {
            snprintf(device->problem, sizeof device->problem, "%s: no memory for the default key", path);
            return -1;
        }
        return 1;
    }
    return 0;
}
