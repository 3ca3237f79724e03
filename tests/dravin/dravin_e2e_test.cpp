// dravin end to end: the real program in a private X server, driven like a
// user would drive it, its picture read back from the screen.

#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "figure_check.h"
#include "x11_harness.h"

using namespace harness;

namespace {

using figure::black;
using figure::compareFigure;
using figure::green;

bool showsFigure(const Image& image, int width, int height)
{
    return image.width == width && image.height == height && compareFigure(image).empty();
}

// Waits for the figure at the given size and reports the first fault if it never comes.
void expectFigure(Program& dravin, int width, int height)
{
    const auto [image, matched] =
        dravin.waitForPicture([&](const Image& im) { return showsFigure(im, width, height); });
    EXPECT_TRUE(matched) << "at " << width << " x " << height << ": "
                         << (image.width == width && image.height == height ? compareFigure(image)
                                                                             : "window is " + std::to_string(image.width) +
                                                                                   " x " + std::to_string(image.height));
}

// Every record is "delta: " and a non-negative number with nine decimals; the
// stream starts with a carriage return and never has a newline.
void expectStatusStream(const std::string& out)
{
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.front(), '\r');
    EXPECT_EQ(out.find('\n'), std::string::npos);
    const std::regex record(R"(delta: \d+\.\d{9})");
    const std::vector<std::string> records = statusRecords(out);
    ASSERT_GE(records.size(), 2u);
    for (const std::string& r : records) {
        ASSERT_TRUE(std::regex_match(r, record)) << "record \"" << r << "\"";
    }
}

}  // namespace

// A user's session: the figure at its opening size, keys that must do
// nothing, two resizes, then the window closed by the window manager.
TEST(DravinEndToEnd, FigureFollowsResizesAndCloseEndsTheProgram)
{
    Program dravin(DRAVIN_PATH);
    ASSERT_TRUE(dravin.waitForWindow("Dravin"));
    expectFigure(dravin, 1000, 500);

    // Q and Escape are not quit keys here. The resize queued behind them is
    // drawn only after the program has handled them, so the redrawn figure
    // proves they were seen and ignored.
    for (unsigned long key : {XK_q, XK_Escape, XK_w, XK_1}) {
        dravin.tapKey(key);
    }
    dravin.resize(500, 300);
    expectFigure(dravin, 500, 300);
    ASSERT_TRUE(dravin.running()) << "a key ended the program";

    // Fractions that are not whole pixels truncate: left side at 99, right at 899.
    dravin.resize(999, 500);
    const auto [image, matched] = dravin.waitForPicture([](const Image& im) { return showsFigure(im, 999, 500); });
    ASSERT_TRUE(matched) << compareFigure(image);
    EXPECT_EQ(image.at(99, 250), green);
    EXPECT_EQ(image.at(899, 250), green);
    EXPECT_EQ(image.at(100, 250), black);
    EXPECT_EQ(image.at(900, 250), black);

    dravin.closeWindow();
    const auto status = dravin.waitExit();
    ASSERT_TRUE(status.has_value()) << "still running after WM_DELETE_WINDOW";
    EXPECT_EQ(*status, 0) << toString(*status);
    expectStatusStream(dravin.stdoutText());
    EXPECT_EQ(dravin.stderrText(), "");
}

// Ctrl+C or a plain kill reaches SDL as a quit request: a normal end, status 0.
TEST(DravinEndToEnd, InterruptAndTerminateEndWithStatusZero)
{
    for (int signo : {SIGTERM, SIGINT}) {
        Program dravin(DRAVIN_PATH);
        ASSERT_TRUE(dravin.waitForWindow("Dravin"));
        expectFigure(dravin, 1000, 500);
        dravin.sendSignal(signo);
        const auto status = dravin.waitExit();
        ASSERT_TRUE(status.has_value()) << "signal " << signo << " did not end it";
        EXPECT_EQ(*status, 0) << toString(*status);
        expectStatusStream(dravin.stdoutText());
    }
}

// Without an X server or GPU driver the accelerated renderer cannot be made;
// the program falls back to the software renderer and runs as usual.
TEST(DravinEndToEnd, DummyVideoDriverRunsOnTheSoftwareRenderer)
{
    Program dravin(DRAVIN_PATH, {{{"SDL_VIDEODRIVER", "dummy"}}, {"DISPLAY"}});
    // Status lines reach the file in blocks; the first block proves frames are running.
    ASSERT_TRUE(waitUntil([&] { return dravin.stdoutText().size() >= 4096 || !dravin.running(); }, 10s));
    ASSERT_TRUE(dravin.running()) << dravin.stderrText();
    dravin.sendSignal(SIGTERM);
    const auto status = dravin.waitExit();
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0) << toString(*status);
    expectStatusStream(dravin.stdoutText());
    EXPECT_EQ(dravin.stderrText(), "");
}

// A video driver that does not exist: one line on stderr naming the failed
// step, no status line, status 1.
TEST(DravinEndToEnd, MissingVideoDriverFailsWithStatusOne)
{
    Program dravin(DRAVIN_PATH, {{{"SDL_VIDEODRIVER", "doesnotexist"}}, {}});
    const auto status = dravin.waitExit();
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 1) << toString(*status);
    EXPECT_EQ(dravin.stdoutText(), "");
    EXPECT_TRUE(std::regex_match(dravin.stderrText(), std::regex("dravin: SDL_Init failed: .+\n")))
        << dravin.stderrText();
}
