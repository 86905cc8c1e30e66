// The progress line under the bars and on the terminal.

#include <gtest/gtest.h>

#include "transfer/CProgressLine.h"

namespace {

using std::chrono::milliseconds;
using tvx::CProgressLine;

TEST(ProgressLine, SaysDoneTotalPercentRateAndTimeLeft) {
    const auto t0 = CProgressLine::Clock::time_point{} + std::chrono::hours(1);
    const struct {
        std::int64_t start;  // resumed from
        int ms;              // when the line is asked for
        std::int64_t done, total;
        const char* text;
    } cases[] = {
        {0, 1000, 512 * 1024, 2048 * 1024, "512.0 KB of 2.0 MB  25%  512.0 KB/s  0:03 left"},
        // Resumed bytes are no speed.
        {1000000, 2000, 1000000 + 2048, 9000000, "978.6 KB of 8.6 MB  11%  1.0 KB/s  2:10:11 left"},
        {0, 1000, 0, 5000, "0 B of 4.9 KB  0%  0 B/s  --:-- left"},
        {0, 500, 4000, 4000, "3.9 KB of 3.9 KB  100%  7.8 KB/s"},
        {0, 1000, 3LL << 30, 5LL << 30, "3.0 GB of 5.0 GB  60%  3.0 GB/s  0:01 left"},
    };
    for (const auto& c : cases) {
        CProgressLine line;
        line.Start(c.start, t0);
        EXPECT_EQ(line.Text(c.done, c.total, t0 + milliseconds(c.ms)), c.text);
    }
}

TEST(ProgressLine, RateFollowsTheRecentPastAndRedrawsAFewTimesASecond) {
    const auto t0 = CProgressLine::Clock::time_point{} + std::chrono::hours(1);
    CProgressLine line;
    line.Start(0, t0);
    EXPECT_TRUE(line.Due(t0));
    line.Text(10'000'000, 20'000'000, t0 + milliseconds(1000));  // a fast start
    EXPECT_FALSE(line.Due(t0 + milliseconds(1100)));
    EXPECT_TRUE(line.Due(t0 + milliseconds(1250)));
    // Then it stalls: after the window only the stall counts.
    for (int s = 2; s <= 8; ++s)
        line.Text(10'000'000, 20'000'000, t0 + milliseconds(1000 * s));
    EXPECT_EQ(line.BytesPerSecond(), 0);
    EXPECT_EQ(CProgressLine::FormatDuration(59), "0:59");
    EXPECT_EQ(CProgressLine::FormatDuration(3600), "1:00:00");
}

}  // namespace
