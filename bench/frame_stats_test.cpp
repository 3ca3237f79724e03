// The frame-time arithmetic behind bench/frame_times.sh: reading the status
// streams of all three programs, cutting a run to a window of time, and the
// percentiles the tables report.

#include <gtest/gtest.h>

#include "frame_stats.h"

using namespace frametimes;

TEST(ParseDeltas, ReadsEachProgramsStatusFormat)
{
    // dravin, mobrix and quenzel, the last with the newline it prints on quitting.
    EXPECT_EQ(parseDeltas("\rdelta: 0.500000000\rdelta: 0.250000000"), (std::vector<double>{0.5, 0.25}));
    EXPECT_EQ(parseDeltas("\rdelta: 0.001000000   x: 12.000000   y: 0.000000   w: 20.000000   h: 20.000000"
                          "\rdelta: 0.002000000   x: 12.200000   y: 0.000000   w: 20.000000   h: 20.000000"),
              (std::vector<double>{0.001, 0.002}));
    EXPECT_EQ(parseDeltas("\rdelta: 0.12500000, \trotation: 0.00000000\rdelta: 0.06250000, \trotation: 0.62500000\n"),
              (std::vector<double>{0.125, 0.0625}));
}

TEST(ParseDeltas, RejectsStreamsThatAreNotStatusLines)
{
    EXPECT_FALSE(parseDeltas(""));
    EXPECT_FALSE(parseDeltas("delta: 0.5"));                       // no leading carriage return
    EXPECT_FALSE(parseDeltas("\rdelta: 0.5\rwarning: something"));  // a foreign record
    EXPECT_FALSE(parseDeltas("\rdelta: fast"));
    EXPECT_FALSE(parseDeltas("\rdelta: 0.5\rdelta: nan"));
}

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
