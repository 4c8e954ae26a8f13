// zorvane-editor's edit model: the tracks being edited, the cursor and block selection, the
// undo stack and the clipboard. No terminal and no network: the screen draws this state and the
// session forwards every key change it reports to the demo, so both the keyboard and scripts
// edit through the same operations.
// Depends on: util/sync (the engine's track model: insertion, deletion, evaluation).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "util/sync/sync.h"

// Far beyond any show (an hour at 145 BPM is 69 600 rows), small enough that row arithmetic
// never overflows.
constexpr int32_t EDITOR_MAX_ROW = 1 << 24;
// Undo keeps at least this many edits; older ones are forgotten.
constexpr size_t EDITOR_UNDO_DEPTH = 1000;

// "hold", "linear", "smooth", "ramp"; "?" for a number no formula knows.
const char* interpolation_name(int32_t interpolation);
// A name above or a number 0..3; -1 for anything else.
int parse_interpolation(const std::string& text);
// hold -> linear -> smooth -> ramp -> hold; a number no formula knows starts over at hold.
int32_t next_interpolation(int32_t interpolation);

// One cell that changed: the demo is sent a key set or a key removal for it.
struct KeyChange {
    int track;
    int32_t row;
    bool present;  // false: the key at `row` was removed
    SyncKey key;   // when present
};

// A rectangle of cells, tracks first..last and rows first..last, both inclusive.
struct CellBlock {
    int first_track, last_track;
    int32_t first_row, last_row;
};

class EditModel {
public:
    EditModel() = default;
    ~EditModel();
    EditModel(const EditModel&) = delete;
    EditModel& operator=(const EditModel&) = delete;

    // ---- tracks ------------------------------------------------------------------------------

    // Appends a track with the given keys (any order; the last of equal rows wins) and returns
    // its index. Adding a track is not an edit: it is neither undone nor unsaved.
    int add_track(const std::string& name, const std::vector<SyncKey>& keys);
    // The index of the track of that name, or -1.
    int find_track(const std::string& name) const;
    int track_count() const { return static_cast<int>(tracks.size()); }
    const std::string& track_name(int track) const { return tracks[static_cast<size_t>(track)].name; }
    const SyncTrack& track(int track) const { return tracks[static_cast<size_t>(track)].keys; }
    // The key on that cell, or null.
    const SyncKey* key_at(int track, int32_t row) const;
    // The value the demo shows at that row, between keys too.
    float value_at(int track, double row) const;
    // The row of the last key of any track; 0 when there is none.
    int32_t last_key_row() const;

    // ---- edits (each one undo step; false when nothing changed) -------------------------------

    // A key with this value; interpolation -1 keeps the key's own, or for a new key takes that
    // of the key before it (hold when there is none), so typing values continues a curve.
    bool set_key(int track, int32_t row, float value, int32_t interpolation = -1);
    bool delete_key(int track, int32_t row);
    bool delete_block(const CellBlock& block);
    // Cycles the interpolation of the key on that cell; false on an empty cell.
    bool cycle_interpolation(int track, int32_t row);

    // Copies the block's keys, empty cells included, so that a paste reproduces the block.
    void copy(const CellBlock& block);
    // Writes the copied block with its first cell at (track, row): its keys are set, its empty
    // cells emptied; tracks past the last are cut off. One undo step.
    bool paste(int track, int32_t row);
    bool has_clipboard() const { return clipboard_tracks > 0; }

    // Reverts the last edit; false when there is none left.
    bool undo();
    size_t undo_depth() const { return undo_stack.size(); }

    // Changes since the last mark_saved (undoing to the saved state still counts as one).
    bool unsaved() const { return revision != saved_revision; }
    void mark_saved() {
        saved_revision = revision;
        for (Track& t : tracks) t.changed = false;
    }
    // Whether a key of that track changed since the last mark_saved: a save writes only those,
    // so a file nobody edited keeps every byte.
    bool track_changed(int track) const { return tracks[static_cast<size_t>(track)].changed; }

    // The cells changed since the last call, in order, for the demo.
    std::vector<KeyChange> take_changes();

    // ---- cursor and selection ----------------------------------------------------------------

    int cursor_track() const { return cursor_track_; }
    int32_t cursor_row() const { return cursor_row_; }
    // Both are clamped: rows to 0..EDITOR_MAX_ROW, tracks to the existing ones.
    void set_cursor(int track, int32_t row);
    void move_cursor(int tracks_by, int32_t rows_by);
    // A selection spans from its anchor to the cursor.
    void start_selection() { anchor_track = cursor_track_, anchor_row = cursor_row_, selecting = true; }
    void clear_selection() { selecting = false; }
    bool has_selection() const { return selecting; }
    // The selection, or the cursor's cell alone when there is none.
    CellBlock selection() const;

private:
    struct Track {
        std::string name;
        SyncTrack keys;
        bool changed = false;
    };
    struct CellEdit {
        int track;
        int32_t row;
        bool had, has;
        SyncKey before, after;
    };
    using Edit = std::vector<CellEdit>;
    struct CopiedKey {
        int track_offset;
        int32_t row_offset;
        SyncKey key;
    };

    // Puts the cell into the given state and reports it; records it in `edit` when it changed.
    void change_cell(int track, int32_t row, bool present, SyncKey key, Edit* edit);
    bool commit(Edit edit);

    std::vector<Track> tracks;
    std::deque<Edit> undo_stack;
    std::vector<KeyChange> changes;
    std::vector<CopiedKey> clipboard;
    int clipboard_tracks = 0;
    int32_t clipboard_rows = 0;
    uint64_t revision = 0, saved_revision = 0;
    int cursor_track_ = 0;
    int32_t cursor_row_ = 0;
    bool selecting = false;
    int anchor_track = 0;
    int32_t anchor_row = 0;
};
