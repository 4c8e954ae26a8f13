#include "util/music/sync_values.h"

#include <cstring>

#include "platform/fatal.h"

namespace {
float current_value(const SyncValue& entry, double row) {
    return entry.track ? evaluate_track(entry.track, row) : entry.value;
}
}  // namespace

SyncValueHandle SyncValues::add_sync_value(const char* name, float default_value, bool tracked) {
    SyncValue entry{nullptr, name, default_value};
    if (tracked) {
        entry.track = find_or_add_track(device, name, default_value);
        if (!entry.track) ZV_FATAL("Failed to open track %s!\n%s", name, device->problem);
    }
    registry.push_back(entry);
    return SyncValueHandle{static_cast<int32_t>(registry.size() - 1)};
}

float SyncValues::get_sync_value(const char* name) const {
    for (const auto& entry : registry) {
        if (entry.name != name) continue;
        return current_value(entry, row(row_data));
    }
    ZV_FATAL("Can't find sync value for %s", name);
}

float SyncValues::get_sync_value(SyncValueHandle handle) const {
    if (handle.index < 0 || static_cast<size_t>(handle.index) >= registry.size())
        ZV_FATAL("Can't find sync value for handle %d", handle.index);
    return current_value(registry[static_cast<size_t>(handle.index)], row(row_data));
}
