// The setup dialog on GTK 3. Layout, labels, mnemonics, tab order and the default button
// follow the classic five-row template; "Get &avi" is there but disabled.
#include "platform/setup_dialog_view.h"

#include <gtk/gtk.h>

#include "platform/ui.h"

namespace {

struct ViewContext {
    SetupDialogController* controller;
    GtkDialog* dialog;
};

struct ControlBinding {
    ViewContext* context;
    int id;
};

// "&Run" becomes "_Run": the same mnemonic in GTK's notation.
std::string gtk_mnemonic(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p == '&') out += '_';
        else if (*p == '_') out += "__";
        else out += *p;
    }
    return out;
}

ControlBinding* bind(ViewContext* context, int id, GtkWidget* widget) {
    auto* binding = new ControlBinding{context, id};
    g_object_set_data_full(G_OBJECT(widget), "zorvane-binding", binding,
                           [](gpointer data) { delete static_cast<ControlBinding*>(data); });
    return binding;
}

void end_if_result(ViewContext* context, int result) {
    if (result != 0) gtk_dialog_response(context->dialog, result);
}

void on_combo_changed(GtkComboBox* combo, gpointer data) {
    auto* binding = static_cast<ControlBinding*>(data);
    binding->context->controller->select(binding->id, gtk_combo_box_get_active(combo));
    end_if_result(binding->context, binding->context->controller->command(binding->id, 9));
}

void on_check_toggled(GtkToggleButton* button, gpointer data) {
    auto* binding = static_cast<ControlBinding*>(data);
    binding->context->controller->set_check(binding->id, gtk_toggle_button_get_active(button));
    end_if_result(binding->context, binding->context->controller->command(binding->id, 0));
}

void on_button_clicked(GtkButton*, gpointer data) {
    auto* binding = static_cast<ControlBinding*>(data);
    end_if_result(binding->context, binding->context->controller->command(binding->id, 0));
}

GtkWidget* make_label(const char* text) {
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    return label;
}

GtkWidget* make_combo(ViewContext* context, int id) {
    GtkWidget* combo = gtk_combo_box_text_new();
    for (const auto& item : context->controller->combo_items(id))
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo), item.c_str());
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), context->controller->combo_selection(id));
    g_signal_connect(combo, "changed", G_CALLBACK(on_combo_changed), bind(context, id, combo));
    return combo;
}

GtkWidget* make_button(ViewContext* context, int id, const char* text) {
    GtkWidget* button = gtk_button_new_with_mnemonic(gtk_mnemonic(text).c_str());
    g_signal_connect(button, "clicked", G_CALLBACK(on_button_clicked), bind(context, id, button));
    return button;
}

GtkWidget* make_check(ViewContext* context, int id, const char* text) {
    GtkWidget* check = gtk_check_button_new_with_mnemonic(gtk_mnemonic(text).c_str());
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(check), context->controller->check_state(id));
    g_signal_connect(check, "toggled", G_CALLBACK(on_check_toggled), bind(context, id, check));
    return check;
}

}  // namespace

int run_setup_dialog_view(SetupDialogController& controller) {
    if (is_batch_mode()) return -1;

    GtkWidget* window = gtk_dialog_new();
    // Signals are connected after each control got its initial state, so building the
    // window sends the controller nothing.
    ViewContext context{&controller, GTK_DIALOG(window)};
    gtk_window_set_title(GTK_WINDOW(window), "Zorvane");
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);

    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), 6);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 8);
    gtk_container_set_border_width(GTK_CONTAINER(grid), 10);

    // Template order, which is also the tab order.
    gtk_grid_attach(GTK_GRID(grid), make_label("Choose resolution"), 0, 0, 2, 1);
    gtk_grid_attach(GTK_GRID(grid), make_combo(&context, 100), 2, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), make_label("Anti-aliasing"), 0, 1, 2, 1);
    gtk_grid_attach(GTK_GRID(grid), make_combo(&context, 102), 2, 1, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), make_label("Aspect ratio"), 0, 2, 2, 1);
    gtk_grid_attach(GTK_GRID(grid), make_combo(&context, 104), 2, 2, 1, 1);
    GtkWidget* run = make_button(&context, 1, "&Run");
    gtk_grid_attach(GTK_GRID(grid), run, 0, 3, 1, 1);
    GtkWidget* avi = make_button(&context, 106, "Get &avi");
    gtk_widget_set_sensitive(avi, FALSE);
    gtk_grid_attach(GTK_GRID(grid), avi, 1, 3, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), make_check(&context, 101, "&Fullscreen"), 2, 3, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), make_button(&context, 2, "&Quit"), 0, 4, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), make_button(&context, 105, "Get &mp3"), 1, 4, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), make_check(&context, 103, "&Vsync enable"), 2, 4, 1, 1);

    gtk_container_add(GTK_CONTAINER(gtk_dialog_get_content_area(GTK_DIALOG(window))), grid);
    gtk_widget_set_can_default(run, TRUE);
    gtk_widget_show_all(window);
    gtk_widget_grab_default(run);
    gtk_widget_grab_focus(run);

    gint response = gtk_dialog_run(GTK_DIALOG(window));
    gtk_widget_destroy(window);
    flush_ui_events();
    // Escape and the close box end the dialog like "&Quit".
    return response > 0 ? response : 2;
}
