#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "test_support.h"
#include "util/sync/fake_editor.h"
#include "util/sync/sync.h"

namespace {

std::string keys_of(const SyncTrack* t) {
    std::string out;
    for (int32_t i = 0; i < t->key_count; ++i)
        out += (out.empty() ? "" : " ") + std::to_string(t->keys[i].row) + ":" +
               std::to_string(static_cast<int>(t->keys[i].value)) + ":" + std::to_string(t->keys[i].interpolation);
    return out;
}

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
    // Polls once nothing has followed an answer for long enough that it is whole.
    int poll_after_quiet(int32_t row = 0) {
        usleep((SYNC_ANSWER_QUIET_MS + 20) * 1000);
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
    // Each starts with the local default key until the editor's keys replace it.
    EXPECT_EQ(evaluate_track(first, 5.0), 3.0f);
    EXPECT_EQ(poll_after_send(FakeEditor::key_set(0, 0, 1.5f, INTERP_LINEAR) +
                              FakeEditor::key_set(1, 8, 2.0f, INTERP_HOLD) +
                              FakeEditor::key_set(0, 16, 3.5f, INTERP_HOLD) +
                              FakeEditor::key_remove(1, 8) + FakeEditor::key_remove(1, 99)),
              0);
    ASSERT_EQ(first->key_count, 2);
    EXPECT_EQ(evaluate_track(first, 8.0), 2.5f);
    // The editor removed every key it had sent: the value before any key is the default again.
    EXPECT_EQ(second->key_count, 1);
    EXPECT_EQ(second->keys[0].value, -1.0f);
}

// The value before the first key is what the track file gives in release, not the default
// registered in the code: once the editor has answered, the local default key is gone.
TEST_F(EditorConnection, AnAnswerReplacesTheLocalDefaultKeyOnceWhole) {
    SyncTrack* fov = find_or_add_track(device, "rcFOV", 45.0f);
    SyncTrack* idle = find_or_add_track(device, "idle", 7.0f);
    editor.read_commands(2);
    EXPECT_EQ(poll_after_send(FakeEditor::key_set(0, 32, 60.0f, INTERP_LINEAR) +
                              FakeEditor::key_set(0, 64, 90.0f, INTERP_HOLD)),
              0);
    EXPECT_EQ(evaluate_track(fov, 0.0), 45.0f);  // not whole yet: the editor may say more
    EXPECT_EQ(poll_after_quiet(), 0);
    ASSERT_EQ(fov->key_count, 2);
    EXPECT_EQ(evaluate_track(fov, 0.0), 60.0f);
    EXPECT_EQ(evaluate_track(idle, 0.0), 7.0f);  // never answered: nothing to replace it with
    // Later keys are edits, applied at once.
    EXPECT_EQ(poll_after_send(FakeEditor::key_set(0, 0, 10.0f, INTERP_HOLD)), 0);
    EXPECT_EQ(evaluate_track(fov, 0.0), 10.0f);
    EXPECT_EQ(device->links[0].received, true);
    EXPECT_EQ(device->links[1].received, false);
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
    // Half a message is never the end of an answer, however long it waits.
    EXPECT_EQ(poll_after_quiet(), 0);
    EXPECT_EQ(evaluate_track(track, 5.0), 0.0f);
    EXPECT_EQ(poll_after_send(message.substr(6)), 0);
    EXPECT_EQ(poll_after_quiet(), 0);
    EXPECT_EQ(track->key_count, 1);
    EXPECT_EQ(evaluate_track(track, 5.0), 9.0f);
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

TEST_F(EditorConnection, ReconnectionKeepsTheKeysUntilTheNewAnswerIsWholeAndTheLastRowSent) {
    SyncTrack* a = find_or_add_track(device, "a", 1.0f);
    SyncTrack* b = find_or_add_track(device, "b", 2.0f);
    poll_after_send(FakeEditor::key_set(1, 3, 5.0f, 0), 40);
    poll_after_quiet(40);
    EXPECT_EQ(editor.drain(), FakeEditor::track_request("a") + FakeEditor::track_request("b") + FakeEditor::row(40));
    editor.hang_up();
    usleep(20000);
    EXPECT_EQ(poll(41), -1);

    editor.expect_connection();
    ASSERT_EQ(connect_sync_editor(device, "127.0.0.1", editor.port), 0);
    editor.wait_connected();
    EXPECT_EQ(keys_of(a), "0:1:0");
    EXPECT_EQ(keys_of(b), "3:5:0");
    EXPECT_EQ(poll(40), 0);  // the last row sent survived the reconnection
    EXPECT_EQ(editor.drain(), FakeEditor::track_request("a") + FakeEditor::track_request("b"));
    // An answer cut off by the end of the connection is not the editor's keys.
    EXPECT_EQ(poll_after_send(FakeEditor::key_set(1, 7, 6.0f, 0)), 0);
    editor.hang_up();
    usleep(20000);
    EXPECT_EQ(poll(40), -1);
    EXPECT_EQ(keys_of(b), "3:5:0");
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
    EXPECT_EQ(poll_after_quiet(), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(poll_after_send("\x7fnot a command"), -1);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(device->link, SYNC_LINK_DOWN);
    EXPECT_EQ(track->key_count, 1);
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
    EXPECT_EQ(track->key_count, 1);
    slow.send_bytes(greeting.substr(5));
    usleep(20000);
    EXPECT_EQ(reconnect_sync_editor(device, host, slow.port, 1300), 0);
    EXPECT_EQ(device->link, SYNC_LINK_UP);
    EXPECT_EQ(slow.drain(), FakeEditor::track_request("t"));
    // Ours stay until the new editor's answer is whole.
    EXPECT_EQ(poll(0), 0);
    EXPECT_EQ(evaluate_track(track, 5.0), 9.0f);
    slow.send_bytes(FakeEditor::key_set(0, 0, 2.0f, INTERP_HOLD));
    usleep(20000);
    EXPECT_EQ(poll(0), 0);
    EXPECT_EQ(poll_after_quiet(), 0);
    EXPECT_EQ(keys_of(track), "0:2:0");
}

TEST(EditorMessages, ParsedFromMemory) {
    SyncDevice* device = create_sync_device("/dev/null/x/", false);
    SyncTrack* track = find_or_add_track(device, "t", 0.0f);  // no file: an empty track
    ASSERT_EQ(track, nullptr);
    track = device->tracks[0];
    device->editor_mode = true;
    std::string bytes = FakeEditor::key_set(0, 2, 1.0f, 1) + FakeEditor::key_set(0, 10, 3.0f, 0).substr(0, 9);
    memcpy(device->received, bytes.data(), bytes.size());
    device->received_length = bytes.size();
    EXPECT_EQ(handle_editor_messages(device, nullptr, nullptr), 0);
    EXPECT_EQ(device->received_length, 9u);  // the incomplete message waits
    complete_sync_answers(device);
    EXPECT_EQ(keys_of(track), "2:1:1");
    destroy_sync_device(device);
}

}  // namespace
