// zorvane-editor's session against the engine's own editor-mode client in the same process,
// and against raw peers that misbehave; and the script runner.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/net.h"
#include "script.h"
#include "session.h"
#include "test_support.h"
#include "util/sync/sync.h"

namespace {

// The demo's side: a sync device in editor mode, connected without ever blocking, so the
// editor can be served in between on this one thread.
struct Demo {
    explicit Demo(const std::string& base) : device(create_sync_device(base.c_str(), true)) {}
    ~Demo() {
        net_close(device->socket);
        destroy_sync_device(device);
    }
    SyncDevice* device;
    std::vector<std::string> seen;
    uint32_t now_ms = 0;
};

const SyncEditorCallbacks demo_callbacks = {
    [](void* d, int flag) { static_cast<Demo*>(d)->seen.push_back("pause " + std::to_string(flag)); },
    [](void* d, int32_t row) { static_cast<Demo*>(d)->seen.push_back("seek " + std::to_string(row)); },
    [](void*) { return 1; },
    nullptr, nullptr,
    [](void* d, int result) { static_cast<Demo*>(d)->seen.push_back("save " + std::to_string(result)); },
};

// Serves the editor and lets the demo poll (or reconnect) in turn until `done`; false when it
// never happens.
template <typename Done>
bool serve(EditorSession& editor, Demo& demo, Done done, int32_t row = 0) {
    for (int round = 0; round < 2000; ++round) {
        editor.service(5);
        if (demo.device->link == SYNC_LINK_UP) {
            poll_sync_editor(demo.device, row, &demo_callbacks, &demo);
        } else {
            // Only a lost connection waits for the retry time; a greeting is never given up on.
            if (demo.device->link == SYNC_LINK_DOWN) demo.now_ms += SYNC_RETRY_MS;
            reconnect_sync_editor(demo.device, "127.0.0.1", editor.port(), demo.now_ms);
        }
        if (done()) return true;
    }
    return false;
}

// Serves the editor alone until `done`.
template <typename Done>
bool serve(EditorSession& editor, Done done) {
    for (int round = 0; round < 2000; ++round) {
        editor.service(5);
        if (done()) return true;
    }
    return false;
}

std::string keys_of(const SyncTrack* t) {
    std::string out;
    for (int32_t i = 0; i < t->key_count; ++i) {
        char word[64];
        snprintf(word, sizeof word, "%s%d:%g:%d", out.empty() ? "" : " ", t->keys[i].row,
                 static_cast<double>(t->keys[i].value), t->keys[i].interpolation);
        out += word;
    }
    return out;
}

std::string file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class EditorSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(editor.listen(0));
        editor.on_event = [this](const std::string& line) {
            if (line.compare(0, 4, "row ") != 0) events.push_back(line);
        };
    }
    bool saw(const std::string& event) const {
        for (const std::string& e : events)
            if (e == event) return true;
        return false;
    }
    SyncTrack* demo_track(Demo& demo, const char* name) { return find_or_add_track(demo.device, name, 0.0f); }
    bool connect(Demo& demo) {
        return serve(editor, demo, [&] { return demo.device->link == SYNC_LINK_UP; });
    }

    TempFolder folder;
    EditorSession editor{folder.path + "/tracks"};
    std::vector<std::string> events;
};

TEST_F(EditorSessionTest, AnswersFromTheTrackFilesAndSendsEveryEditPauseSeekAndSave) {
    make_directories((folder.path + "/tracks/").c_str());
    SyncTrack saved{nullptr, nullptr, 0};
    insert_key(&saved, SyncKey{0, 1.5f, INTERP_LINEAR});
    insert_key(&saved, SyncKey{32, 4.0f, INTERP_HOLD});
    ASSERT_EQ(save_track_file((folder.path + "/tracks/_alpha.track").c_str(), &saved), 0);
    free(saved.keys);

    Demo demo(folder.path + "/demo/");
    ASSERT_TRUE(connect(demo));
    SyncTrack* alpha = demo_track(demo, "alpha");
    SyncTrack* beta = demo_track(demo, "beta");
    ASSERT_TRUE(alpha && beta);
    ASSERT_TRUE(serve(editor, demo, [&] { return alpha->key_count == 2 && editor.requested("beta"); }));
    EXPECT_EQ(keys_of(alpha), "0:1.5:1 32:4:0");
    EXPECT_TRUE(saw("request \"alpha\" 2"));
    EXPECT_TRUE(saw("request \"beta\" 0"));

    // While the demo plays, the cursor follows its row.
    ASSERT_TRUE(serve(editor, demo, [&] { return editor.model().cursor_row() == 12; }, 12));

    EditModel& m = editor.model();
    m.set_key(m.find_track("beta"), 8, -1.0f, INTERP_LINEAR);
    m.delete_key(m.find_track("alpha"), 32);
    m.cycle_interpolation(m.find_track("alpha"), 0);
    editor.send_changes();
    ASSERT_TRUE(serve(editor, demo, [&] { return alpha->key_count == 1 && alpha->keys[0].interpolation == 2; }));
    EXPECT_EQ(keys_of(beta), "8:-1:1");  // the demo's own default key went with the first key

    editor.set_paused(true);
    editor.seek(64);
    // Paused, the cursor stays where the author put it whatever the demo says.
    ASSERT_TRUE(serve(editor, demo, [&] { return demo.seen.size() == 2; }, 70));
    EXPECT_EQ(demo.seen, (std::vector<std::string>{"pause 1", "seek 64"}));
    EXPECT_EQ(m.cursor_row(), 64);

    EXPECT_TRUE(m.unsaved());
    ASSERT_EQ(editor.save(), 0);
    EXPECT_FALSE(m.unsaved());
    ASSERT_TRUE(serve(editor, demo, [&] { return demo.seen.size() == 3; }));
    EXPECT_EQ(demo.seen.back(), "save 0");
    EXPECT_EQ(file_bytes(folder.path + "/tracks/_alpha.track"),
              std::string("\1\0\0\0" "\0\0\0\0" "\0\0\xc0\x3f" "\2", 13));
    EXPECT_EQ(file_bytes(folder.path + "/tracks/_beta.track"),
              std::string("\1\0\0\0" "\x08\0\0\0" "\0\0\x80\xbf" "\1", 13));
}

TEST_F(EditorSessionTest, ARestartedDemoGetsTheEditsUnderItsOwnRequestOrder) {
    {
        Demo first(folder.path + "/demo/");
        ASSERT_TRUE(connect(first));
        demo_track(first, "a");
        demo_track(first, "b");
        ASSERT_TRUE(serve(editor, first, [&] { return editor.requested("b"); }));
        editor.model().set_key(editor.model().find_track("b"), 4, 7.0f, INTERP_HOLD);
        editor.send_changes();
        ASSERT_TRUE(serve(editor, first, [&] { return first.device->tracks[1]->keys[0].row == 4; }));
    }
    ASSERT_TRUE(serve(editor, [&] { return editor.disconnections() == 1; }));
    EXPECT_FALSE(editor.connected());

    // This demo names b first: b is its track 0, and the edit must arrive there.
    Demo second(folder.path + "/demo2/");
    ASSERT_TRUE(connect(second));
    SyncTrack* b = demo_track(second, "b");
    SyncTrack* a = demo_track(second, "a");
    ASSERT_TRUE(serve(editor, second, [&] { return b->keys[0].row == 4; }));
    EXPECT_EQ(keys_of(b), "4:7:0");
    EXPECT_EQ(keys_of(a), "0:0:0");
    EXPECT_EQ(editor.connections(), 2);
    EXPECT_EQ(editor.model().track_count(), 2);
}

// A raw peer: connects, sends `bytes`, and reports whether the editor then closed it.
struct RawPeer {
    RawPeer(uint16_t port, const std::string& bytes) : socket(net_connect("127.0.0.1", port)) {
        net_send_all(socket, bytes.data(), bytes.size());
    }
    ~RawPeer() { net_close(socket); }
    bool closed_by_editor() {
        char buffer[256];
        while (net_wait_readable(socket, 2000) == 1) {
            long got = net_recv(socket, buffer, sizeof buffer);
            if (got <= 0) return true;
        }
        return false;
    }
    int socket;
};

std::string greeting() { return std::string(SYNC_CLIENT_GREETING, SYNC_CLIENT_GREETING_LENGTH); }

TEST_F(EditorSessionTest, APeerThatMisbehavesLosesItsConnectionAndNothingElse) {
    editor.model().add_track("kept", {{0, 3.0f, INTERP_HOLD}});
    editor.model().set_key(0, 8, 4.0f, INTERP_HOLD);
    const struct {
        std::string bytes, event;
    } cases[] = {
        {"hello, synctrackeR!", "refused bad greeting"},
        {greeting() + "\x7f", "disconnected unknown command 7f"},
        // What only the editor may send.
        {greeting() + std::string("\0\0\0\0\x09\0\0\0\x01\0\0\0\0\0", 14), "disconnected unknown command 00"},
        {greeting() + std::string("\x02\xff\xff\xff\xff", 5), "disconnected track name longer than 1024 bytes"},
        {greeting() + std::string("\x02\0\0\x04\x01", 5), "disconnected track name longer than 1024 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.event);
        RawPeer peer(editor.port(), c.bytes);
        ASSERT_TRUE(serve(editor, [&] { return saw(c.event); }));
        EXPECT_TRUE(peer.closed_by_editor());
        EXPECT_FALSE(editor.connected());
    }
    // The editor still listens, and its edits are intact.
    Demo demo(folder.path + "/demo/");
    ASSERT_TRUE(connect(demo));
    SyncTrack* kept = demo_track(demo, "kept");
    ASSERT_TRUE(serve(editor, demo, [&] { return kept->key_count == 2; }));
    EXPECT_EQ(keys_of(kept), "0:3:0 8:4:0");
}

TEST_F(EditorSessionTest, MessagesSplitAcrossSegmentsAreWaitedFor) {
    RawPeer peer(editor.port(), greeting().substr(0, 7));
    ASSERT_TRUE(serve(editor, [&] { return true; }));
    EXPECT_FALSE(editor.connected());
    std::string rest = greeting().substr(7) + std::string("\x02\0\0\0\x03" "abc" "\x03\0\0\x01\x02", 13);
    for (char byte : rest) {
        ASSERT_TRUE(net_send_all(peer.socket, &byte, 1));
        editor.service(5);
    }
    ASSERT_TRUE(serve(editor, [&] { return editor.demo_row() == 258; }));
    EXPECT_TRUE(editor.connected());
    EXPECT_TRUE(editor.requested("abc"));
    EXPECT_EQ(editor.model().cursor_row(), 258);
    // The editor's greeting came back once the whole of the demo's had arrived.
    char answer[SYNC_EDITOR_GREETING_LENGTH];
    ASSERT_EQ(recv(peer.socket, answer, sizeof answer, MSG_WAITALL), static_cast<ssize_t>(sizeof answer));
    EXPECT_EQ(std::string(answer, sizeof answer), SYNC_EDITOR_GREETING);
}

// Only a newcomer that greets as a demo does may take the demo's place: a port scan, a stray
// tool or a burst of connections never cuts the working demo off.
TEST_F(EditorSessionTest, StrangersNeverReplaceTheDemoAndAGreetingDemoTakesOver) {
    Demo demo(folder.path + "/demo/");
    ASSERT_TRUE(connect(demo));
    SyncTrack* t = demo_track(demo, "t");
    ASSERT_TRUE(serve(editor, demo, [&] { return editor.requested("t"); }));
    {
        RawPeer silent(editor.port(), "");
        RawPeer wrong(editor.port(), "GET / HTTP/1.0\r\n\r\n");
        std::vector<std::unique_ptr<RawPeer>> burst;
        for (int i = 0; i < 50; ++i) {
            burst.push_back(std::make_unique<RawPeer>(editor.port(), i % 2 ? "x" : ""));
            editor.service(0);
        }
        burst.clear();
        ASSERT_TRUE(serve(editor, demo, [&] { return saw("refused bad greeting"); }));
        EXPECT_TRUE(wrong.closed_by_editor());
    }
    ASSERT_TRUE(serve(editor, demo, [&] { return saw("refused closed before its greeting"); }));
    EXPECT_TRUE(editor.connected());
    EXPECT_EQ(editor.connections(), 1);
    editor.model().set_key(editor.model().find_track("t"), 8, 3.0f, INTERP_HOLD);
    editor.send_changes();
    ASSERT_TRUE(serve(editor, demo, [&] { return t->keys[0].row == 8; }));

    Demo second(folder.path + "/demo2/");
    ASSERT_TRUE(serve(editor, second, [&] { return second.device->link == SYNC_LINK_UP && editor.connections() == 2; }));
    EXPECT_TRUE(saw("disconnected replaced by a new demo"));
    EXPECT_TRUE(saw("connected (took over from the previous demo)"));
    EXPECT_TRUE(editor.took_over());
}

// A name from the demo's side that could break a line or a file name is refused alone.
TEST_F(EditorSessionTest, TrackNamesWithControlCharactersAreRefusedAndTheRestAnswered) {
    Demo demo(folder.path + "/demo/");
    ASSERT_TRUE(connect(demo));
    demo_track(demo, "bad\nsave 0");
    demo_track(demo, std::string(600, 'n').c_str());
    SyncTrack* good = demo_track(demo, "good");
    editor.model().add_track("good", {{4, 2.0f, INTERP_HOLD}});
    ASSERT_TRUE(serve(editor, demo, [&] { return good->keys[0].row == 4; }));
    EXPECT_TRUE(saw("refused track name \"bad\\x0asave 0\": a control character in the name"));
    EXPECT_EQ(editor.model().track_count(), 1);  // no file could be called that either
    EXPECT_EQ(editor.model().find_track("bad\nsave 0"), -1);
    editor.model().set_key(editor.model().find_track("good"), 8, 1.0f, INTERP_HOLD);
    EXPECT_EQ(editor.save(), 0);
}

// An unedited session leaves every file as it was, byte for byte, even one it cannot read; an
// edited one writes only the tracks edited; the folder's tracks are there before any demo.
TEST_F(EditorSessionTest, ASaveWritesOnlyEditedTracksAndTheFolderIsBrowsableOffline) {
    make_directories((folder.path + "/tracks/").c_str());
    const std::string dir = folder.path + "/tracks/";
    std::ofstream(dir + "_b.track", std::ios::binary) << std::string("\x02\0\0\0\x08\0\0\0\0\0\x80\x3f\0"
                                                                     "\0\0\0\0\0\0\0\0\0", 22);  // rows out of order
    std::ofstream(dir + "_a.track", std::ios::binary) << std::string("\x01\0\0\0\x01", 5);  // cut short
    std::ofstream(dir + "_c.track", std::ios::binary) << std::string("\0\0\0\0", 4);
    editor.load_base_folder();
    ASSERT_EQ(editor.model().track_count(), 3);
    EXPECT_EQ(editor.model().track_name(0), "a");
    EXPECT_EQ(editor.model().track(1).key_count, 2);
    const std::string b = file_bytes(dir + "_b.track"), a = file_bytes(dir + "_a.track");
    ASSERT_EQ(editor.save(), 0);
    EXPECT_EQ(file_bytes(dir + "_a.track"), a);
    EXPECT_EQ(file_bytes(dir + "_b.track"), b);
    editor.model().set_key(2, 16, 1.0f, INTERP_HOLD);  // offline: sent when a demo asks for c
    ASSERT_EQ(editor.save(), 0);
    EXPECT_EQ(file_bytes(dir + "_b.track"), b);
    EXPECT_EQ(file_bytes(dir + "_c.track").size(), 13u);

    Demo demo(folder.path + "/demo/");
    ASSERT_TRUE(connect(demo));
    SyncTrack* c = demo_track(demo, "c");
    ASSERT_TRUE(serve(editor, demo, [&] { return c->keys[0].row == 16; }));
}

TEST_F(EditorSessionTest, TrackNamesNeverLeadOutOfTheFolder) {
    EXPECT_EQ(editor.track_file("a"), folder.path + "/tracks/_a.track");
    EXPECT_EQ(editor.track_file("../../x"), "");
    EXPECT_EQ(editor.track_file(std::string("a\0b", 3)), "");
    EXPECT_EQ(editor.track_file(""), "");
    int t = editor.track("../escape");
    editor.model().set_key(t, 0, 1.0f, INTERP_HOLD);
    EXPECT_EQ(editor.save(), 0);
    EXPECT_NE(access((folder.path + "/tracks").c_str(), F_OK), -1);
    EXPECT_EQ(access((folder.path + "/escape.track").c_str(), F_OK), -1);
    EXPECT_EQ(access((folder.path + "/tracks/_../escape.track").c_str(), F_OK), -1);
}

TEST_F(EditorSessionTest, AnUnreadableTrackFileIsReportedAndTheTrackStartsEmpty) {
    make_directories((folder.path + "/tracks/").c_str());
    std::ofstream(folder.path + "/tracks/_short.track", std::ios::binary) << std::string("\x02\0\0\0\x01", 5);
    int t = editor.track("short");
    EXPECT_EQ(editor.model().track(t).key_count, 0);
    EXPECT_TRUE(saw("unreadable \"" + folder.path + "/tracks/_short.track\""));
}

// ---- scripts --------------------------------------------------------------------------------

std::string parse_error(const std::string& text) {
    std::vector<ScriptAction> actions;
    std::string error;
    return parse_script(text, actions, error) ? "" : error;
}

TEST(EditorScript, EveryLineMustBeAnActionAndTheFirstBadOneIsNamed) {
    std::vector<ScriptAction> actions;
    std::string error;
    ASSERT_TRUE(parse_script("# comment\n\nset a 16 2.25 smooth\ndelete a 16\nseek 64\npause 1\nsave\n"
                             "wait 0.5\nawait connected\nawait disconnected\nawait request a\nquit\n",
                             actions, error))
        << error;
    ASSERT_EQ(actions.size(), 10u);
    EXPECT_EQ(actions[0].type, ScriptAction::SET);
    EXPECT_EQ(actions[0].interpolation, INTERP_SMOOTHSTEP);
    EXPECT_EQ(actions[0].value, 2.25f);
    EXPECT_EQ(actions[0].line, 3);
    EXPECT_EQ(actions[8].track, "a");

    EXPECT_EQ(parse_error("seek 1\nset a 1 2 cubic\n"),
              "line 2: interpolation 'cubic' is not hold, linear, smooth, ramp or 0..3");
    EXPECT_EQ(parse_error("seek -1"), "line 1: expected 'seek ROW'");
    EXPECT_EQ(parse_error("set a 1 nan 0"), "line 1: value 'nan' is not a number");
    EXPECT_EQ(parse_error("set a 1 1e39 0"), "line 1: value '1e39' is not a number");
    EXPECT_EQ(parse_error("pause 2"), "line 1: expected 'pause 0' or 'pause 1'");
    EXPECT_EQ(parse_error("delete a"), "line 1: expected 'delete TRACK ROW'");
    EXPECT_EQ(parse_error("wait -1"), "line 1: expected 'wait SECONDS'");
    EXPECT_EQ(parse_error("await tea"), "line 1: expected 'await connected', 'await disconnected' or 'await request TRACK'");
    EXPECT_EQ(parse_error("jump 3"), "line 1: unknown action 'jump'");
}

std::string run(EditorSession& session, const std::string& text, int& status) {
    std::vector<ScriptAction> actions;
    std::string error;
    EXPECT_TRUE(parse_script(text, actions, error)) << error;
    FILE* out = tmpfile();
    status = run_script(session, actions, out);
    rewind(out);
    std::string printed;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, out)) printed += buffer;
    fclose(out);
    return printed;
}

TEST(EditorScript, RunsItsActionsWithoutADemoAndStopsAtQuit) {
    TempFolder folder;
    EditorSession session(folder.path + "/tracks");
    int status = -1;
    EXPECT_EQ(run(session, "set a 16 2.25 2\nset a 8 -1 hold\ndelete a 16\nsave\nset a 0 1 1\nquit\nsave\n", status),
              "set \"a\" 16 2.25 smooth\nset \"a\" 8 -1 hold\ndelete \"a\" 16\nsave 0\nset \"a\" 0 1 linear\nquit unsaved\n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(file_bytes(folder.path + "/tracks/_a.track"), std::string("\1\0\0\0" "\x08\0\0\0" "\0\0\x80\xbf" "\0", 13));
}

TEST(EditorScript, AFailedSaveIsReportedAndFailsTheRun) {
    TempFolder folder;
    std::ofstream(folder.path + "/file") << "not a folder";
    EditorSession session(folder.path + "/file/tracks/");
    int status = -1;
    std::string printed = run(session, "set a 0 1 0\nsave\n", status);
    EXPECT_EQ(printed, "set \"a\" 0 1 hold\nsave -1 cannot create " + folder.path + "/file/tracks/\nquit unsaved\n");
    EXPECT_EQ(status, 1);
}

}  // namespace
