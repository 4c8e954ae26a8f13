// The sync device and the track model: key search, insertion, deletion and evaluation.
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "util/sync/sync.h"

// ---- track model ----------------------------------------------------------------------------

namespace {
// Binary search over the keys: the position of `row` if a key has it (found = true), else the
// position where it would be inserted.
int search_row(const SyncTrack* track, int32_t row, bool& found) {
    int lo = 0, hi = track->key_count;
    while (lo < hi) {
        int mid = (lo + hi) / 2;
        if (track->keys[mid].row < row) lo = mid + 1;
        else if (track->keys[mid].row > row) hi = mid;
        else {
            found = true;
            return mid;
        }
    }
    found = false;
    return lo;
}
}  // namespace

int find_key_floor(const SyncTrack* track, int32_t row) {
    bool found;
    int at = search_row(track, row, found);
    return found ? at : at - 1;
}

int insert_key(SyncTrack* track, SyncKey key) {
    bool found;
    int at = search_row(track, key.row, found);
    if (found) {
        track->keys[at].value = key.value;
        track->keys[at].interpolation = key.interpolation;
        return 0;
    }
    void* grown = realloc(track->keys, sizeof(SyncKey) * (static_cast<size_t>(track->key_count) + 1));
    if (!grown) return -1;
    track->keys = static_cast<SyncKey*>(grown);
    memmove(track->keys + at + 1, track->keys + at,
            sizeof(SyncKey) * static_cast<size_t>(track->key_count - at));
    track->keys[at] = key;
    ++track->key_count;
    return 0;
}

int delete_key(SyncTrack* track, int32_t row) {
    bool found;
    int at = search_row(track, row, found);
    if (!found) return 0;
    memmove(track->keys + at, track->keys + at + 1,
            sizeof(SyncKey) * static_cast<size_t>(track->key_count - at - 1));
    --track->key_count;
    if (track->key_count == 0) {
        free(track->keys);
        track->keys = nullptr;
        return 0;
    }
    void* shrunk = realloc(track->keys, sizeof(SyncKey) * static_cast<size_t>(track->key_count));
    if (!shrunk) return -1;
    track->keys = static_cast<SyncKey*>(shrunk);
    return 0;
}

float evaluate_track(const SyncTrack* track, double row) {
    if (track->key_count == 0) return 0.0f;
    double whole = std::floor(row);
    // Rows beyond what 32 bits hold are before the first or after the last key.
    int32_t floor_row = whole < -2147483648.0 ? INT32_MIN
                        : whole > 2147483647.0 ? INT32_MAX
                                               : static_cast<int32_t>(whole);
    int i = find_key_floor(track, floor_row);
    if (i < 0) return track->keys[0].value;
    if (i > track->key_count - 2) return track->keys[track->key_count - 1].value;
    const SyncKey& k0 = track->keys[i];
    const SyncKey& k1 = track->keys[i + 1];
    double t = (row - k0.row) / (static_cast<double>(k1.row) - k0.row);
    double from = k0.value, span = static_cast<double>(k1.value) - k0.value;
    switch (k0.interpolation) {
        case INTERP_HOLD: return k0.value;
        case INTERP_LINEAR: return static_cast<float>(from + t * span);
        case INTERP_SMOOTHSTEP: return static_cast<float>(from + t * t * (3 - 2 * t) * span);
        case INTERP_EASE_IN: return static_cast<float>(from + std::pow(t, 2.0) * span);
        default: return 0.0f;
    }
}

// ---- device ---------------------------------------------------------------------------------

SyncDevice* create_sync_device(const char* base_path, bool editor_mode) {
    SyncDevice* device = static_cast<SyncDevice*>(calloc(1, sizeof(SyncDevice)));
    if (!device) return nullptr;
    device->base_path = strdup(base_path);
    if (!device->base_path) {
        free(device);
        return nullptr;
    }
    device->last_row_sent = -1;
    device->socket = -1;
    device->io = SyncFileIo{fopen, fread, fclose};
    device->editor_mode = editor_mode;
    return device;
}

void set_sync_file_io(SyncDevice* device, const SyncFileIo* io) { device->io = *io; }

void destroy_sync_device(SyncDevice* device) {
    if (!device) return;
    for (int32_t i = 0; i < device->track_count; ++i) {
        free(device->tracks[i]->name);
        free(device->tracks[i]->keys);
        free(device->tracks[i]);
        free(device->links[i].answer.keys);
    }
    free(device->tracks);
    free(device->links);
    free(device->base_path);
    free(device);
}

SyncTrack* find_or_add_track(SyncDevice* device, const char* name, float default_value) {
    for (int32_t i = 0; i < device->track_count; ++i)
        if (strcmp(device->tracks[i]->name, name) == 0) return device->tracks[i];

    if (device->track_count == device->track_capacity) {
        int32_t capacity = device->track_capacity ? device->track_capacity * 2 : 16;
        void* grown = realloc(device->tracks, sizeof(SyncTrack*) * static_cast<size_t>(capacity));
        if (!grown) return nullptr;
        device->tracks = static_cast<SyncTrack**>(grown);
        void* links = realloc(device->links, sizeof(SyncTrackLink) * static_cast<size_t>(capacity));
        if (!links) return nullptr;
        device->links = static_cast<SyncTrackLink*>(links);
        device->track_capacity = capacity;
    }
    SyncTrack* track = static_cast<SyncTrack*>(calloc(1, sizeof(SyncTrack)));
    if (!track) return nullptr;
    track->name = strdup(name);
    if (!track->name) {
        free(track);
        return nullptr;
    }
    SyncTrackLink& link = device->links[device->track_count];
    link = SyncTrackLink{};
    link.default_value = default_value;
    device->tracks[device->track_count++] = track;

    if (request_track(device, track) != 0) return nullptr;
    if (track->key_count == 0) {
        if (insert_key(track, SyncKey{0, default_value, INTERP_HOLD}) != 0) return nullptr;
        link.local_default = true;
    }
    return track;
}

const char* sync_track_name_problem(const char* name) {
    if (!*name) return "an empty name";
    for (const char* c = name; *c; ++c) {
        if (*c == '/') return "a '/' in the name";
        if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7f) return "a control character in the name";
    }
    // "_" + name + ".track" is one component of the path.
    if (strlen(name) + 7 > NAME_MAX) return "a name too long for a file name";
    return nullptr;
}
