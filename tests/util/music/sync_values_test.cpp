#include "util/music/sync_values.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

double current_row = 0.0;
double row_source(void*) { return current_row; }

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zorvane-registry-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = std::string(pattern) + "/";
        // One key at row 0 (value 1), then linear to row 8 (value 3).
        FILE* f = fopen((folder + "_fade.track").c_str(), "wb");
        const char bytes[] = "\x02\0\0\0" "\0\0\0\0\0\0\x80\x3f\x01" "\x08\0\0\0\0\0\x40\x40\x00";
        fwrite(bytes, 1, 22, f);
        fclose(f);
        device = create_sync_device(folder.c_str(), false);
    }
    void TearDown() override {
        destroy_sync_device(device);
        ASSERT_EQ(system(("rm -rf " + folder).c_str()), 0);
    }
    std::string folder;
    SyncDevice* device = nullptr;
};

TEST_F(Registry, TrackedValuesFollowTheRowUntrackedKeepTheirDefault) {
    SyncValues values(device, row_source, nullptr);
    values.add_sync_value("fade", 9.0f, true);
    values.add_sync_value("constant", 0.25f, false);
    current_row = 4.0;
    EXPECT_EQ(values.get_sync_value("fade"), 2.0f);
    current_row = 100.0;
    EXPECT_EQ(values.get_sync_value("fade"), 3.0f);
    EXPECT_EQ(values.get_sync_value("constant"), 0.25f);
}

TEST_F(Registry, FirstRegistrationWinsAndTracksAreShared) {
    SyncValues values(device, row_source, nullptr);
    values.add_sync_value("twice", 1.0f, false);
    values.add_sync_value("twice", 2.0f, false);
    EXPECT_EQ(values.get_sync_value("twice"), 1.0f);
    values.add_sync_value("fade", 0.0f, true);
    values.add_sync_value("fade", 5.0f, true);
    EXPECT_EQ(values.values()[2].track, values.values()[3].track);
    EXPECT_EQ(device->track_count, 1);
}

TEST_F(Registry, HandlesReadTheValueTheirRegistrationMade) {
    SyncValues values(device, row_source, nullptr);
    SyncValueHandle first = values.add_sync_value("twice", 1.0f, false);
    SyncValueHandle fade = values.add_sync_value("fade", 9.0f, true);
    SyncValueHandle second = values.add_sync_value("twice", 2.0f, false);
    current_row = 4.0;
    EXPECT_EQ(values.get_sync_value(fade), 2.0f);
    EXPECT_EQ(values.get_sync_value(first), 1.0f);
    // By name a repeated registration is hidden behind the first; its own handle still reads it.
    EXPECT_EQ(values.get_sync_value(second), 2.0f);
    EXPECT_EQ(fatal_message_of([&] { values.get_sync_value(SyncValueHandle{}); }),
              "Can't find sync value for handle -1");
    EXPECT_EQ(fatal_message_of([&] { values.get_sync_value(SyncValueHandle{3}); }),
              "Can't find sync value for handle 3");
}

TEST_F(Registry, FatalReports) {
    SyncValues values(device, row_source, nullptr);
    EXPECT_EQ(fatal_message_of([&] { values.add_sync_value("missing", 0.0f, true); }),
              "Failed to open track missing!\n" + std::string(device->base_path) + "_missing.track: not found");
    EXPECT_EQ(fatal_message_of([&] { values.get_sync_value("nobody"); }),
              "Can't find sync value for nobody");
}

using RegistryDeathTest = Registry;

TEST_F(RegistryDeathTest, FatalReportsEndTheProcess) {
    SyncValues values(device, row_source, nullptr);
    EXPECT_EXIT(values.add_sync_value("missing", 0.0f, true), ::testing::ExitedWithCode(1),
                "Error in file src/util/music/sync_values:[0-9]+\n\nFailed to open track missing!");
    EXPECT_EXIT(values.get_sync_value("nobody"), ::testing::ExitedWithCode(1),
                "\n\nCan't find sync value for nobody");
}

}  // namespace
