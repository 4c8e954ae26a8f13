// zorvane-editor --script: the editor's actions as text lines instead of keystrokes, for tests
// and automation. One action a line; blank lines and lines starting with '#' are skipped:
//   set TRACK ROW VALUE INTERP   INTERP: hold, linear, smooth, ramp or 0..3
//   delete TRACK ROW
//   seek ROW
//   pause 0|1
//   save
//   wait SECONDS                 serves the demo meanwhile
//   await connected              the next demo connection (counted: the n-th await, the n-th one)
//   await disconnected           the next end of a demo connection
//   await request TRACK          the current connection has asked for TRACK
//   quit                         also at the end of the script
// Standard output gets one line per action done ("set alpha 16 2.25 smooth", "delete alpha 32",
// "seek 64", "pause 1", "save 0" or "save -1 <why>", "quit", "quit unsaved") and per event of
// the session (see EditorSession::on_event), starting with "listening PORT".
// Depends on: session.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "session.h"

struct ScriptAction {
    enum Type { SET, DELETE, SEEK, PAUSE, SAVE, WAIT, AWAIT_CONNECTED, AWAIT_DISCONNECTED, AWAIT_REQUEST, QUIT };
    Type type;
    int line = 0;
    std::string track;
    int32_t row = 0;
    float value = 0;
    int32_t interpolation = 0;
    bool flag = false;
    double seconds = 0;
};

// The whole script, or false and `error` ("line N: ...") for the first line that is not an
// action; nothing runs unless all of it is understood.
bool parse_script(const std::string& text, std::vector<ScriptAction>& actions, std::string& error);

// Runs the actions; returns the exit code: 0, or 1 when a save failed.
int run_script(EditorSession& session, const std::vector<ScriptAction>& actions, FILE* out);
