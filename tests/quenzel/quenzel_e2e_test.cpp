// quenzel end to end: the real program in a private X server. Under a frozen
// wall clock its seed and angle are known, so the picture on screen can be
// checked pixel by pixel; with the real clock its status line shows how fast
// the flag turns; each way of quitting must end it cleanly.

#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "expected_flag.h"
#include "x11_harness.h"

using namespace harness;

namespace {

// The frozen wall-clock time, and the seed the program takes from it.
const char* const frozenTime = "2024-03-05 12:34:56";
int frozenSeed()
{
    return expected::seedAt(2024, 3, 5, 12, 34, 56);
}

// How every quenzel of these tests is started.
LaunchOptions quenzelOptions(std::map<std::string, std::string> env = {})
{
    return {env, {}};
}

// "" when the capture is the flag at the given size and angle, else the first fault.
std::string compareFlag(const Image& image, const noise::module::Perlin& perlin, int w, int h, double angle)
{
    if (image.width != w || image.height != h) {
        return "window is " + std::to_string(image.width) + " x " + std::to_string(image.height);
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const expected::Colour want = expected::flagPixel(perlin, w, h, x, y, angle);
            const Rgb wantRgb{want.r, want.g, want.b};
            if (image.at(x, y) != wantRgb) {
                return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is " +
                       toString(image.at(x, y)) + ", want " + toString(wantRgb);
            }
        }
    }
    return "";
}

void expectFlag(Program& quenzel, const noise::module::Perlin& perlin, int w, int h)
{
    const auto [image, matched] =
        quenzel.waitForPicture([&](const Image& im) { return compareFlag(im, perlin, w, h, 0.0).empty(); });
    EXPECT_TRUE(matched) << "at " << w << " x " << h << ": " << compareFlag(image, perlin, w, h, 0.0);
    if (!matched) {
        image.savePpm(::testing::TempDir() + "quenzel-" + std::to_string(w) + "x" + std::to_string(h) + ".ppm");
    }
}

struct Status {
    double delta;
    double rotation;
};

// Checks the whole stdout stream: records that start with a carriage return,
// each exactly the status format, and one newline after the last. Returns the
// values of the records.
std::vector<Status> parseStatusStream(const std::string& out)
{
    const std::regex record(R"(delta: (-?\d+\.\d{8}), \trotation: (-?\d+\.\d{8}))");
    std::vector<std::string> records = statusRecords(out);
    std::vector<Status> values;
    EXPECT_FALSE(records.empty());
    if (records.empty()) {
        return values;
    }
    EXPECT_EQ(out.front(), '\r') << "the stream starts with a status record";
    EXPECT_EQ(out.back(), '\n') << "a newline ends the last status record";
    EXPECT_EQ(out.find('\n'), out.size() - 1) << "only the final newline";
    if (!records.back().empty() && records.back().back() == '\n') {
        records.back().pop_back();
    }
    for (const std::string& r : records) {
        std::smatch m;
        if (!std::regex_match(r, m, record)) {
            ADD_FAILURE() << "record \"" << r << "\"";
            break;
        }
        values.push_back({std::stod(m[1]), std::stod(m[2])});
    }
    return values;
}

}  // namespace

// Frozen clock: every delta is 0, so the angle stays 0 and the seed is known.
// The window shows exactly the expected flag, before and after a resize, and
// Escape ends the program with every record reading zero.
TEST(QuenzelEndToEnd, FrozenClockShowsTheExpectedFlag)
{
    noise::module::Perlin perlin;
    perlin.SetSeed(frozenSeed());
    ASSERT_LT(frozenSeed(), 0) << "this time is chosen to give a seed with the sign bit set";

    Program quenzel(QUENZEL_PATH, quenzelOptions(frozenClockEnv(frozenTime)));
    ASSERT_TRUE(quenzel.waitForWindow("Quenzel"));
    expectFlag(quenzel, perlin, 500, 300);

    // Bounds that truncate: 333 / 5 = 66 and 211 / 3 = 70.
    quenzel.resize(333, 211);
    expectFlag(quenzel, perlin, 333, 211);

    quenzel.tapKey(XK_Escape);
    const auto status = quenzel.waitExit();
    ASSERT_TRUE(status.has_value()) << "still running after Escape";
    EXPECT_EQ(*status, 0) << toString(*status);
    const std::vector<Status> values = parseStatusStream(quenzel.stdoutText());
    EXPECT_GE(values.size(), 2u);
    for (const Status& s : values) {
        EXPECT_EQ(s.delta, 0.0);
        EXPECT_EQ(s.rotation, 0.0);
    }
    EXPECT_EQ(quenzel.stderrText(), "");
}

// Real clock: the angle grows by 5 degrees per measured second. Each frame's
// rotation is 5 times the sum of the deltas printed before it (the first frame
// is drawn at 0), and the measured seconds are wall-clock seconds.
TEST(QuenzelEndToEnd, RotationFollowsTheWallClockAndQEndsIt)
{
    const auto started = std::chrono::steady_clock::now();
    Program quenzel(QUENZEL_PATH, quenzelOptions());
    ASSERT_TRUE(quenzel.waitForWindow("Quenzel"));
    // Let it turn for a while, then quit with Q.
    ASSERT_FALSE(waitUntil([&] { return !quenzel.running(); }, 4s)) << "ended by itself";
    quenzel.tapKey(XK_q);
    const auto status = quenzel.waitExit();
    const std::chrono::duration<double> lifetime = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(status.has_value()) << "still running after Q";
    EXPECT_EQ(*status, 0) << toString(*status);

    const std::vector<Status> values = parseStatusStream(quenzel.stdoutText());
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
    EXPECT_EQ(quenzel.stderrText(), "");
}

// The window manager's close button and a plain kill end it like Q does:
// status 0, and a newline after the last status record.
TEST(QuenzelEndToEnd, CloseAndTerminateEndCleanly)
{
    struct Ending {
        const char* name;
        std::function<void(Program&)> act;
    };
    const Ending endings[] = {
        {"WM_DELETE_WINDOW", [](Program& p) { p.closeWindow(); }},
        {"SIGTERM", [](Program& p) { p.sendSignal(SIGTERM); }},
    };
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.name);
        Program quenzel(QUENZEL_PATH, quenzelOptions());
        ASSERT_TRUE(quenzel.waitForWindow("Quenzel"));
        ending.act(quenzel);
        const auto status = quenzel.waitExit();
        ASSERT_TRUE(status.has_value()) << "still running";
        EXPECT_EQ(*status, 0) << toString(*status);
        EXPECT_GE(parseStatusStream(quenzel.stdoutText()).size(), 1u);
        EXPECT_EQ(quenzel.stderrText(), "");
    }
}
