// Capture files without GL: naming, lazy formats, padded rows, audio before video and the
// split into numbered files, checked by reading the RIFF structure back.
#include "scenes/aviwriter.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "test_support.h"

namespace {

uint32_t u32(const std::vector<uint8_t>& d, size_t at) { return read_u32_le(d.data() + at); }

// What a reader finds in a capture file.
struct AviSummary {
    bool valid = false;
    uint32_t total_frames = 0, streams = 0, width = 0, height = 0;
    std::vector<std::string> stream_types;
    std::vector<uint32_t> stream_lengths;
    std::vector<uint32_t> chunk_sizes[2];  // per stream, from the index
};

AviSummary read_avi(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    AviSummary s;
    if (d.size() < 12 || memcmp(d.data(), "RIFF", 4) || memcmp(&d[8], "AVI ", 4) || u32(d, 4) + 8 != d.size())
        return s;
    for (size_t at = 12; at + 8 <= d.size();) {
        const std::string id(reinterpret_cast<const char*>(&d[at]), 4);
        const uint32_t size = u32(d, at + 4);
        if (id == "LIST" && std::string(reinterpret_cast<const char*>(&d[at + 8]), 4) == "hdrl") {
            for (size_t h = at + 12; h < at + 8 + size;) {
                const std::string hid(reinterpret_cast<const char*>(&d[h]), 4);
                if (hid == "avih") {
                    s.total_frames = u32(d, h + 8 + 16);
                    s.streams = u32(d, h + 8 + 24);
                    s.width = u32(d, h + 8 + 32);
                    s.height = u32(d, h + 8 + 36);
                } else if (hid == "LIST") {
                    s.stream_types.emplace_back(reinterpret_cast<const char*>(&d[h + 20]), 4);
                    s.stream_lengths.push_back(u32(d, h + 20 + 32));
                }
                h += 8 + ((hid == "LIST") ? u32(d, h + 4) : u32(d, h + 4) + u32(d, h + 4) % 2);
            }
        }
        if (id == "idx1") {
            for (size_t e = at + 8; e + 16 <= at + 8 + size; e += 16) {
                const int stream = (d[e] - '0') * 10 + (d[e + 1] - '0');
                if (stream >= 0 && stream < 2) s.chunk_sizes[stream].push_back(u32(d, e + 12));
                EXPECT_EQ(u32(d, e + 4), 0x10u) << "every chunk is a key frame";
            }
        }
        at += 8 + size + size % 2;
    }
    s.valid = true;
    return s;
}

AudioFormat stereo_format() {
    AudioFormat f{};
    f.format_tag = 1;
    f.channels = 2;
    f.samples_per_second = 44100;
    f.bits_per_sample = 16;
    f.block_align = 4;
    f.average_bytes_per_second = 44100 * 4;
    return f;
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

class Capture : public ::testing::Test {
protected:
    TempFolder folder{true};
};

TEST_F(Capture, NamesAreNumberedAfterTheBaseName) {
    AviWriter writer;
    ASSERT_TRUE(writer.open("Zorvane.avi", 30, -1, 100));
    EXPECT_EQ(writer.base_name, "Zorvane");
    EXPECT_TRUE(exists("Zorvane.01.avi"));
    ASSERT_EQ(mkdir("out.dir", 0755), 0);
    ASSERT_TRUE(writer.open("out.dir/capture", 30, 0, 100));
    EXPECT_EQ(writer.base_name, "out.dir/capture");  // no dot after the last separator
    EXPECT_EQ(writer.file_name(), "out.dir/capture.01.avi");
    ASSERT_TRUE(writer.open("out.dir/take.2.avi", 30, 0, 100));
    EXPECT_EQ(writer.base_name, "out.dir/take.2");
    const std::string long_name(300, 'x');
    EXPECT_FALSE(writer.open(("missing/" + long_name).c_str(), 30, 0, 100));
    EXPECT_EQ(writer.base_name.size(), 259u);
    EXPECT_FALSE(writer.is_open);
}

TEST_F(Capture, FramesAreBottomUpBgrWithRowsPaddedToFourBytes) {
    AviWriter writer;
    ASSERT_TRUE(writer.open("odd.avi", 30, -1, 100));
    const std::vector<uint8_t> before_size(9, 0);
    EXPECT_FALSE(writer.add_video_frame(before_size.data()));  // no size, no format
    writer.set_video_size(3, 2);                               // 9 bytes a row, 12 in the file
    std::vector<uint8_t> frame(3 * 3 * 2, 7);
    ASSERT_TRUE(writer.add_video_frame(frame.data()));
    writer.set_video_size(8, 8);  // too late: the format is fixed
    EXPECT_EQ(writer.width, 3);
    ASSERT_TRUE(writer.add_video_frame(frame.data()));
    writer.close();
    AviSummary avi = read_avi("odd.01.avi");
    ASSERT_TRUE(avi.valid);
    EXPECT_EQ(avi.total_frames, 2u);
    EXPECT_EQ(avi.width, 3u);
    EXPECT_EQ(avi.height, 2u);
    ASSERT_EQ(avi.stream_types, (std::vector<std::string>{"vids"}));
    EXPECT_EQ(avi.chunk_sizes[0], (std::vector<uint32_t>{24, 24}));
}

TEST_F(Capture, AudioBeforeVideoMakesBothStreams) {
    AviWriter writer;
    ASSERT_TRUE(writer.open("both.avi", 30, -1, 100));
    writer.set_video_size(4, 4);
    writer.set_audio_format(stereo_format());
    std::vector<int16_t> samples(1470 * 2, 100);
    ASSERT_TRUE(writer.add_audio(samples.data(), 1470));
    EXPECT_FALSE(writer.add_audio(samples.data(), 0));  // nothing to write is a failure
    std::vector<uint8_t> frame(4 * 4 * 3, 1);
    ASSERT_TRUE(writer.add_video_frame(frame.data()));
    ASSERT_TRUE(writer.add_audio(samples.data(), 1470));
    writer.close();
    AviSummary avi = read_avi("both.01.avi");
    ASSERT_TRUE(avi.valid);
    EXPECT_EQ(avi.streams, 2u);
    EXPECT_EQ(avi.stream_types, (std::vector<std::string>{"vids", "auds"}));
    EXPECT_EQ(avi.stream_lengths, (std::vector<uint32_t>{1, 2940}));  // frames; sample frames
    EXPECT_EQ(avi.chunk_sizes[1], (std::vector<uint32_t>{5880, 5880}));
}

TEST_F(Capture, PastTheSizeLimitTheNextFrameStartsTheNextFile) {
    AviWriter writer;
    ASSERT_TRUE(writer.open("split.avi", 30, -1, 100));
    writer.size_limit = 1000;  // instead of 0x707FFFFF
    writer.set_video_size(10, 10);
    writer.set_audio_format(stereo_format());
    std::vector<uint8_t> frame(10 * 10 * 3, 9);
    std::vector<int16_t> samples(100 * 2, 5);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(writer.add_video_frame(frame.data()));
        ASSERT_TRUE(writer.add_audio(samples.data(), 100));
    }
    // Each frame with its audio is 328 + 408 bytes: two per file before the limit is passed.
    EXPECT_EQ(writer.file_index, 3);
    EXPECT_EQ(writer.video_frame_count, 1);
    EXPECT_EQ(writer.audio_sample_pos, 100);
    writer.close();
    for (const char* name : {"split.01.avi", "split.02.avi", "split.03.avi"}) {
        AviSummary avi = read_avi(name);
        ASSERT_TRUE(avi.valid) << name;
        EXPECT_EQ(avi.stream_types.size(), 2u) << name;  // the audio stream is recreated
    }
    EXPECT_EQ(read_avi("split.01.avi").total_frames, 2u);
    EXPECT_EQ(read_avi("split.03.avi").total_frames, 1u);
    // A video-only capture stays video-only in the next file.
    ASSERT_TRUE(writer.open("silent.avi", 30, -1, 100));
    writer.size_limit = 200;
    writer.set_video_size(10, 10);
    ASSERT_TRUE(writer.add_video_frame(frame.data()));
    ASSERT_TRUE(writer.add_video_frame(frame.data()));
    writer.close();
    EXPECT_EQ(read_avi("silent.02.avi").stream_types, (std::vector<std::string>{"vids"}));
}

TEST_F(Capture, AudioNeedsAnOpenFile) {
    AviWriter writer;
    writer.set_audio_format(stereo_format());
    std::vector<int16_t> samples(20, 0);
    EXPECT_FALSE(writer.add_audio(samples.data(), 10));
}

// A capture that hits a file size limit (in a child, so the limit stays there): writing stops
// with the system's reason, and the file is cut back to the whole chunks that reached it and
// closed with headers and an index that agree with them.
TEST_F(Capture, AFileSizeLimitLeavesAPlayableFileOfTheChunksThatFit) {
    for (const rlim_t limit : {rlim_t{20000}, rlim_t{20003}, rlim_t{4100}}) {
        const std::string name = "limited" + std::to_string(limit) + ".avi";
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const rlimit bound{limit, limit};
            if (setrlimit(RLIMIT_FSIZE, &bound) != 0) _exit(100);
            AviWriter writer;
            if (!writer.open(name.c_str(), 30, -1, 100)) _exit(limit < 4200 ? 0 : 101);
            writer.set_video_size(16, 16);
            writer.set_audio_format(stereo_format());
            std::vector<uint8_t> frame(16 * 16 * 3, 7);
            std::vector<int16_t> samples(147 * 2, 3);
            for (int i = 0; i < 1000; ++i) {
                if (!writer.add_video_frame(frame.data()) || !writer.add_audio(samples.data(), 147)) {
                    const bool reason = writer.write_failure() == "File too large";
                    writer.close();
                    _exit(reason ? 0 : 102);
                }
            }
            _exit(103);  // the limit never hit
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
        ASSERT_EQ(WEXITSTATUS(status), 0) << limit;
        const std::string file = "limited" + std::to_string(limit) + ".01.avi";
        if (limit < 4200) {
            // Not even the headers fit: nothing half-made is left behind.
            EXPECT_FALSE(exists(file));
            continue;
        }
        struct stat st;
        ASSERT_EQ(stat(file.c_str(), &st), 0);
        EXPECT_LE(static_cast<rlim_t>(st.st_size), limit);
        AviSummary avi = read_avi(file);
        ASSERT_TRUE(avi.valid) << limit;
        EXPECT_GT(avi.total_frames, 10u);
        EXPECT_EQ(avi.stream_lengths[0], avi.total_frames);
        EXPECT_EQ(avi.chunk_sizes[0].size(), avi.total_frames);
        EXPECT_EQ(avi.stream_lengths[1], 147u * avi.chunk_sizes[1].size());
        // Video and audio alternate, so at most the last frame lacks its audio.
        EXPECT_LE(avi.chunk_sizes[0].size() - avi.chunk_sizes[1].size(), 1u);
    }
}

}  // namespace
