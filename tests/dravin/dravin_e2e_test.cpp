// dravin end to end: the real program on a private X server or as a client
// of a Wayland compositor, driven like a user would drive it, its picture
// read back from the screen.

#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "gtest_harness.h"
#include "pictures.h"

using namespace harness;

namespace {

bool showsFigure(const Image& image, int width, int height)
{
    return image.width == width && image.height == height && compareFigure(image).empty();
}

// Waits for the figure at the given size and reports the first fault if it never comes.
void expectFigure(Program& program, int width, int height)
{
    const auto [image, matched] =
        program.waitForPicture([&](const Image& im) { return showsFigure(im, width, height); });
    EXPECT_TRUE(matched) << "at " << width << " x " << height << ": "
                         << (image.width == width && image.height == height ? compareFigure(image)
                                                                             : "window is " + std::to_string(image.width) +
                                                                                   " x " + std::to_string(image.height));
}

// The program ends cleanly, with at least two records, the first measured
// from the start and every delta non-negative.
void expectCleanEndAfter(Program& program, const std::string& cause)
{
    const std::vector<Record> records = expectCleanEnd(program, dravin, cause);
    ASSERT_GE(records.size(), 2u);
    EXPECT_GT(records.front().delta(), 0.0) << "the first frame measures the time since the program started";
    for (const Record& r : records) {
        ASSERT_GE(r.delta(), 0.0) << "record at byte " << r.offset;
    }
}

class DravinEndToEnd : public SessionTest {};

}  // namespace

// A user's session: the figure at its opening size, keys that must do
// nothing, two resizes, then the window closed by the window manager.
TEST_P(DravinEndToEnd, FigureFollowsResizesAndCloseEndsTheProgram)
{
    Program program(dravin.path, on());
    ASSERT_TRUE(program.waitForWindow(dravin.caption));
    if (onX11()) {  // elsewhere, the resizes below show it
        EXPECT_TRUE(program.resizable());
    }
    expectFigure(program, 1000, 500);

    // Q and Escape are not quit keys here. The resize queued behind them is
    // drawn only after the program has handled them, so the redrawn figure
    // proves they were seen and ignored.
    for (unsigned long key : {XK_q, XK_Escape, XK_w, XK_1}) {
        program.tapKey(key);
    }
    program.resize(500, 300);
    expectFigure(program, 500, 300);
    ASSERT_TRUE(program.running()) << "a key ended the program";

    // Fractions that are not whole pixels truncate: left side at 99, right at 899.
    program.resize(999, 500);
    const auto [image, matched] = program.waitForPicture([](const Image& im) { return showsFigure(im, 999, 500); });
    ASSERT_TRUE(matched) << compareFigure(image);
    EXPECT_EQ(image.at(99, 250), green);
    EXPECT_EQ(image.at(899, 250), green);
    EXPECT_EQ(image.at(100, 250), black);
    EXPECT_EQ(image.at(900, 250), black);

    program.closeWindow();
    expectCleanEndAfter(program, "the window closed");
}

// Ctrl+C or a plain kill reaches SDL as a quit request: a normal end, status 0.
TEST_P(DravinEndToEnd, InterruptAndTerminateEndWithStatusZero)
{
    for (int signo : {SIGTERM, SIGINT}) {
        Program program(dravin.path, on());
        ASSERT_TRUE(program.waitForWindow(dravin.caption));
        expectFigure(program, 1000, 500);
        program.sendSignal(signo);
        expectCleanEndAfter(program, "signal " + std::to_string(signo));
    }
}

INSTANTIATE_TEST_SUITE_P(X11, DravinEndToEnd, testing::Values(Session::X11));
INSTANTIATE_TEST_SUITE_P(Wayland, DravinEndToEnd, testing::Values(Session::Wayland));
INSTANTIATE_TEST_SUITE_P(XWayland, DravinEndToEnd, testing::Values(Session::XWayland));
