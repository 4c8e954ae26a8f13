// Helpers shared by the tests: fatal reports as exceptions, and exact-text death-test patterns.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/fatal.h"

struct FatalError : std::runtime_error {
    explicit FatalError(const FatalReport& report) : std::runtime_error(report.text), report(report) {}
    FatalReport report;
};

// While alive, fatal reports throw FatalError instead of ending the process.
class ThrowOnFatal {
public:
    ThrowOnFatal() { set_fatal_handler([](const FatalReport& r) { throw FatalError(r); }); }
    ~ThrowOnFatal() { set_fatal_handler(nullptr); }
};

// Runs `body` and returns the message of the fatal report it raised ("" when none).
template <typename Body>
std::string fatal_message_of(Body body) {
    ThrowOnFatal guard;
    try {
        body();
    } catch (const FatalError& e) {
        return e.report.message;
    }
    return std::string();
}

// A death-test pattern that matches `text` literally.
inline std::string literal_regex(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) out += '\\';
        out += c;
    }
    return out;
}
