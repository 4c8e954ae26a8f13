// The setup dialog's window: a modal GTK 3 dialog titled "Zorvane" that mirrors the state of
// a controller and reports every user action back to it. All the dialog's logic lives in the
// controller (main/setup_dialog), so it can be tested without a display.
// Depends on: GTK 3, platform/ui.
#pragma once

#include <string>
#include <vector>

class SetupDialogController {
public:
    virtual ~SetupDialogController() = default;
    virtual const std::vector<std::string>& combo_items(int id) const = 0;
    virtual int combo_selection(int id) const = 0;  // -1: nothing selected
    virtual bool check_state(int id) const = 0;
    // The user picked an item or toggled a box; the controller records it and reacts.
    virtual void select(int id, int index) = 0;
    virtual void set_check(int id, bool checked) = 0;
    // A control sent a command; returns the dialog's result, or 0 to keep it open.
    virtual int command(int id, int notification) = 0;
};

// Shows the dialog until a button ends it; Escape and the close box give 2 ("&Quit").
// Returns -1 when the dialog cannot be shown.
int run_setup_dialog_view(SetupDialogController& controller);
