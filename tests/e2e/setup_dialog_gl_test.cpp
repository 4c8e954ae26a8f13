// The setup dialog's GTK window under a real X server: controls and labels, and what each
// button and box does, driven by clicking the widgets from a GTK timeout.
#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "main/loading_screen.h"
#include "test_support.h"
#include "main/setup_dialog.h"
#include "main/startup.h"
#include "platform/ui.h"
#include "util/data/data.h"

namespace {

GtkWidget* find_dialog() {
    GList* windows = gtk_window_list_toplevels();
    GtkWidget* found = nullptr;
    for (GList* w = windows; w; w = w->next) {
        const char* title = gtk_window_get_title(GTK_WINDOW(w->data));
        if (title && std::string(title) == "Zorvane" && gtk_widget_get_visible(GTK_WIDGET(w->data)))
            found = GTK_WIDGET(w->data);
    }
    g_list_free(windows);
    return found;
}

void collect(GtkWidget* widget, std::vector<GtkWidget*>& out) {
    out.push_back(widget);
    if (GTK_IS_CONTAINER(widget)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList* c = children; c; c = c->next) collect(GTK_WIDGET(c->data), out);
        g_list_free(children);
    }
}

// The button or check box whose label, in GTK's mnemonic notation, is `label`.
GtkWidget* find_button(GtkWidget* dialog, const char* label) {
    std::vector<GtkWidget*> widgets;
    collect(dialog, widgets);
    for (GtkWidget* w : widgets)
        if (GTK_IS_BUTTON(w) && gtk_button_get_label(GTK_BUTTON(w)) &&
            std::string(gtk_button_get_label(GTK_BUTTON(w))) == label)
            return w;
    return nullptr;
}

// Runs `act` on the dialog once it is on screen.
void when_shown(std::function<void(GtkWidget*)> act) {
    static std::function<void(GtkWidget*)> pending;
    pending = std::move(act);
    g_timeout_add(50, [](gpointer) -> gboolean {
        GtkWidget* dialog = find_dialog();
        if (!dialog) return G_SOURCE_CONTINUE;
        pending(dialog);
        return G_SOURCE_REMOVE;
    }, nullptr);
}

// Answers the first message box that appears with `response`.
void answer_next_message_box(int response) {
    static int pending_response;
    pending_response = response;
    g_timeout_add(50, [](gpointer) -> gboolean {
        GList* windows = gtk_window_list_toplevels();
        bool answered = false;
        for (GList* w = windows; w && !answered; w = w->next)
            if (GTK_IS_MESSAGE_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data))) {
                gtk_dialog_response(GTK_DIALOG(w->data), pending_response);
                answered = true;
            }
        g_list_free(windows);
        return answered ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
    }, nullptr);
}

class SetupDialogView : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ZORVANE_BATCH", "0", 1);
        reset_batch_mode();
        if (is_batch_mode()) GTEST_SKIP() << "no display";
    }
};

TEST_F(SetupDialogView, ControlsInTemplateOrderWithGetAviDisabled) {
    Settings s;
    SetupDialog dialog(s);
    dialog.init(reinterpret_cast<SDL_Rect**>(-1));
    std::vector<std::string> labels;
    bool avi_sensitive = true, run_is_default = false;
    when_shown([&](GtkWidget* window) {
        std::vector<GtkWidget*> widgets;
        collect(window, widgets);
        for (GtkWidget* w : widgets) {
            if (GTK_IS_LABEL(w) && !GTK_IS_BUTTON(gtk_widget_get_parent(w)))
                labels.push_back(gtk_label_get_text(GTK_LABEL(w)));
            else if (GTK_IS_COMBO_BOX(w))
                labels.push_back("combo");
            else if (GTK_IS_BUTTON(w))
                labels.push_back(gtk_button_get_label(GTK_BUTTON(w)));
        }
        avi_sensitive = gtk_widget_get_sensitive(find_button(window, "Get _avi"));
        run_is_default = gtk_widget_has_default(find_button(window, "_Run"));
        gtk_button_clicked(GTK_BUTTON(find_button(window, "_Quit")));
    });
    EXPECT_EQ(run_setup_dialog_view(dialog), 2);
    // GtkContainer lists grid children last-attached first.
    std::vector<std::string> expected = {"Choose resolution", "combo", "Anti-aliasing", "combo",
                                         "Aspect ratio", "combo", "_Run", "Get _avi",
                                         "_Fullscreen", "_Quit", "Get _mp3", "_Vsync enable"};
    std::vector<std::string> in_order(labels.rbegin(), labels.rend());
    EXPECT_EQ(in_order, expected);
    EXPECT_FALSE(avi_sensitive);
    EXPECT_TRUE(run_is_default);
}

TEST_F(SetupDialogView, RunAfterUncheckingFullscreenAndPickingAnotherSize) {
    Settings s;
    SetupDialog dialog(s);
    dialog.init(reinterpret_cast<SDL_Rect**>(-1));
    when_shown([&](GtkWidget* window) {
        gtk_button_clicked(GTK_BUTTON(find_button(window, "_Fullscreen")));
        std::vector<GtkWidget*> widgets;
        collect(window, widgets);
        for (GtkWidget* w : widgets)
            if (GTK_IS_COMBO_BOX(w) && gtk_combo_box_get_active(GTK_COMBO_BOX(w)) == 0 &&
                std::string(gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(w))) == "640x480")
                gtk_combo_box_set_active(GTK_COMBO_BOX(w), 3);
        gtk_button_clicked(GTK_BUTTON(find_button(window, "_Run")));
    });
    EXPECT_EQ(run_setup_dialog_view(dialog), 1);
    EXPECT_EQ(s.video_flags, 0u);
    EXPECT_EQ(s.width, 800);
    EXPECT_EQ(s.height, 600);
}

TEST_F(SetupDialogView, CloseBoxQuits) {
    Settings s;
    SetupDialog dialog(s);
    dialog.init(reinterpret_cast<SDL_Rect**>(-1));
    when_shown([](GtkWidget* window) { gtk_window_close(GTK_WINDOW(window)); });
    EXPECT_EQ(run_setup_dialog_view(dialog), 2);
}

TEST_F(SetupDialogView, GetMp3KeepsTheDialogOpen) {
    Settings s;
    s.data_file_name = "dialog_test.zqf";  // no mp3 entry: nothing is exported
    write_test_archive(s.data_file_name, {{"data/readme", "text"}});
    SetupDialog dialog(s);
    dialog.init(reinterpret_cast<SDL_Rect**>(-1));
    set_datafile_mode(DATAFILE_MODE_NONE);
    bool still_open = false;
    when_shown([&](GtkWidget* window) {
        gtk_button_clicked(GTK_BUTTON(find_button(window, "Get _mp3")));
        gtk_button_clicked(GTK_BUTTON(find_button(window, "Get _mp3")));
        still_open = find_dialog() != nullptr;
        gtk_button_clicked(GTK_BUTTON(find_button(window, "_Quit")));
    });
    testing::internal::CaptureStdout();
    EXPECT_EQ(run_setup_dialog_view(dialog), 2);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(still_open);
    EXPECT_EQ(get_datafile_mode(), DATAFILE_MODE_READ);
}

TEST_F(SetupDialogView, QuitEndsTheProgramWithoutAWindowOrTheArchive) {
    set_datafile_mode(DATAFILE_MODE_NONE);
    when_shown([](GtkWidget* window) {
        gtk_button_clicked(GTK_BUTTON(find_button(window, "_Quit")));
    });
    const char* argv[] = {"zorvane", "--archive-mode", "loose"};
    testing::internal::CaptureStdout();
    EXPECT_EQ(zorvane_main(3, argv), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // the archive was never touched
    EXPECT_FALSE(shell.loading_screen.begun);
    EXPECT_EQ(get_datafile_mode(), DATAFILE_MODE_NONE);
}

TEST_F(SetupDialogView, MessageBoxAnswersWithTheButtonPressed) {
    answer_next_message_box(GTK_RESPONSE_CANCEL);
    testing::internal::CaptureStderr();
    int answer = message_box("Missing extension(s)", "text", MessageBoxButtons::OkCancel,
                             MessageBoxIcon::Question);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Missing extension(s): text\n");
    EXPECT_EQ(answer, MESSAGE_BOX_CANCEL);
}

}  // namespace

namespace {

void run_with_missing_extensions_and_cancel() {
    setenv("MESA_EXTENSION_OVERRIDE", "-GL_EXT_texture_filter_anisotropic -GL_ARB_texture_float",
           1);
    answer_next_message_box(GTK_RESPONSE_CANCEL);
    const char* argv[] = {"zorvane",        "--no-dialog", "--window", "--size", "160x90",
                          "--archive-mode", "loose",       "--until",  "0.2"};
    zorvane_main(9, argv);
    fprintf(stderr, "returned\n");
    exit(0);
}

using SetupDialogViewDeathTest = SetupDialogView;

TEST_F(SetupDialogViewDeathTest, CancelOnMissingExtensionsEndsWithOne) {
    // A fresh process, so that GTK and the driver start from scratch there.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(run_with_missing_extensions_and_cancel(), ::testing::ExitedWithCode(1),
        "Missing extension\\(s\\): Extensions GLEW_EXT_texture_filter_anisotropic, "
        "GLEW_ARB_texture_float not supported");
}

}  // namespace
