#include "util/music/sync_values.h"

#include <cstring>

#include "platform/fatal.h"

void SyncValues::add_sync_value(const char* name, float default_value, bool tracked) {
    SyncValue entry{nullptr, name, default_value};
    if (tracked) {
        entry.track = find_or_add_track(device, name, default_value);
        if (!entry.track) ZV_FATAL("Failed to open track %s!", name);
    }
    registry.push_back(entry);
}

float SyncValues::get_sync_value(const char* name) const {
    for (const auto& entry : registry) {
        if (entry.name != name) continue;
        return entry.track ? evaluate_track(entry.track, row(row_data)) : entry.value;
    }
    ZV_FATAL("Can't find sync value for %s", name);
}
