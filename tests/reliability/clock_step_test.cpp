// The wall clock stepped an hour forward and an hour back under each running
// program (libfaketime re-reading its offset file on every clock call). The
// frame after a step must carry the whole step in its delta and apply it
// unchanged, and the frame after that must be normal again.

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <string>
#include <vector>

#include "gtest_harness.h"

using namespace harness;

namespace {

const double hour = 3600.0;
// Longer than any frame on a busy machine (stretched on a slow one, like
// every wait), far shorter than a step.
const double normalFrame = 5.0 * TEST_TIME_SCALE;

bool isNormal(double delta) { return delta >= 0.0 && delta < normalFrame; }

// quenzel turns 5 degrees per second of delta, then drops back by one 360
// when past 360; nothing wraps a negative angle. Record j + 1 holds the angle
// turned by record j's delta.
double nextAngle(double angle, double delta)
{
    const double turned = 5.0 * delta + angle;
    return turned > 360.0 ? turned - 360.0 : turned;
}

class ClockSteps : public testing::TestWithParam<Subject> {};

TEST_P(ClockSteps, HourForwardAndBackPassThroughWhole)
{
    const Subject& s = GetParam();
    ClockFile clock("+0");
    LaunchOptions options{clock.env(), {}};
    options.unbuffered = true;
    Program p(s.path, options);
    ASSERT_TRUE(p.waitForWindow(s.caption, 30s));

    if (s.kind == Kind::Quenzel) {
        // Small, so the fifty or so frames it takes to come back under 360 pass quickly.
        p.resize(100, 60);
    }
    if (s.kind == Kind::Mobrix) {
        // D held through both steps: the block moves right between them.
        p.keyDown(XK_d);
    }
    ASSERT_TRUE(waitForRecords(p, 10, 30s));

    // quenzel needs fifty frames after +1 h to come back under 360 degrees.
    clock.set("+1h");
    ASSERT_TRUE(waitForRecords(p, s.kind == Kind::Quenzel ? 80 : 20, 60s));
    clock.set("+0");
    ASSERT_TRUE(waitForRecords(p, 20, 60s));
    if (s.kind == Kind::Mobrix) {
        p.keyUp(XK_d);
    }

    p.closeWindow();
    const std::vector<Record> r = expectCleanEnd(p, s, "the window was closed", 30s);

    // Find the two steps by their deltas; every other frame is normal.
    std::vector<std::size_t> forward, back;
    for (std::size_t j = 1; j < r.size(); ++j) {
        if (r[j].delta() > hour / 2) {
            forward.push_back(j);
        } else if (r[j].delta() < -hour / 2) {
            back.push_back(j);
        } else {
            EXPECT_TRUE(isNormal(r[j].delta())) << "record " << j << ": delta " << r[j].delta();
        }
    }
    ASSERT_EQ(forward.size(), 1u) << "frames carrying the step forward";
    ASSERT_EQ(back.size(), 1u) << "frames carrying the step back";
    const std::size_t f = forward[0];
    const std::size_t b = back[0];
    ASSERT_LT(f, b);
    ASSERT_LT(b + 1, r.size());
    std::cout << "[ steps    ] " << s.name << ": +1 h at record " << f << " (delta " << r[f].delta() << "), -1 h at "
              << b << " (delta " << r[b].delta() << ") of " << r.size() << "\n";

    // The whole step, plus at most one frame.
    EXPECT_GE(r[f].delta(), hour);
    EXPECT_LT(r[f].delta(), hour + normalFrame);
    EXPECT_GE(r[b].delta(), -hour);
    EXPECT_LT(r[b].delta(), -hour + normalFrame);
    EXPECT_TRUE(isNormal(r[f + 1].delta())) << r[f + 1].delta();
    EXPECT_TRUE(isNormal(r[b + 1].delta())) << r[b + 1].delta();

    if (s.kind == Kind::Mobrix) {
        // A step of 360,000 px either way is refused whole: the frame leaves
        // the block where it was, and the next frame moves it on as usual.
        for (std::size_t j : {f, b}) {
            for (std::size_t i = 1; i < 5; ++i) {
                EXPECT_EQ(r[j].values[i], r[j - 1].values[i]) << "record " << j << " field " << i;
            }
            EXPECT_NEAR(r[j + 1].values[1] - r[j].values[1], 100.0 * r[j + 1].delta(), 2e-6)
                << "the frame after the step at record " << j;
            EXPECT_LE(r[j].values[1] + r[j].values[3], 1000.0);
        }
    }

    if (s.kind == Kind::Quenzel) {
        // Every angle follows from the one before, wrapping included.
        for (std::size_t j = 0; j + 1 < r.size(); ++j) {
            ASSERT_NEAR(r[j + 1].values[1], nextAngle(r[j].values[1], r[j].delta()), 1e-6) << "record " << j + 1;
        }
        // Forward: up by 18,000 and one 360 off, then one 360 off per frame
        // until the angle is under 360 again, before the step back.
        EXPECT_GT(r[f + 1].values[1], 5.0 * hour - 360.0);
        std::size_t j = f + 1;
        while (j < b && r[j].values[1] > 360.0) {
            ++j;
        }
        EXPECT_LT(j, b) << "the angle never came back under 360";
        EXPECT_GE(j - (f + 1), 49u) << "frames to come back under 360";
        EXPECT_LE(j - (f + 1), 50u) << "frames to come back under 360";
        // Back: down by 18,000 and left negative from then on.
        EXPECT_LT(r[b + 1].values[1], -5.0 * hour + 360.0);
        for (std::size_t k = b + 1; k < r.size(); ++k) {
            ASSERT_LT(r[k].values[1], 0.0) << "record " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Programs, ClockSteps, testing::Values(dravin, mobrix, quenzel), subjectName);

}  // namespace
