// Standard MIDI Files built byte by byte, for the tests of the reader and the modulators.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace {

inline std::string be(uint32_t v, int bytes) {
    std::string s;
    for (int i = bytes - 1; i >= 0; --i) s += static_cast<char>(v >> (8 * i));
    return s;
}

inline std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s += static_cast<char>(b);
    return s;
}

// A Standard MIDI File with the given track chunks (event bytes), 96 ticks a quarter note.
inline std::string smf(std::initializer_list<std::string> tracks, uint16_t division = 96) {
    std::string s = "MThd" + be(6, 4) + be(1, 2) + be(static_cast<uint32_t>(tracks.size()), 2) + be(division, 2);
    for (const auto& events : tracks) s += "MTrk" + be(static_cast<uint32_t>(events.size()), 4) + events;
    return s;
}

const std::string end_of_track = bytes({0x00, 0xFF, 0x2F, 0x00});
inline std::string tempo_event(uint32_t microseconds) { return bytes({0x00, 0xFF, 0x51, 0x03}) + be(microseconds, 3); }

}  // namespace
