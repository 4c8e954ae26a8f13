// Setup dialog logic: list filling, preselection and the command handlers.
#include "main/setup_dialog.h"

#include <cstdlib>
#include <cstring>

#include "platform/fatal.h"
#include "platform/files.h"
#include "platform/ui.h"
#include "util/data/data.h"

namespace {
const std::vector<std::string> no_items;
const std::vector<std::string> antialias_items = {"None", "2x", "4x", "8x", "16x"};
const std::vector<std::string> aspect_items = {"4:3", "16:9", "16:10"};

int antialias_index(int samples) {
    switch (samples) {
        case 2: return 1;
        case 4: return 2;
        case 8: return 3;
        case 16: return 4;
        default: return 0;
    }
}

int aspect_index(int num, int den) {
    if (num == 4 && den == 3) return 0;
    if (num == 16 && den == 10) return 2;
    return 1;
}
}  // namespace

const std::vector<std::string>& fallback_resolutions() {
    static const std::vector<std::string> items = {
        "640x480",  "720x480",   "720x576",   "800x600",  "1024x768", "1152x864", "1280x768",
        "1280x800", "1280x960", "1280x1024", "1360x768", "1440x900", "1600x1200"};
    return items;
}

bool SetupDialog::init(SDL_Rect** modes) {
    if (modes == nullptr) return false;

    resolution_sel = 0;
    if (modes == reinterpret_cast<SDL_Rect**>(-1)) {
        resolutions = fallback_resolutions();
    } else {
        size_t count = 0;
        while (modes[count]) ++count;
        // SDL lists the largest mode first; the list shows small to large.
        for (size_t i = count; i-- > 0;) {
            char item[32];
            snprintf(item, sizeof item, "%ix%i", modes[i]->w, modes[i]->h);
            resolutions.push_back(item);
            if (modes[i]->w == settings.width && modes[i]->h == settings.height)
                resolution_sel = static_cast<int>(resolutions.size()) - 1;
        }
        if ((settings.width == -1 || settings.height == -1) && !resolutions.empty())
            resolution_sel = static_cast<int>(resolutions.size()) - 1;
    }
    if (resolutions.empty()) resolution_sel = -1;

    antialias_levels = antialias_items;
    antialias_sel = antialias_index(settings.antialias_samples);
    aspect_ratios = aspect_items;
    aspect_sel = aspect_index(settings.aspect_num, settings.aspect_den);
    fullscreen_checked = settings.video_flags != 0;
    vsync_checked = settings.vsync != 0;

    // Copy every control back so that "&Run" starts with exactly what the dialog shows.
    for (int id : {ID_RESOLUTION, ID_ANTIALIAS, ID_FULLSCREEN, ID_VSYNC, ID_ASPECT, ID_SYNC_CLIENT})
        command(id, CBN_SELENDOK);
    return true;
}

const std::vector<std::string>& SetupDialog::combo_items(int id) const {
    switch (id) {
        case ID_RESOLUTION: return resolutions;
        case ID_ANTIALIAS: return antialias_levels;
        case ID_ASPECT: return aspect_ratios;
        default: return no_items;
    }
}

int SetupDialog::combo_selection(int id) const {
    switch (id) {
        case ID_RESOLUTION: return resolution_sel;
        case ID_ANTIALIAS: return antialias_sel;
        case ID_ASPECT: return aspect_sel;
        default: return -1;
    }
}

bool SetupDialog::check_state(int id) const {
    if (id == ID_FULLSCREEN) return fullscreen_checked;
    if (id == ID_VSYNC) return vsync_checked;
    return false;
}

void SetupDialog::select(int id, int index) {
    int count = static_cast<int>(combo_items(id).size());
    if (index < -1 || index >= count) index = -1;
    switch (id) {
        case ID_RESOLUTION: resolution_sel = index; break;
        case ID_ANTIALIAS: antialias_sel = index; break;
        case ID_ASPECT: aspect_sel = index; break;
        default: break;
    }
}

void SetupDialog::set_check(int id, bool checked) {
    if (id == ID_FULLSCREEN) fullscreen_checked = checked;
    if (id == ID_VSYNC) vsync_checked = checked;
}

std::string SetupDialog::selected_text(int id) const {
    int sel = combo_selection(id);
    const auto& items = combo_items(id);
    if (sel < 0 || sel >= static_cast<int>(items.size())) return std::string();
    return items[static_cast<size_t>(sel)];
}

int SetupDialog::command(int id, int notification) {
    switch (id) {
        case ID_RUN:
        case ID_QUIT:
            return id | (notification << 16);
        case ID_RESOLUTION: {
            if (notification != CBN_SELENDOK || resolution_sel < 0) break;
            std::string text = selected_text(id);
            size_t x = text.find('x');
            settings.width = atoi(text.substr(0, x).c_str());
            settings.height = x == std::string::npos ? 0 : atoi(text.c_str() + x + 1);
            break;
        }
        case ID_FULLSCREEN:
            // Unchecking clears the whole flag word, checking sets only the full-screen bit.
            if (fullscreen_checked) settings.video_flags |= SDL_FULLSCREEN_BIT;
            else settings.video_flags = 0;
            break;
        case ID_ANTIALIAS: {
            if (notification != CBN_SELENDOK || antialias_sel < 0) break;
            std::string text = selected_text(id);
            settings.antialias_samples = text == "None" ? 0 : atoi(text.c_str());
            break;
        }
        case ID_VSYNC:
            settings.vsync = vsync_checked ? 1 : 0;
            break;
        case ID_ASPECT: {
            if (notification != CBN_SELENDOK || aspect_sel < 0) break;
            apply_aspect_option(selected_text(id), settings);
            break;
        }
        case ID_GET_MP3:
            set_datafile_mode(DATAFILE_MODE_READ);
            // The archive is found as a run finds it; the MP3 still goes to the current folder.
            read_datafile(locate_datafile(settings.data_file_name, executable_folder()).c_str());
            export_mp3();
            break;
        case ID_GET_AVI:
            settings.capture = true;
            return ID_GET_AVI;
        case ID_SYNC_CLIENT:
            settings.sync_client = false;  // the dialog has no sync-client box to check
            break;
        default:
            break;
    }
    return 0;
}

void apply_aspect_option(const std::string& text, Settings& settings) {
    if (text == "4:3") settings.aspect_num = 4, settings.aspect_den = 3;
    else if (text == "16:9") settings.aspect_num = 16, settings.aspect_den = 9;
    else if (text == "16:10") settings.aspect_num = 16, settings.aspect_den = 10;
    else ZV_FATAL("Unrecognized aspect ratio option %s!", text.c_str());
}

int run_setup_dialog(bool show, Settings& settings) {
    SetupDialog dialog(settings);
    dialog.init(SDL_ListModes(nullptr, SDL_FULLSCREEN | SDL_HWSURFACE));
    if (!show || is_batch_mode()) return ID_RUN;
    return run_setup_dialog_view(dialog);
}
