#include "util/data/data.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "platform/byte_order.h"
#include "platform/ui.h"
#include "test_support.h"
#include "util/data/huffman.h"

namespace {

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

void spit(const std::string& path, const std::string& content) {
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos) {
        std::string dir = path.substr(0, slash);
        for (size_t p = dir.find('/'); ; p = dir.find('/', p + 1)) {
            mkdir(dir.substr(0, p).c_str(), 0777);
            if (p == std::string::npos) break;
        }
    }
    std::ofstream(path, std::ios::binary) << content;
}

// load_file or get_data into a string; the reported size is its length.
std::string loaded(const char* name, const char* mode, bool terminator) {
    uint32_t size = 0xDEAD;
    char* buffer = load_file(name, mode, &size, terminator);
    if (!buffer) return "(null)";
    std::string s(buffer, size);
    free(buffer);
    return s;
}

std::string got_data(const char* name) {
    uint32_t size = 0xDEAD;
    char* buffer = get_data(name, &size);
    if (!buffer) return "(null)";
    std::string s(buffer, size);
    free(buffer);
    return s;
}

std::string contents(FILE* f) {
    std::string s;
    char chunk[256];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, f)) > 0) s.append(chunk, got);
    fclose(f);
    return s;
}

int paints = 0;

// Every test runs in a fresh folder with an empty archive, and a progress callback counts the
// redraws that served requests ask for.
class Archive : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(folder.path.empty());
        reset_datafile();
        setenv("ZORVANE_BATCH", "1", 1);
        set_datafile_progress([](void* count) { ++*static_cast<int*>(count); }, &paints);
        paints = 0;
    }
    void TearDown() override {
        reset_datafile();
        set_datafile_progress(nullptr, nullptr);
    }

    // Packs the given loose files in write mode, then opens the result in read mode.
    void pack_and_reopen(const std::vector<std::pair<std::string, std::string>>& files) {
        set_datafile_mode(DATAFILE_MODE_WRITE);
        for (const auto& [name, content] : files) {
            spit(name, content);
            uint32_t size = 0;
            free(load_file(name.c_str(), "rb", &size, false));
        }
        testing::internal::CaptureStdout();
        write_datafile("test.zqf");
        testing::internal::GetCapturedStdout();
        reset_datafile();
        set_datafile_mode(DATAFILE_MODE_READ);
        read_datafile("test.zqf");
    }

    TempFolder folder{true};
};

// ---- write mode, then read mode --------------------------------------------------------------

TEST_F(Archive, WriteModeRunThenReadModeServesIdenticalBytes) {
    spit("data/common/shaders/simple.vert", "void main() {}\n");
    spit("data/common/images/logo.png", std::string("\x89PNG\r\n\x1a\n\0\0\0", 12));
    spit("data/sync_tracker/_empty.track", "");
    set_datafile_mode(DATAFILE_MODE_WRITE);

    uint32_t size = 0;
    std::string shader = loaded("data/common/shaders/simple.vert", "rt", true);
    EXPECT_EQ(shader, std::string("void main() {}\n", 16));  // the terminator counts
    std::string image = contents(open_file("data/common/images/logo.png", "rb"));
    EXPECT_EQ(image.size(), 12u);
    add_data("data/scenes/converted.bin", 0, "");
    add_data("data/scenes/mesh.bin", 5, "mesh!");
    EXPECT_EQ(paints, 4);
    EXPECT_EQ(open_file("data/missing", "rb"), nullptr);
    EXPECT_EQ(load_file("data/missing", "rb", &size, false), nullptr);
    EXPECT_EQ(paints, 4);  // failed requests ask for no redraw

    testing::internal::CaptureStdout();
    write_datafile("data.zqf");
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find(" Writing datafile data.zqf\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" ..file: data/common/shaders/simple.vert, 16 bytes\n"), std::string::npos);
    EXPECT_NE(log.find(" ..file: data/scenes/converted.bin, 0 bytes\n"), std::string::npos);
    EXPECT_NE(log.find(" Done writing datafile \"data.zqf\" of 0.00 MB!\n"), std::string::npos);
    uint32_t original = 4 * 15 + 31 + 16 + 27 + 12 + 25 + 0 + 20 + 5;
    char line[128];
    snprintf(line, sizeof line, " ..original file size:  %9u bytes\n", original);
    EXPECT_NE(log.find(line), std::string::npos) << log;
    EXPECT_NE(log.find(" ..compressed file size:"), std::string::npos);
    EXPECT_NE(log.find(" ..lost in compression: "), std::string::npos);
    EXPECT_NE(log.find(" ..compression rate:    "), std::string::npos);
    EXPECT_EQ(slurp("data.zqf").substr(0, 21), std::string("Trelvane Data File\0\0\2", 21));

    reset_datafile();
    set_datafile_mode(DATAFILE_MODE_READ);
    read_datafile("data.zqf");
    ASSERT_EQ(get_datafile_entry_count(), 4u);
    const auto& entries = get_datafile_entries();
    EXPECT_EQ(entries[0].name, "data/common/shaders/simple.vert");
    EXPECT_EQ(entries[1].name, "data/common/images/logo.png");
    EXPECT_EQ(entries[2].name, "data/scenes/converted.bin");
    EXPECT_EQ(entries[3].name, "data/scenes/mesh.bin");

    unlink("data/common/shaders/simple.vert");  // read mode never looks at loose files
    EXPECT_EQ(loaded("data/common/shaders/simple.vert", "rt", true), shader);
    EXPECT_EQ(contents(open_file("data/common/images/logo.png", "rb")), image);
    char* empty = get_data("data/scenes/converted.bin", &size);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(size, 0u);
    free(empty);
    EXPECT_EQ(got_data("data/scenes/mesh.bin"), "mesh!");
    EXPECT_EQ(contents(open_file("data/scenes/converted.bin", "rb")), "");
    EXPECT_EQ(get_datafile_used_count(), 4u);
    EXPECT_EQ(get_data("data/_empty.track", &size), nullptr);
    EXPECT_EQ(open_file("data/sync_tracker/_empty.track", "rb"), nullptr);
}

// A stream over an entry gives every byte, the last one included: a JPEG that loses its final
// marker byte decodes with a warning and may lose its last rows.
TEST_F(Archive, StreamsServeTheLastByteOfAnEntry) {
    pack_and_reopen({{"data/end.jpg", std::string("\xff\xd8 body \xff\xd9", 10)}, {"data/one", "x"}});
    EXPECT_EQ(contents(open_file("data/end.jpg", "rb")), std::string("\xff\xd8 body \xff\xd9", 10));
    EXPECT_EQ(contents(open_file("data/one", "rb")), "x");
}

TEST_F(Archive, UsedCountCountsEntriesNotRequests) {
    pack_and_reopen({{"a", "1"}, {"b", "2"}, {"c", "3"}});
    paints = 0;
    uint32_t size;
    free(load_file("a", "rb", &size, false));
    free(load_file("a", "rb", &size, false));
    fclose(open_file("c", "rb"));
    EXPECT_EQ(get_datafile_used_count(), 2u);
    EXPECT_EQ(get_datafile_entry_count(), 3u);
    EXPECT_TRUE(get_datafile_entries()[0].used);
    EXPECT_FALSE(get_datafile_entries()[1].used);
    EXPECT_EQ(paints, 3);
}

TEST_F(Archive, DuplicatesInWriteModeAreRecordedOnceAndStillServed) {
    spit("data/x.txt", "first");
    set_datafile_mode(DATAFILE_MODE_WRITE);
    uint32_t size = 0;
    free(load_file("data/x.txt", "rb", &size, false));
    spit("data/x.txt", "second!");
    testing::internal::CaptureStdout();
    EXPECT_EQ(loaded("data/x.txt", "rb", false), "second!");
    EXPECT_EQ(contents(open_file("data/x.txt", "rb")), "second!");
    add_data("data/x.txt", 3, "abc");
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(paints, 1);  // duplicates ask for no redraw
    size_t first = log.find("[DATA] Skipping duplicate entry for data/x.txt\n");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(log.size(), 3 * (24 + 47)) << log;  // three lines, each with its time stamp
    ASSERT_EQ(get_datafile_entry_count(), 1u);
    EXPECT_EQ(std::string(get_datafile_entries()[0].data, get_datafile_entries()[0].size), "first");
}

TEST_F(Archive, ModeNoneServesLooseFilesAndRecordsNothing) {
    spit("data/y", "loose");
    EXPECT_EQ(loaded("data/y", "rb", true), std::string("loose\0", 6));
    EXPECT_EQ(contents(open_file("data/y", "rb")), "loose");
    EXPECT_EQ(get_datafile_entry_count(), 0u);
    EXPECT_EQ(paints, 2);
    testing::internal::CaptureStdout();
    write_datafile("nothing.zqf");  // does nothing outside write mode
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_NE(access("nothing.zqf", F_OK), 0);
}

TEST_F(Archive, SecondReadDoesNothing) {
    pack_and_reopen({{"one", "1"}});
    unlink("test.zqf");
    read_datafile("test.zqf");
    EXPECT_EQ(get_datafile_entry_count(), 1u);
}

TEST_F(Archive, ReadOutsideReadModeOnlySetsTheFlag) {
    set_datafile_mode(DATAFILE_MODE_NONE);
    read_datafile("no-such.zqf");
    set_datafile_mode(DATAFILE_MODE_READ);
    read_datafile("no-such.zqf");  // already counted as read
    EXPECT_EQ(get_datafile_entry_count(), 0u);
}

// ---- fatal reports --------------------------------------------------------------------------

std::string read_failure(const std::string& file_content) {
    spit("bad.zqf", file_content);
    set_datafile_mode(DATAFILE_MODE_READ);
    return fatal_message_of([] { read_datafile("bad.zqf"); });
}

std::string archive_with_block(const std::string& chunk_stream) {
    std::string image("Trelvane Data File\0\0\2", 21);
    std::vector<uint8_t> block(chunk_stream.size() + HuffmanCoder::WORST_CASE_OVERHEAD);
    uint32_t size = 0;
    auto coder = std::make_unique<HuffmanCoder>();
    coder->encode(block.data(), size, reinterpret_cast<const uint8_t*>(chunk_stream.data()),
                  static_cast<uint32_t>(chunk_stream.size()));
    return image + std::string(block.begin(), block.begin() + size);
}

std::string chunk(const std::string& name, const std::string& data) {
    std::string c("ZQFDFC\0", 7);
    for (uint32_t v : {uint32_t(name.size()), uint32_t(data.size())}) {
        uint8_t word[4];
        write_u32_le(word, v);
        c.append(reinterpret_cast<const char*>(word), 4);
    }
    return c + name + data;
}

TEST_F(Archive, BadArchiveFilesAreReported) {
    const std::string header("Trelvane Data File\0", 19);
    EXPECT_EQ(read_failure(""), "Negative or zero file length: 0\nbad.zqf is empty");
    EXPECT_EQ(read_failure("Trelvane"), "Failed to read header!");
    EXPECT_EQ(read_failure("Something else entirely"), "Unrecognized datafile header: Something else enti");
    EXPECT_EQ(read_failure(header), "Failed to read major version!");
    EXPECT_EQ(read_failure(header + '\0'), "Failed to read minor version!");
    EXPECT_EQ(read_failure(header + std::string("\0\2", 2)), "Failed to read 0 bytes from bad.zqf");
    EXPECT_EQ(read_failure(header + std::string("\1\2rest", 6)), "Expected datafile format 0.2, got 1.2");
    EXPECT_EQ(read_failure(header + std::string("\0\3rest", 6)), "Expected datafile format 0.2, got 0.3");
    EXPECT_EQ(read_failure(header + std::string("\0\2HUFF", 6)),
              "Corrupt compressed block in bad.zqf: the block header is cut short");
    set_datafile_mode(DATAFILE_MODE_READ);
    EXPECT_EQ(fatal_message_of([] { read_datafile("missing.zqf"); }),
              "Failed to open data file missing.zqf for reading.\nmissing.zqf: No such file or directory");
    // The shell's hint on how to get an archive follows a missing one, and only a missing one.
    set_missing_datafile_hint("Make it.");
    EXPECT_EQ(fatal_message_of([] { read_datafile("missing.zqf"); }),
              "Failed to open data file missing.zqf for reading.\nmissing.zqf: No such file or directory\nMake it.");
    EXPECT_EQ(read_failure(""), "Negative or zero file length: 0\nbad.zqf is empty");
    set_missing_datafile_hint(nullptr);
    // Binary bytes are quoted, never written raw to the terminal.
    EXPECT_EQ(read_failure("\x7f" "ELF\x02\x01\x1b[2J\\ rest of it"),
              "Unrecognized datafile header: \\x7FELF\\x02\\x01\\x1B[2J\\x5C rest of");
}

// A folder opens like a file on Linux and claims an enormous length; a device never ends.
TEST_F(Archive, OnlyRegularFilesAreRead) {
    ASSERT_EQ(mkdir("folder.zqf", 0755), 0);
    ASSERT_EQ(mkdir("data", 0755), 0);
    ASSERT_EQ(mkdir("data/model.dae", 0755), 0);
    set_datafile_mode(DATAFILE_MODE_READ);
    EXPECT_EQ(fatal_message_of([] { read_datafile("folder.zqf"); }),
              "Failed to open data file folder.zqf for reading.\nfolder.zqf is a folder");
    EXPECT_EQ(fatal_message_of([] { read_datafile("/dev/zero"); }),
              "Failed to open data file /dev/zero for reading.\n/dev/zero is not a regular file");
    uint32_t size = 0;
    for (DatafileMode mode : {DATAFILE_MODE_NONE, DATAFILE_MODE_WRITE}) {
        set_datafile_mode(mode);
        EXPECT_EQ(fatal_message_of([&] { load_file("data/model.dae", "rb", &size, true); }),
                  "Failed to load data/model.dae: it is a folder");
        EXPECT_EQ(fatal_message_of([] { open_file("/dev/urandom", "rb"); }),
                  "Failed to load /dev/urandom: it is not a regular file");
    }
    // A FIFO blocks in open() until a writer comes, which none will: refused without waiting
    // (the alarm turns a wait into a failure of the whole test program).
    ASSERT_EQ(mkfifo("pipe.zqf", 0644), 0);
    ASSERT_EQ(mkfifo("data/pipe.xml", 0644), 0);
    alarm(20);
    set_datafile_mode(DATAFILE_MODE_READ);
    EXPECT_EQ(fatal_message_of([] { read_datafile("pipe.zqf"); }),
              "Failed to open data file pipe.zqf for reading.\npipe.zqf is not a regular file");
    for (DatafileMode mode : {DATAFILE_MODE_NONE, DATAFILE_MODE_WRITE}) {
        set_datafile_mode(mode);
        EXPECT_EQ(fatal_message_of([&] { load_file("data/pipe.xml", "rt", &size, true); }),
                  "Failed to load data/pipe.xml: it is not a regular file");
        EXPECT_EQ(fatal_message_of([] { open_file("data/pipe.xml", "rb"); }),
                  "Failed to load data/pipe.xml: it is not a regular file");
    }
    alarm(0);
    EXPECT_EQ(get_datafile_entry_count(), 0u);
}

TEST_F(Archive, BytesAfterTheCompressedBlockAreIgnoredAndCounted) {
    pack_and_reopen({{"a", "alpha"}});
    EXPECT_EQ(get_datafile_trailing_bytes(), 0u);
    const std::string packed = slurp("test.zqf");
    spit("trailing.zqf", packed + "GARBAGE");
    reset_datafile();
    set_datafile_mode(DATAFILE_MODE_READ);
    testing::internal::CaptureStdout();
    read_datafile("trailing.zqf");
    EXPECT_NE(testing::internal::GetCapturedStdout().find("trailing.zqf has 7 bytes after its compressed block"),
              std::string::npos);
    EXPECT_EQ(get_datafile_trailing_bytes(), 7u);
    EXPECT_EQ(got_data("a"), "alpha");
}

TEST_F(Archive, BadChunkStreamsAreReportedWithoutReadingPastTheContent) {
    std::string two = chunk("a", "12345") + chunk("b", std::string(1048576, 'x'));
    EXPECT_EQ(read_failure(archive_with_block(two + "NOTATAG")),
              "Unrecognized chunk header: NOTATAG. \nRead 2 chunks, 1.000005 MB before this\n");
    std::string full = chunk("name", "data");
    EXPECT_EQ(read_failure(archive_with_block(full.substr(0, full.size() - 1))),
              "Corrupt datafile bad.zqf: chunk 0 needs 23 bytes, only 22 are left");
    EXPECT_EQ(read_failure(archive_with_block(full + full.substr(0, 10))),
              "Corrupt datafile bad.zqf: chunk 1 is cut short after 10 bytes");
    EXPECT_EQ(read_failure(archive_with_block(full + "ZQF")),
              "Corrupt datafile bad.zqf: chunk 1 is cut short after 3 bytes");
    std::string lying = chunk("n", "");
    lying[7] = '\xff';
    lying[10] = '\xff';  // name length 0xFF0000FF
    EXPECT_NE(read_failure(archive_with_block(lying)).find("Corrupt datafile bad.zqf: chunk 0 needs"),
              std::string::npos);
}

TEST_F(Archive, DuplicateEntriesInAnArchiveAreFatalWhenLookedUp) {
    spit("dup.zqf", archive_with_block(chunk("same", "1") + chunk("other", "2") + chunk("same", "3")));
    set_datafile_mode(DATAFILE_MODE_READ);
    read_datafile("dup.zqf");
    EXPECT_EQ(got_data("other"), "2");
    EXPECT_EQ(fatal_message_of([] { got_data("same"); }),
              "Ouch, found more than one entry for same in datafile. Duplicates make no sense here.");
}

TEST_F(Archive, CallsInTheWrongModeAreFatal) {
    uint32_t size;
    for (DatafileMode mode : {DATAFILE_MODE_NONE, DATAFILE_MODE_WRITE}) {
        set_datafile_mode(mode);
        EXPECT_EQ(fatal_message_of([&] { get_data("x", &size); }),
                  "Illegal use of get_data(), can only be used in read mode!");
    }
    for (DatafileMode mode : {DATAFILE_MODE_NONE, DATAFILE_MODE_READ}) {
        set_datafile_mode(mode);
        EXPECT_EQ(fatal_message_of([] { add_data("x", 1, "y"); }),
                  "Illegal use of add_data(), can only be used in write mode!");
    }
    for (DatafileMode mode : {DATAFILE_MODE_NONE, DATAFILE_MODE_WRITE}) {
        set_datafile_mode(mode);
        EXPECT_EQ(fatal_message_of([] { export_mp3(); }),
                  "Failed assert DATAFILE_MODE_READ == mode\n DATAFILE_MODE_READ is 1\n mode is " +
                      std::to_string(mode));
    }
}

TEST_F(Archive, EmptyLooseFilesAreFatal) {
    spit("data/empty", "");
    uint32_t size;
    for (DatafileMode mode : {DATAFILE_MODE_NONE, DATAFILE_MODE_WRITE}) {
        set_datafile_mode(mode);
        EXPECT_EQ(fatal_message_of([&] { load_file("data/empty", "rb", &size, true); }),
                  "Tried to read 0 bytes from data/empty, got 0");
    }
    EXPECT_EQ(fatal_message_of([] { open_file("data/empty", "rb"); }),
              "Tried to read 0 bytes from data/empty, got 0");
    set_datafile_mode(DATAFILE_MODE_WRITE);
    testing::internal::CaptureStdout();
    EXPECT_EQ(fatal_message_of([] { write_datafile("none.zqf"); }),
              "Negative or zero file length: 0\nnothing was requested from the loose files, so none.zqf would hold no file");
    testing::internal::GetCapturedStdout();
}

TEST_F(Archive, WriteFailureLeavesTheOldArchiveAlone) {
    pack_and_reopen({{"keep", "me"}});
    std::string before = slurp("test.zqf");
    reset_datafile();
    set_datafile_mode(DATAFILE_MODE_WRITE);
    add_data("new", 1, "x");
    mkdir("test.zqf.partial", 0777);  // the partial file cannot be created
    testing::internal::CaptureStdout();
    EXPECT_EQ(fatal_message_of([] { write_datafile("test.zqf"); }),
              "Failed to open data file test.zqf for writing");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(slurp("test.zqf"), before);
}

// ---- export ---------------------------------------------------------------------------------

TEST_F(Archive, ExportWritesEachMp3EntryUnderItsLastNameComponent) {
    spit("pack.zqf", archive_with_block(chunk("data/common/music/song.mp3", "ID3 song") +
                                         chunk("data/common/music/song.ogg", "OggS") +
                                         chunk("win\\path\\tune.mp3", "tune") +
                                         chunk("plain.mp3", "plain")));
    set_datafile_mode(DATAFILE_MODE_READ);
    read_datafile("pack.zqf");
    reset_batch_mode();
    testing::internal::CaptureStderr();
    export_mp3();
    export_mp3();  // again: the same files, the same boxes
    std::string boxes = testing::internal::GetCapturedStderr();
    EXPECT_EQ(slurp("song.mp3"), "ID3 song");
    EXPECT_EQ(slurp("tune.mp3"), "tune");
    EXPECT_EQ(slurp("plain.mp3"), "plain");
    EXPECT_NE(access("song.ogg", F_OK), 0);
    std::string once =
        "Success: Successfully exported song.mp3 to the current folder\n"
        "Success: Successfully exported tune.mp3 to the current folder\n"
        "Success: Successfully exported plain.mp3 to the current folder\n";
    EXPECT_EQ(boxes, once + once);
}

TEST_F(Archive, ExportIntoAFolderNameIsFatal) {
    spit("pack.zqf", archive_with_block(chunk("data/mp3/", "x")));
    set_datafile_mode(DATAFILE_MODE_READ);
    read_datafile("pack.zqf");
    EXPECT_EQ(fatal_message_of([] { export_mp3(); }), "Failed to create output file for ");
}

}  // namespace

namespace {

using ArchiveDeathTest = Archive;

// The whole report path: caption with this file's source path, message, exit code 1.
TEST_F(ArchiveDeathTest, FatalReportsEndTheProcess) {
    const std::string caption = "Error in file src/util/data/data:[0-9]+\n\n";
    spit("short.zqf", std::string("Trelvane Data File\0\0\2", 21));
    set_datafile_mode(DATAFILE_MODE_READ);
    EXPECT_EXIT(read_datafile("short.zqf"), ::testing::ExitedWithCode(1),
                caption + "Failed to read 0 bytes from short\\.zqf");
    EXPECT_EXIT(add_data("x", 1, "y"), ::testing::ExitedWithCode(1),
                caption + "Illegal use of add_data\\(\\), can only be used in write mode!");
    set_datafile_mode(DATAFILE_MODE_WRITE);
    EXPECT_EXIT(get_data("x", nullptr), ::testing::ExitedWithCode(1),
                caption + "Illegal use of get_data\\(\\), can only be used in read mode!");
    EXPECT_EXIT(export_mp3(), ::testing::ExitedWithCode(1),
                caption + "Failed assert DATAFILE_MODE_READ == mode\n DATAFILE_MODE_READ is 1\n mode is 2");
}

}  // namespace

// ---- finding the archive -------------------------------------------------------------------

TEST(DatafileLookup, TheCurrentFolderThenBesideTheProgramThenTheInstalledLayout) {
    TempFolder folder{true};
    ASSERT_EQ(system("mkdir -p run prefix/bin prefix/share/zorvane/sub build && touch prefix/share/zorvane/data.zqf "
                     "prefix/share/zorvane/sub/other.zqf build/data.zqf && mkdir -p prefix/bin/data.zqf"),
              0);
    const std::string installed = folder.path + "/prefix/bin";
    // Installed: not in the current folder, nor beside the program (a folder of that name is no
    // archive), but in ../share/zorvane/; a relative --data keeps its folders there.
    EXPECT_EQ(locate_datafile("data.zqf", installed), folder.path + "/prefix/share/zorvane/data.zqf");
    EXPECT_EQ(locate_datafile("sub/other.zqf", installed), folder.path + "/prefix/share/zorvane/sub/other.zqf");
    // Unpacked bundle: beside the program.
    EXPECT_EQ(locate_datafile("data.zqf", folder.path + "/build"), folder.path + "/build/data.zqf");
    // The current folder first; an absolute name and a name found nowhere stay as given.
    ASSERT_EQ(system("touch data.zqf"), 0);
    EXPECT_EQ(locate_datafile("data.zqf", installed), "data.zqf");
    EXPECT_EQ(locate_datafile("/nowhere/data.zqf", installed), "/nowhere/data.zqf");
    EXPECT_EQ(locate_datafile("gone.zqf", installed), "gone.zqf");
}
