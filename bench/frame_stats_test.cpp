// The frame-time arithmetic behind bench/frame_times.sh: cutting a run to a
// window of time, and the percentiles the tables report. (The status streams
// are read by the harness's parser, tested with it.)

#include <gtest/gtest.h>

#include "frame_stats.h"

using namespace frametimes;

TEST(FramesBetween, KeepsOnlyFramesWhollyInsideTheWindow)
{
    // Frames run 0-0.5, 0.5-1.5, 1.5-3.5 and 3.5-7.5 seconds after load.
    const std::vector<double> deltas{0.5, 1.0, 2.0, 4.0};
    EXPECT_EQ(framesBetween(deltas, 0.5, 3.5), (std::vector<double>{1.0, 2.0}));  // bounds included
    EXPECT_EQ(framesBetween(deltas, 0.6, 7.5), (std::vector<double>{2.0, 4.0}));  // 0.5-1.5 began too early
    EXPECT_EQ(framesBetween(deltas, 0.0, 7.4), (std::vector<double>{0.5, 1.0, 2.0}));  // the last ends too late
    EXPECT_TRUE(framesBetween(deltas, 2.0, 3.0).empty());
}

TEST(Quantile, InterpolatesBetweenOrderStatistics)
{
    const std::vector<double> eleven{11, 1, 10, 2, 9, 3, 8, 4, 7, 5, 6};
    EXPECT_DOUBLE_EQ(quantile(eleven, 0.1), 2.0);
    EXPECT_DOUBLE_EQ(quantile(eleven, 0.5), 6.0);
    EXPECT_DOUBLE_EQ(quantile(eleven, 0.9), 10.0);
    EXPECT_DOUBLE_EQ(quantile({4, 1, 3, 2}, 0.5), 2.5);
    EXPECT_DOUBLE_EQ(quantile({0, 10}, 0.9), 9.0);
    EXPECT_DOUBLE_EQ(quantile({7}, 0.1), 7.0);
    EXPECT_DOUBLE_EQ(quantile({3, 1, 2}, 0.0), 1.0);
    EXPECT_DOUBLE_EQ(quantile({3, 1, 2}, 1.0), 3.0);
}

TEST(Summarise, GivesCountAndSpread)
{
    const Summary s = summarise({0.010, 0.030, 0.020, 0.050, 0.040});
    EXPECT_EQ(s.frames, 5u);
    EXPECT_DOUBLE_EQ(s.median, 0.030);
    EXPECT_DOUBLE_EQ(s.p10, 0.014);
    EXPECT_DOUBLE_EQ(s.p90, 0.046);

    const Summary none = summarise({});
    EXPECT_EQ(none.frames, 0u);
    EXPECT_EQ(none.median, 0.0);
}
