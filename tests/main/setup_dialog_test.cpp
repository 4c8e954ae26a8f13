#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "main/setup_dialog.h"
#include "test_support.h"
#include "util/data/data.h"

namespace {

// An SDL_ListModes result: largest first, null-terminated.
struct ModeList {
    explicit ModeList(std::vector<std::pair<int, int>> sizes) {
        for (auto [w, h] : sizes) {
            SDL_Rect r{0, 0, static_cast<Uint16>(w), static_cast<Uint16>(h)};
            rects.push_back(r);
        }
        for (auto& r : rects) pointers.push_back(&r);
        pointers.push_back(nullptr);
    }
    SDL_Rect** get() { return pointers.data(); }
    std::vector<SDL_Rect> rects;
    std::vector<SDL_Rect*> pointers;
};

ModeList desktop_modes() { return ModeList({{1920, 1080}, {1280, 720}, {1024, 768}, {640, 480}}); }

SDL_Rect** any_size() { return reinterpret_cast<SDL_Rect**>(-1); }

TEST(SetupDialog, DefaultsPreselectTheLargestModeAndCopyEverythingBack) {
    Settings s;
    SetupDialog dialog(s);
    ModeList modes = desktop_modes();
    ASSERT_TRUE(dialog.init(modes.get()));
    EXPECT_EQ(dialog.combo_items(ID_RESOLUTION),
              (std::vector<std::string>{"640x480", "1024x768", "1280x720", "1920x1080"}));
    EXPECT_EQ(dialog.combo_selection(ID_RESOLUTION), 3);
    EXPECT_EQ(s.width, 1920);
    EXPECT_EQ(s.height, 1080);
    EXPECT_EQ(dialog.selected_text(ID_ANTIALIAS), "None");
    EXPECT_EQ(dialog.selected_text(ID_ASPECT), "16:9");
    EXPECT_TRUE(dialog.check_state(ID_FULLSCREEN));
    EXPECT_TRUE(dialog.check_state(ID_VSYNC));
    EXPECT_EQ(s.video_flags, SDL_FULLSCREEN_BIT);
    EXPECT_EQ(s.vsync, 1);
    EXPECT_EQ(s.aspect_num, 16);
    EXPECT_EQ(s.aspect_den, 9);
    EXPECT_EQ(s.antialias_samples, 0);
    EXPECT_FALSE(s.sync_client);
    EXPECT_FALSE(s.capture);
}

TEST(SetupDialog, ConfiguredSizeInTheListIsPreselected) {
    Settings s;
    s.width = 1024;
    s.height = 768;
    SetupDialog dialog(s);
    ModeList modes = desktop_modes();
    dialog.init(modes.get());
    EXPECT_EQ(dialog.selected_text(ID_RESOLUTION), "1024x768");
    EXPECT_EQ(s.width, 1024);
}

TEST(SetupDialog, LaterMatchReplacesAnEarlierOne) {
    Settings s;
    s.width = 800;
    s.height = 600;
    SetupDialog dialog(s);
    ModeList modes({{800, 600}, {1024, 768}, {800, 600}});
    dialog.init(modes.get());
    // Walked last to first, the second match is the mode SDL listed first.
    EXPECT_EQ(dialog.combo_selection(ID_RESOLUTION), 2);
}

TEST(SetupDialog, SizeNotInTheListFallsBackToTheSmallestMode) {
    Settings s;
    s.width = 999;
    s.height = 555;
    SetupDialog dialog(s);
    ModeList modes = desktop_modes();
    dialog.init(modes.get());
    EXPECT_EQ(dialog.combo_selection(ID_RESOLUTION), 0);
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.height, 480);

    Settings half;
    half.width = 999;  // height still -1: the largest mode
    SetupDialog other(half);
    other.init(modes.get());
    EXPECT_EQ(other.selected_text(ID_RESOLUTION), "1920x1080");
}

TEST(SetupDialog, AnySizeUsesTheFallbackList) {
    Settings s;
    s.width = 1280;
    s.height = 1024;
    SetupDialog dialog(s);
    ASSERT_TRUE(dialog.init(any_size()));
    EXPECT_EQ(dialog.combo_items(ID_RESOLUTION), fallback_resolutions());
    ASSERT_EQ(fallback_resolutions().size(), 13u);
    EXPECT_EQ(dialog.combo_selection(ID_RESOLUTION), 0);
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.height, 480);
}

TEST(SetupDialog, NoModesLeavesEverythingEmptyAndSettingsUntouched) {
    Settings s;
    s.antialias_samples = 6;
    SetupDialog dialog(s);
    EXPECT_FALSE(dialog.init(nullptr));
    EXPECT_TRUE(dialog.combo_items(ID_RESOLUTION).empty());
    EXPECT_TRUE(dialog.combo_items(ID_ANTIALIAS).empty());
    EXPECT_FALSE(dialog.check_state(ID_FULLSCREEN));
    EXPECT_EQ(s.width, -1);
    EXPECT_EQ(s.antialias_samples, 6);
    EXPECT_EQ(s.video_flags, SDL_FULLSCREEN_BIT);
    // Selecting in an empty list changes nothing either.
    dialog.select(ID_RESOLUTION, 0);
    dialog.command(ID_RESOLUTION, CBN_SELENDOK);
    EXPECT_EQ(s.width, -1);
}

TEST(SetupDialog, AntialiasPreselection) {
    const std::pair<int, const char*> cases[] = {
        {0, "None"}, {2, "2x"}, {4, "4x"}, {8, "8x"}, {16, "16x"}, {6, "None"}, {-3, "None"}};
    for (auto [samples, shown] : cases) {
        Settings s;
        s.antialias_samples = samples;
        SetupDialog dialog(s);
        dialog.init(any_size());
        EXPECT_EQ(dialog.selected_text(ID_ANTIALIAS), shown) << samples;
        EXPECT_EQ(s.antialias_samples, samples == 6 || samples == -3 ? 0 : samples);
    }
}

TEST(SetupDialog, AspectPreselection) {
    const struct { int num, den; const char* shown; } cases[] = {
        {4, 3, "4:3"}, {16, 9, "16:9"}, {16, 10, "16:10"}, {21, 9, "16:9"}, {5, 4, "16:9"}};
    for (const auto& c : cases) {
        Settings s;
        s.aspect_num = c.num;
        s.aspect_den = c.den;
        SetupDialog dialog(s);
        dialog.init(any_size());
        EXPECT_EQ(dialog.selected_text(ID_ASPECT), c.shown);
    }
}

TEST(SetupDialog, UserChoicesReachSettings) {
    Settings s;
    SetupDialog dialog(s);
    ModeList modes = desktop_modes();
    dialog.init(modes.get());

    dialog.select(ID_RESOLUTION, 1);
    EXPECT_EQ(dialog.command(ID_RESOLUTION, CBN_SELENDOK), 0);
    EXPECT_EQ(s.width, 1024);
    EXPECT_EQ(s.height, 768);
    // Other combo-box notifications do not copy.
    dialog.select(ID_RESOLUTION, 0);
    dialog.command(ID_RESOLUTION, 1);
    EXPECT_EQ(s.width, 1024);

    dialog.select(ID_ANTIALIAS, 4);
    dialog.command(ID_ANTIALIAS, CBN_SELENDOK);
    EXPECT_EQ(s.antialias_samples, 16);

    dialog.select(ID_ASPECT, 2);
    dialog.command(ID_ASPECT, CBN_SELENDOK);
    EXPECT_EQ(s.aspect_num, 16);
    EXPECT_EQ(s.aspect_den, 10);

    dialog.set_check(ID_VSYNC, false);
    dialog.command(ID_VSYNC, BN_CLICKED);
    EXPECT_EQ(s.vsync, 0);
}

TEST(SetupDialog, FullscreenUncheckClearsTheWholeWordCheckSetsOnlyBit31) {
    Settings s;
    s.video_flags = SDL_FULLSCREEN_BIT | 0x10;
    SetupDialog dialog(s);
    dialog.init(any_size());
    EXPECT_EQ(s.video_flags, SDL_FULLSCREEN_BIT | 0x10);
    dialog.set_check(ID_FULLSCREEN, false);
    dialog.command(ID_FULLSCREEN, BN_CLICKED);
    EXPECT_EQ(s.video_flags, 0u);
    dialog.set_check(ID_FULLSCREEN, true);
    dialog.command(ID_FULLSCREEN, BN_CLICKED);
    EXPECT_EQ(s.video_flags, SDL_FULLSCREEN_BIT);
}

TEST(SetupDialog, ButtonsEndTheDialogWithTheirIds) {
    Settings s;
    SetupDialog dialog(s);
    dialog.init(any_size());
    EXPECT_EQ(dialog.command(ID_RUN, BN_CLICKED), 1);
    EXPECT_EQ(dialog.command(ID_QUIT, BN_CLICKED), 2);
    EXPECT_FALSE(s.capture);
    EXPECT_EQ(dialog.command(ID_GET_AVI, BN_CLICKED), 106);
    EXPECT_TRUE(s.capture);
    s.sync_client = true;
    EXPECT_EQ(dialog.command(ID_SYNC_CLIENT, BN_CLICKED), 0);
    EXPECT_FALSE(s.sync_client);
    EXPECT_EQ(dialog.command(999, BN_CLICKED), 0);
}

TEST(SetupDialog, GetMp3ExportsFromTheArchiveEachTimeAndStaysOpen) {
    char folder[] = "/tmp/zorvane-dialog-test-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string archive = std::string(folder) + "/music.zqf";
    write_test_archive(archive, {{"data/common/music/track.mp3", "ID3"}, {"data/x.ogg", "OggS"}});
    char previous[4096];
    ASSERT_EQ(getcwd(previous, sizeof previous), previous);
    ASSERT_EQ(chdir(folder), 0);

    Settings s;
    s.data_file_name = archive;
    SetupDialog dialog(s);
    dialog.init(any_size());
    reset_datafile();
    testing::internal::CaptureStderr();
    EXPECT_EQ(dialog.command(ID_GET_MP3, BN_CLICKED), 0);
    EXPECT_EQ(dialog.command(ID_GET_MP3, BN_CLICKED), 0);
    std::string boxes = testing::internal::GetCapturedStderr();
    EXPECT_EQ(get_datafile_mode(), DATAFILE_MODE_READ);
    const std::string box = "Success: Successfully exported track.mp3 to the current folder\n";
    EXPECT_EQ(boxes, box + box);
    EXPECT_EQ(access("track.mp3", F_OK), 0);
    reset_datafile();
    ASSERT_EQ(chdir(previous), 0);
    ASSERT_EQ(system((std::string("rm -rf ") + folder).c_str()), 0);
}

TEST(SetupDialog, AspectOptionTexts) {
    Settings s;
    apply_aspect_option("4:3", s);
    EXPECT_EQ(s.aspect_num * 100 + s.aspect_den, 403);
    apply_aspect_option("16:10", s);
    EXPECT_EQ(s.aspect_num * 100 + s.aspect_den, 1610);
    EXPECT_EQ(fatal_message_of([&] { apply_aspect_option("21:9", s); }),
              "Unrecognized aspect ratio option 21:9!");
    EXPECT_EQ(fatal_message_of([&] { apply_aspect_option("", s); }),
              "Unrecognized aspect ratio option !");
}

TEST(SetupDialogDeathTest, UnknownAspectIsFatal) {
    Settings s;
    EXPECT_EXIT(apply_aspect_option("2.35:1", s), ::testing::ExitedWithCode(1),
                literal_regex("Error in file src/main/setup_dialog:") + "[0-9]+" +
                    literal_regex("\n\nUnrecognized aspect ratio option 2.35:1!"));
}

}  // namespace
