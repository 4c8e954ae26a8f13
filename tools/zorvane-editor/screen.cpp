// zorvane-editor's terminal screen: drawing the model and the keys of the tracker.
#include "screen.h"

#include <curses.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/numbers.h"

namespace {

constexpr int ROW_LABEL_WIDTH = 7;  // "  1234 "
constexpr int COLUMN_WIDTH = 13;    // " -12345.678 L"
constexpr size_t MAX_INPUT = 24;

enum ColorPair { PAIR_BAR = 1, PAIR_BEAT, PAIR_CURSOR_ROW, PAIR_SELECTION, PAIR_KEY, PAIR_DISCONNECTED };

// The interpolation as one letter beside the key's value.
char interpolation_letter(int32_t interpolation) {
    switch (interpolation) {
        case INTERP_HOLD: return 'H';
        case INTERP_LINEAR: return 'L';
        case INTERP_SMOOTHSTEP: return 'S';
        case INTERP_EASE_IN: return 'R';
        default: return '?';
    }
}

std::string format_cell_value(float value) {
    char text[32];
    // Fixed decimals line values up; what would not fit the column falls back to exponents.
    if (std::fabs(value) < 1e6f) snprintf(text, sizeof text, "%10.3f", static_cast<double>(value));
    else snprintf(text, sizeof text, "%10.3g", static_cast<double>(value));
    return text;
}

class Screen {
public:
    Screen(EditorSession& session, double bpm) : session(session), model(session.model()), bpm(bpm) {}

    int run() {
        session.on_event = [this](const std::string& line) {
            // Rows arrive many times a second and requests a hundred at a time: the screen
            // shows them as the cursor and the status line. The rest is worth a message.
            if (line.compare(0, 4, "row ") != 0 && line.compare(0, 8, "request ") != 0) message = line;
        };
        // The show's tracks, to browse and edit before the demo connects.
        session.load_base_folder();
        initscr();
        raw();
        noecho();
        keypad(stdscr, TRUE);
        nodelay(stdscr, TRUE);
        set_escdelay(25);
        curs_set(0);
        if (has_colors()) {
            start_color();
            use_default_colors();
            init_pair(PAIR_BAR, COLOR_YELLOW, -1);
            init_pair(PAIR_BEAT, COLOR_CYAN, -1);
            init_pair(PAIR_CURSOR_ROW, COLOR_WHITE, COLOR_BLUE);
            init_pair(PAIR_SELECTION, COLOR_BLACK, COLOR_MAGENTA);
            init_pair(PAIR_KEY, COLOR_GREEN, -1);
            init_pair(PAIR_DISCONNECTED, COLOR_WHITE, COLOR_RED);
        }
        while (!done) {
            draw();
            session.service(50, STDIN_FILENO);
            for (int ch; !done && (ch = getch()) != ERR;) on_key(ch);
        }
        endwin();
        session.on_event = nullptr;
        return 0;
    }

private:
    // ---- keys --------------------------------------------------------------------------------

    void on_key(int ch) {
        if (confirming_quit) return confirm_quit(ch);
        const int32_t row_before = model.cursor_row();
        switch (ch) {
            case KEY_UP: move_by(0, -1, false); break;
            case KEY_DOWN: move_by(0, 1, false); break;
            case KEY_PPAGE: move_by(0, -SYNC_ROWS_PER_BAR, false); break;
            case KEY_NPAGE: move_by(0, SYNC_ROWS_PER_BAR, false); break;
            case KEY_LEFT: case KEY_BTAB: move_by(-1, 0, false); break;
            case KEY_RIGHT: case '\t': move_by(1, 0, false); break;
            case KEY_SR: move_by(0, -1, true); break;
            case KEY_SF: move_by(0, 1, true); break;
            case KEY_SPREVIOUS: move_by(0, -SYNC_ROWS_PER_BAR, true); break;
            case KEY_SNEXT: move_by(0, SYNC_ROWS_PER_BAR, true); break;
            case KEY_SLEFT: move_by(-1, 0, true); break;
            case KEY_SRIGHT: move_by(1, 0, true); break;
            case KEY_HOME: model.set_cursor(model.cursor_track(), 0); break;
            case KEY_END: model.set_cursor(model.cursor_track(), model.last_key_row()); break;
            case 'b':
                // A block marked with 'b' stays while plain arrows size it, for terminals
                // that do not tell shifted arrows apart.
                marking = !model.has_selection();
                if (marking) model.start_selection();
                else model.clear_selection();
                break;
            case 27:  // Escape
                input.clear();
                model.clear_selection();
                marking = false;
                break;
            case KEY_BACKSPACE: case 127: case 8:
                if (!input.empty()) input.pop_back();
                break;
            case '\n': case '\r': case KEY_ENTER: enter(); break;
            case KEY_DC:
                if (model.has_selection()) model.delete_block(model.selection());
                else if (model.track_count() > 0) model.delete_key(model.cursor_track(), model.cursor_row());
                end_selection();
                session.send_changes();
                break;
            case 'i':
                if (model.track_count() > 0 && !model.cycle_interpolation(model.cursor_track(), model.cursor_row()))
                    message = "no key here to change";
                session.send_changes();
                break;
            case ' ':
                session.set_paused(!session.paused());
                break;
            case 's': save(); break;
            case 'u':
                if (!model.undo()) message = "nothing to undo";
                session.send_changes();
                break;
            case 'c': case 3:  // Ctrl-C
                model.copy(model.selection());
                end_selection();
                message = "copied";
                break;
            case 'v': case 22:  // Ctrl-V
                if (!model.has_clipboard()) message = "nothing copied";
                else model.paste(model.cursor_track(), model.cursor_row());
                session.send_changes();
                break;
            case 'q':
                if (model.unsaved()) {
                    confirming_quit = true;
                    message = "Unsaved changes: s = save and quit, q = quit without saving, any other key = stay";
                } else {
                    done = true;
                }
                break;
            default:
                if (((ch >= '0' && ch <= '9') || ch == '.' || ch == '-') && input.size() < MAX_INPUT) input += static_cast<char>(ch);
                break;
        }
        // Moving the cursor's row moves the demo there: scrubbing.
        if (model.cursor_row() != row_before) session.seek(model.cursor_row());
    }

    void move_by(int tracks_by, int32_t rows_by, bool selecting) {
        if (selecting && !model.has_selection()) model.start_selection();
        if (!selecting && !marking) model.clear_selection();
        model.move_cursor(tracks_by, rows_by);
    }

    // After a block operation the block is done with.
    void end_selection() {
        model.clear_selection();
        marking = false;
    }

    void enter() {
        if (input.empty()) {
            // Nothing typed: the demo goes to the cursor, for a look at that row while paused.
            if (session.paused()) session.seek(model.cursor_row());
            return;
        }
        float value = 0;
        if (!parse_decimal_float(input.c_str(), value)) {
            message = "'" + input + "' is not a number";
        } else if (model.track_count() == 0) {
            message = "no track yet: start the demo with --sync-client";
        } else {
            model.set_key(model.cursor_track(), model.cursor_row(), value);
            session.send_changes();
        }
        input.clear();
    }

    void save() {
        std::string problem;
        if (session.save(&problem) == 0)
            message = "saved " + std::to_string(model.track_count()) + " tracks to " + session.base();
        else
            message = "save failed: " + problem;
    }

    void confirm_quit(int ch) {
        confirming_quit = false;
        message.clear();
        if (ch == 'q') {
            done = true;
        } else if (ch == 's') {
            save();
            done = !model.unsaved();
        }
    }

    // ---- drawing -----------------------------------------------------------------------------

    void draw() {
        erase();
        const int visible = std::max(1, (COLS - ROW_LABEL_WIDTH) / COLUMN_WIDTH);
        const int cursor_track = model.cursor_track();
        if (cursor_track < first_track) first_track = cursor_track;
        if (cursor_track >= first_track + visible) first_track = cursor_track - visible + 1;
        const int last_track = std::min(model.track_count(), first_track + visible);
        draw_header(last_track);
        const int body = std::max(1, LINES - 3);
        const int32_t top = model.cursor_row() - body / 2;
        const CellBlock selected = model.selection();
        for (int line = 0; line < body; ++line) {
            const int32_t row = top + line;
            if (row < 0 || row > EDITOR_MAX_ROW) continue;
            draw_row(1 + line, row, last_track, selected);
        }
        draw_message_line(LINES - 2);
        draw_status_line(LINES - 1);
        refresh();
    }

    void draw_header(int last_track) {
        attron(A_BOLD);
        mvprintw(0, 0, "%*s", ROW_LABEL_WIDTH, first_track > 0 ? "<  row " : "row ");
        for (int t = first_track; t < last_track; ++t) {
            std::string name = model.track_name(t).substr(0, COLUMN_WIDTH - 1);
            if (t == model.cursor_track()) attron(A_UNDERLINE);
            mvprintw(0, ROW_LABEL_WIDTH + (t - first_track) * COLUMN_WIDTH, "%*s", COLUMN_WIDTH - 1, name.c_str());
            attroff(A_UNDERLINE);
        }
        if (last_track < model.track_count()) mvprintw(0, COLS - 1, ">");
        attroff(A_BOLD);
    }

    void draw_row(int y, int32_t row, int last_track, const CellBlock& selected) {
        const bool is_cursor_row = row == model.cursor_row();
        const bool bar = row % SYNC_ROWS_PER_BAR == 0, beat = row % SYNC_ROWS_PER_BEAT == 0;
        // A line under the last row of each bar separates the bars; beats are marked by colour.
        const attr_t rule = row % SYNC_ROWS_PER_BAR == SYNC_ROWS_PER_BAR - 1 ? A_UNDERLINE : 0;
        attr_t line_attr = is_cursor_row ? COLOR_PAIR(PAIR_CURSOR_ROW) | A_BOLD : A_NORMAL;
        attr_t label_attr = line_attr | rule;
        if (!is_cursor_row && bar) label_attr |= COLOR_PAIR(PAIR_BAR) | A_BOLD;
        else if (!is_cursor_row && beat) label_attr |= COLOR_PAIR(PAIR_BEAT);
        attrset(label_attr);
        mvprintw(y, 0, bar ? "%5d| " : "%5d  ", row);
        for (int t = first_track; t < last_track; ++t) {
            const int x = ROW_LABEL_WIDTH + (t - first_track) * COLUMN_WIDTH;
            const SyncKey* key = model.key_at(t, row);
            std::string text;
            attr_t attr = line_attr | rule;
            if (key) {
                text = format_cell_value(key->value) + " " + interpolation_letter(key->interpolation);
                if (!is_cursor_row) attr |= COLOR_PAIR(PAIR_KEY);
                attr |= A_BOLD;
            } else if (model.track(t).key_count > 0) {
                text = format_cell_value(model.value_at(t, row)) + "  ";
                attr |= A_DIM;
            } else {
                text = std::string(COLUMN_WIDTH - 3, ' ') + "-  ";
                attr |= A_DIM;
            }
            const bool in_selection = model.has_selection() && t >= selected.first_track && t <= selected.last_track &&
                                      row >= selected.first_row && row <= selected.last_row;
            if (in_selection) attr = (attr & ~A_COLOR) | COLOR_PAIR(PAIR_SELECTION);
            if (is_cursor_row && t == model.cursor_track()) attr |= A_REVERSE;
            attrset(attr);
            mvprintw(y, x, "%-*s", COLUMN_WIDTH - 1, text.c_str());
            attrset(line_attr | rule);
            addch(' ');
        }
        attrset(A_NORMAL);
    }

    void draw_message_line(int y) {
        if (!input.empty()) {
            attron(A_BOLD);
            mvprintw(y, 0, "value: %s_   (Enter sets the key, Escape cancels)", input.c_str());
            attroff(A_BOLD);
        } else {
            // Never past the line's end: the terminal would wrap it onto the grid.
            std::string shown;
            for (char c : message) shown += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
            mvprintw(y, 0, "%.*s", std::max(0, COLS - 1), shown.c_str());
        }
    }

    void draw_status_line(int y) {
        const int32_t row = model.cursor_row();
        const double seconds = row / (bpm / 60.0 * SYNC_ROWS_PER_BEAT);
        char state[96];
        if (session.connected())
            snprintf(state, sizeof state, " %s, %d tracks ",
                     session.took_over() ? "a new demo took over" : "demo connected", session.requested_count());
        else
            snprintf(state, sizeof state, " waiting for the demo on port %u ", static_cast<unsigned>(session.port()));
        char rest[160];
        snprintf(rest, sizeof rest, "| row %d  %.2f s  bar %d beat %d | %s | %s | u: undo %zu ", row, seconds,
                 row / SYNC_ROWS_PER_BAR + 1, row % SYNC_ROWS_PER_BAR / SYNC_ROWS_PER_BEAT + 1,
                 session.paused() ? "paused" : "playing", model.unsaved() ? "UNSAVED changes" : "saved",
                 model.undo_depth());
        attrset(A_REVERSE | (session.connected() ? 0 : COLOR_PAIR(PAIR_DISCONNECTED)));
        mvprintw(y, 0, "%s", state);
        attrset(A_REVERSE);
        printw("%s", rest);
        for (int x = getcurx(stdscr); x < COLS && x > 0; ++x) addch(' ');
        attrset(A_NORMAL);
    }

    EditorSession& session;
    EditModel& model;
    double bpm;
    std::string input;    // the number being typed
    std::string message;  // the last thing worth telling
    int first_track = 0;  // leftmost column shown
    bool confirming_quit = false;
    bool marking = false;  // the selection was marked with 'b'
    bool done = false;
};

}  // namespace

int run_screen(EditorSession& session, double bpm) { return Screen(session, bpm).run(); }
