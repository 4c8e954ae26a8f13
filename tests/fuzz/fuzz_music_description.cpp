// Arbitrary bytes as a music description, read from an in-memory archive beside a fixed score
// and controller template: modulators, or a fatal report (thrown here); never a crash.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/fatal.h"
#include "util/data/data.h"
#include "util/music/description.h"

namespace {
struct Reported {};

std::string be(uint32_t v, int bytes) {
    std::string s;
    for (int i = bytes - 1; i >= 0; --i) s += static_cast<char>(v >> (8 * i));
    return s;
}

// Tracks "bass" and "lead", one note each, with a controller lane on bass.
std::string score() {
    std::string bass = std::string("\x00\xFF\x03\x04", 4) + "bass" + std::string("\x00\xB0\x01\x40\x00\x90\x30\x64\x60\x80\x30\x00\x00\xFF\x2F\x00", 16);
    std::string lead = std::string("\x00\xFF\x03\x04", 4) + "lead" + std::string("\x00\x90\x3C\x64\x60\x80\x3C\x00\x00\xFF\x2F\x00", 12);
    return "MThd" + be(6, 4) + be(1, 2) + be(2, 2) + be(96, 2) + "MTrk" + be(static_cast<uint32_t>(bass.size()), 4) + bass +
           "MTrk" + be(static_cast<uint32_t>(lead.size()), 4) + lead;
}

const std::string controller_template =
    "<unit><template><range><min>0</min><max>127</max><value><numerator>1</numerator>"
    "<denominator>4</denominator></value></range></template></unit>";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    set_fatal_handler([](const FatalReport&) { throw Reported{}; });
    reset_datafile();
    std::string description(reinterpret_cast<const char*>(data), size);
    std::string midi = score();
    std::vector<DataChunk> chunks = {
        {"m/music.xml", static_cast<uint32_t>(description.size()), description.data(), false},
        {"m/score.mid", static_cast<uint32_t>(midi.size()), midi.data(), false},
        {"m/cc.xml", static_cast<uint32_t>(controller_template.size()), const_cast<char*>(controller_template.data()), false},
    };
    std::vector<uint8_t> image = build_datafile_image(chunks, nullptr);
    try {
        parse_datafile_image(image.data(), image.size(), "fuzz.zqf");
        set_datafile_mode(DATAFILE_MODE_READ);
        float bpm = 120.0f;
        auto score_file = read_music_description("m/music.xml", bpm, nullptr, nullptr);
        for (uint32_t t = 0; t < score_file->tracks.size(); ++t)
            for (float beat : {-1.0f, 0.1f, 0.5f, 2.0f}) score_file->note_values(t, beat, bpm);
    } catch (const Reported&) {
    }
    reset_datafile();
    return 0;
}
