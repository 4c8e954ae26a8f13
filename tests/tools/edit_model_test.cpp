// zorvane-editor's edit model without a terminal: undo, block copy and paste, interpolation
// cycling, and the changes it reports for the demo.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "edit_model.h"

namespace {

// A track's keys as "row:value:interpolation" words, for whole-track comparisons.
std::string keys_of(const EditModel& m, int track) {
    std::string out;
    const SyncTrack& t = m.track(track);
    for (int32_t i = 0; i < t.key_count; ++i) {
        char word[64];
        snprintf(word, sizeof word, "%s%d:%g:%d", out.empty() ? "" : " ", t.keys[i].row,
                 static_cast<double>(t.keys[i].value), t.keys[i].interpolation);
        out += word;
    }
    return out;
}

std::string changes_of(EditModel& m) {
    std::string out;
    for (const KeyChange& c : m.take_changes()) {
        char word[64];
        if (c.present)
            snprintf(word, sizeof word, "%sset %d %d %g %d", out.empty() ? "" : ", ", c.track, c.row,
                     static_cast<double>(c.key.value), c.key.interpolation);
        else
            snprintf(word, sizeof word, "%sremove %d %d", out.empty() ? "" : ", ", c.track, c.row);
        out += word;
    }
    return out;
}

TEST(EditorModel, TracksStartFromTheirKeysSortedWithoutCountingAsEdits) {
    EditModel m;
    EXPECT_EQ(m.add_track("a", {{16, 2, 0}, {0, 1, 1}, {16, 3, 2}}), 0);
    EXPECT_EQ(m.add_track("b", {}), 1);
    EXPECT_EQ(keys_of(m, 0), "0:1:1 16:3:2");
    EXPECT_EQ(m.find_track("b"), 1);
    EXPECT_EQ(m.find_track("B"), -1);
    EXPECT_FALSE(m.unsaved());
    EXPECT_EQ(m.undo_depth(), 0u);
    EXPECT_EQ(changes_of(m), "");
    EXPECT_EQ(m.value_at(0, 8), 2.0f);  // linear from 1 to 3
    EXPECT_EQ(m.last_key_row(), 16);
}

TEST(EditorModel, InterpolationCyclesThroughAllFourAndRecoversFromUnknownOnes) {
    EditModel m;
    m.add_track("a", {{0, 1, INTERP_HOLD}, {8, 1, 200}});
    std::vector<int32_t> seen;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(m.cycle_interpolation(0, 0));
        seen.push_back(m.key_at(0, 0)->interpolation);
    }
    EXPECT_EQ(seen, (std::vector<int32_t>{INTERP_LINEAR, INTERP_SMOOTHSTEP, INTERP_EASE_IN, INTERP_HOLD}));
    // A number no formula knows (a damaged file) starts over at hold instead of counting on.
    ASSERT_TRUE(m.cycle_interpolation(0, 8));
    EXPECT_EQ(m.key_at(0, 8)->interpolation, INTERP_HOLD);
    // An empty cell has nothing to cycle: no edit, nothing to undo.
    EXPECT_FALSE(m.cycle_interpolation(0, 4));
    EXPECT_EQ(m.undo_depth(), 5u);
    EXPECT_EQ(parse_interpolation("smooth"), INTERP_SMOOTHSTEP);
    EXPECT_EQ(parse_interpolation("3"), INTERP_EASE_IN);
    EXPECT_EQ(parse_interpolation("4"), -1);
    EXPECT_STREQ(interpolation_name(INTERP_EASE_IN), "ramp");
}

TEST(EditorModel, NewKeysContinueTheCurveAndRetypedKeysKeepTheirInterpolation) {
    EditModel m;
    m.add_track("a", {{0, 0, INTERP_SMOOTHSTEP}});
    ASSERT_TRUE(m.set_key(0, 8, 5.0f));
    EXPECT_EQ(m.key_at(0, 8)->interpolation, INTERP_SMOOTHSTEP);
    ASSERT_TRUE(m.cycle_interpolation(0, 8));  // ramp
    ASSERT_TRUE(m.set_key(0, 8, 6.0f));
    EXPECT_EQ(m.key_at(0, 8)->interpolation, INTERP_EASE_IN);
    // Before the first key there is nothing to continue: hold.
    m.add_track("b", {{16, 1, INTERP_LINEAR}});
    ASSERT_TRUE(m.set_key(1, 4, 2.0f));
    EXPECT_EQ(m.key_at(1, 4)->interpolation, INTERP_HOLD);
    // Setting what is already there is no edit at all.
    size_t depth = m.undo_depth();
    EXPECT_FALSE(m.set_key(0, 8, 6.0f, INTERP_EASE_IN));
    EXPECT_EQ(m.undo_depth(), depth);
}

TEST(EditorModel, UndoRestoresEachCellAndTellsTheDemo) {
    EditModel m;
    m.add_track("a", {{0, 1, INTERP_LINEAR}, {8, 2, INTERP_HOLD}});
    m.set_key(0, 8, 5.0f, INTERP_SMOOTHSTEP);
    m.delete_key(0, 0);
    m.set_key(0, 4, 3.0f, INTERP_HOLD);
    EXPECT_EQ(changes_of(m), "set 0 8 5 2, remove 0 0, set 0 4 3 0");
    EXPECT_TRUE(m.unsaved());
    m.mark_saved();
    EXPECT_FALSE(m.unsaved());

    ASSERT_TRUE(m.undo());
    EXPECT_EQ(keys_of(m, 0), "8:5:2");
    ASSERT_TRUE(m.undo());
    EXPECT_EQ(keys_of(m, 0), "0:1:1 8:5:2");
    ASSERT_TRUE(m.undo());
    EXPECT_EQ(keys_of(m, 0), "0:1:1 8:2:0");
    EXPECT_FALSE(m.undo());
    // The demo hears every undo as the change it is.
    EXPECT_EQ(changes_of(m), "remove 0 4, set 0 0 1 1, set 0 8 2 0");
    EXPECT_TRUE(m.unsaved());  // the saved state had the edits
}

TEST(EditorModel, UndoReachesBackAThousandEditsAndForgetsOlderOnes) {
    EditModel m;
    m.add_track("a", {});
    const int edits = static_cast<int>(EDITOR_UNDO_DEPTH) + 5;
    for (int i = 0; i < edits; ++i) ASSERT_TRUE(m.set_key(0, i, static_cast<float>(i)));
    EXPECT_EQ(m.undo_depth(), EDITOR_UNDO_DEPTH);
    int undone = 0;
    while (m.undo()) ++undone;
    EXPECT_EQ(undone, static_cast<int>(EDITOR_UNDO_DEPTH));
    // The five oldest edits were beyond reach and stay.
    EXPECT_EQ(keys_of(m, 0), "0:0:0 1:1:0 2:2:0 3:3:0 4:4:0");
}

class EditorBlockEdits : public ::testing::Test {
protected:
    void SetUp() override {
        m.add_track("a", {{0, 1, 1}, {2, 2, 0}, {9, 9, 0}});
        m.add_track("b", {{1, 10, 2}, {4, 11, 3}});
        m.add_track("c", {{10, 20, 0}, {11, 21, 0}, {12, 22, 0}, {20, 23, 0}});
        m.take_changes();
    }
    EditModel m;
};

TEST_F(EditorBlockEdits, PasteReproducesTheBlockAcrossRowsAndTracksInOneUndoStep) {
    m.copy(CellBlock{0, 1, 0, 3});  // a: 0, 2 and b: 1; rows 3 of both empty
    m.paste(1, 10);                 // onto b and c, rows 10..13
    EXPECT_EQ(keys_of(m, 1), "1:10:2 4:11:3 10:1:1 12:2:0");
    // c's keys at 10 and 12 fall on empty cells of the block and go, the one at 11 is
    // replaced, and 20 lies outside.
    EXPECT_EQ(keys_of(m, 2), "11:10:2 20:23:0");
    EXPECT_EQ(m.undo_depth(), 1u);
    ASSERT_TRUE(m.undo());
    EXPECT_EQ(keys_of(m, 1), "1:10:2 4:11:3");
    EXPECT_EQ(keys_of(m, 2), "10:20:0 11:21:0 12:22:0 20:23:0");
    EXPECT_FALSE(m.undo());
}

TEST_F(EditorBlockEdits, PastePastTheLastTrackIsCutOffAndTheClipboardOutlivesEdits) {
    m.copy(CellBlock{0, 1, 0, 2});
    m.delete_key(0, 0);  // the copy is of the keys as they were
    m.take_changes();
    ASSERT_TRUE(m.paste(2, 0));  // only a's column fits, onto c
    EXPECT_EQ(keys_of(m, 2), "0:1:1 2:2:0 10:20:0 11:21:0 12:22:0 20:23:0");
    EXPECT_EQ(changes_of(m), "set 2 0 1 1, set 2 2 2 0");
    EXPECT_EQ(m.track_count(), 3);
    // Pasting the same block again changes nothing, and is no edit.
    EXPECT_FALSE(m.paste(2, 0));
}

TEST_F(EditorBlockEdits, DeletingASelectionEmptiesItAsOneEdit) {
    m.set_cursor(0, 1);
    m.start_selection();
    m.move_cursor(2, 10);  // cursor at c, row 11: the block is a..c, rows 1..11
    CellBlock block = m.selection();
    EXPECT_EQ(block.first_track, 0);
    EXPECT_EQ(block.last_track, 2);
    EXPECT_EQ(block.first_row, 1);
    EXPECT_EQ(block.last_row, 11);
    ASSERT_TRUE(m.delete_block(block));
    EXPECT_EQ(keys_of(m, 0), "0:1:1");
    EXPECT_EQ(keys_of(m, 1), "");
    EXPECT_EQ(keys_of(m, 2), "12:22:0 20:23:0");
    ASSERT_TRUE(m.undo());
    EXPECT_EQ(keys_of(m, 1), "1:10:2 4:11:3");
    EXPECT_EQ(m.undo_depth(), 0u);
}

TEST_F(EditorBlockEdits, TheCursorStaysOnTheSheet) {
    m.set_cursor(1, 5);
    m.move_cursor(-5, -100);
    EXPECT_EQ(m.cursor_track(), 0);
    EXPECT_EQ(m.cursor_row(), 0);
    m.move_cursor(9, 2147483647);
    EXPECT_EQ(m.cursor_track(), 2);
    EXPECT_EQ(m.cursor_row(), EDITOR_MAX_ROW);
    // Without a selection the block is the cursor's cell.
    CellBlock cell = m.selection();
    EXPECT_EQ(cell.first_track, 2);
    EXPECT_EQ(cell.last_row, EDITOR_MAX_ROW);
}

}  // namespace
