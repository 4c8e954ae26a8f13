#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

#include "test_support.h"
#include "util/music/midi.h"
#include "util/music/modulators/adsr.h"
#include "util/music/modulators/arp.h"
#include "util/music/modulators/lfo.h"
#include "util/music/music.h"
#include "util/music/fake_audio.h"
#include "util/music/smf_builder.h"

namespace {

TEST(NoteLength, TempoFractions) {
    EXPECT_FLOAT_EQ(note_length(1, 4, false), 1.0f);
    EXPECT_FLOAT_EQ(note_length(1, 16, false), 0.25f);
    EXPECT_FLOAT_EQ(note_length(1, 8, true), 0.5f * 0.6666667f);
    EXPECT_EQ(note_length(1, 0, false), 0.0f);
}

TEST(Lfo, SineAndSaw) {
    LFO sine(WAVE_SINE, -1, 1, 4, false);  // period 1 beat
    EXPECT_NEAR(sine.evaluate(145, 10.0f, -1, 10.0f), 0.0f, 1e-6);
    EXPECT_NEAR(sine.evaluate(145, 10.25f, -1, 10.0f), 0.5f, 1e-6);
    EXPECT_NEAR(sine.evaluate(145, 10.5f, -1, 10.0f), 1.0f, 1e-6);
    EXPECT_NEAR(sine.evaluate(145, 11.0f, -1, 10.0f), 0.0f, 1e-5);
    EXPECT_EQ(sine.evaluate(145, 12.0f, 11.0f, 10.0f), 0.0f);  // released
    LFO saw(WAVE_SAW, -1, 2, 4, false);  // period 2 beats
    EXPECT_FLOAT_EQ(saw.evaluate(145, 11.5f, -1, 10.0f), 1.5f);
    LFO flat(WAVE_SINE, -1, 0, 4, false);  // no period: rests at 0
    EXPECT_EQ(flat.evaluate(145, 11.5f, -1, 10.0f), 0.0f);
    LFO odd(5, -1, 1, 4, false);
    EXPECT_EQ(fatal_message_of([&] { odd.evaluate(145, 1.0f, -1, 0.5f); }), "Unsupported wave type: 5");
}

TEST(Adsr, LinearHeldAndReleased) {
    ADSR env(1, SLOPE_LINEAR, 1, SLOPE_LINEAR, 0.5f, 2, SLOPE_LINEAR);
    EXPECT_FLOAT_EQ(env.evaluate(145, 0.5f, -1, 0), 0.5f);
    EXPECT_FLOAT_EQ(env.evaluate(145, 1.5f, -1, 0), 0.75f);
    EXPECT_FLOAT_EQ(env.evaluate(145, 2.0f, -1, 0), 0.5f);
    EXPECT_FLOAT_EQ(env.evaluate(145, 9.0f, -1, 0), 0.5f);
    // Released after half a beat (level 0.5): one beat later 0.25, three beats later 0.
    EXPECT_FLOAT_EQ(env.evaluate(145, 1.5f, 0.5f, 0), 0.25f);
    EXPECT_FLOAT_EQ(env.evaluate(145, 3.5f, 0.5f, 0), 0.0f);
}

TEST(Adsr, ExponentialSlopesAndBadSlopes) {
    EXPECT_NEAR(ADSR::rising(SLOPE_EXP, 0.5f, 1.0f), (std::sqrt(250.0) - 1) / 249, 1e-6);
    EXPECT_NEAR(ADSR::rising(SLOPE_EXP_INV, 0.5f, 1.0f), 1 - (std::sqrt(250.0) - 1) / 249, 1e-6);
    EXPECT_NEAR(ADSR::falling(SLOPE_EXP, 0.0f, 1.0f), 1.0f, 1e-6);
    EXPECT_NEAR(ADSR::falling(SLOPE_EXP_INV, 1.0f, 1.0f), 0.0f, 1e-6);
    EXPECT_EQ(ADSR::rising(SLOPE_LINEAR, 0.0f, 0.0f), 1.0f);  // no length: already there
    EXPECT_EQ(ADSR::falling(SLOPE_EXP, 0.0f, 0.0f), 0.0f);
    EXPECT_EQ(fatal_message_of([] { ADSR::rising(7, 0.5f, 1.0f); }), "Unrecognized slope type 7");
}

TEST(Arp, UpDownSequenceAndRestart) {
    Arp arp(ARP_UPDOWN, 1, 1, 4, false);  // one step a beat
    uint32_t expected[] = {0, 1, 2, 1, 0, 1, 2};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(arp.select_note(145, 10.5f + i, 10.0f, 3), expected[i]) << i;
    EXPECT_EQ(arp.select_note(145, 13.5f, 13.0f, 3), 0u);  // a new note event restarts
    EXPECT_EQ(arp.select_note(145, 13.5f, 10.0f, 1), 0u);
    EXPECT_EQ(arp.evaluate(145, 1, -1, 0.5f), 1.0f);
    EXPECT_EQ(arp.evaluate(145, 1, 0.7f, 0.5f), 0.0f);
    Arp up(ARP_UP, 1, 1, 4, false);
    EXPECT_EQ(up.select_note(145, 2, 1, 1), 0u);
    EXPECT_EQ(fatal_message_of([&] { up.select_note(145, 2, 1, 2); }), "Unhandled arp pattern 1!\n");
    Arp still(ARP_UPDOWN, 1, 0, 4, false);  // a step of 0 beats: no movement, no overflow
    EXPECT_EQ(still.select_note(145, 2, 1, 3), 0u);
}

TEST(ControllerRanges, MinimumExclusiveMaximumInclusive) {
    LFO lfo(WAVE_SINE, 1, 1, 4, false);
    lfo.add_tempo_range(0, 63, 1, 4, false);
    lfo.add_tempo_range(63, 127, 1, 16, false);
    lfo.set_controller_value(63);
    EXPECT_FLOAT_EQ(lfo.tempo_value, 1.0f);
    lfo.set_controller_value(64);
    EXPECT_FLOAT_EQ(lfo.tempo_value, 0.25f);
    EXPECT_EQ(fatal_message_of([&] { lfo.set_controller_value(0); }), "How did this happen?");
    EXPECT_EQ(fatal_message_of([&] { lfo.set_controller_value(128); }), "Value out of bounds: 128");
    LFO bare(WAVE_SINE, 1, 1, 8, false);  // no ranges: the tempo stays
    bare.set_controller_value(100);
    EXPECT_FLOAT_EQ(bare.tempo_value, 0.5f);
}

// ---- the queries of Music, over a score -----------------------------------------------------

class ScoreQueries : public ::testing::Test {
protected:
    void SetUp() override {
        set_audio_layer(&audio);
        music = std::make_unique<Music>((std::string(ZORVANE_TEST_DATA) + "/audio/stereo.ogg").c_str(),
                                        145.0f, 0.0f, false, 0);
        // Three notes held from beats 1, 2, 3 until beat 8; controller 1 at 100 from beat 0.
        std::string events = bytes({0x00, 0xB0, 1, 100, 0x60, 0x90, 60, 1, 0x60, 0x90, 62, 1, 0x60, 0x90, 64, 1}) +
                             bytes({0x81, 0x40, 0x80, 60, 0, 0x00, 0x80, 62, 0, 0x00, 0x80, 64, 0}) + end_of_track;
        std::string file = smf({events});
        music->midi = std::make_unique<MidiFile>(reinterpret_cast<const uint8_t*>(file.data()), file.size());
    }
    void TearDown() override {
        music.reset();
        set_audio_layer(nullptr);
    }
    FakeAudio audio;
    std::unique_ptr<Music> music;
};

TEST_F(ScoreQueries, WithoutModulatorsHeldNotesAreOne) {
    EXPECT_EQ(music->get_note_values(0, 2.5f), (std::vector<float>{1, 1, 0}));
    EXPECT_EQ(music->get_note_values(0, 3.0f), (std::vector<float>{1, 1, 0}));  // an on at the beat is not yet passed
    EXPECT_EQ(music->get_note_values(0, 9.0f), (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(music->get_note_values(0, -1.0f), (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(music->get_track_value(0, 2.5f), 1.0f);
    EXPECT_EQ(music->get_track_value(0, -1.0f), 0.0f);
    EXPECT_EQ(fatal_message_of([&] { music->get_note_values(1, 1.0f); }), "Track number out of bounds");
    EXPECT_EQ(fatal_message_of([&] { music->get_track_value(3, 1.0f); }), "Track number out of bounds");
}

TEST_F(ScoreQueries, ModulatorsShapeAndTheArpeggiatorSelects) {
    MidiTrack& track = music->midi->tracks[0];
    track.modulators.push_back(std::make_unique<ADSR>(1, SLOPE_LINEAR, 1, SLOPE_LINEAR, 0.5f, 2, SLOPE_LINEAR));
    track.modulators.push_back(std::make_unique<Arp>(ARP_UPDOWN, 1, 1, 4, false));
    // Beat 3.5: all three held (the last on at 3); the arp steps from 3 -> index 0.
    std::vector<float> at = music->get_note_values(0, 3.5f);
    EXPECT_FLOAT_EQ(at[0], 0.5f);  // held 2.5 beats: sustain
    EXPECT_EQ(at[1], 0.0f);
    EXPECT_EQ(at[2], 0.0f);
    at = music->get_note_values(0, 4.5f);  // one step later: the second note, 2.5 beats held
    EXPECT_EQ(at[0], 0.0f);
    EXPECT_FLOAT_EQ(at[1], 0.5f);
    EXPECT_FLOAT_EQ(music->get_track_value(0, 4.5f), 0.5f);
}

TEST_F(ScoreQueries, ControllerSetsTheLfoTempo) {
    MidiTrack& track = music->midi->tracks[0];
    auto lfo = std::make_unique<LFO>(WAVE_SAW, 1, 1, 4, false);
    lfo->add_tempo_range(0, 64, 1, 4, false);
    lfo->add_tempo_range(64, 127, 1, 1, false);  // 100 falls here: a period of 4 beats
    track.modulators.push_back(std::move(lfo));
    EXPECT_FLOAT_EQ(music->get_note_values(0, 3.5f)[0], 2.5f);
    EXPECT_FLOAT_EQ(track.modulators[0]->tempo_value, 4.0f);
}

TEST_F(ScoreQueries, TrackNamesCountsAndTriggers) {
    EXPECT_EQ(music->get_track_count(), 1u);
    EXPECT_EQ(music->get_track_name(0), nullptr);
    EXPECT_EQ(music->get_track_note_count(0), 3u);
    EXPECT_EQ(fatal_message_of([&] { music->get_note_triggers("lead", 0.0f); }), "Could not find track lead");
    EXPECT_EQ(music->get_note_triggers(0u, 1.5f), (std::vector<bool>{true, false, false}));
}

TEST(ScoreQueriesWithoutMidi, FatalOrEmpty) {
    FakeAudio audio;
    set_audio_layer(&audio);
    {
        Music music((std::string(ZORVANE_TEST_DATA) + "/audio/stereo.ogg").c_str(), 145.0f, 0.0f, false, 0);
        EXPECT_TRUE(music.get_note_values(0, 1.0f).empty());
        EXPECT_EQ(music.get_track_value(0, 1.0f), 0.0f);
        EXPECT_TRUE(music.get_note_triggers(0u, 0.0f).empty());
        EXPECT_EQ(fatal_message_of([&] { music.get_track_count(); }),
                  "Attempted to get number of tracks without a valid MIDI file loaded!");
        EXPECT_EQ(fatal_message_of([&] { music.get_track_name(0); }), "No valid MIDI file loaded!");
        EXPECT_EQ(fatal_message_of([&] { music.get_track_note_count(0); }),
                  "Attempted to get number of track notes without a valid MIDI file loaded!");
        EXPECT_EQ(fatal_message_of([&] { music.get_note_triggers("x", 0.0f); }),
                  "Attempted to get note states without a valid MIDI file loaded!");
    }
    set_audio_layer(nullptr);
}

}  // namespace

namespace {

// The note state as the description computes it: a scan of every event before the beat.
std::vector<float> scanned_note_values(MidiFile& midi, uint32_t t, float beat, float bpm) {
    MidiTrack& track = midi.tracks[t];
    std::vector<float> values;
    std::vector<uint32_t> active;
    float last = -1.0f;
    for (size_t n = 0; n < track.notes.size(); ++n) {
        int depth = 0;
        float on = -1.0f, off = -1.0f;
        for (float time : track.notes[n].times) {
            if (!(std::fabs(time) < beat)) break;
            if (time >= 0) {
                if (depth == 0) on = time, last = std::max(last, on);
                ++depth;
            } else {
                depth = std::max(0, depth - 1);
                if (depth == 0) off = -time, last = std::max(last, off);
            }
        }
        if (depth > 0) active.push_back(static_cast<uint32_t>(n));
        float value = 1.0f;
        for (auto& m : track.modulators) value *= m->evaluate(bpm, beat, off, on);
        values.push_back(value);
    }
    for (auto& m : track.modulators) {
        if (m->kind != MOD_ARP) continue;
        uint32_t k = static_cast<Arp&>(*m).select_note(bpm, beat, last, static_cast<uint32_t>(active.size()));
        for (size_t n = 0; n < values.size(); ++n)
            if (active.empty() || n != active[k]) values[n] = 0.0f;
    }
    return values;
}

TEST(NoteValues, TheIndexedLookupMatchesAScanFromTheStart) {
    std::mt19937 random(17);
    for (int round = 0; round < 40; ++round) {
        std::string events;
        for (int i = 0; i < 200; ++i) {
            int delta = random() % 4 == 0 ? 0 : static_cast<int>(random() % 50);
            int note = 60 + static_cast<int>(random() % 5);
            int velocity = random() % 3 == 0 ? 0 : 1 + static_cast<int>(random() % 127);
            events += bytes({delta, random() % 2 ? 0x90 : 0x80, note, velocity});
        }
        std::string file = smf({events + end_of_track});
        MidiFile midi(reinterpret_cast<const uint8_t*>(file.data()), file.size());
        ASSERT_EQ(midi.tracks.size(), 1u);
        midi.tracks[0].modulators.push_back(std::make_unique<ADSR>(0.3f, SLOPE_EXP, 0.5f, SLOPE_LINEAR, 0.4f, 0.7f, SLOPE_EXP_INV));
        midi.tracks[0].modulators.push_back(std::make_unique<Arp>(ARP_UPDOWN, 1, 1, 16, false));
        for (float beat = -0.5f; beat < 60.0f; beat += 0.173f)
            ASSERT_EQ(midi.note_values(0, beat, 145.0f), scanned_note_values(midi, 0, beat, 145.0f))
                << "round " << round << " beat " << beat;
    }
}

}  // namespace
