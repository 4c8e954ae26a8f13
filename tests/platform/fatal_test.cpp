#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "platform/ui.h"
#include "test_support.h"

namespace {

TEST(FatalReport, CaptionNamesTheSourceWithoutExtensionAndTheTextRepeatsIt) {
    ThrowOnFatal guard;
    try {
        fatal_report("src/util/data/data.cpp", 42, "Failed to read %d bytes from %s", 7, "x.zqf");
        FAIL() << "fatal_report returned";
    } catch (const FatalError& e) {
        EXPECT_EQ(e.report.caption, "Error in file src/util/data/data:42");
        EXPECT_EQ(e.report.message, "Failed to read 7 bytes from x.zqf");
        EXPECT_EQ(e.report.text,
                  "Error in file src/util/data/data:42\n\nFailed to read 7 bytes from x.zqf");
    }
}

TEST(FatalReport, SourcePathIsRepositoryRelative) {
    // The build maps the source root away, so __FILE__ of this very test is relative.
    EXPECT_EQ(fatal_source_path(__FILE__), "tests/platform/fatal_test");
    EXPECT_EQ(fatal_source_path("./src/main/main.cpp"), "src/main/main");
    EXPECT_EQ(fatal_source_path("src/util/math/vec.h"), "src/util/math/vec");
    EXPECT_EQ(fatal_source_path("src/dir.d/noext"), "src/dir.d/noext");
}

TEST(FatalReport, LocationOnlyVariant) {
    ThrowOnFatal guard;
    try {
        fatal_location("src/util/music/midi.cpp", 17);
        FAIL();
    } catch (const FatalError& e) {
        EXPECT_EQ(e.report.caption, "Error");
        EXPECT_EQ(e.report.text, "Error in file src/util/music/midi:17\n");
    }
}

TEST(FatalReport, MessageIsNotReinterpretedAsFormat) {
    EXPECT_EQ(fatal_message_of([] { ZV_FATAL("%s", "100% sure %d"); }), "100% sure %d");
}

TEST(FatalReport, ACaughtReportIsAFailureAndTheHandlerComesBack) {
    ThrowOnFatal outer;
    std::string message;
    EXPECT_FALSE(run_catching_fatal([] { ZV_FATAL("Failed to load texture %s", "x.png"); }, message));
    EXPECT_EQ(message, "Failed to load texture x.png");
    EXPECT_TRUE(run_catching_fatal([] {}, message));
    // The handler that was there before takes the next report.
    EXPECT_THROW(ZV_FATAL("later"), FatalError);
}

TEST(Assertions, MessageForms) {
    int pos = 3, buffer_size = 7;
    EXPECT_EQ(fatal_message_of([&] { ZV_ASSERT_CMP(pos, ==, buffer_size); }),
              "Failed assert pos == buffer_size\n pos is 3\n buffer_size is 7");
    const int DATAFILE_MODE_READ = 1;
    int mode = 2;
    EXPECT_EQ(fatal_message_of([&] { ZV_ASSERT_CMP(DATAFILE_MODE_READ, ==, mode); }),
              "Failed assert DATAFILE_MODE_READ == mode\n DATAFILE_MODE_READ is 1\n mode is 2");
    float ratio = 0.25f;
    double limit = 1e-7;
    EXPECT_EQ(fatal_message_of([&] { ZV_ASSERT_CMP(ratio, <, limit); }),
              "Failed assert ratio < limit\n ratio is 0.25\n limit is 1e-07");
    bool tex_loading = false;
    EXPECT_EQ(fatal_message_of([&] { ZV_ASSERT(tex_loading); }), "Failed assert tex_loading");
    bool left = true, right = false;
    EXPECT_EQ(fatal_message_of([&] { ZV_ASSERT_CMP(left, ==, right); }),
              "Failed assert left == right\n left is true\n right is false");
    const char* tmpbuffer = nullptr;
    EXPECT_EQ(fatal_message_of([&] { ZV_ASSERT_NOT_NULL(tmpbuffer); }), "tmpbuffer is NULL");
    unsigned long long big = 18446744073709551615ull, zero = 0;
    long long small = -5, smaller = -6;
    EXPECT_EQ(fatal_message_of([&] { ZV_ASSERT_CMP(big, ==, zero); }),
              "Failed assert big == zero\n big is 18446744073709551615\n zero is 0");
    EXPECT_EQ(fatal_message_of([&] { ZV_ASSERT_CMP(small, <, smaller); }),
              "Failed assert small < smaller\n small is -5\n smaller is -6");
}

TEST(Assertions, PassingAssertionsSayNothingAndEvaluateOnce) {
    int calls = 0;
    auto next = [&] { return ++calls; };
    EXPECT_EQ(fatal_message_of([&] {
                  ZV_ASSERT_CMP(next(), ==, 1);
                  ZV_ASSERT(calls == 1);
                  ZV_ASSERT_NOT_NULL(&calls);
              }),
              "");
    EXPECT_EQ(calls, 1);
}

// Converted to one type, -1 would equal the largest size and exceed every other; and a NaN
// is neither at least nor at most anything.
TEST(Assertions, IntegersCompareByValueWhateverTheirSignednessAndFloatsAsTheyAre) {
    const size_t size = 2, largest = SIZE_MAX;
    const int minus_one = -1;
    EXPECT_EQ(fatal_message_of([&] {
                  ZV_ASSERT_CMP(minus_one, <, size);
                  ZV_ASSERT_CMP(size, >=, minus_one);
                  ZV_ASSERT_CMP(minus_one, !=, largest);
                  ZV_ASSERT_CMP(2, ==, size);
              }),
              "");
    EXPECT_EQ(fatal_message_of([&] { ZV_ASSERT_CMP(size, <, minus_one); }),
              "Failed assert size < minus_one\n size is 2\n minus_one is -1");
    EXPECT_EQ(fatal_message_of([&] { ZV_ASSERT_CMP(largest, ==, minus_one); }),
              "Failed assert largest == minus_one\n largest is 18446744073709551615\n minus_one is -1");
    const float nan = std::nanf("");
    EXPECT_EQ(fatal_message_of([&] { ZV_ASSERT_CMP(nan, >=, 0); }), "Failed assert nan >= 0\n nan is nan\n 0 is 0");
    EXPECT_EQ(fatal_message_of([&] { ZV_ASSERT_CMP(nan, <=, 1.0f); }),
              "Failed assert nan <= 1.0f\n nan is nan\n 1.0f is 1");
}

// ---- the whole report path, as a user sees it in batch mode ---------------------------------

using FatalDeathTest = ::testing::Test;

TEST(FatalDeathTest, BatchModeWritesTheCaptionOnceAndExitsOne) {
    setenv("ZORVANE_BATCH", "1", 1);
    reset_batch_mode();
    EXPECT_EXIT(fatal_report("src/main/main.cpp", 5, "Video mode set failed: %s", "no mode"),
                ::testing::ExitedWithCode(1),
                "^" + literal_regex("Error in file src/main/main:5\n\nVideo mode set failed: no mode\n") +
                    "$");
    EXPECT_EXIT(fatal_location("src/effects/effect/effect.cpp", 9), ::testing::ExitedWithCode(1),
                literal_regex("Error: Error in file src/effects/effect/effect:9\n"));
}

TEST(FatalDeathTest, HandlerThatReturnsStillEnds) {
    setenv("ZORVANE_BATCH", "1", 1);
    reset_batch_mode();
    EXPECT_EXIT(
        {
            set_fatal_handler([](const FatalReport&) {});
            ZV_FATAL("still fatal");
        },
        ::testing::ExitedWithCode(1), "still fatal");
}

TEST(MessageBox, BatchModeAnswersOkAndKeepsNewlines) {
    setenv("ZORVANE_BATCH", "1", 1);
    reset_batch_mode();
    ASSERT_TRUE(is_batch_mode());
    testing::internal::CaptureStderr();
    int answer = message_box("Missing extension(s)", "line one\nline two",
                             MessageBoxButtons::OkCancel, MessageBoxIcon::Question);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Missing extension(s): line one\nline two\n");
    EXPECT_EQ(answer, MESSAGE_BOX_OK);
}

TEST(MessageBox, NoDisplayMeansBatchMode) {
    setenv("ZORVANE_BATCH", "0", 1);
    const char* display = getenv("DISPLAY");
    std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    reset_batch_mode();
    EXPECT_TRUE(is_batch_mode());
    if (display) setenv("DISPLAY", saved.c_str(), 1);
    setenv("ZORVANE_BATCH", "1", 1);
    reset_batch_mode();
}

}  // namespace
