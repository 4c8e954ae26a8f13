// The shipped soundtrack through the engine's own readers: the score, its documented track
// table, the modulators of the description, and the audio's format, length and timing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/audio.h"
#include "util/data/data.h"
#include "util/music/fake_audio.h"
#include "util/music/midi.h"
#include "util/music/music.h"

namespace {

constexpr double BPM = 145.0;

class Soundtrack : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(chdir(ZORVANE_SOURCE_DIR), 0);
        reset_datafile();
        score = MidiFile::load("data/common/music/quillory.mid");
        ASSERT_NE(score, nullptr);
    }
    // The beat of the last note-off and the first note-on over all tracks.
    std::pair<double, double> first_and_last_beat() const {
        double first = 1e9, last = 0;
        for (const MidiTrack& track : score->tracks)
            for (const MidiNote& note : track.notes)
                for (float t : note.times) {
                    if (t > 0 || (t == 0 && !std::signbit(t))) first = std::min(first, static_cast<double>(t));
                    last = std::max(last, static_cast<double>(std::fabs(t)));
                }
        return {first, last};
    }
    std::unique_ptr<MidiFile> score;
};

struct TableRow {
    std::string name;
    size_t pitches;
};

// The rows of the track table that the scenes rely on, as documented for authors.
std::vector<TableRow> documented_tracks() {
    std::ifstream in("tools/music/TRACKS.md");
    std::vector<TableRow> rows;
    std::regex row(R"(^\| (\d+) \| ([^|]+) \| [^|]+ \| (\d+) \|$)");
    std::string line;
    std::smatch m;
    while (std::getline(in, line))
        if (std::regex_match(line, m, row)) {
            EXPECT_EQ(std::stoul(m[1]), rows.size());
            rows.push_back({m[2].str().substr(0, m[2].str().find_last_not_of(' ') + 1), std::stoul(m[3])});
        }
    return rows;
}

TEST_F(Soundtrack, TheScoreHasTheDocumentedTracksAtOneTempo) {
    EXPECT_FLOAT_EQ(score->tempo, 145.0f);
    EXPECT_EQ(score->time_signature_numerator, 4);
    auto table = documented_tracks();
    ASSERT_GE(table.size(), 8u);
    ASSERT_EQ(score->tracks.size(), table.size());
    bool lead_found = false;
    for (size_t i = 0; i < table.size(); ++i) {
        const MidiTrack& track = score->tracks[i];
        EXPECT_EQ(track.name, table[i].name) << i;
        EXPECT_EQ(track.notes.size(), table[i].pitches) << track.name;
        if (track.name != "TechLead") continue;
        lead_found = true;
        // A note-on stored at beat 0 never triggers; every note lasts at least a sixteenth.
        for (const MidiNote& note : track.notes)
            for (size_t k = 0; k + 1 < note.times.size(); k += 2) {
                EXPECT_GT(note.times[k], 0.0f) << note.name;
                EXPECT_GE(-note.times[k + 1] - note.times[k], 0.25f - 1e-6f) << note.name << " at " << note.times[k];
            }
    }
    EXPECT_TRUE(lead_found);
}

TEST_F(Soundtrack, TheDescriptionsModulatorsGiveValuesBetweenZeroAndOne) {
    FakeAudio fake;
    set_audio_layer(&fake);
    {
        Music music("data/common/music/quillory.xml", 120.0f, 0.0f, false, 0);
        ASSERT_NE(music.midi, nullptr);
        EXPECT_FLOAT_EQ(music.bpm, 145.0f);
        size_t modulated_tracks = 0;
        for (uint32_t track = 0; track < music.get_track_count(); ++track) {
            modulated_tracks += !music.midi->track(track).modulators.empty();
            float largest = 0;
            // A spread of beats over the whole song, off the grid so envelopes are mid-way.
            for (float beat = 0.3f; beat < 384.0f; beat += 1.37f) {
                for (float v : music.get_note_values(track, beat)) {
                    EXPECT_GE(v, 0.0f) << "track " << track << " beat " << beat;
                    EXPECT_LE(v, 1.0f) << "track " << track << " beat " << beat;
                    largest = std::max(largest, v);
                }
            }
            EXPECT_GT(largest, 0.2f) << "track " << track << " never moves";
        }
        EXPECT_EQ(modulated_tracks, music.get_track_count());
    }
    set_audio_layer(nullptr);
}

TEST_F(Soundtrack, TheAudioIsStereoAtTheScoresLengthAndStartsWithTheFirstNote) {
    uint32_t size = 0;
    char* data = load_file("data/common/music/quillory.mp3", "rb", &size, false);
    ASSERT_NE(data, nullptr);
    DecodedAudio audio;
    ASSERT_TRUE(decode_audio(data, size, audio));
    free(data);
    EXPECT_EQ(audio.rate, 44100u);
    EXPECT_EQ(audio.channels, 2u);
    const size_t frames = audio.sample_count / 2;
    const double seconds = static_cast<double>(frames) / audio.rate;
    auto [first_beat, last_beat] = first_and_last_beat();
    // The last note-off, then a release tail and the fade: a few seconds at most.
    const double score_end = last_beat * 60.0 / BPM;
    EXPECT_GT(seconds, score_end);
    EXPECT_LT(seconds, score_end + 5.0);
    // Decoded sample 0 is beat 0: the first onset (-40 dBFS) follows the first note closely.
    size_t onset = frames;
    for (size_t i = 0; i < audio.sample_count; ++i)
        if (std::abs(audio.samples[i]) > 328) {
            onset = i / 2;
            break;
        }
    const double onset_seconds = static_cast<double>(onset) / audio.rate;
    EXPECT_NEAR(onset_seconds, first_beat * 60.0 / BPM, 0.020);
    free(audio.samples);
}

}  // namespace
