// Message boxes on GTK 3, with the batch-mode fallback for runs with no one at the screen.
#include "platform/ui.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
enum class BatchState { Unknown, Batch, Interactive };
BatchState batch_state = BatchState::Unknown;

bool batch_requested_by_environment() {
    const char* value = getenv("ZORVANE_BATCH");
    return value != nullptr && strcmp(value, "1") == 0;
}

GtkMessageType message_type(MessageBoxIcon icon) {
    switch (icon) {
        case MessageBoxIcon::Question: return GTK_MESSAGE_QUESTION;
        case MessageBoxIcon::Warning: return GTK_MESSAGE_WARNING;
        case MessageBoxIcon::Error: return GTK_MESSAGE_ERROR;
        case MessageBoxIcon::Information: return GTK_MESSAGE_INFO;
        case MessageBoxIcon::None: break;
    }
    return GTK_MESSAGE_OTHER;
}
}  // namespace

bool is_batch_mode() {
    if (batch_state == BatchState::Unknown) {
        if (batch_requested_by_environment()) {
            batch_state = BatchState::Batch;
        } else {
            int argc = 0;
            char** argv = nullptr;
            batch_state = gtk_init_check(&argc, &argv) ? BatchState::Interactive
                                                       : BatchState::Batch;
        }
    }
    return batch_state == BatchState::Batch;
}

void reset_batch_mode() {
    // Once GTK is up it stays up; only a run that never opened the display may change its mind.
    if (batch_state == BatchState::Batch) batch_state = BatchState::Unknown;
}

void flush_ui_events() {
    if (is_batch_mode()) return;
    while (gtk_events_pending()) gtk_main_iteration();
}

int message_box(const char* caption, const char* text, MessageBoxButtons buttons,
                MessageBoxIcon icon) {
    fflush(stdout);
    // A fatal report's text already opens with its caption and a blank line, as the box shows
    // it; the line then carries the text alone rather than the caption twice.
    const size_t caption_length = strlen(caption);
    if (strncmp(text, caption, caption_length) == 0 && strncmp(text + caption_length, "\n\n", 2) == 0)
        fprintf(stderr, "%s\n", text);
    else
        fprintf(stderr, "%s: %s\n", caption, text);
    fflush(stderr);
    if (is_batch_mode()) return MESSAGE_BOX_OK;

    GtkWidget* dialog = gtk_message_dialog_new(
        nullptr, GTK_DIALOG_MODAL, message_type(icon),
        buttons == MessageBoxButtons::Ok ? GTK_BUTTONS_OK : GTK_BUTTONS_OK_CANCEL, "%s", text);
    gtk_window_set_title(GTK_WINDOW(dialog), caption);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    flush_ui_events();
    return response == GTK_RESPONSE_OK ? MESSAGE_BOX_OK : MESSAGE_BOX_CANCEL;
}
