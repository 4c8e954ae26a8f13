// Message boxes and batch mode.
//
// A message box is a modal GTK 3 dialog; its "<caption>: <text>" line always goes to standard
// error as well, so nothing a box says is ever lost (a text that opens with its caption and a
// blank line, as a fatal report's does, goes there alone). In batch mode (ZORVANE_BATCH=1, or no
// display to open) nothing is shown and every box answers with its default button, OK.
// Depends on: GTK 3.
#pragma once

enum class MessageBoxButtons { Ok, OkCancel };
enum class MessageBoxIcon { None, Question, Warning, Error, Information };

// The answers, numbered as the classic dialog ids.
constexpr int MESSAGE_BOX_OK = 1;
constexpr int MESSAGE_BOX_CANCEL = 2;

// True when no window may be shown. Decided once, on first use; the environment variable is
// read then, and without it GTK is initialised to find out whether a display can be opened.
bool is_batch_mode();

// Makes the next is_batch_mode() decide again (tests change ZORVANE_BATCH between cases).
void reset_batch_mode();

int message_box(const char* caption, const char* text, MessageBoxButtons buttons,
                MessageBoxIcon icon);

// Runs GTK's main loop until no events are pending, so a closed dialog leaves the screen
// before the program goes on with something slow.
void flush_ui_events();
