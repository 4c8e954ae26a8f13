// The named-value registry: every animated parameter is registered once by name with a
// default and read by name every frame. Tracked values follow their sync track at the
// current row; untracked ones always give their default. It belongs to the music player,
// which supplies the device and the row.
// Depends on: util/sync (the device and its tracks), platform/fatal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "util/sync/sync.h"

// What registration returns: reads through it cost no search by name.
struct SyncValueHandle {
    int32_t index = -1;
};

struct SyncValue {
    SyncTrack* track;  // null for untracked values
    std::string name;
    float value;
};

class SyncValues {
public:
    using RowSource = double (*)(void* data);

    SyncValues(SyncDevice* device, RowSource row, void* row_data)
        : device(device), row(row), row_data(row_data) {}

    // A tracked name whose track cannot be had is fatal. A name registered twice is kept
    // twice; lookups find the first.
    SyncValueHandle add_sync_value(const char* name, float default_value, bool tracked);
    float get_sync_value(const char* name) const;
    // A handle this registry did not return is fatal.
    float get_sync_value(SyncValueHandle handle) const;

    const std::vector<SyncValue>& values() const { return registry; }

private:
    SyncDevice* device;
    RowSource row;
    void* row_data;
    std::vector<SyncValue> registry;
};
