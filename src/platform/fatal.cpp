// Fatal reports: one path for every report, so the wording, the box and the exit code never
// drift apart between callers.
#include "platform/fatal.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/ui.h"

namespace {
FatalHandler fatal_handler = nullptr;

std::string format_message(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int length = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0) return format;
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    vsnprintf(buffer.data(), buffer.size(), format, args);
    return std::string(buffer.data(), static_cast<size_t>(length));
}

[[noreturn]] void deliver(const FatalReport& report) {
    if (fatal_handler) fatal_handler(report);
    message_box(report.caption.c_str(), report.text.c_str(), MessageBoxButtons::Ok,
                MessageBoxIcon::Error);
    fflush(stdout);
    exit(1);
}
}  // namespace

void set_fatal_handler(FatalHandler handler) { fatal_handler = handler; }

std::string string_format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = format_message(format, args);
    va_end(args);
    return text;
}

std::string string_vformat(const char* format, va_list args) { return format_message(format, args); }

bool run_catching_fatal(const std::function<void()>& work, std::string& message) {
    struct Caught {
        FatalReport report;
    };
    struct Restore {
        FatalHandler previous = fatal_handler;
        ~Restore() { fatal_handler = previous; }
    } restore;
    fatal_handler = [](const FatalReport& report) { throw Caught{report}; };
    try {
        work();
    } catch (const Caught& caught) {
        message = caught.report.message.empty() ? caught.report.caption : caught.report.message;
        return false;
    }
    return true;
}

std::string fatal_source_path(const char* file) {
    std::string path = file ? file : "";
    // The build maps the source root away; strip "./" and the extension of the last component.
    while (path.compare(0, 2, "./") == 0) path.erase(0, 2);
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1))
        path.erase(dot);
    return path;
}

void fatal_report_v(const char* file, int line, const char* format, va_list args) {
    FatalReport report;
    report.caption = "Error in file " + fatal_source_path(file) + ":" + std::to_string(line);
    report.message = format_message(format, args);
    report.text = report.caption + "\n\n" + report.message;
    deliver(report);
}

void fatal_report(const char* file, int line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    fatal_report_v(file, line, format, args);
}

void fatal_location(const char* file, int line) {
    FatalReport report;
    report.caption = "Error";
    report.text = "Error in file " + fatal_source_path(file) + ":" + std::to_string(line) + "\n";
    deliver(report);
}

void fatal_assert_compare(const char* file, int line, const char* lhs_text, const char* op,
                          const char* rhs_text, const std::string& lhs_value,
                          const std::string& rhs_value) {
    fatal_report(file, line, "Failed assert %s %s %s\n %s is %s\n %s is %s", lhs_text, op,
                 rhs_text, lhs_text, lhs_value.c_str(), rhs_text, rhs_value.c_str());
}

std::string printable_bytes(const char* bytes, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escape[5];
            snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        }
    }
    return out;
}
