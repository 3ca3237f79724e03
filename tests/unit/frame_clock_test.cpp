#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "frame_clock.h"

using std::chrono::nanoseconds;

namespace {

nanoseconds systemNow()
{
    return std::chrono::duration_cast<nanoseconds>(std::chrono::system_clock::now().time_since_epoch());
}

struct ClockState {
    long long oldNs = 0;
    long long newNs = 0;
    double delta = -1.0;
};

// Runs the clock probe in a process of its own, so its load-time readings are
// fresh whatever ran before in this process, and returns the states it
// printed: at load, then after each tick (one per argument).
std::vector<ClockState> probe(const std::string& environment, const std::string& arguments)
{
    const std::string command = environment + " " CLOCK_PROBE_PATH " " + arguments;
    std::vector<ClockState> states;
    std::FILE* out = popen(command.c_str(), "r");
    ClockState s;
    while (out != nullptr && std::fscanf(out, "%lld %lld %lf", &s.oldNs, &s.newNs, &s.delta) == 3) {
        states.push_back(s);
    }
    EXPECT_TRUE(out != nullptr && pclose(out) == 0) << command;
    return states;
}

}  // namespace

TEST(FrameClock, LoadTimeReadingsAndFirstTick)
{
    const std::vector<ClockState> states = probe("", "-");
    ASSERT_EQ(states.size(), 2u);
    const ClockState& load = states[0];
    const ClockState& first = states[1];
    EXPECT_EQ(load.delta, 0.0);
    EXPECT_LE(load.oldNs, load.newNs) << "two separate readings, in order";
    EXPECT_LT(systemNow().count() - load.newNs, 60'000'000'000LL) << "readings come from the wall clock";
    EXPECT_GT(load.oldNs, 0);

    EXPECT_EQ(first.oldNs, load.newNs) << "the first tick measures from the second load reading";
    EXPECT_LE(first.newNs, systemNow().count());
    EXPECT_EQ(first.delta, 1e-9 * static_cast<double>(first.newNs - first.oldNs));
    EXPECT_GE(first.delta, 0.1) << "the probe waited 100 ms before the tick";
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
    const std::string clockFile = std::string(dir) + "/offset";
    std::ofstream(clockFile) << "+0\n";
    // Ticks 1, 3 and 5 are normal; 2 carries the step back, 4 two hours forward.
    const std::vector<ClockState> states =
        probe("LD_PRELOAD=" LIBFAKETIME_PATH " FAKETIME_NO_CACHE=1 FAKETIME_DONT_FAKE_MONOTONIC=1"
              " FAKETIME_TIMESTAMP_FILE=" + clockFile + " CLOCK_FILE=" + clockFile,
              "- - -1h - +1h -");
    std::remove(clockFile.c_str());
    rmdir(dir);
    ASSERT_EQ(states.size(), 7u);
    const ClockState* ticks = &states[1];

    for (int i = 0; i < 6; ++i) {
        if (i > 0) {
            EXPECT_EQ(ticks[i].oldNs, ticks[i - 1].newNs) << "tick " << i;
        }
        EXPECT_EQ(ticks[i].delta, 1e-9 * static_cast<double>(ticks[i].newNs - ticks[i].oldNs)) << "tick " << i;
    }
    for (int normal : {1, 3, 5}) {
        EXPECT_GE(ticks[normal].delta, 0.0) << "tick " << normal;
        EXPECT_LT(ticks[normal].delta, 5.0) << "tick " << normal;
    }
    EXPECT_LT(ticks[2].delta, -3600.0 + 5.0);
    EXPECT_GT(ticks[2].delta, -3600.0);
    EXPECT_GT(ticks[4].delta, 7200.0);
    EXPECT_LT(ticks[4].delta, 7200.0 + 5.0);
}
