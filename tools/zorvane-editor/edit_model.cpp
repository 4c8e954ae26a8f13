// zorvane-editor's edit model: every change goes through change_cell, which keeps the engine's
// track in order, records what the cell held for undo and queues the change for the demo.
#include "edit_model.h"

#include <algorithm>
#include <cstdlib>

#include "platform/byte_order.h"

namespace {

const char* const INTERPOLATION_NAMES[] = {"hold", "linear", "smooth", "ramp"};

bool same_key(const SyncKey& a, const SyncKey& b) {
    // Compared bit for bit, so that -0 and 0 (or two NaN patterns) count as different values.
    return a.row == b.row && float_bits(a.value) == float_bits(b.value) && a.interpolation == b.interpolation;
}

}  // namespace

const char* interpolation_name(int32_t interpolation) {
    return interpolation >= INTERP_HOLD && interpolation <= INTERP_EASE_IN ? INTERPOLATION_NAMES[interpolation] : "?";
}

int parse_interpolation(const std::string& text) {
    for (int i = INTERP_HOLD; i <= INTERP_EASE_IN; ++i)
        if (text == INTERPOLATION_NAMES[i] || text == std::to_string(i)) return i;
    return -1;
}

int32_t next_interpolation(int32_t interpolation) {
    return interpolation >= INTERP_HOLD && interpolation < INTERP_EASE_IN ? interpolation + 1 : INTERP_HOLD;
}

EditModel::~EditModel() {
    for (Track& t : tracks) free(t.keys.keys);
}

// ---- tracks ---------------------------------------------------------------------------------

int EditModel::add_track(const std::string& name, const std::vector<SyncKey>& keys) {
    Track t{name, SyncTrack{nullptr, nullptr, 0}};
    for (const SyncKey& key : keys) insert_key(&t.keys, key);
    tracks.push_back(t);
    return track_count() - 1;
}

int EditModel::find_track(const std::string& name) const {
    for (size_t i = 0; i < tracks.size(); ++i)
        if (tracks[i].name == name) return static_cast<int>(i);
    return -1;
}

const SyncKey* EditModel::key_at(int t, int32_t row) const {
    const SyncTrack& keys = track(t);
    int i = find_key_floor(&keys, row);
    return i >= 0 && keys.keys[i].row == row ? &keys.keys[i] : nullptr;
}

float EditModel::value_at(int t, double row) const { return evaluate_track(&track(t), row); }

int32_t EditModel::last_key_row() const {
    int32_t last = 0;
    for (const Track& t : tracks)
        if (t.keys.key_count > 0) last = std::max(last, t.keys.keys[t.keys.key_count - 1].row);
    return last;
}

// ---- edits ----------------------------------------------------------------------------------

void EditModel::change_cell(int t, int32_t row, bool present, SyncKey key, Edit* edit) {
    SyncTrack& keys = tracks[static_cast<size_t>(t)].keys;
    const SyncKey* old = key_at(t, row);
    key.row = row;
    if (!old && !present) return;
    if (old && present && same_key(*old, key)) return;
    CellEdit cell{t, row, old != nullptr, present, old ? *old : SyncKey{}, key};
    // A failed allocation leaves the track as it was; the edit then records nothing, so undo
    // and the demo never hear of a change that did not happen.
    if (present ? insert_key(&keys, key) != 0 : ::delete_key(&keys, row) != 0) return;
    changes.push_back(KeyChange{t, row, present, key});
    tracks[static_cast<size_t>(t)].changed = true;
    if (edit) edit->push_back(cell);
}

bool EditModel::commit(Edit edit) {
    if (edit.empty()) return false;
    undo_stack.push_back(std::move(edit));
    if (undo_stack.size() > EDITOR_UNDO_DEPTH) undo_stack.pop_front();
    ++revision;
    return true;
}

bool EditModel::set_key(int t, int32_t row, float value, int32_t interpolation) {
    if (t < 0 || t >= track_count() || row < 0) return false;
    if (interpolation < 0) {
        const SyncTrack& keys = track(t);
        int before = find_key_floor(&keys, row);
        interpolation = before >= 0 ? keys.keys[before].interpolation : INTERP_HOLD;
    }
    Edit edit;
    change_cell(t, row, true, SyncKey{row, value, interpolation}, &edit);
    return commit(std::move(edit));
}

bool EditModel::delete_key(int t, int32_t row) {
    if (t < 0 || t >= track_count()) return false;
    Edit edit;
    change_cell(t, row, false, SyncKey{}, &edit);
    return commit(std::move(edit));
}

bool EditModel::delete_block(const CellBlock& block) {
    Edit edit;
    for (int t = std::max(block.first_track, 0); t <= block.last_track && t < track_count(); ++t) {
        // Rows of the keys inside the block, collected first: deleting moves the keys.
        std::vector<int32_t> rows;
        const SyncTrack& keys = track(t);
        for (int32_t i = 0; i < keys.key_count; ++i)
            if (keys.keys[i].row >= block.first_row && keys.keys[i].row <= block.last_row) rows.push_back(keys.keys[i].row);
        for (int32_t row : rows) change_cell(t, row, false, SyncKey{}, &edit);
    }
    return commit(std::move(edit));
}

bool EditModel::cycle_interpolation(int t, int32_t row) {
    if (t < 0 || t >= track_count()) return false;
    const SyncKey* key = key_at(t, row);
    if (!key) return false;
    SyncKey next = *key;
    next.interpolation = next_interpolation(key->interpolation);
    Edit edit;
    change_cell(t, row, true, next, &edit);
    return commit(std::move(edit));
}

void EditModel::copy(const CellBlock& block) {
    clipboard.clear();
    int first = std::max(block.first_track, 0), last = std::min(block.last_track, track_count() - 1);
    if (last < first || block.last_row < block.first_row) {
        clipboard_tracks = 0;
        return;
    }
    for (int t = first; t <= last; ++t) {
        const SyncTrack& keys = track(t);
        for (int32_t i = 0; i < keys.key_count; ++i)
            if (keys.keys[i].row >= block.first_row && keys.keys[i].row <= block.last_row)
                clipboard.push_back(CopiedKey{t - first, keys.keys[i].row - block.first_row, keys.keys[i]});
    }
    clipboard_tracks = last - first + 1;
    clipboard_rows = block.last_row - block.first_row + 1;
}

bool EditModel::paste(int t, int32_t row) {
    if (clipboard_tracks == 0 || t < 0 || row < 0) return false;
    Edit edit;
    const int last_track = std::min(t + clipboard_tracks, track_count()) - 1;
    const int32_t last_row = static_cast<int32_t>(std::min<int64_t>(int64_t{row} + clipboard_rows - 1, EDITOR_MAX_ROW));
    // The block's empty cells first, then its keys: the target ends up exactly as the copy.
    for (int target = t; target <= last_track; ++target) {
        std::vector<int32_t> rows;
        const SyncTrack& keys = track(target);
        for (int32_t i = 0; i < keys.key_count; ++i)
            if (keys.keys[i].row >= row && keys.keys[i].row <= last_row) rows.push_back(keys.keys[i].row);
        for (int32_t r : rows) {
            bool copied = std::any_of(clipboard.begin(), clipboard.end(), [&](const CopiedKey& c) {
                return c.track_offset == target - t && c.row_offset == r - row;
            });
            if (!copied) change_cell(target, r, false, SyncKey{}, &edit);
        }
    }
    for (const CopiedKey& c : clipboard) {
        if (t + c.track_offset > last_track || row + c.row_offset > last_row) continue;
        change_cell(t + c.track_offset, row + c.row_offset, true, c.key, &edit);
    }
    return commit(std::move(edit));
}

bool EditModel::undo() {
    if (undo_stack.empty()) return false;
    Edit edit = std::move(undo_stack.back());
    undo_stack.pop_back();
    for (auto cell = edit.rbegin(); cell != edit.rend(); ++cell)
        change_cell(cell->track, cell->row, cell->had, cell->before, nullptr);
    ++revision;
    return true;
}

std::vector<KeyChange> EditModel::take_changes() {
    std::vector<KeyChange> out;
    out.swap(changes);
    return out;
}

// ---- cursor and selection -------------------------------------------------------------------

void EditModel::set_cursor(int t, int32_t row) {
    cursor_track_ = std::max(0, std::min(t, track_count() - 1));
    cursor_row_ = std::max(0, std::min(row, EDITOR_MAX_ROW));
}

void EditModel::move_cursor(int tracks_by, int32_t rows_by) {
    // Each step is clamped, so huge steps cannot overflow.
    int64_t row = int64_t{cursor_row_} + rows_by;
    set_cursor(cursor_track_ + tracks_by, static_cast<int32_t>(std::max<int64_t>(0, std::min<int64_t>(row, EDITOR_MAX_ROW))));
}

CellBlock EditModel::selection() const {
    if (!selecting) return CellBlock{cursor_track_, cursor_track_, cursor_row_, cursor_row_};
    return CellBlock{std::min(anchor_track, cursor_track_), std::max(anchor_track, cursor_track_),
                     std::min(anchor_row, cursor_row_), std::max(anchor_row, cursor_row_)};
}
