// dravin end to end: the real program in a private X server, driven like a
// user would drive it, its picture read back from the screen.

#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "x11_harness.h"

using namespace harness;

namespace {

const Rgb black{0, 0, 0};
const Rgb green{99, 255, 99};

struct Segment {
    int x1, y1, x2, y2;
};

// The figure at a window size: two diagonals between 20 % and 80 % of each
// dimension and a rectangle at 10 % and 90 %, truncated to whole pixels.
std::vector<Segment> expectedFigure(int w, int h)
{
    const auto px = [](double fraction, int size) { return static_cast<int>(fraction * size); };
    return {
        {px(0.2, w), px(0.2, h), px(0.8, w), px(0.8, h)},
        {px(0.8, w), px(0.2, h), px(0.2, w), px(0.8, h)},
        {px(0.1, w), px(0.1, h), px(0.9, w), px(0.1, h)},
        {px(0.9, w), px(0.1, h), px(0.9, w), px(0.9, h)},
        {px(0.9, w), px(0.9, h), px(0.1, w), px(0.9, h)},
        {px(0.1, w), px(0.9, h), px(0.1, w), px(0.1, h)},
    };
}

// Checks a capture against the figure, pixel by pixel. Horizontal and
// vertical lines must be exactly their pixels. A diagonal must light exactly
// one pixel per step along its major axis, within half a pixel of the ideal
// line (rasterisers differ only in how they break ties), endpoints included.
// Every other pixel must be black. Returns "" on a match, else the first fault.
std::string compareFigure(const Image& image)
{
    const int w = image.width;
    const int h = image.height;
    std::vector<char> allowed(static_cast<std::size_t>(w) * h, 0);
    const auto mark = [&](int x, int y) {
        if (x >= 0 && y >= 0 && x < w && y < h) {
            allowed[static_cast<std::size_t>(y) * w + x] = 1;
        }
    };
    const auto describe = [](int x, int y) { return "(" + std::to_string(x) + ", " + std::to_string(y) + ")"; };

    for (const Segment& s : expectedFigure(w, h)) {
        const int dx = s.x2 - s.x1;
        const int dy = s.y2 - s.y1;
        const bool xMajor = std::abs(dx) >= std::abs(dy);
        const int steps = std::max(std::abs(dx), std::abs(dy));
        for (int i = 0; i <= steps; ++i) {
            // Walk the major axis; the minor coordinate may round either way on a tie.
            const double t = steps == 0 ? 0.0 : static_cast<double>(i) / steps;
            const int major = (xMajor ? s.x1 : s.y1) + (xMajor ? (dx < 0 ? -i : i) : (dy < 0 ? -i : i));
            const double minorIdeal = (xMajor ? s.y1 + t * dy : s.x1 + t * dx);
            int lit = 0;
            for (int minor = static_cast<int>(std::floor(minorIdeal - 0.5 - 1e-9));
                 minor <= static_cast<int>(std::ceil(minorIdeal + 0.5 + 1e-9)); ++minor) {
                if (std::abs(minor - minorIdeal) > 0.5 + 1e-9) {
                    continue;
                }
                const int x = xMajor ? major : minor;
                const int y = xMajor ? minor : major;
                mark(x, y);
                if (x >= 0 && y >= 0 && x < w && y < h && image.at(x, y) == green) {
                    ++lit;
                }
            }
            if (lit == 0) {
                return "line " + describe(s.x1, s.y1) + "-" + describe(s.x2, s.y2) + " has a gap at step " +
                       std::to_string(i);
            }
            if (i == 0 && image.at(s.x1, s.y1) != green) {
                return "line start " + describe(s.x1, s.y1) + " is not lit";
            }
            if (i == steps && image.at(s.x2, s.y2) != green) {
                return "line end " + describe(s.x2, s.y2) + " is not lit";
            }
        }
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Rgb& p = image.at(x, y);
            const bool onFigure = allowed[static_cast<std::size_t>(y) * w + x] != 0;
            if (p != black && !(onFigure && p == green)) {
                return "unexpected " + toString(p) + " at " + describe(x, y);
            }
        }
    }
    return "";
}

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
