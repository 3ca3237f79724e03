#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

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

// The clock probe in a process of its own, so its load-time readings are
// fresh whatever ran before in this process. It prints its load-time state
// at once, then ticks once per tick() and prints the state again.
class Probe {
public:
    explicit Probe(const std::map<std::string, std::string>& env = {})
    {
        int toProbe[2], fromProbe[2];
        if (pipe(toProbe) != 0 || pipe(fromProbe) != 0) {
            ADD_FAILURE() << "pipe failed";
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            dup2(toProbe[0], STDIN_FILENO);
            dup2(fromProbe[1], STDOUT_FILENO);
            close_range(3, ~0U, 0);
            for (const auto& [name, value] : env) {
                setenv(name.c_str(), value.c_str(), 1);
            }
            execl(CLOCK_PROBE_PATH, CLOCK_PROBE_PATH, static_cast<char*>(nullptr));
            _exit(127);
        }
        close(toProbe[0]);
        close(fromProbe[1]);
        in_ = toProbe[1];
        out_ = fromProbe[0];
    }
    ~Probe()
    {
        close(in_);  // end of input ends the probe
        close(out_);
        if (pid_ > 0) {
            int status = 0;
            for (int i = 0; i < 500 && waitpid(pid_, &status, WNOHANG) == 0; ++i) {
                usleep(10 * 1000);
            }
            if (waitpid(pid_, &status, WNOHANG) == 0) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
            }
        }
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    // The next state line, waiting at most 10 s for it.
    ClockState read()
    {
        ClockState state;
        std::string line;
        char c = 0;
        pollfd ready{out_, POLLIN, 0};
        while (poll(&ready, 1, 10000) == 1 && ::read(out_, &c, 1) == 1 && c != '\n') {
            line += c;
        }
        std::istringstream fields(line);
        EXPECT_TRUE(fields >> state.oldNs >> state.newNs >> state.delta) << "probe wrote \"" << line << "\"";
        return state;
    }
    ClockState tick()
    {
        EXPECT_EQ(write(in_, "tick\n", 5), 5);
        return read();
    }

private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
};

}  // namespace

TEST(FrameClock, LoadTimeReadingsAndFirstTick)
{
    Probe probe;
    const ClockState load = probe.read();
    EXPECT_EQ(load.delta, 0.0);
    EXPECT_LE(load.oldNs, load.newNs) << "two separate readings, in order";
    EXPECT_LT(systemNow().count() - load.newNs, 60'000'000'000LL) << "readings come from the wall clock";
    EXPECT_GT(load.oldNs, 0);

    const nanoseconds before = systemNow();
    const ClockState first = probe.tick();
    const nanoseconds after = systemNow();

    EXPECT_EQ(first.oldNs, load.newNs) << "the first tick measures from the second load reading";
    EXPECT_GE(first.newNs, before.count());
    EXPECT_LE(first.newNs, after.count());
    EXPECT_EQ(first.delta, 1e-9 * static_cast<double>(first.newNs - first.oldNs));
    EXPECT_GT(first.delta, 0.0);
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

    ClockState ticks[6];
    {
        Probe probe({{"LD_PRELOAD", LIBFAKETIME_PATH},
                     {"FAKETIME_NO_CACHE", "1"},
                     {"FAKETIME_DONT_FAKE_MONOTONIC", "1"},
                     {"FAKETIME_TIMESTAMP_FILE", offsetFile}});
        probe.read();  // the load-time state
        const auto tick = [&] {
            usleep(100 * 1000);  // keeps the ticks apart in time
            return probe.tick();
        };
        ticks[0] = tick();  // from load to now, no step
        ticks[1] = tick();  // normal
        setOffset("-1h");
        ticks[2] = tick();  // carries the step back
        ticks[3] = tick();  // normal again
        setOffset("+1h");
        ticks[4] = tick();  // carries two hours forward
        ticks[5] = tick();  // normal again
    }
    std::remove(offsetFile.c_str());
    rmdir(dir);

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
