#include "util/music/description.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "test_support.h"
#include "util/data/data.h"
#include "util/music/modulators/adsr.h"
#include "util/music/modulators/arp.h"
#include "util/music/modulators/lfo.h"
#include "util/music/fake_audio.h"
#include "util/music/music.h"
#include "util/music/smf_builder.h"

namespace {

void write(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// Tracks "bass" and "lead" with notes, at 120 BPM.
std::string score() {
    std::string notes = bytes({0x00, 0x90, 60, 1, 0x60, 0x80, 60, 0}) + end_of_track;
    return smf({tempo_event(500000) + end_of_track, bytes({0x00, 0xFF, 0x03, 0x04}) + "bass" + notes,
                bytes({0x00, 0xFF, 0x03, 0x04}) + "lead" + notes});
}

const char* const controller_template =
    "<unit><template>"
    "<range><min>0</min><max>63</max><value><numerator>1</numerator><denominator>4</denominator></value></range>"
    "<range><min>63</min><max>127</max><value><numerator>1</numerator><denominator>8T</denominator></value></range>"
    "</template></unit>";

const char* const lfo_child =
    "<wobble association=\"bass\"><lfo><wave>sine</wave><tempo><numerator>1</numerator>"
    "<denominator>8t</denominator><controller><cc>1</cc><template file=\"cc.xml\"/></controller>"
    "</tempo></lfo><envelope/><intensity unit=\"float\">0.75</intensity></wobble>";

const char* const envelope_child =
    "<shape association=\"lead\"><envelope><attack unit=\"s\" slope=\"exp\">0.5</attack>"
    "<decay unit=\"s\" slope=\"linear\">1</decay><sustain unit=\"percent\">50</sustain>"
    "<release unit=\"s\" slope=\"exp_inv\">0.25</release></envelope></shape>";

const char* const arp_child =
    "<steps association=\"lead\"><arp><pattern>up</pattern><octaves>2</octaves><numerator>1</numerator>"
    "<denominator>16</denominator></arp></steps>";

class Description : public ::testing::Test {
protected:
    void SetUp() override {
        reset_datafile();
        ASSERT_EQ(system("mkdir -p data/music"), 0);
        write("data/music/score.mid", score());
        write("data/music/cc.xml", controller_template);
    }
    void TearDown() override { reset_datafile(); }

    std::string describe(const std::string& children, const std::string& attributes =
                                                          "stream_filename=\"song.ogg\" mididata_filename=\"score.mid\"") {
        write("data/music/music.xml", "<modulators " + attributes + ">" + children + "</modulators>");
        return "data/music/music.xml";
    }
    std::unique_ptr<MidiFile> read(const std::string& path) {
        bpm = 145.0f;
        stream.clear();
        return read_music_description(
            path.c_str(), bpm, [](void* d, const char* p) { *static_cast<std::string*>(d) = p; }, &stream);
    }
    std::string failure(const std::string& children) {
        std::string path = describe(children);
        return fatal_message_of([&] { read(path); });
    }

    TempFolder folder{true};
    float bpm = 0;
    std::string stream;
};

TEST_F(Description, EveryModulatorKindWithPathsTempoAndIntensity) {
    auto midi = read(describe(std::string(lfo_child) + envelope_child + arp_child +
                              "<more association=\"lead\"><intensity unit=\"float\">0.5</intensity></more>"));
    EXPECT_EQ(stream, "data/music/song.ogg");
    EXPECT_FLOAT_EQ(bpm, 120.0f);  // the score's tempo, before envelopes are converted
    ASSERT_EQ(midi->tracks.size(), 2u);
    const auto& bass = midi->tracks[0].modulators;
    ASSERT_EQ(bass.size(), 1u);  // lfo and envelope in one child: only the lfo
    auto* lfo = dynamic_cast<LFO*>(bass[0].get());
    ASSERT_NE(lfo, nullptr);
    EXPECT_EQ(lfo->cc, 1);
    EXPECT_FLOAT_EQ(lfo->tempo_value, 0.5f * 0.6666667f);  // "8t": a triplet eighth
    EXPECT_EQ(lfo->range_length.size(), 2u);
    EXPECT_FLOAT_EQ(lfo->range_length[1], 0.5f * 0.6666667f);
    EXPECT_FLOAT_EQ(lfo->intensity, 0.75f);
    const auto& lead = midi->tracks[1].modulators;
    ASSERT_EQ(lead.size(), 2u);
    auto* env = dynamic_cast<ADSR*>(lead[0].get());
    ASSERT_NE(env, nullptr);
    EXPECT_FLOAT_EQ(env->attack, 1.0f);  // 0.5 s at 120 BPM
    EXPECT_FLOAT_EQ(env->decay, 2.0f);
    EXPECT_FLOAT_EQ(env->sustain, 0.5f);
    EXPECT_FLOAT_EQ(env->release, 0.5f);
    EXPECT_EQ(env->attack_slope, SLOPE_EXP);
    EXPECT_EQ(env->release_slope, SLOPE_EXP_INV);
    auto* arp = dynamic_cast<Arp*>(lead[1].get());
    ASSERT_NE(arp, nullptr);
    EXPECT_EQ(arp->pattern, ARP_UP);
    EXPECT_FLOAT_EQ(arp->tempo_value, 0.25f);
    EXPECT_FLOAT_EQ(arp->intensity, 0.5f);  // from the child that had no modulator of its own
}

TEST_F(Description, MissingElementsNameWhatIsMissing) {
    EXPECT_EQ(failure("<x association=\"bass\"><lfo/></x>"), "lfo_element->FirstChildElement( \"wave\" ) is NULL");
    EXPECT_EQ(failure("<x association=\"bass\"><lfo><wave>saw</wave></lfo></x>"), "tempo_element is NULL");
    EXPECT_EQ(failure("<x association=\"bass\"><lfo><wave>saw</wave><tempo><numerator>1</numerator>"
                      "<denominator>4</denominator><controller/></tempo></lfo></x>"),
              "tempo_element->FirstChildElement( \"controller\" )->FirstChildElement( \"cc\" ) is NULL");
    EXPECT_EQ(failure("<x association=\"lead\"><envelope><attack unit=\"s\" slope=\"exp\">1</attack></envelope></x>"),
              "env_element->FirstChildElement( \"decay\" ) is NULL");
    EXPECT_EQ(failure("<x association=\"lead\"><arp><pattern>updown</pattern></arp></x>"),
              "arp_element->FirstChildElement( \"octaves\" ) is NULL");
    write("data/music/cc.xml", "<unit><template><range><min>0</min></range></template></unit>");
    EXPECT_EQ(failure(lfo_child), "cur_el->FirstChildElement( \"max\" ) is NULL");
    write("data/music/cc.xml", "<unit/>");
    EXPECT_EQ(failure(lfo_child), "element->FirstChildElement( \"template\" ) is NULL");
    write("data/music/cc.xml", "<other/>");
    EXPECT_EQ(failure(lfo_child), "element is NULL\ndata/music/cc.xml: the document's element is <other>, not <unit>");
}

TEST_F(Description, WrongTextsAreReportedWithTheText) {
    EXPECT_EQ(failure("<x association=\"bass\"><lfo><wave>square</wave></lfo></x>"), "Unrecognized LFO wave type: square");
    EXPECT_EQ(failure("<x association=\"lead\"><envelope><attack unit=\"ms\" slope=\"exp\">1</attack></envelope></x>"),
              "Unrecognized unit type: ms");
    EXPECT_EQ(failure("<x association=\"lead\"><envelope><attack unit=\"s\" slope=\"Exp\">1</attack></envelope></x>"),
              "Unrecognized slope type: Exp");
    EXPECT_EQ(failure("<x association=\"lead\"><arp><pattern>random</pattern></arp></x>"), "Unrecognized arp pattern: random");
    EXPECT_EQ(failure(std::string(arp_child) + "<y association=\"lead\"><intensity unit=\"int\">1</intensity></y>"),
              "Unexpected intensity unit: int");
}

TEST_F(Description, CasesWithoutAnAnswerInTheFormatAreReported) {
    EXPECT_EQ(failure("<x association=\"drums\"><arp/></x>"),
              "No MIDI track named drums for the modulator in data/music/music.xml");
    EXPECT_EQ(failure("<x><arp/></x>"), "Missing attribute association of x");
    EXPECT_EQ(failure("<x association=\"lead\"><intensity unit=\"float\">1</intensity></x>"),
              "No modulator for the intensity of track lead in data/music/music.xml");
    EXPECT_EQ(failure("<x association=\"lead\"><arp><pattern/></arp></x>"), "pattern has no text");
    EXPECT_EQ(failure("<x association=\"lead\"><arp><pattern>up</pattern><octaves>1</octaves><numerator>1</numerator>"
                      "<denominator>8trip</denominator></arp></x>"),
              "Unrecognized denominator: 8trip");
    std::string path = describe("", "mididata_filename=\"score.mid\"");
    EXPECT_EQ(fatal_message_of([&] { read(path); }), "Missing attribute stream_filename of modulators");
    path = describe("", "stream_filename=\"song.ogg\" mididata_filename=\"none.mid\"");
    EXPECT_EQ(fatal_message_of([&] { read(path); }), "Failed to load data/music/none.mid");
    EXPECT_EQ(fatal_message_of([&] { read("data/music/absent.xml"); }),
              "Could not load data/music/absent.xml. Error='Failed to open file'. Exiting.\n");
    write("data/music/broken.xml", "<modulators");
    EXPECT_EQ(fatal_message_of([&] { read("data/music/broken.xml"); }).rfind("Could not load data/music/broken.xml. Error='", 0), 0u);
    write("data/music/other.xml", "<music/>");
    EXPECT_EQ(fatal_message_of([&] { read("data/music/other.xml"); }),
              "element is NULL\ndata/music/other.xml: the document's element is <music>, not <modulators>");
    // TinyXML ends the DOCTYPE inside its declarations and reads no element after them.
    write("data/music/entities.xml", "<!DOCTYPE modulators [<!ENTITY song \"song.ogg\">]>"
                                     "<modulators stream_filename=\"&song;\" mididata_filename=\"score.mid\"/>");
    EXPECT_EQ(fatal_message_of([&] { read("data/music/entities.xml"); }),
              "element is NULL\ndata/music/entities.xml: TinyXML does not read the declarations between a DOCTYPE's "
              "[ and ]: it ends the DOCTYPE at their first '>' and reads no element after it");
}

TEST_F(Description, DocumentsNestedTooDeepAreRefusedWithTheirFileName) {
    auto nest = [](const char* name, int levels) {
        std::string open, close;
        for (int i = 0; i < levels; ++i) open += std::string("<") + name + ">", close += std::string("</") + name + ">";
        return open + close;
    };
    // modulators, the child and 998 levels the reader does not look at: at the limit, read.
    auto midi = read(describe(std::string("<deep association=\"lead\">") + nest("n", 998) + "</deep>" + arp_child));
    EXPECT_EQ(midi->tracks[1].modulators.size(), 1u);
    EXPECT_EQ(failure(std::string("<deep association=\"lead\">") + nest("n", 100000) + "</deep>"),
              "Could not load data/music/music.xml. Error='Elements nested deeper than 1000 levels'. Exiting.\n");
    write("data/music/cc.xml", "<unit>" + nest("template", 40000) + "</unit>");
    EXPECT_EQ(failure(lfo_child),
              "Could not load data/music/cc.xml. Error='Elements nested deeper than 1000 levels'. Exiting.\n");
}

TEST_F(Description, MusicPlaysTheDescribedStreamAtTheScoresTempo) {
    FakeAudio audio;
    set_audio_layer(&audio);
    write("data/music/song.ogg", "not decoded by the fake layer");
    {
        Music music(describe(envelope_child).c_str(), 145.0f, 0.0f, false, 0);
        EXPECT_FLOAT_EQ(music.bpm, 120.0f);
        EXPECT_EQ(music.get_track_count(), 2u);
        EXPECT_STREQ(music.get_track_name(1), "lead");
        audio.position = 176400;  // one second: two beats at 120
        EXPECT_NEAR(music.get_row(), 16.0, 1e-4);
    }
    set_audio_layer(nullptr);
}

TEST_F(Description, DeathTestsForTheReports) {
    std::string path = describe("<x association=\"bass\"><lfo><wave>square</wave></lfo></x>");
    EXPECT_EXIT(read(path), ::testing::ExitedWithCode(1),
                "Error in file src/util/music/description:[0-9]+\n\nUnrecognized LFO wave type: square");
    path = describe("<x association=\"bass\"><lfo/></x>");
    EXPECT_EXIT(read(path), ::testing::ExitedWithCode(1),
                literal_regex("lfo_element->FirstChildElement( \"wave\" ) is NULL"));
}

}  // namespace

namespace {

std::string file_content(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// The test production: description, score, template and stream, all from an archive, with
// the real audio layer on SDL's dummy driver.
TEST(TestProduction, LoadsThroughTheArchiveAndAnswersQueries) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    TempFolder folder;
    std::string source = std::string(ZORVANE_TEST_DATA) + "/music/";
    std::string archive = folder.path + "/data.zqf";
    std::vector<std::pair<std::string, std::string>> files;
    for (const char* name : {"music.xml", "song.ogg", "score.mid", "cc.xml"})
        files.push_back({std::string("data/common/music/") + name, file_content(source + name)});
    write_test_archive(archive, files);
    reset_datafile();
    set_datafile_mode(DATAFILE_MODE_READ);
    read_datafile(archive.c_str());
    {
        Music music("data/common/music/music.xml", 100.0f, 0.0f, false, 0);
        EXPECT_FLOAT_EQ(music.bpm, 145.0f);
        EXPECT_EQ(music.get_track_count(), 2u);
        EXPECT_STREQ(music.get_track_name(0), "bass");
        EXPECT_EQ(music.get_track_note_count(1), 3u);
        EXPECT_EQ(music.get_note_values(1, 2.5f), (std::vector<float>{0, 1, 0}));
        EXPECT_NEAR(music.get_track_value(0, 0.25f), 0.472649f, 1e-5);
        EXPECT_EQ(music.sample_count, 2u * 2 * 44100);
        EXPECT_EQ(get_datafile_used_count(), 4u);
    }
    reset_datafile();
}

}  // namespace
