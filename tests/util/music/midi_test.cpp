#include "util/music/midi.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "test_support.h"
#include "util/music/smf_builder.h"

namespace {

MidiFile parse(const std::string& file) {
    return MidiFile(reinterpret_cast<const uint8_t*>(file.data()), file.size());
}

std::string parse_failure(const std::string& file) {
    return fatal_message_of([&] { parse(file); });
}

TEST(MidiFile, TempoOnlyTrackIsReadButNotStored) {
    std::string conductor = tempo_event(413793) + bytes({0x00, 0xFF, 0x58, 0x04, 3, 3, 24, 8}) + end_of_track;
    std::string melody = bytes({0x00, 0xFF, 0x03, 0x04}) + "lead" + bytes({0x00, 0x90, 60, 100, 0x30, 0x80, 60, 0}) + end_of_track;
    MidiFile file = parse(smf({conductor, melody}));
    EXPECT_FLOAT_EQ(file.tempo, 145.0f);
    EXPECT_EQ(file.time_signature_numerator, 3);
    EXPECT_EQ(file.time_signature_denominator, 8);
    ASSERT_EQ(file.tracks.size(), 1u);
    EXPECT_EQ(file.tracks[0].name, "lead");
    ASSERT_EQ(file.tracks[0].notes.size(), 1u);
    EXPECT_STREQ(file.tracks[0].notes[0].name, "C5");
    // Fractional beats: 0x30 ticks of 96 are half a beat.
    EXPECT_EQ(file.tracks[0].notes[0].times, (std::vector<float>{0.0f, -0.5f}));
}

TEST(MidiFile, TempoRoundingAndDefault) {
    EXPECT_FLOAT_EQ(parse(smf({tempo_event(500000) + end_of_track})).tempo, 120.0f);
    MidiFile none = parse(smf({bytes({0x00, 0x90, 60, 1, 0x10, 0x90, 60, 0}) + end_of_track}));
    EXPECT_FLOAT_EQ(none.tempo, 120.0f);
    EXPECT_FALSE(none.tempo_set);
    EXPECT_FLOAT_EQ(parse(smf({tempo_event(333333) + end_of_track})).tempo, 180.0f);
}

TEST(MidiFile, NoteOnsAndOffsAlternateAndRunningStatusRepeats) {
    // On, on again (ignored), velocity-0 on (an off), off again (ignored); running status
    // turns "3E 40" after "90 3C 40" into a second note-on.
    std::string events = bytes({0x00, 0x90, 60, 64, 0x00, 62, 64, 0x60, 0x90, 60, 70, 0x60, 0x90, 60, 0,
                                0x60, 0x80, 60, 0, 0x60, 0x80, 62, 0, 0x00, 0xA0, 60, 5, 0x00, 0xD0, 9,
                                0x00, 0xE0, 1, 2});
    MidiFile file = parse(smf({events + end_of_track}));
    ASSERT_EQ(file.tracks.size(), 1u);
    const MidiTrack& track = file.tracks[0];
    EXPECT_EQ(track.note_event_count, 6u);
    ASSERT_EQ(track.notes.size(), 2u);
    EXPECT_EQ(track.notes[0].number, 60);
    EXPECT_EQ(track.notes[0].times, (std::vector<float>{0.0f, -2.0f}));
    EXPECT_EQ(track.notes[0].velocities, (std::vector<uint8_t>{64, 0}));
    EXPECT_EQ(track.notes[1].times, (std::vector<float>{0.0f, -4.0f}));
}

TEST(MidiFile, NoteOffAtBeatZeroBlocksTheNextOn) {
    MidiFile file = parse(smf({bytes({0x00, 0x80, 50, 0, 0x60, 0x90, 50, 9, 0x60, 0x80, 50, 0}) + end_of_track}));
    // -0.0 counts as "on" (>= 0): the next note-on is ignored, and so is the off after it,
    // which would follow an "on".
    EXPECT_EQ(file.tracks[0].notes[0].times.size(), 2u);
    EXPECT_TRUE(std::signbit(file.tracks[0].notes[0].times[0]));
}

TEST(MidiFile, ControllersExceptVolumeAndPan) {
    std::string events = bytes({0x00, 0xB0, 7, 100, 0x00, 0xB0, 10, 64, 0x00, 0xB0, 1, 20, 0x60, 0xB0, 1, 90,
                                0x00, 0x90, 60, 1, 0x60, 0x80, 60, 0});
    MidiFile file = parse(smf({events + end_of_track}));
    EXPECT_EQ(file.controller_value_at(0, 7, 10.0f), -1);
    EXPECT_EQ(file.controller_value_at(0, 10, 10.0f), -1);
    EXPECT_EQ(file.controller_value_at(0, 1, 0.0f), 20);
    EXPECT_EQ(file.controller_value_at(0, 1, 0.99f), 20);
    EXPECT_EQ(file.controller_value_at(0, 1, 1.0f), 90);
    EXPECT_EQ(file.controller_value_at(0, 2, 1.0f), -1);
    EXPECT_EQ(fatal_message_of([&] { file.controller_value_at(1, 1, 0.0f); }), "Track number out of bounds");
}

TEST(MidiFile, NoteTriggersReportEachNoteOnOnce) {
    // Note 60: on at 1, off at 2, on at 3, off at 4. Note 62: on and off between two queries.
    std::string events = bytes({0x60, 0x90, 60, 1, 0x60, 0x80, 60, 0, 0x60, 0x90, 60, 1, 0x60, 0x80, 60, 0,
                                0x00, 0x90, 62, 1, 0x01, 0x80, 62, 0});
    MidiFile file = parse(smf({events + end_of_track}));
    EXPECT_EQ(file.note_triggers(0, 0.5), (std::vector<bool>{false, false}));
    EXPECT_EQ(file.note_triggers(0, 1.5), (std::vector<bool>{true, false}));
    EXPECT_EQ(file.note_triggers(0, 1.6), (std::vector<bool>{false, false}));  // once only
    EXPECT_EQ(file.note_triggers(0, 3.5), (std::vector<bool>{true, false}));
    EXPECT_EQ(file.note_triggers(0, 1.0), (std::vector<bool>{false, false}));  // never backwards
    EXPECT_EQ(file.note_triggers(0, 9.0), (std::vector<bool>{false, false}));  // the last event never
    EXPECT_EQ(fatal_message_of([&] { file.note_triggers(1, 0.0); }), "Track number out of bounds");
}

TEST(MidiPrimitives, VariableLengthQuantities) {
    const uint8_t longest[] = {0xFF, 0xFF, 0xFF, 0x7F};
    MidiCursor cursor{longest, longest + 4};
    EXPECT_EQ(read_variable_length(cursor), 0x0FFFFFFFu);
    EXPECT_EQ(cursor.at, longest + 4);
    const uint8_t too_long[] = {0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    MidiCursor bad{too_long, too_long + 5};
    EXPECT_EQ(fatal_message_of([&] { read_variable_length(bad); }), "Found 4 bytes of delta time without a 0 MSB");
    MidiCursor none{nullptr, nullptr};
    EXPECT_EQ(fatal_message_of([&] { read_variable_length(none); }), "NULL-buffer specified");
    EXPECT_EQ(fatal_message_of([&] { read_big_endian(none, 2); }), "NULL-buffer specified");
    MidiCursor some{longest, longest + 4};
    EXPECT_EQ(fatal_message_of([&] { read_big_endian(some, 5); }), "bytes must be in range 1..4!");
    EXPECT_EQ(read_big_endian(some, 3), 0xFFFFFFu);
    char name[8];
    note_name(60, name);
    EXPECT_STREQ(name, "C5");
    note_name(1, name);
    EXPECT_STREQ(name, "C#0");
    note_name(127, name);
    EXPECT_STREQ(name, "G10");
}

TEST(MidiFile, EveryFatalMessage) {
    const std::string notes = bytes({0x00, 0x90, 60, 1, 0x10, 0x80, 60, 0});
    EXPECT_EQ(parse_failure("MThd" + be(7, 4)), "  Unknown header info, MIDI file format not recognized\n");
    EXPECT_EQ(parse_failure("MThd" + be(6, 4) + be(1, 2) + be(1, 2) + be(96, 2) + "MTrx"),
              " Could not find track chunk header, unrecognized file format!\n");
    EXPECT_EQ(parse_failure(smf({bytes({0x00, 0xF0, 0x01, 0xF7})})), "  Got SysEx event, not supported yet, panicking!");
    EXPECT_EQ(parse_failure(smf({bytes({0x00, 0xFF, 0x33, 0x00})})), "  Unknown meta event, panicking!");
    EXPECT_EQ(parse_failure(smf({bytes({0x00, 0xFF, 0x51, 0x02, 1, 2})})), "Expected 0x03");
    EXPECT_EQ(parse_failure(smf({bytes({0x00, 0xFF, 0x2F, 0x01, 0})})), "Expected 0x00");
    EXPECT_EQ(parse_failure(smf({bytes({0x00, 0xFF, 0x58, 0x03, 1, 2, 3})})), "Expected 0x04");
    EXPECT_EQ(parse_failure(smf({bytes({0x00, 0xFF, 0x59, 0x01, 1})})), "Expected 0x02");
    EXPECT_EQ(parse_failure(smf({bytes({0x00, 0xFF, 0x01, 0x01, 'a', 0x00, 0xFF, 0x01, 0x01, 'b'})})),
              "Retrieving text info failed!");
    EXPECT_EQ(parse_failure(smf({bytes({0x00, 0xFF, 0x02, 0x00})})), "Retrieving copyright info failed!");
    EXPECT_EQ(parse_failure(smf({bytes({0x00, 0xFF, 0x03, 0x01, 'a', 0x00, 0xFF, 0x03, 0x01, 'b'})})),
              "Retrieving track name failed!");
    EXPECT_EQ(parse_failure(smf({bytes({0x00, 0x3C, 0x40})})), "Unknown event 60 from 60, corrupt MIDI file? Panicking!");
    EXPECT_EQ(parse_failure(smf({bytes({0x00, 0xF2, 0x05})})), "Unknown event 5 from 5, corrupt MIDI file? Panicking!");
    // A second text in another track is fatal too: the slot is the file's.
    EXPECT_EQ(parse_failure(smf({bytes({0x00, 0xFF, 0x01, 0x01, 'a'}) + notes,
                                 bytes({0x00, 0xFF, 0x01, 0x01, 'b'}) + notes})),
              "Retrieving text info failed!");
}

TEST(MidiFile, DamagedFilesAreReportedWithoutReadingPastThem) {
    std::string good = smf({bytes({0x00, 0x90, 60, 1, 0x10, 0x80, 60, 0}) + end_of_track});
    for (size_t cut = 15; cut < good.size(); ++cut)
        EXPECT_NE(parse_failure(good.substr(0, cut)), "") << cut;
    std::string lying = "MThd" + be(6, 4) + be(1, 2) + be(1, 2) + be(96, 2) + "MTrk" + be(1000, 4) + bytes({0x00, 0x90, 60});
    EXPECT_EQ(parse_failure(lying), "Truncated MIDI file: track 0 claims 1000 bytes, only 3 are left");
    std::string straddling = "MThd" + be(6, 4) + be(1, 2) + be(1, 2) + be(96, 2) + "MTrk" + be(2, 4) + bytes({0x00, 0x90});
    EXPECT_EQ(parse_failure(straddling), "Truncated MIDI file: a note-on event runs past the end of the data");
    EXPECT_EQ(parse_failure(smf({end_of_track}, 0)), "MIDI division of 0 ticks per quarter note: no event has a time");
    EXPECT_EQ(parse_failure(smf({tempo_event(0)})), "MIDI tempo of 0 microseconds per quarter note");
}

TEST(MidiFileDeathTest, UnsupportedEventsGiveTheBareReport) {
    EXPECT_EXIT(parse(smf({bytes({0x00, 0xC0, 0x05})})), ::testing::ExitedWithCode(1),
                "Error: Error in file src/util/music/midi:[0-9]+\n\n$");
    EXPECT_EXIT(parse(smf({bytes({0x00, 0xFF, 0x7F, 0x00})})), ::testing::ExitedWithCode(1),
                "Error: Error in file src/util/music/midi:[0-9]+\n\n$");
}

}  // namespace
