// quenzel end to end: the real program on a private X server or as a client
// of a Wayland compositor. Under a frozen
// wall clock its seed and angle are known, so the picture on screen can be
// checked pixel by pixel; with the real clock its status line shows how fast
// the flag turns; each way of quitting must end it cleanly.

#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "gtest_harness.h"
#include "pictures.h"

using namespace harness;

namespace {

// "" when the capture is the flag at the given size and angle for the
// stopped clock's seed, else the first fault.
std::string flagFault(const Image& image, int w, int h, double angle)
{
    if (image.width != w || image.height != h) {
        return "window is " + std::to_string(image.width) + " x " + std::to_string(image.height);
    }
    return compareFlag(image, frozenClockSeed(), angle);
}

void expectFlag(Program& program, int w, int h, double angle = 0.0)
{
    const auto [image, matched] =
        program.waitForPicture([&](const Image& im) { return flagFault(im, w, h, angle).empty(); });
    EXPECT_TRUE(matched) << "at " << w << " x " << h << ": " << flagFault(image, w, h, angle);
}

struct Status {
    double delta;
    double rotation;
};

std::vector<Status> statusOf(const std::vector<Record>& records)
{
    std::vector<Status> values;
    for (const Record& r : records) {
        values.push_back({r.values[0], r.values[1]});
    }
    EXPECT_FALSE(values.empty());
    return values;
}

class QuenzelEndToEnd : public SessionTest {};

}  // namespace

// A stopped clock: every delta is 0, so the angle stays 0 and the seed is
// known. The window shows exactly the expected flag, before and after a
// resize. Then the clock moves on 72 s at once: the frame that measures it
// was still drawn at 0 (each frame turns by the delta of the one before),
// and every later one at exactly 360, which is not wrapped. Escape ends it.
TEST_P(QuenzelEndToEnd, StoppedClockShowsTheExpectedFlag)
{
    ClockFile clock(stoppedAt(0ms));
    Program program(quenzel.path, on({clock.env(), {}}));
    ASSERT_TRUE(program.waitForWindow(quenzel.caption));
    if (onX11()) {  // elsewhere, the resize below shows it
        EXPECT_TRUE(program.resizable());
    }
    expectFlag(program, 500, 300);

    // Bounds that truncate: 333 / 5 = 66 and 211 / 3 = 70.
    program.resize(333, 211);
    expectFlag(program, 333, 211);
    clock.set(stoppedAt(72s));
    expectFlag(program, 333, 211, 360.0);

    program.tapKey(XK_Escape);
    const std::vector<Status> values = statusOf(expectCleanEnd(program, quenzel, "Escape"));
    EXPECT_GE(values.size(), 2u);
    int steps = 0;
    for (const Status& s : values) {
        EXPECT_EQ(s.rotation, steps == 0 ? 0.0 : 360.0) << "after " << steps << " steps of the clock";
        if (s.delta != 0.0) {
            EXPECT_EQ(s.delta, 72.0);
            ++steps;
        }
    }
    EXPECT_EQ(steps, 1);
}

// Real clock: the angle grows by 5 degrees per measured second. Each frame's
// rotation is 5 times the sum of the deltas printed before it (the first frame
// is drawn at 0), and the measured seconds are wall-clock seconds.
TEST_P(QuenzelEndToEnd, RotationFollowsTheWallClockAndQEndsIt)
{
    const auto started = std::chrono::steady_clock::now();
    Program program(quenzel.path, on());
    ASSERT_TRUE(program.waitForWindow(quenzel.caption));
    // Let it turn for a while, then quit with Q, which ends it as it goes down.
    ASSERT_FALSE(waitUntil([&] { return !program.running(); }, 4s)) << "ended by itself";
    program.keyDown(XK_q);
    const bool endedWhileHeld = program.waitExit().has_value();
    program.keyUp(XK_q);
    EXPECT_TRUE(endedWhileHeld) << "still running with Q held down";
    const std::chrono::duration<double> lifetime = std::chrono::steady_clock::now() - started;
    const std::vector<Status> values = statusOf(expectCleanEnd(program, quenzel, "Q"));
    ASSERT_GE(values.size(), 3u);
    EXPECT_EQ(values.front().rotation, 0.0) << "the first frame is drawn at angle 0";
    double measured = 0.0;  // seconds of all deltas printed so far
    for (std::size_t i = 0; i < values.size(); ++i) {
        // Printed with 8 decimals: allow their rounding, summed over the frames.
        EXPECT_NEAR(values[i].rotation, 5.0 * measured, 1e-7 * static_cast<double>(i + 1)) << "frame " << i;
        EXPECT_GT(values[i].delta, 0.0) << "frame " << i;
        measured += values[i].delta;
    }

    // The deltas cover the run from program load to the last frame's end,
    // so they add up to a little less than the lifetime seen from here.
    EXPECT_LE(measured, lifetime.count());
    EXPECT_GT(measured, 0.5 * lifetime.count());
    const double degreesPerSecond = 5.0 * measured / lifetime.count();
    std::printf("turned %.3f degrees per wall-clock second over %.2f s, %zu frames\n", degreesPerSecond,
                lifetime.count(), values.size());
    EXPECT_GT(degreesPerSecond, 3.0);
    EXPECT_LT(degreesPerSecond, 7.0);
}

// The window manager's close button and a plain kill end it like Q does:
// status 0, and a newline after the last status record. Under a stopped
// clock the flag it showed is known.
TEST_P(QuenzelEndToEnd, CloseAndTerminateEndCleanly)
{
    struct Ending {
        const char* name;
        std::function<void(Program&)> act;
    };
    const Ending endings[] = {
        {"the window closed", [](Program& p) { p.closeWindow(); }},
        {"SIGTERM", [](Program& p) { p.sendSignal(SIGTERM); }},
    };
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.name);
        Program program(quenzel.path, on({frozenClockEnv(flagClockTime), {}}));
        ASSERT_TRUE(program.waitForWindow(quenzel.caption));
        expectFlag(program, 500, 300);
        ending.act(program);
        EXPECT_GE(expectCleanEnd(program, quenzel, ending.name).size(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(X11, QuenzelEndToEnd, testing::Values(Session::X11));
INSTANTIATE_TEST_SUITE_P(Wayland, QuenzelEndToEnd, testing::Values(Session::Wayland));
INSTANTIATE_TEST_SUITE_P(XWayland, QuenzelEndToEnd, testing::Values(Session::XWayland));
