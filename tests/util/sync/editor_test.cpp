#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "test_support.h"
#include "util/sync/fake_editor.h"
#include "util/sync/sync.h"

namespace {

struct Events {
    std::vector<std::string> seen;
    bool playing = true;
};

const SyncEditorCallbacks callbacks = {
    [](void* d, int flag) { static_cast<Events*>(d)->seen.push_back("pause " + std::to_string(flag)); },
    [](void* d, int32_t row) { static_cast<Events*>(d)->seen.push_back("seek " + std::to_string(row)); },
    [](void* d) { return static_cast<Events*>(d)->playing ? 1 : 0; },
    nullptr, nullptr,
    [](void* d, int result) { static_cast<Events*>(d)->seen.push_back("save " + std::to_string(result)); },
};

class EditorConnection : public ::testing::Test {
protected:
    void SetUp() override {
        device = create_sync_device((folder.path + "/tracks/").c_str(), true);
        ASSERT_EQ(connect_sync_editor(device, "127.0.0.1", editor.port), 0);
        editor.wait_connected();
        ASSERT_EQ(editor.client_greeting, "hello, synctracker!");
    }
    void TearDown() override {
        if (device->socket >= 0) close(device->socket);
        destroy_sync_device(device);
    }
    int poll(int32_t row) { return poll_sync_editor(device, row, &callbacks, &events); }
    // Polls until the editor's bytes have arrived and been handled.
    int poll_after_send(const std::string& bytes, int32_t row = 0) {
        editor.send_bytes(bytes);
        usleep(20000);
        return poll(row);
    }

    TempFolder folder;
    FakeEditor editor;
    SyncDevice* device = nullptr;
    Events events;
};

TEST_F(EditorConnection, TrackRequestsAndKeysInRequestOrder) {
    SyncTrack* first = find_or_add_track(device, "ActiveScene1st", 3.0f);
    SyncTrack* second = find_or_add_track(device, "riBobAmount", -1.0f);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(editor.read_commands(2),
              FakeEditor::track_request("ActiveScene1st") + FakeEditor::track_request("riBobAmount"));
    // Each starts with the local default key; an editor key at row 0 replaces it.
    EXPECT_EQ(evaluate_track(first, 5.0), 3.0f);
    EXPECT_EQ(poll_after_send(FakeEditor::key_set(0, 0, 1.5f, INTERP_LINEAR) +
                              FakeEditor::key_set(1, 8, 2.0f, INTERP_HOLD) +
                              FakeEditor::key_set(0, 16, 3.5f, INTERP_HOLD) +
                              FakeEditor::key_remove(1, 8) + FakeEditor::key_remove(1, 99)),
              0);
    ASSERT_EQ(first->key_count, 2);
    EXPECT_EQ(evaluate_track(first, 8.0), 2.5f);
    EXPECT_EQ(second->key_count, 1);
    EXPECT_EQ(second->keys[0].value, -1.0f);
}

TEST_F(EditorConnection, RowsAreReportedOnceAndNotWhilePaused) {
    EXPECT_EQ(poll(5), 0);
    EXPECT_EQ(poll(5), 0);
    EXPECT_EQ(editor.drain(), FakeEditor::row(5));
    events.playing = false;
    EXPECT_EQ(poll(6), 0);
    EXPECT_EQ(editor.drain(), "");
    events.playing = true;
    EXPECT_EQ(poll(7), 0);
    EXPECT_EQ(editor.drain(), FakeEditor::row(7));
}

TEST_F(EditorConnection, SeekPauseAndSaveReachTheCallbacksInOrder) {
    // The row reported is the frame's own, not the one the editor just asked for.
    EXPECT_EQ(poll_after_send(FakeEditor::pause(1) + FakeEditor::row(64) + FakeEditor::pause(0) +
                                  std::string(1, '\5'),
                              12),
              0);
    EXPECT_EQ(events.seen, (std::vector<std::string>{"pause 1", "seek 64", "pause 0", "save 0"}));
    EXPECT_EQ(access((folder.path + "/tracks").c_str(), F_OK), 0);  // saving made the folder
    EXPECT_EQ(editor.drain(), FakeEditor::row(12));
}

TEST_F(EditorConnection, SplitMessagesCompleteOnALaterPoll) {
    SyncTrack* track = find_or_add_track(device, "t", 0.0f);
    editor.read_commands(1);
    std::string message = FakeEditor::key_set(0, 4, 9.0f, INTERP_HOLD);
    EXPECT_EQ(poll_after_send(message.substr(0, 6)), 0);
    EXPECT_EQ(track->key_count, 1);
    EXPECT_EQ(poll_after_send(message.substr(6)), 0);
    EXPECT_EQ(track->key_count, 2);
    EXPECT_GE(device->socket, 0);
}

TEST_F(EditorConnection, UnknownCommandsAndBadIndicesDropTheConnection) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(poll_after_send(FakeEditor::track_request("x")), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "unknown cmd: 02\n");
    EXPECT_EQ(device->socket, -1);
    EXPECT_EQ(poll(0), -1);
    EXPECT_TRUE(editor.client_closed());

    editor.expect_connection();
    ASSERT_EQ(connect_sync_editor(device, "127.0.0.1", editor.port), 0);
    editor.wait_connected();
    EXPECT_EQ(poll_after_send(FakeEditor::key_set(7, 0, 1.0f, 0)), -1);  // no track 7
    EXPECT_EQ(device->socket, -1);
}

TEST_F(EditorConnection, EditorClosingMidMessageDropsTheConnection) {
    find_or_add_track(device, "t", 0.0f);
    editor.send_bytes(FakeEditor::key_set(0, 4, 9.0f, INTERP_HOLD).substr(0, 5));
    editor.hang_up();
    usleep(20000);
    EXPECT_EQ(poll(0), -1);
    EXPECT_EQ(device->socket, -1);
}

TEST_F(EditorConnection, ReconnectionEmptiesTracksAndAsksAgainKeepingTheLastRowSent) {
    SyncTrack* a = find_or_add_track(device, "a", 1.0f);
    SyncTrack* b = find_or_add_track(device, "b", 2.0f);
    poll_after_send(FakeEditor::key_set(1, 3, 5.0f, 0), 40);
    EXPECT_EQ(editor.drain(), FakeEditor::track_request("a") + FakeEditor::track_request("b") + FakeEditor::row(40));
    editor.hang_up();
    usleep(20000);
    EXPECT_EQ(poll(41), -1);

    editor.expect_connection();
    ASSERT_EQ(connect_sync_editor(device, "127.0.0.1", editor.port), 0);
    editor.wait_connected();
    EXPECT_EQ(a->key_count, 0);  // the local default keys are not restored
    EXPECT_EQ(b->key_count, 0);
    EXPECT_EQ(poll(40), 0);  // the last row sent survived the reconnection
    EXPECT_EQ(editor.drain(), FakeEditor::track_request("a") + FakeEditor::track_request("b"));
}

TEST(EditorConnect, GreetingMismatchOrNoEditorFails) {
    FakeEditor wrong("hello, dude!");
    SyncDevice* device = create_sync_device("x/", true);
    EXPECT_EQ(connect_sync_editor(device, "127.0.0.1", wrong.port), -1);
    wrong.wait_connected();
    EXPECT_EQ(device->socket, -1);
    EXPECT_EQ(find_or_add_track(device, "t", 0.0f), nullptr);  // nothing to send the request to
    uint16_t closed_port = wrong.port;
    destroy_sync_device(device);

    SyncDevice* release = create_sync_device("x/", false);
    EXPECT_EQ(connect_sync_editor(release, "127.0.0.1", closed_port), 0);
    EXPECT_EQ(poll_sync_editor(release, 3, nullptr, nullptr), 0);
    destroy_sync_device(release);
}

// ---- trouble with the editor: the caller is never held up, the tracks stay as they are until
// an editor answers, and lost editors are tried again after a pause.

TEST(EditorTrouble, ASilentEditorNeverHoldsUpTheCallerAndIsGivenUpAtItsDeadline) {
    FakeEditor silent("");  // accepts, reads the greeting, never answers
    SyncDevice* device = create_sync_device("x/", true);
    const char* host = "127.0.0.1";
    // The first call after a loss only sets the time of the next try.
    EXPECT_EQ(reconnect_sync_editor(device, host, silent.port, 5000), -1);
    EXPECT_EQ(reconnect_sync_editor(device, host, silent.port, 5999), -1);
    EXPECT_EQ(device->link, SYNC_LINK_DOWN);
    EXPECT_EQ(device->socket, -1);
    EXPECT_EQ(reconnect_sync_editor(device, host, silent.port, 6000), -1);
    EXPECT_EQ(device->link, SYNC_LINK_GREETING);
    silent.wait_connected();
    EXPECT_EQ(silent.client_greeting, "hello, synctracker!");
    // Waiting on the answer here would never return.
    for (uint32_t now = 6000; now < 9000; now += 500) {
        EXPECT_EQ(reconnect_sync_editor(device, host, silent.port, now), -1);
        EXPECT_EQ(device->link, SYNC_LINK_GREETING);
    }
    EXPECT_EQ(reconnect_sync_editor(device, host, silent.port, 9000), -1);
    EXPECT_EQ(device->link, SYNC_LINK_DOWN);
    EXPECT_EQ(device->socket, -1);
    EXPECT_TRUE(silent.client_closed());
    EXPECT_EQ(reconnect_sync_editor(device, host, silent.port, 9999), -1);
    EXPECT_EQ(device->socket, -1);  // the pause before the next try
    destroy_sync_device(device);
}

TEST_F(EditorConnection, GarbageKeepsTheTracksUntilANewEditorHasAnsweredInWhole) {
    SyncTrack* track = find_or_add_track(device, "t", 0.0f);
    ASSERT_TRUE(track);
    EXPECT_EQ(poll_after_send(FakeEditor::key_set(0, 4, 9.0f, INTERP_HOLD)), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(poll_after_send("\x7fnot a command"), -1);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(device->link, SYNC_LINK_DOWN);
    EXPECT_EQ(track->key_count, 2);
    EXPECT_EQ(evaluate_track(track, 5.0), 9.0f);

    FakeEditor slow("");
    const char* host = "127.0.0.1";
    EXPECT_EQ(reconnect_sync_editor(device, host, slow.port, 100), -1);
    EXPECT_EQ(reconnect_sync_editor(device, host, slow.port, 1099), -1);
    EXPECT_EQ(device->link, SYNC_LINK_DOWN);
    EXPECT_EQ(reconnect_sync_editor(device, host, slow.port, 1100), -1);
    slow.wait_connected();
    const std::string greeting = SYNC_EDITOR_GREETING;
    slow.send_bytes(greeting.substr(0, 5));
    usleep(20000);
    EXPECT_EQ(reconnect_sync_editor(device, host, slow.port, 1200), -1);
    EXPECT_EQ(device->link, SYNC_LINK_GREETING);
    EXPECT_EQ(track->key_count, 2);
    slow.send_bytes(greeting.substr(5));
    usleep(20000);
    EXPECT_EQ(reconnect_sync_editor(device, host, slow.port, 1300), 0);
    EXPECT_EQ(device->link, SYNC_LINK_UP);
    EXPECT_EQ(track->key_count, 0);  // now the new editor's keys replace ours
    EXPECT_EQ(slow.drain(), FakeEditor::track_request("t"));
    EXPECT_EQ(poll(0), 0);
}

TEST(EditorMessages, ParsedFromMemory) {
    SyncDevice* device = create_sync_device("x/", true);
    SyncTrack* track = static_cast<SyncTrack*>(calloc(1, sizeof(SyncTrack)));
    track->name = strdup("t");
    device->tracks = static_cast<SyncTrack**>(malloc(sizeof(SyncTrack*)));
    device->tracks[0] = track;
    device->track_count = device->track_capacity = 1;
    std::string bytes = FakeEditor::key_set(0, 2, 1.0f, 1) + FakeEditor::key_set(0, 10, 3.0f, 0).substr(0, 9);
    memcpy(device->received, bytes.data(), bytes.size());
    device->received_length = bytes.size();
    EXPECT_EQ(handle_editor_messages(device, nullptr, nullptr), 0);
    EXPECT_EQ(track->key_count, 1);
    EXPECT_EQ(device->received_length, 9u);  // the incomplete message waits
    destroy_sync_device(device);
}

}  // namespace
