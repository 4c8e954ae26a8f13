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

#include <cstdio>
#include <utility>
#include <vector>

#include "util/data/data.h"

// Writes an archive holding the given (name, content) entries to `path`.
inline void write_test_archive(const std::string& path,
                               const std::vector<std::pair<std::string, std::string>>& files) {
    std::vector<DataChunk> chunks;
    for (const auto& [name, content] : files)
        chunks.push_back(DataChunk{name, static_cast<uint32_t>(content.size()),
                                   const_cast<char*>(content.data()), false});
    std::vector<uint8_t> image = build_datafile_image(chunks, nullptr);
    FILE* f = fopen(path.c_str(), "wb");
    fwrite(image.data(), 1, image.size(), f);
    fclose(f);
}
