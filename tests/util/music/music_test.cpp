#include "util/music/music.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "test_support.h"
#include "util/music/fake_audio.h"
#include "util/data/data.h"

namespace {

const std::string stereo_mp3 = std::string(ZORVANE_TEST_DATA) + "/audio/stereo.mp3";

class MusicTest : public ::testing::Test {
protected:
    void SetUp() override {
        set_audio_layer(&fake);
        reset_datafile();
    }
    void TearDown() override { set_audio_layer(nullptr); }
    FakeAudio fake;
};

TEST_F(MusicTest, ClockAt145Bpm) {
    Music music(stereo_mp3.c_str(), 145.0f, 0.0f, false, 0);
    fake.position = 176400;  // one second
    EXPECT_FLOAT_EQ(music.get_seconds(), 1.0f);
    EXPECT_NEAR(music.get_row(), 19.333, 0.001);
    EXPECT_NEAR(music.get_beat(), 145.0 / 60.0, 1e-5);
    EXPECT_EQ(music.get_position_bytes(), 176400);
}

TEST_F(MusicTest, SeeksAndTransport) {
    Music music(stereo_mp3.c_str(), 145.0f, 0.0f, false, 0);
    music.seek_row(29);  // 29 rows = 0.6 s at 145 BPM
    EXPECT_EQ(fake.seeks.back(), fake.seconds_to_bytes(0, 29 / (145.0 / 60.0 * 8)) + 8);
    music.set_time(-2.0f);
    EXPECT_EQ(fake.seeks.back(), 0u);
    music.set_time(0.5f);
    EXPECT_EQ(fake.seeks.back(), 88200u);
    music.start();
    EXPECT_TRUE(music.is_alive());
    music.toggle_pause();
    EXPECT_EQ(fake.state, AUDIO_PAUSED);
    EXPECT_TRUE(music.is_alive());  // paused still counts as alive
    music.resume();
    EXPECT_TRUE(music.is_stream_playing());
    fake.state = AUDIO_STOPPED;  // the track ran out
    EXPECT_FALSE(music.is_alive());
}

TEST_F(MusicTest, StartFailsWhenTheStreamDoesNotPlay) {
    Music music(stereo_mp3.c_str(), 145.0f, 0.0f, false, 0);
    struct NoPlay : FakeAudio {
        bool play(AudioStream) override { return false; }
    };
    NoPlay silent;
    set_audio_layer(&silent);
    EXPECT_EQ(fatal_message_of([&] { music.start(); }), "Failed to start the music!");
    set_audio_layer(&fake);
}

TEST_F(MusicTest, SamplesForVisualisationAndCapture) {
    Music music(stereo_mp3.c_str(), 145.0f, 0.0f, true, 0);
    ASSERT_EQ(music.sample_count, 2u * 44100);
    ASSERT_EQ(music.pcm_samples.size(), music.sample_count);
    EXPECT_EQ(music.audio_format.block_align, 4);
    EXPECT_EQ(music.audio_format.average_bytes_per_second, 176400u);
    fake.position = (music.sample_count - 3) * 2;  // three values before the end
    std::vector<float> out(8, 99.0f);
    music.copy_samples(out.data(), 8);
    EXPECT_EQ(out[2], music.float_samples[music.sample_count - 1]);
    // The floats are made from the decode on first use and match the capture's samples.
    ASSERT_EQ(music.float_samples.size(), music.sample_count);
    for (uint32_t i = 0; i < music.sample_count; i += 997) EXPECT_EQ(music.float_samples[i], music.pcm_samples[i] / 32768.0f);
    EXPECT_EQ(out[3], 0.0f);
    EXPECT_EQ(out[7], 0.0f);
    EXPECT_EQ(fatal_message_of([&] { music.copy_samples(nullptr, 4); }), "Invalid buffer");
    Music without(stereo_mp3.c_str(), 145.0f, 0.0f, false, 0);
    EXPECT_TRUE(without.pcm_samples.empty());
    EXPECT_TRUE(without.float_samples.empty());  // nothing asked for a waveform
}

TEST_F(MusicTest, EditorCommandsActOnTheMusicWhoseDeviceReceivedThem) {
    Music first(stereo_mp3.c_str(), 145.0f, 0.0f, false, false);
    Music second(stereo_mp3.c_str(), 145.0f, 0.0f, false, false);
    // The first music's device talks to an editor at the other end of a socket pair.
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    first.sync_device->editor_mode = true;
    first.sync_device->socket = ends[0];
    first.sync_device->link = SYNC_LINK_UP;
    const uint8_t pause_on[2] = {MSG_PAUSE_STATE, 1};
    ASSERT_EQ(write(ends[1], pause_on, 2), 2);
    first.update();
    // The stream is stopped: only a paused music is still alive.
    EXPECT_TRUE(first.is_alive());
    EXPECT_FALSE(second.is_alive());
    first.sync_device->editor_mode = false;  // nothing to save at the end
    close(ends[0]);
    close(ends[1]);
}

TEST_F(MusicTest, UpdateKeepsTheAverageBeatStep) {
    Music music(stereo_mp3.c_str(), 120.0f, 0.0f, false, 0);
    music.start();
    for (int frame = 1; frame <= 12; ++frame) {
        fake.position = frame * 176400ull / 60;  // 60 frames a second
        music.update();
    }
    EXPECT_NEAR(music.average_beat_step(), 2.0 / 60.0, 1e-4);  // 2 beats a second
}

TEST_F(MusicTest, DestructionFreesTheLayerAndForgetsItself) {
    {
        Music music(stereo_mp3.c_str(), 145.0f, 0.0f, false, 0);
        EXPECT_EQ(music.sync_device->socket, -1);  // release mode: no network at all
    }
    EXPECT_EQ(fake.frees, 1);
}

TEST_F(MusicTest, FatalReportsOfLoading) {
    EXPECT_EXIT(Music("song.wav", 145.0f, 0.0f, false, 0), ::testing::ExitedWithCode(1),
                "Music format \\.wav not supported");
    EXPECT_EXIT(Music("missing.mp3", 145.0f, 0.0f, false, 0), ::testing::ExitedWithCode(1),
                "Failed to read music data from missing\\.mp3");
    fake.channels = 1;
    EXPECT_EXIT(Music(stereo_mp3.c_str(), 145.0f, 0.0f, false, 0), ::testing::ExitedWithCode(1),
                literal_regex("Failed assert info.chans == 2\n info.chans is 1\n 2 is 2\n" + stereo_mp3 +
                              " has 1 channels; the soundtrack must be stereo\n"));
    fake.channels = 2;
    fake.decodes = false;
    EXPECT_EXIT(Music(stereo_mp3.c_str(), 145.0f, 0.0f, false, 0), ::testing::ExitedWithCode(1),
                literal_regex("Failed assert info.chans == 2\n info.chans is 0\n 2 is 2\n" + stereo_mp3 +
                              " could not be decoded: it is not an MP3 or Ogg Vorbis stream\n"));
    // Finished later, the same checks come when the music is first needed, not before.
    EXPECT_EXIT(
        {
            Music later(stereo_mp3.c_str(), 145.0f, 0.0f, false, 0, true);
            fprintf(stderr, "constructed\n");
            later.finish_loading();
        },
        ::testing::ExitedWithCode(1), "constructed\n(.|\n)*could not be decoded");
    fake.decodes = true;
    fake.flags = AUDIO_SAMPLE_8BITS;
    EXPECT_EXIT(Music(stereo_mp3.c_str(), 145.0f, 0.0f, false, 0), ::testing::ExitedWithCode(1),
                literal_regex("Failed assert ( info.flags & BASS_SAMPLE_8BITS ) == false\n"
                              " ( info.flags & BASS_SAMPLE_8BITS ) is 1\n false is false"));
}

TEST_F(MusicTest, UpperCaseEndingIsAccepted) {
    std::string upper = "/tmp/zorvane-music-test.MP3";
    ASSERT_EQ(system(("cp " + stereo_mp3 + " " + upper).c_str()), 0);
    Music music(upper.c_str(), 145.0f, 0.0f, false, 0);
    EXPECT_EQ(music.sample_count, 2u * 44100);
    unlink(upper.c_str());
}

TEST_F(MusicTest, EditorModeWithoutAnEditorIsFatal) {
    EXPECT_EXIT(Music(stereo_mp3.c_str(), 145.0f, 0.0f, false, 1), ::testing::ExitedWithCode(1),
                "Sync tracker failed to connect to host");
}

}  // namespace

namespace {

std::string file_bytes(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    std::string s;
    char buffer[4096];
    size_t got;
    while (f && (got = fread(buffer, 1, sizeof buffer, f)) > 0) s.append(buffer, got);
    if (f) fclose(f);
    return s;
}

// The real audio layer (SDL's dummy driver), the soundtrack and a track file from an archive.
TEST(MusicFromArchive, PlaysAndReadsItsTracksFromTheArchive) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    char folder[] = "/tmp/zorvane-music-archive-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string archive = std::string(folder) + "/data.zqf";
    std::string track("\x01\0\0\0\0\0\0\0\0\0\x20\x40\0", 13);  // one key: 2.5
    write_test_archive(archive, {{"data/common/music/song.ogg",
                                  file_bytes(std::string(ZORVANE_TEST_DATA) + "/audio/stereo.ogg")},
                                 {"data/sync_tracker/_fade.track", track}});
    reset_datafile();
    set_datafile_mode(DATAFILE_MODE_READ);
    read_datafile(archive.c_str());
    {
        Music music("data/common/music/song.ogg", 145.0f, 0.0f, false, 0);
        music.add_sync_value("fade", 0.0f, true);
        EXPECT_EQ(music.get_sync_value("fade"), 2.5f);
        music.set_volume(1.0f);
        music.start();
        usleep(200000);
        EXPECT_GT(music.get_seconds(), 0.0f);
        EXPECT_TRUE(music.is_alive());
        music.update();
    }
    reset_datafile();
    ASSERT_EQ(system((std::string("rm -rf ") + folder).c_str()), 0);
}

}  // namespace
