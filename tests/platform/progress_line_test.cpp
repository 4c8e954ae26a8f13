#include "platform/progress_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

std::string contents(FILE* f) {
    fflush(f);
    rewind(f);
    std::string text;
    int c;
    while ((c = fgetc(f)) != EOF) text += static_cast<char>(c);
    return text;
}

}  // namespace

TEST(ProgressLine, SaysFramesRateSpeedAndTimeLeft) {
    // 300 of 1200 frames at 30 a second in 20 s: 15 frames/s, half real time, 60 s to go.
    EXPECT_EQ(ProgressLine::describe(300, 1200, 30, 20.0),
              "300 of 1200 frames (25%), 15.0 frames/s, 0.50x real time, 1:00 left");
    EXPECT_EQ(ProgressLine::describe(0, 1200, 30, 0.0), "0 of 1200 frames (0%), 0.0 frames/s, 0.00x real time, --:-- left");
}

TEST(ProgressLine, RewritesOneLineOnATerminalAndPrintsTenthsOtherwise) {
    FILE* terminal = tmpfile();
    FILE* log = tmpfile();
    ASSERT_TRUE(terminal && log);
    {
        ProgressLine on_terminal(terminal, 1), in_log(log, 0);
        on_terminal.start(100, 30, 0.0);
        in_log.start(100, 30, 0.0);
        for (int done = 1; done <= 100; ++done) {
            on_terminal.update(done, done * 0.1);  // 10 frames a second
            in_log.update(done, done * 0.1);
        }
    }
    const std::string shown = contents(terminal);
    EXPECT_NE(shown.find("\r\033[K100 of 100 frames (100%), 10.0 frames/s"), std::string::npos);
    EXPECT_EQ(shown.back(), '\n');
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 1);
    const std::string logged = contents(log);
    EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 10);
    EXPECT_EQ(logged.find('\r'), std::string::npos);
    EXPECT_EQ(logged.substr(logged.rfind('\n', logged.size() - 2) + 1).rfind("100 of 100 frames (100%)", 0), 0u);
    fclose(terminal);
    fclose(log);
}
