#include "platform/audio.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string slurp(const std::string& name) {
    std::ifstream f(std::string(ZORVANE_TEST_DATA) + "/audio/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

TEST(AudioDecode, Mp3AndOggGiveTheWholeTrackGapless) {
    for (const char* name : {"stereo.mp3", "stereo.ogg"}) {
        std::string file = slurp(name);
        DecodedAudio audio;
        ASSERT_TRUE(decode_audio(file.data(), file.size(), audio)) << name;
        EXPECT_EQ(audio.rate, 44100u) << name;
        EXPECT_EQ(audio.channels, 2u) << name;
        EXPECT_EQ(audio.sample_count, 2u * 2 * 44100) << name;  // exactly 2 s of stereo
        // A tone, not silence: encoder delay and padding did not replace it.
        int peak = 0;
        for (size_t i = 0; i < audio.sample_count; ++i) peak = std::max(peak, std::abs(int(audio.samples[i])));
        EXPECT_GT(peak, 8000) << name;
        free(audio.samples);
    }
    std::string mono = slurp("mono.ogg");
    DecodedAudio audio;
    ASSERT_TRUE(decode_audio(mono.data(), mono.size(), audio));
    EXPECT_EQ(audio.channels, 1u);
    free(audio.samples);
    EXPECT_FALSE(decode_audio("not audio at all", 16, audio));
}

TEST(AudioStreams, FloatAndSixteenBitCopiesAgree) {
    std::string file = slurp("stereo.ogg");
    AudioLayer& audio = audio_layer();
    ASSERT_TRUE(audio.init(-1, 44100));
    AudioStream decoder = audio.create_stream(file.data(), file.size(), AUDIO_STREAM_DECODE);
    ASSERT_NE(decoder, 0u);
    uint64_t length = audio.get_length(decoder);
    std::vector<float> floats(length / 2);
    std::vector<int16_t> pcm(length / 2);
    EXPECT_EQ(audio.get_data(decoder, floats.data(), static_cast<uint32_t>(length * 2) | AUDIO_DATA_FLOAT), length * 2);
    audio.set_position(decoder, 0);
    EXPECT_EQ(audio.get_data(decoder, pcm.data(), static_cast<uint32_t>(length)), length);
    for (size_t i = 0; i < pcm.size(); ++i) ASSERT_EQ(floats[i], pcm[i] / 32768.0f) << i;
    EXPECT_EQ(audio.seconds_to_bytes(decoder, 1.0), 176400u);
    EXPECT_EQ(audio.seconds_to_bytes(decoder, 0.00001), 0u);  // rounds down to a whole frame
    EXPECT_EQ(audio.seconds_to_bytes(decoder, -3.0), 0u);
    EXPECT_DOUBLE_EQ(audio.bytes_to_seconds(decoder, 88200), 0.5);
    // Decoding runs behind the handle: one that turns out not to be audio answers as no stream.
    static const char noise[] = "not audio at all, not even close";
    AudioStream broken = audio.create_stream(noise, sizeof noise, AUDIO_STREAM_DECODE);
    AudioChannelInfo info{};
    EXPECT_FALSE(audio.get_info(broken, info));
    EXPECT_EQ(audio.get_length(broken), 0u);
    EXPECT_FALSE(audio.play(broken));
    audio.free_all();
}

TEST(AudioStreams, PlaysWithTheDummyDriverAndSeeksStopAtTheEnd) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::string file = slurp("stereo.mp3");
    AudioLayer& audio = audio_layer();
    ASSERT_TRUE(audio.init(-1, 44100));
    AudioStream stream = audio.create_stream(file.data(), file.size(), AUDIO_STREAM_PRESCAN);
    ASSERT_TRUE(audio.play(stream));
    EXPECT_EQ(audio.is_active(stream), AUDIO_PLAYING);
    uint64_t before = audio.get_position(stream);
    usleep(300000);
    uint64_t after = audio.get_position(stream);
    EXPECT_GT(after, before);  // the clock runs (loosely: no timing bound)
    EXPECT_EQ(after % 4, 0u);
    audio.pause(stream);
    uint64_t held = audio.get_position(stream);
    usleep(50000);
    EXPECT_EQ(audio.get_position(stream), held);
    EXPECT_EQ(audio.is_active(stream), AUDIO_PAUSED);
    audio.set_position(stream, 1001);
    EXPECT_EQ(audio.get_position(stream), 1000u);
    audio.play(stream);
    audio.set_position(stream, 1u << 30);  // past the end: at the end, stopped
    EXPECT_EQ(audio.get_position(stream), audio.get_length(stream));
    EXPECT_EQ(audio.is_active(stream), AUDIO_STOPPED);
    audio.free_all();
}

TEST(PlaybackClock, SmoothBetweenCallbacksMonotonicAndExactAfterReset) {
    PlaybackClock clock;
    clock.bytes_per_second = 176400;
    clock.frame_bytes = 4;
    clock.reset(0, 10.0, 0);
    EXPECT_EQ(clock.position(10.5), 0u);  // nothing handed over yet
    clock.handed_over(0, 8192, 10.5);
    uint64_t a = clock.position(10.516);
    uint64_t b = clock.position(10.532);
    EXPECT_EQ(a % 4, 0u);  // whole frames
    EXPECT_NEAR(static_cast<double>(a), 2822.4, 4);  // 16 ms of 176400 bytes/s
    EXPECT_NEAR(static_cast<double>(b - a), 2822.4, 4);
    EXPECT_EQ(clock.position(11.0), 8192u);  // never past what the device holds
    clock.handed_over(8192, 8192, 11.0);
    EXPECT_EQ(clock.position(10.9), 8192u);  // a stale reading never goes back
    EXPECT_NEAR(static_cast<double>(clock.position(11.01)), 8192 + 1764, 4);  // within a frame
    clock.reset(400, 12.0, 400);
    EXPECT_EQ(clock.position(12.5), 400u);  // exact after a seek or while paused
}

}  // namespace

namespace {

TEST(AudioStreams, WithoutASoundDeviceTheClockStillRuns) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    std::string file = slurp("stereo.ogg");
    AudioLayer& audio = audio_layer();
    ASSERT_TRUE(audio.init(-1, 44100));
    AudioStream stream = audio.create_stream(file.data(), file.size(), 0);
    testing::internal::CaptureStdout();
    ASSERT_TRUE(audio.play(stream));
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("[AUDIO] No sound device could be opened; playing silently in real time"),
              std::string::npos);
    usleep(100000);
    EXPECT_GT(audio.get_position(stream), 0u);
    // Near the end, the silent output runs out like a device would.
    audio.set_position(stream, audio.get_length(stream) - 4 * 441);
    usleep(100000);
    EXPECT_EQ(audio.is_active(stream), AUDIO_STOPPED);
    EXPECT_EQ(audio.get_position(stream), audio.get_length(stream));
    audio.free_all();
    setenv("SDL_AUDIODRIVER", "dummy", 1);
}

}  // namespace
