#include <gtest/gtest.h>

#include "platform/clock.h"

namespace {

TEST(TimeStamp, EveryFieldZeroFilledWithTrailingBlank) {
    EXPECT_EQ(format_time_stamp({2012, 3, 9, 17, 5, 3, 42}), "2012-03-09 17:05:03:042 ");
    EXPECT_EQ(format_time_stamp({2012, 3, 4, 5, 6, 7, 89}), "2012-03-04 05:06:07:089 ");
    EXPECT_EQ(format_time_stamp({999, 12, 31, 23, 59, 59, 999}), "0999-12-31 23:59:59:999 ");
}

TEST(TimeStamp, NowHasTheFixedShape) {
    std::string stamp = time_stamp_now();
    ASSERT_EQ(stamp.size(), 24u);
    for (size_t i : {4u, 7u}) EXPECT_EQ(stamp[i], '-');
    EXPECT_EQ(stamp[10], ' ');
    for (size_t i : {13u, 16u, 19u}) EXPECT_EQ(stamp[i], ':');
    EXPECT_EQ(stamp[23], ' ');
}

TEST(LogLine, StampThenMessageThenNewline) {
    testing::internal::CaptureStdout();
    log_line("[DATA] Skipping duplicate entry for %s", "data/x");
    std::string out = testing::internal::GetCapturedStdout();
    ASSERT_GT(out.size(), 24u);
    EXPECT_EQ(out.substr(24), "[DATA] Skipping duplicate entry for data/x\n");
}

}  // namespace
