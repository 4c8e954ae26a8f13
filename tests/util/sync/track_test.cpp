#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "test_support.h"
#include "util/sync/sync.h"

namespace {

SyncTrack* track_with(std::initializer_list<SyncKey> keys) {
    SyncTrack* track = static_cast<SyncTrack*>(calloc(1, sizeof(SyncTrack)));
    for (const SyncKey& k : keys) EXPECT_EQ(insert_key(track, k), 0);
    return track;
}

void free_track(SyncTrack* track) {
    free(track->keys);
    free(track);
}

TEST(SyncTrack, InterpolationsBetweenTwoKeys) {
    const struct { int interpolation; double row; float expected; } cases[] = {
        {INTERP_LINEAR, 4.0, 0.5f},     {INTERP_LINEAR, 2.0, 0.25f},   {INTERP_LINEAR, 4.5, 0.5625f},
        {INTERP_SMOOTHSTEP, 4.0, 0.5f}, {INTERP_SMOOTHSTEP, 2.0, 0.15625f},
        {INTERP_EASE_IN, 4.0, 0.25f},   {INTERP_HOLD, 0.0, 0.0f},      {INTERP_HOLD, 7.999, 0.0f},
        {7, 3.0, 0.0f},                 {-1, 5.0, 0.0f},
    };
    for (const auto& c : cases) {
        SyncTrack* track = track_with({{0, 0.0f, c.interpolation}, {8, 1.0f, INTERP_HOLD}});
        EXPECT_FLOAT_EQ(evaluate_track(track, c.row), c.expected) << c.interpolation << " at " << c.row;
        free_track(track);
    }
}

TEST(SyncTrack, OutsideTheKeysAndSingleKeys) {
    SyncTrack* empty = track_with({});
    EXPECT_EQ(evaluate_track(empty, 3.0), 0.0f);
    SyncTrack* one = track_with({{16, 2.5f, INTERP_LINEAR}});
    for (double row : {0.0, 15.9, 16.0, 1e6}) EXPECT_EQ(evaluate_track(one, row), 2.5f);
    SyncTrack* two = track_with({{4, 1.0f, INTERP_LINEAR}, {8, 3.0f, INTERP_LINEAR}});
    EXPECT_EQ(evaluate_track(two, 0.0), 1.0f);
    EXPECT_EQ(evaluate_track(two, 8.0), 3.0f);
    EXPECT_EQ(evaluate_track(two, 5e9), 3.0f);  // beyond 32-bit rows
    // Single precision: a value between two floats is rounded, not truncated.
    SyncTrack* fine = track_with({{0, 0.0f, INTERP_LINEAR}, {3, 1.0f, INTERP_HOLD}});
    EXPECT_EQ(evaluate_track(fine, 1.0), static_cast<float>(1.0 / 3.0));
    for (SyncTrack* t : {empty, one, two, fine}) free_track(t);
}

TEST(SyncTrack, InsertReplacesDeleteRemovesAndOrderIsKept) {
    SyncTrack* track = track_with({{8, 1.0f, 1}, {0, 0.0f, 1}, {4, 0.5f, 0}, {12, 2.0f, 2}});
    ASSERT_EQ(track->key_count, 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(track->keys[i].row, 4 * i);
    EXPECT_EQ(insert_key(track, {4, 9.0f, INTERP_EASE_IN}), 0);
    EXPECT_EQ(track->key_count, 4);
    EXPECT_EQ(track->keys[1].value, 9.0f);
    EXPECT_EQ(track->keys[1].interpolation, INTERP_EASE_IN);
    EXPECT_EQ(delete_key(track, 5), 0);
    EXPECT_EQ(track->key_count, 4);
    EXPECT_EQ(delete_key(track, 4), 0);
    EXPECT_EQ(track->key_count, 3);
    EXPECT_EQ(track->keys[1].row, 8);
    EXPECT_EQ(find_key_floor(track, 7), 0);
    EXPECT_EQ(find_key_floor(track, 8), 1);
    EXPECT_EQ(find_key_floor(track, -1), -1);
    for (int32_t row : {0, 8, 12}) EXPECT_EQ(delete_key(track, row), 0);
    EXPECT_EQ(track->key_count, 0);
    EXPECT_EQ(track->keys, nullptr);
    free_track(track);
}

// ---- track files ----------------------------------------------------------------------------

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

class TrackFiles : public ::testing::Test {
protected:
    TempFolder folder{true};
};

// Appends a track to an editor-mode device as if an editor had answered it (`received`) or not.
SyncTrack* add_track(SyncDevice* device, const char* name, std::initializer_list<SyncKey> keys, bool received) {
    int32_t n = device->track_count + 1;
    device->tracks = static_cast<SyncTrack**>(realloc(device->tracks, sizeof(SyncTrack*) * n));
    device->links = static_cast<SyncTrackLink*>(realloc(device->links, sizeof(SyncTrackLink) * n));
    SyncTrack* track = track_with(keys);
    track->name = strdup(name);
    device->tracks[n - 1] = track;
    device->links[n - 1] = SyncTrackLink{};
    device->links[n - 1].received = received;
    device->track_count = device->track_capacity = n;
    return track;
}

TEST_F(TrackFiles, ByteExactLayout) {
    SyncTrack* empty = track_with({});
    ASSERT_EQ(save_track_file("empty.track", empty), 0);
    EXPECT_EQ(slurp("empty.track"), std::string(4, '\0'));
    SyncTrack* one = track_with({{16, 1.0f, INTERP_LINEAR}});
    ASSERT_EQ(save_track_file("one.track", one), 0);
    // Key count 1, row 16, 1.0f, linear: 13 bytes.
    EXPECT_EQ(slurp("one.track"), std::string("\x01\0\0\0\x10\0\0\0\0\0\x80\x3f\x01", 13));
    free_track(empty);
    free_track(one);
}

TEST_F(TrackFiles, SavingCreatesMissingFoldersAndLoadingReadsThemBack) {
    SyncDevice* device = create_sync_device("data/sync_tracker/", true);
    add_track(device, "ActiveScene1st", {{0, 4.0f, INTERP_HOLD}, {64, 7.0f, INTERP_SMOOTHSTEP}}, true);
    ASSERT_EQ(save_sync_tracks(device), 0);
    EXPECT_EQ(slurp("data/sync_tracker/_ActiveScene1st.track").size(), 4u + 18u);

    SyncDevice* reader = create_sync_device("data/sync_tracker/", false);
    SyncTrack* loaded = find_or_add_track(reader, "ActiveScene1st", 99.0f);
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->key_count, 2);
    EXPECT_EQ(loaded->keys[1].row, 64);
    EXPECT_EQ(loaded->keys[1].value, 7.0f);
    EXPECT_EQ(loaded->keys[1].interpolation, INTERP_SMOOTHSTEP);
    EXPECT_EQ(find_or_add_track(reader, "missing", 1.0f), nullptr);
    EXPECT_EQ(reader->track_count, 2);  // a failed track stays in the list
    destroy_sync_device(reader);
    destroy_sync_device(device);
}

TEST_F(TrackFiles, AReloadTakesOnlyAWholeFile) {
    const char* path = "data/sync_tracker/_Fade.track";
    ASSERT_EQ(make_directories("data/sync_tracker/"), 0);
    SyncTrack* written = track_with({{0, 1.0f, INTERP_HOLD}});
    ASSERT_EQ(save_track_file(path, written), 0);
    SyncDevice* device = create_sync_device("data/sync_tracker/", false);
    SyncTrack* track = find_or_add_track(device, "Fade", 5.0f);
    ASSERT_NE(track, nullptr);

    insert_key(written, {32, 2.0f, INTERP_LINEAR});
    ASSERT_EQ(save_track_file(path, written), 0);
    EXPECT_EQ(reload_track_file(device, path), 1);
    ASSERT_EQ(track->key_count, 2);
    EXPECT_EQ(track->keys[1].value, 2.0f);
    // Half a key: refused, the keys stay.
    std::ofstream(path, std::ios::binary) << std::string("\x02\0\0\0\0\0\0\0\0\0\x80\x3f", 12);
    EXPECT_EQ(reload_track_file(device, path), -1);
    EXPECT_NE(std::string(device->problem).find("not a track file"), std::string::npos);
    EXPECT_EQ(track->key_count, 2);
    // No keys: the registered default, as at start-up.
    std::ofstream(path, std::ios::binary) << std::string(4, '\0');
    EXPECT_EQ(reload_track_file(device, path), 1);
    ASSERT_EQ(track->key_count, 1);
    EXPECT_EQ(track->keys[0].value, 5.0f);
    EXPECT_EQ(reload_track_file(device, "data/sync_tracker/_Other.track"), 0);
    destroy_sync_device(device);
    // With an editor the tracks are the editor's.
    SyncDevice* editor = create_sync_device("data/sync_tracker/", true);
    add_track(editor, "Fade", {{0, 3.0f, INTERP_HOLD}}, true);
    EXPECT_EQ(reload_track_file(editor, path), 0);
    EXPECT_EQ(editor->tracks[0]->keys[0].value, 3.0f);
    destroy_sync_device(editor);
    free_track(written);
}

TEST_F(TrackFiles, ReleaseModeSavesNothingAndAPlainFileBlocksEverySave) {
    SyncDevice* release = create_sync_device("data/sync_tracker/", false);
    EXPECT_EQ(save_sync_tracks(release), 0);
    EXPECT_NE(access("data", F_OK), 0);
    destroy_sync_device(release);

    std::ofstream("data") << "not a folder";
    EXPECT_EQ(make_directories("data/sync_tracker/"), -1);
    SyncDevice* editor = create_sync_device("data/sync_tracker/", true);
    add_track(editor, "x", {}, true);
    EXPECT_EQ(save_sync_tracks(editor), -1);
    destroy_sync_device(editor);
}

TEST_F(TrackFiles, FailedSaveKeepsThePreviousFile) {
    SyncTrack* one = track_with({{1, 1.0f, 0}});
    ASSERT_EQ(save_track_file("t.track", one), 0);
    std::string before = slurp("t.track");
    mkdir("t.track.partial", 0777);  // the new file cannot be written
    SyncTrack* two = track_with({{1, 1.0f, 0}, {2, 2.0f, 0}});
    EXPECT_EQ(save_track_file("t.track", two), -1);
    EXPECT_EQ(slurp("t.track"), before);
    // The same keys again need no writing at all.
    EXPECT_EQ(save_track_file("t.track", one), 0);
    free_track(one);
    free_track(two);
}

// What an editor has not told about in this run is never written; a track that would go out
// without keys the editor never removed keeps a file that holds some; a name that cannot be a
// file fails alone.
TEST_F(TrackFiles, AnEditorSaveWritesOnlyWhatTheEditorAnswered) {
    ASSERT_EQ(make_directories("t/"), 0);
    SyncTrack* keyed = track_with({{8, 2.0f, INTERP_LINEAR}});
    for (const char* name : {"t/_unanswered.track", "t/_answered.track", "t/_emptied.track", "t/_lost.track"})
        ASSERT_EQ(save_track_file(name, keyed), 0);
    const std::string keyed_bytes = slurp("t/_answered.track");
    SyncDevice* device = create_sync_device("t/", true);
    add_track(device, "unanswered", {{0, 5.0f, INTERP_HOLD}}, false);
    add_track(device, "answered", {{3, 1.0f, INTERP_HOLD}}, true);
    add_track(device, "emptied", {{0, 5.0f, INTERP_HOLD}}, true);
    device->links[2].local_default = device->links[2].cleared = true;
    add_track(device, "lost", {}, true);
    add_track(device, std::string(300, 'n').c_str(), {{1, 1.0f, 0}}, true);
    add_track(device, "after", {{1, 1.0f, 0}}, true);
    testing::internal::CaptureStderr();
    EXPECT_EQ(save_sync_tracks(device), -1);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(slurp("t/_unanswered.track"), keyed_bytes);
    EXPECT_EQ(slurp("t/_answered.track"), std::string("\x01\0\0\0\x03\0\0\0\0\0\x80\x3f\0", 13));
    EXPECT_EQ(slurp("t/_emptied.track"), std::string(4, '\0'));  // the default key is not the author's
    EXPECT_EQ(slurp("t/_lost.track"), keyed_bytes);
    EXPECT_NE(said.find("Kept t/_lost.track"), std::string::npos) << said;
    EXPECT_NE(said.find("Not saved: track 4, a name too long for a file name"), std::string::npos) << said;
    EXPECT_EQ(access("t/_after.track", F_OK), 0);
    free_track(keyed);
    destroy_sync_device(device);
}

TEST_F(TrackFiles, DamagedFilesFailToLoadAndDisorderIsSorted) {
    SyncDevice* device = create_sync_device("", false);
    auto write = [](const char* name, const std::string& bytes) { std::ofstream(name, std::ios::binary) << bytes; };
    write("_short.track", std::string("\x02\0\0\0\x01\0\0\0\0\0\x80\x3f\x01", 13));
    write("_negative.track", std::string("\xff\xff\xff\xff", 4));
    write("_huge.track", std::string("\xff\xff\xff\x7f", 4));
    write("_cut.track", std::string("\x01\0", 2));
    for (const char* name : {"short", "negative", "huge", "cut"})
        EXPECT_EQ(find_or_add_track(device, name, 0.0f), nullptr) << name;
    // Rows 8, 0, 8: sorted, and the later row-8 key wins.
    std::string keys("\x03\0\0\0", 4);
    keys += std::string("\x08\0\0\0\0\0\x80\x3f\x01", 9);
    keys += std::string("\0\0\0\0\0\0\0\0\x01", 9);
    keys += std::string("\x08\0\0\0\0\0\0\x40\x00", 9);
    write("_disorder.track", keys);
    SyncTrack* track = find_or_add_track(device, "disorder", 5.0f);
    ASSERT_NE(track, nullptr);
    ASSERT_EQ(track->key_count, 2);
    EXPECT_EQ(track->keys[0].row, 0);
    EXPECT_EQ(track->keys[1].value, 2.0f);
    EXPECT_EQ(evaluate_track(track, 4.0), 1.0f);
    write("_zero.track", std::string(4, '\0'));
    SyncTrack* zero = find_or_add_track(device, "zero", 5.0f);
    ASSERT_NE(zero, nullptr);
    EXPECT_EQ(evaluate_track(zero, 100.0), 5.0f);  // the default key at row 0
    destroy_sync_device(device);
}

int opens = 0;
FILE* counting_open(const char* name, const char* mode) {
    ++opens;
    return fopen((std::string("io-") + name).c_str(), mode);
}

TEST_F(TrackFiles, LoadingGoesThroughTheFileCallbacks) {
    std::ofstream("io-_t.track", std::ios::binary) << std::string("\x01\0\0\0\0\0\0\0\0\0\x40\x40\0", 13);
    SyncDevice* device = create_sync_device("", false);
    SyncFileIo io{counting_open, fread, fclose};
    set_sync_file_io(device, &io);
    SyncTrack* track = find_or_add_track(device, "t", 0.0f);
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(evaluate_track(track, 0.0), 3.0f);
    EXPECT_EQ(find_or_add_track(device, "t", 1.0f), track);  // found, not loaded again
    EXPECT_EQ(opens, 1);
    destroy_sync_device(device);
}

TEST(TrackFilePath, NeverOverflowsItsBuffer) {
    SyncDevice* device = create_sync_device("data/sync_tracker/", false);
    EXPECT_STREQ(track_file_path(device, "ActiveScene1st"), "data/sync_tracker/_ActiveScene1st.track");
    std::string long_name(300, 'n');
    EXPECT_EQ(track_file_path(device, long_name.c_str()), nullptr);
    EXPECT_EQ(find_or_add_track(device, long_name.c_str(), 0.0f), nullptr);
    std::string fits(SYNC_PATH_SIZE - 1 - strlen("data/sync_tracker/_.track"), 'f');
    EXPECT_NE(track_file_path(device, fits.c_str()), nullptr);
    EXPECT_EQ(make_directories(std::string(300, 'd').c_str()), -1);
    destroy_sync_device(device);
    const std::string too_long(249, 'n');  // "_" + name + ".track" over 255 bytes
    for (const char* bad : {"", "../x", "a/b", "line\nsave 0", "tab\t", too_long.c_str()})
        EXPECT_NE(sync_track_name_problem(bad), nullptr) << bad;
    EXPECT_EQ(sync_track_name_problem(std::string(248, 'n').c_str()), nullptr);
    EXPECT_EQ(sync_track_name_problem("rcFOV"), nullptr);
}

}  // namespace
