// zorvane-tool sync client against the scripted editor: the whole session as its output shows it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "util/sync/fake_editor.h"

namespace {

TEST(SyncClientTool, TalksToAnEditorAndSavesAndPrintsItsTracks) {
    FakeEditor editor;
    char pattern[] = "/tmp/zorvane-client-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string base = std::string(pattern) + "/tracks";
    std::string command = std::string(ZORVANE_TOOL_PATH) + " sync client --port " +
                          std::to_string(editor.port) + " --seconds 1.5 --bpm 600 --base " + base + " a b";
    FILE* client = popen(command.c_str(), "r");
    ASSERT_NE(client, nullptr);
    editor.wait_connected();
    EXPECT_EQ(editor.read_commands(2), FakeEditor::track_request("a") + FakeEditor::track_request("b"));
    // Playing at 80 rows a second: rows arrive.
    EXPECT_EQ(editor.read_bytes(1), std::string(1, '\3'));
    editor.send_bytes(FakeEditor::key_set(0, 0, 2.5f, 1) + FakeEditor::key_set(1, 4, 1.0f, 0) +
                      std::string(1, '\5') + FakeEditor::pause(1) + FakeEditor::row(32) +
                      FakeEditor::key_remove(1, 0));

    std::string output;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, client)) output += buffer;
    EXPECT_EQ(pclose(client), 0);
    EXPECT_EQ(output,
              "connected\n"
              "key 0 0 2.5 1\n"
              "key 1 4 1 0\n"
              "save 0\n"
              "pause 1\n"
              "seek 32\n"
              "remove 1 0\n"
              "save 0\n"
              "track a\n"
              "0 2.5 1\n"
              "track b\n"
              "4 1 0\n");
    FILE* saved = fopen((base + "/_a.track").c_str(), "rb");
    EXPECT_NE(saved, nullptr);
    if (saved) fclose(saved);
    ASSERT_EQ(system((std::string("rm -rf ") + pattern).c_str()), 0);
}

// A save that fails is the run's failure: the keys the editor sent are not on disk.
TEST(SyncClientTool, AFailedFinalSaveEndsWithExitOne) {
    FakeEditor editor;
    const std::string command = std::string(ZORVANE_TOOL_PATH) + " sync client --port " +
                                std::to_string(editor.port) + " --seconds 1 --base /dev/null/tracks a > /dev/null 2>&1";
    FILE* client = popen(command.c_str(), "r");
    ASSERT_NE(client, nullptr);
    editor.wait_connected();
    editor.read_commands(1);
    editor.send_bytes(FakeEditor::key_set(0, 8, 1.0f, 0) + FakeEditor::row(0));
    const int status = pclose(client);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

// Something on the port accepts but never greets: the client gives up after its greeting time
// limit exactly as for a refused connection, instead of waiting for ever.
TEST(SyncClientTool, ASilentListenerIsAFailedConnection) {
    FakeEditor silent("");
    const std::string command = std::string(ZORVANE_TOOL_PATH) + " sync client --port " +
                                std::to_string(silent.port) + " --seconds 2 a 2>&1";
    FILE* client = popen(command.c_str(), "r");
    ASSERT_NE(client, nullptr);
    std::string output;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, client)) output += buffer;
    const int status = pclose(client);
    ASSERT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(output.find("Sync tracker failed to connect to host"), std::string::npos) << output;
    silent.wait_connected();
    EXPECT_EQ(silent.client_greeting, SYNC_CLIENT_GREETING);
}

}  // namespace
