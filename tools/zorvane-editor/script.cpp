// zorvane-editor --script: parsing the action lines and running them on a session.
#include "script.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "platform/numbers.h"

namespace {

bool parse_row(const std::string& text, int32_t& row) {
    long long v = 0;
    if (!parse_decimal_integer(text.c_str(), 0, EDITOR_MAX_ROW, v)) return false;
    row = static_cast<int32_t>(v);
    return true;
}

bool parse_number(const std::string& text, double& out) { return parse_decimal_double(text.c_str(), out); }

// The action of one line's words; false with `why` when they are none.
bool parse_action(const std::vector<std::string>& w, ScriptAction& a, std::string& why) {
    const std::string& verb = w[0];
    const size_t n = w.size();
    double number = 0;
    if (verb == "set") {
        a.type = ScriptAction::SET;
        if (n != 5) return why = "expected 'set TRACK ROW VALUE INTERP'", false;
        a.track = w[1];
        if (!parse_row(w[2], a.row)) return why = "row '" + w[2] + "' is not 0.." + std::to_string(EDITOR_MAX_ROW), false;
        if (!parse_number(w[3], number) || std::fabs(number) > 3.4e38)
            return why = "value '" + w[3] + "' is not a number", false;
        a.value = static_cast<float>(number);
        a.interpolation = parse_interpolation(w[4]);
        if (a.interpolation < 0) return why = "interpolation '" + w[4] + "' is not hold, linear, smooth, ramp or 0..3", false;
    } else if (verb == "delete") {
        a.type = ScriptAction::DELETE;
        if (n != 3) return why = "expected 'delete TRACK ROW'", false;
        a.track = w[1];
        if (!parse_row(w[2], a.row)) return why = "row '" + w[2] + "' is not 0.." + std::to_string(EDITOR_MAX_ROW), false;
    } else if (verb == "seek") {
        a.type = ScriptAction::SEEK;
        if (n != 2 || !parse_row(w[1], a.row)) return why = "expected 'seek ROW'", false;
    } else if (verb == "pause") {
        a.type = ScriptAction::PAUSE;
        if (n != 2 || (w[1] != "0" && w[1] != "1")) return why = "expected 'pause 0' or 'pause 1'", false;
        a.flag = w[1] == "1";
    } else if (verb == "save" || verb == "quit") {
        a.type = verb == "save" ? ScriptAction::SAVE : ScriptAction::QUIT;
        if (n != 1) return why = "'" + verb + "' takes nothing", false;
    } else if (verb == "wait") {
        a.type = ScriptAction::WAIT;
        if (n != 2 || !parse_number(w[1], a.seconds) || a.seconds < 0) return why = "expected 'wait SECONDS'", false;
    } else if (verb == "await") {
        if (n == 2 && w[1] == "connected") a.type = ScriptAction::AWAIT_CONNECTED;
        else if (n == 2 && w[1] == "disconnected") a.type = ScriptAction::AWAIT_DISCONNECTED;
        else if (n == 3 && w[1] == "request") a.type = ScriptAction::AWAIT_REQUEST, a.track = w[2];
        else return why = "expected 'await connected', 'await disconnected' or 'await request TRACK'", false;
    } else {
        return why = "unknown action '" + verb + "'", false;
    }
    return true;
}

std::string format_value(float value) {
    char text[32];
    snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

}  // namespace

bool parse_script(const std::string& text, std::vector<ScriptAction>& actions, std::string& error) {
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        std::istringstream words_of(line);
        std::vector<std::string> words;
        for (std::string word; words_of >> word;) words.push_back(word);
        if (words.empty() || words[0][0] == '#') continue;
        ScriptAction action{};
        action.line = number;
        std::string why;
        if (!parse_action(words, action, why)) {
            error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
        actions.push_back(action);
    }
    return true;
}

int run_script(EditorSession& session, const std::vector<ScriptAction>& actions, FILE* out) {
    auto say = [out](const std::string& line) {
        fprintf(out, "%s\n", line.c_str());
        fflush(out);
    };
    auto serve_until = [&session](auto done) {
        while (!done()) session.service(100);
    };
    int status = 0;
    int awaited_connections = 0, awaited_disconnections = 0;
    for (const ScriptAction& a : actions) {
        switch (a.type) {
            case ScriptAction::SET: {
                int t = session.track(a.track);
                session.model().set_key(t, a.row, a.value, a.interpolation);
                session.send_changes();
                say("set " + quote_name(a.track) + " " + std::to_string(a.row) + " " + format_value(a.value) + " " +
                    interpolation_name(a.interpolation));
                break;
            }
            case ScriptAction::DELETE: {
                int t = session.track(a.track);
                session.model().delete_key(t, a.row);
                session.send_changes();
                say("delete " + quote_name(a.track) + " " + std::to_string(a.row));
                break;
            }
            case ScriptAction::SEEK:
                session.seek(a.row);
                say("seek " + std::to_string(a.row));
                break;
            case ScriptAction::PAUSE:
                session.set_paused(a.flag);
                say(std::string("pause ") + (a.flag ? "1" : "0"));
                break;
            case ScriptAction::SAVE: {
                std::string problem;
                if (session.save(&problem) == 0) {
                    say("save 0");
                } else {
                    say("save -1 " + problem);
                    status = 1;
                }
                break;
            }
            case ScriptAction::WAIT: {
                auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(a.seconds);
                for (;;) {
                    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
                    if (left.count() <= 0) break;
                    session.service(static_cast<int>(std::min<long long>(left.count(), 100)));
                }
                break;
            }
            case ScriptAction::AWAIT_CONNECTED:
                ++awaited_connections;
                serve_until([&] { return session.connections() >= awaited_connections; });
                break;
            case ScriptAction::AWAIT_DISCONNECTED:
                ++awaited_disconnections;
                serve_until([&] { return session.disconnections() >= awaited_disconnections; });
                break;
            case ScriptAction::AWAIT_REQUEST:
                serve_until([&] { return session.requested(a.track); });
                break;
            case ScriptAction::QUIT:
                say(session.model().unsaved() ? "quit unsaved" : "quit");
                return status;
        }
    }
    say(session.model().unsaved() ? "quit unsaved" : "quit");
    return status;
}
