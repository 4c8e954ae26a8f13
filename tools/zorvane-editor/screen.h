// zorvane-editor's terminal screen (ncurses): rows down, one column per track, the status line,
// and the keys that edit. It draws the session's model and turns keys into its operations; all
// waiting happens in EditorSession::service, so the demo is served while the author types.
// Depends on: session, ncurses.
#pragma once

#include "session.h"

// Runs until the author quits; returns the exit code.
int run_screen(EditorSession& session, double bpm);
