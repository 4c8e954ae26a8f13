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

#include <unistd.h>

#include <cstdlib>

// A fresh folder under /tmp, removed with everything in it at the end of the scope; with
// `enter`, also the working directory for that long.
class TempFolder {
public:
    explicit TempFolder(bool enter = false) {
        char pattern[] = "/tmp/zorvane-test-XXXXXX";
        if (mkdtemp(pattern)) path = pattern;
        if (enter && !path.empty() && getcwd(previous, sizeof previous) && chdir(path.c_str()) == 0)
            entered = true;
    }
    ~TempFolder() {
        if (entered && chdir(previous) != 0) perror("chdir");
        if (!path.empty() && system(("rm -rf " + path).c_str()) != 0) perror("rm");
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string path;

private:
    char previous[4096] = {};
    bool entered = false;
};
