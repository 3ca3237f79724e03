#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "frame_clock.h"

using std::chrono::nanoseconds;

namespace {

nanoseconds systemNow()
{
    return std::chrono::duration_cast<nanoseconds>(std::chrono::system_clock::now().time_since_epoch());
}

}  // namespace

// Declared first so it runs before any tick in this process.
TEST(FrameClock, LoadTimeReadingsAndFirstTick)
{
    const nanoseconds loadOld = CLOCK_OLD;
    const nanoseconds loadNew = CLOCK_NEW;
    const double loadDelta = CLOCK_DELTA;

    EXPECT_EQ(loadDelta, 0.0);
    EXPECT_LE(loadOld, loadNew) << "two separate readings, in order";
    EXPECT_LT(systemNow() - loadNew, std::chrono::seconds(60)) << "readings come from the wall clock";
    EXPECT_GT(loadOld.count(), 0);

    const nanoseconds before = systemNow();
    calcDeltaTime();
    const nanoseconds after = systemNow();

    EXPECT_EQ(CLOCK_OLD, loadNew) << "the first tick measures from the second load reading";
    EXPECT_GE(CLOCK_NEW, before);
    EXPECT_LE(CLOCK_NEW, after);
    EXPECT_EQ(CLOCK_DELTA, 1e-9 * static_cast<double>((CLOCK_NEW - CLOCK_OLD).count()));
    EXPECT_GT(CLOCK_DELTA, 0.0);
}

TEST(FrameClock, ConsecutiveTicksChainAndStaySmall)
{
    for (int i = 0; i < 1000; ++i) {
        const nanoseconds previousNew = CLOCK_NEW;
        calcDeltaTime();
        ASSERT_EQ(CLOCK_OLD, previousNew);
        ASSERT_GE(CLOCK_DELTA, 0.0);
        ASSERT_LT(CLOCK_DELTA, 1.0);
        // Exactly the product with 1e-9 (a division by 1e9 can differ in the last bit).
        ASSERT_EQ(CLOCK_DELTA, 1e-9 * static_cast<double>((CLOCK_NEW - CLOCK_OLD).count()));
    }
}

TEST(FrameClock, DeltaTracksElapsedWallTime)
{
    calcDeltaTime();
    usleep(50 * 1000);
    calcDeltaTime();
    EXPECT_GE(CLOCK_DELTA, 0.050);
    EXPECT_LT(CLOCK_DELTA, 2.0);
}

TEST(FrameClock, GetTimeIsTheWallClockInNanoseconds)
{
    const nanoseconds before = systemNow();
    const nanoseconds reading = getTime();
    const nanoseconds after = systemNow();
    EXPECT_GE(reading, before);
    EXPECT_LE(reading, after);
}

// Steps the wall clock under a running process (libfaketime reading its
// timestamp file on every call) and checks that the step passes through one
// delta whole, with the next delta normal again.
TEST(FrameClock, WallClockStepsPassThroughOneDelta)
{
    char dir[] = "/tmp/clockstepXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string offsetFile = std::string(dir) + "/offset";
    const auto setOffset = [&](const char* offset) {
        std::ofstream(offsetFile) << offset << "\n";
    };
    setOffset("+0");
    // A probe that dies early must fail the checks below, not kill this process.
    signal(SIGPIPE, SIG_IGN);

    const std::string command = std::string("LD_PRELOAD=") + LIBFAKETIME_PATH +
                                " FAKETIME_NO_CACHE=1 FAKETIME_DONT_FAKE_MONOTONIC=1 FAKETIME_TIMESTAMP_FILE=" +
                                offsetFile + " timeout 30 " + CLOCK_PROBE_PATH + " > " + dir + "/out";
    FILE* probe = popen(command.c_str(), "w");
    ASSERT_NE(probe, nullptr);
    const auto tick = [&] {
        std::fputs("tick\n", probe);
        std::fflush(probe);
        usleep(100 * 1000);  // the probe answers at once; this keeps the ticks apart in time
    };
    tick();                 // from load to now, no step
    tick();                 // normal
    setOffset("-1h");
    tick();                 // carries the step back
    tick();                 // normal again
    setOffset("+1h");
    tick();                 // carries two hours forward
    tick();                 // normal again
    ASSERT_EQ(pclose(probe), 0);

    std::ifstream out(std::string(dir) + "/out");
    long long oldNs = 0, newNs = 0, previousNew = 0;
    double delta = 0.0;
    double deltas[6];
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(out >> oldNs >> newNs >> delta) << "tick " << i;
        if (i > 0) {
            EXPECT_EQ(oldNs, previousNew);
        }
        EXPECT_EQ(delta, 1e-9 * static_cast<double>(newNs - oldNs));
        previousNew = newNs;
        deltas[i] = delta;
    }
    EXPECT_GE(deltas[1], 0.0);
    EXPECT_LT(deltas[1], 5.0);
    EXPECT_LT(deltas[2], -3600.0 + 5.0);
    EXPECT_GT(deltas[2], -3600.0);
    EXPECT_GE(deltas[3], 0.0);
    EXPECT_LT(deltas[3], 5.0);
    EXPECT_GT(deltas[4], 7200.0);
    EXPECT_LT(deltas[4], 7200.0 + 5.0);
    EXPECT_GE(deltas[5], 0.0);
    EXPECT_LT(deltas[5], 5.0);

    std::remove(offsetFile.c_str());
    std::remove((std::string(dir) + "/out").c_str());
    rmdir(dir);
}
