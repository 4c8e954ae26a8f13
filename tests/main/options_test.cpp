#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "main/options.h"
#include "util/data/data.h"

namespace {

ParseResult parse(std::initializer_list<const char*> args, CommandLine& out, std::string& error) {
    std::vector<const char*> argv = {"zorvane"};
    argv.insert(argv.end(), args.begin(), args.end());
    return parse_command_line(static_cast<int>(argv.size()), argv.data(), out, error);
}

CommandLine parse_ok(std::initializer_list<const char*> args) {
    CommandLine out;
    std::string error;
    EXPECT_EQ(parse(args, out, error), ParseResult::Run) << error;
    return out;
}

TEST(CommandLine, NoArgumentsChangesNothing) {
    Settings s;
    RunOptions run;
    CommandLine o = parse_ok({});
    apply_before_dialog(o, s, run);
    apply_after_dialog(o, s);
    EXPECT_EQ(s.width, -1);
    EXPECT_EQ(s.video_flags, SDL_FULLSCREEN_BIT);
    EXPECT_EQ(s.data_file_name, "data.zqf");
    EXPECT_EQ(run.archive_mode, DATAFILE_MODE_READ);
    EXPECT_LT(run.until_seconds, 0);
    EXPECT_FALSE(o.no_dialog);
}

TEST(CommandLine, EveryOptionReachesItsSetting) {
    CommandLine o = parse_ok({"--no-dialog", "--size", "320x180", "--window", "--aspect=4:3",
                              "--aa", "8", "--vsync", "0", "--capture", "--sync-client",
                              "--archive-mode", "write", "--data", "other.zqf", "--pack-only",
                              "--from", "12.5", "--until=30"});
    Settings s;
    s.video_flags = SDL_FULLSCREEN_BIT | 0x2;
    RunOptions run;
    apply_before_dialog(o, s, run);
    EXPECT_EQ(s.data_file_name, "other.zqf");
    EXPECT_EQ(run.archive_mode, DATAFILE_MODE_WRITE);
    EXPECT_TRUE(run.pack_only);
    EXPECT_DOUBLE_EQ(run.from_seconds, 12.5);
    EXPECT_DOUBLE_EQ(run.until_seconds, 30.0);
    // Display options wait until after the dialog.
    EXPECT_EQ(s.width, -1);
    apply_after_dialog(o, s);
    EXPECT_TRUE(o.no_dialog);
    EXPECT_EQ(s.width, 320);
    EXPECT_EQ(s.height, 180);
    EXPECT_EQ(s.video_flags, 0x2u);  // --window clears only the full-screen bit
    EXPECT_EQ(s.aspect_num, 4);
    EXPECT_EQ(s.aspect_den, 3);
    EXPECT_EQ(s.antialias_samples, 8);
    EXPECT_EQ(s.vsync, 0);
    EXPECT_TRUE(s.capture);
    EXPECT_TRUE(s.sync_client);
}

TEST(CommandLine, LooseFilesAreWatchedUnlessTurnedOff) {
    auto run_of = [](std::initializer_list<const char*> args) {
        Settings s;
        RunOptions run;
        apply_before_dialog(parse_ok(args), s, run);
        return run;
    };
    RunOptions run = run_of({"--archive-mode", "loose", "--stats", "frames.csv", "--overlay"});
    EXPECT_TRUE(run.authoring);
    EXPECT_TRUE(run.watch);
    EXPECT_EQ(run.stats_file, "frames.csv");
    EXPECT_TRUE(run.overlay);
    EXPECT_FALSE(run_of({"--archive-mode", "loose", "--no-watch"}).watch);
    EXPECT_TRUE(run_of({"--archive-mode", "write"}).watch);
    EXPECT_FALSE(run_of({"--archive-mode", "write", "--pack-only"}).watch);
    run = run_of({});  // the archive: nothing to watch, and the keys leave the music alone
    EXPECT_FALSE(run.authoring);
    EXPECT_FALSE(run.watch);
    EXPECT_FALSE(run.overlay);
}

TEST(CommandLine, LastRepeatedValueWins) {
    Settings s;
    s.video_flags = 0;
    RunOptions run;
    CommandLine o = parse_ok({"--window", "--fullscreen", "--size=10x10", "--size", "20x30",
                              "--archive-mode", "loose", "--aspect", "16:10", "--aa", "16",
                              "--aa", "0"});
    apply_before_dialog(o, s, run);
    apply_after_dialog(o, s);
    EXPECT_EQ(s.video_flags, SDL_FULLSCREEN_BIT);
    EXPECT_EQ(s.width, 20);
    EXPECT_EQ(s.height, 30);
    EXPECT_EQ(run.archive_mode, DATAFILE_MODE_NONE);
    EXPECT_EQ(s.aspect_num, 16);
    EXPECT_EQ(s.aspect_den, 10);
    EXPECT_EQ(s.antialias_samples, 0);
}

TEST(CommandLine, SizeLimits) {
    parse_ok({"--size", "1x1"});
    parse_ok({"--size", "16384x16384"});
    CommandLine o;
    std::string error;
    for (const char* bad : {"0x10", "10x0", "16385x10", "10x16385", "10", "x10", "10x", "-5x10",
                            "10x10x", " 10x10", "10X10", "99999999999x1"}) {
        EXPECT_EQ(parse({"--size", bad}, o, error), ParseResult::Error) << bad;
        EXPECT_NE(error.find("--size"), std::string::npos);
    }
}

TEST(CommandLine, BadValuesAndArgumentsAreErrors) {
    CommandLine o;
    std::string error;
    const std::vector<std::vector<const char*>> bad = {
        {"positional"},   {"--bogus"},        {"--from", "-0.5"},  {"--from", "abc"},
        {"--until", "0"}, {"--until", "-1"},  {"--until", "nan"},  {"--until", "inf"},
        {"--aa", "6"},    {"--aa", "32"},     {"--vsync", "2"},    {"--aspect", "5:4"},
        {"--data="},      {"--archive-mode", "pack"}, {"--window=1"}, {"--size"},
        {"--pack-only"},  {"--pack-only", "--archive-mode", "read"}, {"-x"},
        // Only plain decimals: the C library would read these as 16 s, infinity or a huge value.
        {"--from", "0x10"}, {"--from", "infinity"}, {"--until", "1e999"}, {"--from", " 5"},
        {"--every", "0x1p0"}, {"--aa", "0x4"},
    };
    for (const auto& args : bad) {
        std::vector<const char*> argv = {"zorvane"};
        argv.insert(argv.end(), args.begin(), args.end());
        EXPECT_EQ(parse_command_line(static_cast<int>(argv.size()), argv.data(), o, error),
                  ParseResult::Error)
            << args[0];
        EXPECT_FALSE(error.empty());
    }
    parse_ok({"--from", "0"});
    EXPECT_EQ(parse_ok({"--from", "1.5e1"}).from_seconds, 15.0);
    parse_ok({"--pack-only", "--archive-mode", "write"});
    parse_ok({"--archive-mode=write", "--pack-only"});
}

TEST(CommandLine, StillsStepTheMusicAsACaptureDoesWithoutTheEditor) {
    CommandLine o = parse_ok({"--shots", "out/stills", "--every=2.5", "--from", "10"});
    Settings s;
    s.sync_client = true;  // as a dialog may have left it
    s.capture = false;
    RunOptions run;
    apply_before_dialog(o, s, run);
    EXPECT_EQ(run.shots_dir, "out/stills");
    EXPECT_DOUBLE_EQ(run.shots_every, 2.5);
    apply_after_dialog(o, s);
    EXPECT_TRUE(s.capture);
    EXPECT_FALSE(s.sync_client);

    std::string error;
    const std::vector<std::vector<const char*>> bad = {
        {"--shots", "dir"},          {"--every", "1"},
        {"--shots", "dir", "--every", "0"}, {"--shots", "dir", "--every", "-1"},
        {"--shots", "dir", "--every", "3601"}, {"--shots=", "--every", "1"},
        {"--shots", "dir", "--every", "1", "--capture"},
        {"--shots", "dir", "--every", "1", "--sync-client"},
        {"--shots", "dir", "--every", "1", "--archive-mode", "write", "--pack-only"},
    };
    for (const auto& args : bad) {
        std::vector<const char*> argv = {"zorvane"};
        argv.insert(argv.end(), args.begin(), args.end());
        CommandLine unused;
        EXPECT_EQ(parse_command_line(static_cast<int>(argv.size()), argv.data(), unused, error), ParseResult::Error)
            << args.size() << " arguments from " << args[0];
    }
}

TEST(CommandLine, CaptureFileTurnsCaptureOnAndItsEndingIsChecked) {
    CommandLine o = parse_ok({"--capture-file", "show.MP4", "--fps", "60", "--crf", "1"});
    Settings s;
    s.capture = false;
    RunOptions run;
    apply_before_dialog(o, s, run);
    apply_after_dialog(o, s);
    EXPECT_TRUE(s.capture);
    EXPECT_EQ(run.capture_file, "show.MP4");
    EXPECT_EQ(run.frames_per_second, 60);
    EXPECT_EQ(run.crf, 1);
    EXPECT_EQ(RunOptions().frames_per_second, 30);
    apply_before_dialog(parse_ok({"--capture", "--capture-size", "3840x2160", "--supersample", "4"}), s, run);
    EXPECT_EQ(run.capture_width, 3840);
    EXPECT_EQ(run.capture_height, 2160);
    EXPECT_EQ(run.supersample, 4);

    std::string error;
    const std::vector<std::vector<const char*>> bad = {
        {"--capture-file", "show.mov"}, {"--capture-file", ".mp4"}, {"--capture-file", "mkv"},
        {"--fps", "0"}, {"--fps", "241"}, {"--crf", "0"}, {"--crf", "52"},
        {"--capture-file", "a.avi", "--shots", "dir", "--every", "1"},
        {"--capture-file", "a.avi", "--sync-client"},
        {"--capture-size", "3840x2160"}, {"--capture", "--capture-size", "0x100"},
        {"--capture", "--supersample", "5"}, {"--supersample", "2"},
    };
    for (const auto& args : bad) {
        std::vector<const char*> argv = {"zorvane"};
        argv.insert(argv.end(), args.begin(), args.end());
        CommandLine unused;
        EXPECT_EQ(parse_command_line(static_cast<int>(argv.size()), argv.data(), unused, error), ParseResult::Error)
            << args[0] << " " << args[1];
    }
}

TEST(CommandLine, HelpAndVersion) {
    CommandLine o;
    std::string error;
    EXPECT_EQ(parse({"--help"}, o, error), ParseResult::Help);
    EXPECT_EQ(parse({"--size", "5x5", "--version"}, o, error), ParseResult::Version);
}

TEST(CommandLineDeathTest, UsageErrorsExitTwoWithUsageOnStderr) {
    const char* argv[] = {"zorvane", "--until", "0"};
    EXPECT_EXIT(parse_command_line_or_exit(3, argv), ::testing::ExitedWithCode(2),
                "usage: zorvane");
    const char* help[] = {"zorvane", "--help"};
    EXPECT_EXIT(parse_command_line_or_exit(2, help), ::testing::ExitedWithCode(0), "");
}

}  // namespace
