#include "platform/file_watcher.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Paths = std::vector<std::string>;

struct WatchedFolder : ::testing::Test {
    std::string root;
    FileWatcher watcher;
    void SetUp() override {
        char pattern[] = "/tmp/zorvane-watch-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        ASSERT_EQ(mkdir((root + "/shaders").c_str(), 0755), 0);
        std::string error;
        ASSERT_TRUE(watcher.start(root, error)) << error;
    }
    void TearDown() override { std::filesystem::remove_all(root); }
    void write(const std::string& name, const std::string& text) {
        FILE* f = fopen((root + "/" + name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fputs(text.c_str(), f);
        fclose(f);
    }
};

constexpr uint64_t QUIET = FileWatcher::QUIET_MS;

}  // namespace

TEST_F(WatchedFolder, ReportsASaveOnceAfterItSettles) {
    write("shaders/a.frag", "one");
    write("shaders/a.frag", "two");  // saved twice in quick succession
    EXPECT_EQ(watcher.poll(1000), Paths{});
    EXPECT_EQ(watcher.poll(1000 + QUIET), Paths{root + "/shaders/a.frag"});
    EXPECT_EQ(watcher.poll(5000), Paths{});
    EXPECT_EQ(watcher.poll(6000), Paths{});
}

TEST_F(WatchedFolder, WaitsForTheWriterToClose) {
    FILE* f = fopen((root + "/shaders/b.vert").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs("half", f);
    fflush(f);
    EXPECT_EQ(watcher.poll(1000), Paths{});
    EXPECT_EQ(watcher.poll(9000), Paths{}) << "reported while still open for writing";
    fputs(" and the rest", f);
    fclose(f);
    EXPECT_EQ(watcher.poll(9001), Paths{});
    EXPECT_EQ(watcher.poll(9001 + QUIET), Paths{root + "/shaders/b.vert"});
}

TEST_F(WatchedFolder, SeesRenamesAndFoldersMadeLater) {
    write("c.tmp", "new text");
    ASSERT_EQ(rename((root + "/c.tmp").c_str(), (root + "/shaders/c.frag").c_str()), 0);
    // A folder made while watching, with a file written before its watch could exist.
    std::filesystem::create_directories(root + "/images/new");
    write("images/new/d.png", "x");
    watcher.poll(1000);
    write("images/new/e.png", "y");
    // Changes are timed when they are taken in: e.png's at the second poll.
    EXPECT_EQ(watcher.poll(1000 + QUIET), (Paths{root + "/images/new/d.png", root + "/shaders/c.frag"}));
    EXPECT_EQ(watcher.poll(1000 + 2 * QUIET), Paths{root + "/images/new/e.png"});
}

TEST(FileWatcher, RefusesAMissingRoot) {
    FileWatcher watcher;
    std::string error;
    EXPECT_FALSE(watcher.start("/nonexistent/zorvane-data", error));
    EXPECT_EQ(error, "/nonexistent/zorvane-data is not a folder");
    EXPECT_EQ(watcher.poll(1000), Paths{});
}
