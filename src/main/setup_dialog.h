// The setup dialog's logic: the resolution, anti-aliasing and aspect lists, the preselection
// from `Settings`, the copy-back of every control into `Settings`, and the button commands.
// The window itself is platform/setup_dialog_view.
// Depends on: main/settings, platform/setup_dialog_view (the window), util/data (the archive "Get &mp3" exports from), SDL (the mode list).
#pragma once

#include <SDL/SDL.h>

#include <string>
#include <vector>

#include "main/settings.h"
#include "platform/setup_dialog_view.h"

// Control ids, as the classic dialog numbers them.
enum SetupDialogId {
    ID_RUN = 1,
    ID_QUIT = 2,
    ID_RESOLUTION = 100,
    ID_FULLSCREEN = 101,
    ID_ANTIALIAS = 102,
    ID_VSYNC = 103,
    ID_ASPECT = 104,
    ID_GET_MP3 = 105,
    ID_GET_AVI = 106,
    ID_SYNC_CLIENT = 107,  // handled, but the dialog has no such box
};

constexpr int CBN_SELENDOK = 9;
constexpr int BN_CLICKED = 0;

class SetupDialog : public SetupDialogController {
public:
    explicit SetupDialog(Settings& settings) : settings(settings) {}

    // Fills the lists from an SDL_ListModes result (nullptr: no mode; (SDL_Rect**)-1: any
    // size) and copies the initial state back into `Settings`. Returns false, leaving every
    // list empty and `Settings` untouched, when there is no mode.
    bool init(SDL_Rect** modes);

    const std::vector<std::string>& combo_items(int id) const override;
    int combo_selection(int id) const override;
    bool check_state(int id) const override;
    void select(int id, int index) override;
    void set_check(int id, bool checked) override;
    int command(int id, int notification) override;

    std::string selected_text(int id) const;

private:
    Settings& settings;
    std::vector<std::string> resolutions, antialias_levels, aspect_ratios;
    int resolution_sel = -1, antialias_sel = -1, aspect_sel = -1;
    bool fullscreen_checked = false, vsync_checked = false;
};

// Runs the dialog over SDL's full-screen modes. With `show` false (--no-dialog) or in batch
// mode nothing is shown and the result is 1, as if "&Run" had been pressed.
int run_setup_dialog(bool show, Settings& settings);

const std::vector<std::string>& fallback_resolutions();

// "4:3", "16:9" or "16:10" into the aspect fields; any other text is a fatal report.
void apply_aspect_option(const std::string& text, Settings& settings);
